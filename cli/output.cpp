#include "cli/output.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

std::string floatText(float value) {
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

Json floatJson(float value) {
    if (!std::isfinite(value)) return nullptr;
    return std::strtod(floatText(value).c_str(), nullptr);
}

double velocityOf(const Measurement& measurement) {
    return std::strtod(measurementText(measurement).velocity, nullptr);
}

std::string isoTime(std::chrono::system_clock::time_point when) {
    using namespace std::chrono;
    const auto day = floor<days>(when);
    const year_month_day date{day};
    const hh_mm_ss time{floor<milliseconds>(when - day)};
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", int(date.year()), unsigned(date.month()),
                  unsigned(date.day()), int(time.hours().count()), int(time.minutes().count()),
                  int(time.seconds().count()), int(time.subseconds().count()));
    return text;
}

std::string csvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

std::string csvRow(std::initializer_list<std::string> fields) {
    std::string row;
    for (const std::string& field : fields) {
        if (!row.empty() || &field != fields.begin()) row += ',';
        row += csvField(field);
    }
    return row;
}

std::string jsonText(const Json& json) { return json.dump(-1, ' ', false, Json::error_handler_t::replace); }

std::string errorJson(const std::string& text, int status) {
    return jsonText(Json{{"error", text}, {"status", status}});
}

void writeLine(std::FILE* file, const std::string& line) {
    std::fputs(line.c_str(), file);
    std::fputc('\n', file);
    std::fflush(file);
}
