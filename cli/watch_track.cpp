#include "cli/watch_track.h"

#include <algorithm>
#include <cmath>

#include "cli/output.h"

namespace {

std::string number(double value, const char* format) {
    if (!std::isfinite(value)) return "-";
    char text[32];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

} // namespace

void Track::note(double velocity) { recent[recentCount++ % kSparkLength] = velocity; }

void Track::add(const Measurement& measurement) {
    const double v = velocityOf(measurement);
    ++readings;
    minVelocity = std::min(minVelocity, v);
    maxVelocity = std::max(maxVelocity, v);
    sumVelocity += v;
    if (std::isfinite(measurement.volume)) {
        ++volumes;
        minVolume = std::min(minVolume, double(measurement.volume));
        maxVolume = std::max(maxVolume, double(measurement.volume));
        sumVolume += measurement.volume;
    }
    velocityText = measurementText(measurement).velocity;
    volumeText = floatText(measurement.volume);
    lastResult = "ok";
    lastStatus = Status::Ok;
    note(v);
}

void Track::miss(Status status, const char* result) {
    ++misses;
    velocityText = volumeText = "-";
    lastResult = result;
    lastStatus = lastFailure = status;
    note(std::nan(""));
}

const char* missResult(Status status) { return status == Status::Refused ? "invalid reply" : "no answer"; }

std::string sparkline(const Track& track) {
    static constexpr const char* kBlocks[] = {"▁", "▂", "▃", "▄", "▅", "▆", "▇", "█"};
    std::string line;
    const std::size_t n = std::min(track.recentCount, kSparkLength);
    const double span = track.maxVelocity - track.minVelocity;
    for (std::size_t i = track.recentCount - n; i < track.recentCount; ++i) {
        const double v = track.recent[i % kSparkLength];
        if (std::isnan(v)) {
            line += ' ';
            continue;
        }
        const int level = span > 0 ? int(std::lround((v - track.minVelocity) / span * 7)) : 3;
        line += kBlocks[std::clamp(level, 0, 7)];
    }
    return line;
}

std::string trackSummary(const Track& t, bool several) {
    std::string summary = several ? "address " + std::to_string(t.identity.address) + ": " : "";
    summary += std::to_string(t.readings) + (t.readings == 1 ? " reading" : " readings");
    if (t.misses > 0) summary += ", " + std::to_string(t.misses) + (t.misses == 1 ? " miss" : " misses");
    if (t.readings > 0)
        summary += "; velocity min " + number(t.minVelocity, "%.1f") + " mean " +
                   number(t.sumVelocity / t.readings, "%.2f") + " max " + number(t.maxVelocity, "%.1f") + " m/s";
    if (t.volumes > 0)
        summary += "; volume min " + floatText(float(t.minVolume)) + " mean " +
                   number(t.sumVolume / t.volumes, "%.2f") + " max " + floatText(float(t.maxVolume)) + " m3/h";
    return summary;
}

LiveTable::LiveTable(std::FILE* out) : out_(out) { std::fputs("\x1b[?25l", out_); }

LiveTable::~LiveTable() {
    std::fputs("\x1b[?25h", out_);
    std::fflush(out_);
}

void LiveTable::draw(const std::string& heading, const std::vector<Track>& tracks) {
    if (drawn_ > 0) std::fprintf(out_, "\x1b[%zuA", drawn_);
    std::vector<std::string> lines{heading, "   address      m/s       m3/h      min      max  misses  last 30"};
    for (const Track& t : tracks) {
        char row[160];
        std::snprintf(row, sizeof row, "%s %7u %8s %10s %8s %8s %7u  ", t.lastStatus == Status::Ok ? " " : "!",
                      unsigned(t.identity.address), t.velocityText.c_str(), t.volumeText.c_str(),
                      number(t.minVelocity, "%.1f").c_str(), number(t.maxVelocity, "%.1f").c_str(), t.misses);
        lines.push_back(row + sparkline(t) + (t.lastStatus == Status::Ok ? "" : "  " + t.lastResult));
    }
    for (const std::string& line : lines) std::fprintf(out_, "\r%s\x1b[K\n", line.c_str());
    drawn_ = lines.size();
    std::fflush(out_);
}
