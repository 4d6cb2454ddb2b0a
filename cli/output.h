#pragma once
// How results are written: numbers as a person and a JSON reader expect them,
// times in ISO 8601 UTC, and CSV fields quoted where they need it.

#include <chrono>
#include <cstdio>
#include <initializer_list>
#include <string>

#include <nlohmann/json.hpp>

#include "protocol/frames.h"

using Json = nlohmann::ordered_json;

// The shortest decimal that reads back as the same float: 1328.4, not 1328.4000244.
std::string floatText(float value);
// The same number for JSON; null for NaN and the infinities, which JSON cannot hold.
Json floatJson(float value);

// json as text. Bytes that are not UTF-8 (a port name or an argument as it was
// typed) become U+FFFD instead of ending the program with an exception.
std::string jsonText(const Json& json);
// m/s from the transmitter's tenths: 123 gives 12.3.
double velocityOf(const Measurement& measurement);

// "2026-12-07T13:45:12.345Z"
std::string isoTime(std::chrono::system_clock::time_point when);

// A CSV field, quoted when it holds a comma, a quote or a line break.
std::string csvField(const std::string& text);
// The fields joined into one CSV row, each quoted as it needs.
std::string csvRow(std::initializer_list<std::string> fields);

// {"error": text, "status": status}: why a command with --json ended as it did.
std::string errorJson(const std::string& text, int status);

// Writes one line to file and flushes it, so a pipe reader sees it at once.
void writeLine(std::FILE* file, const std::string& line);
