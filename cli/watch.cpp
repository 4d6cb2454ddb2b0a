// watch: repeated measurements of one transmitter or of several on a line,
// as lines, CSV rows, or a live table on a terminal.

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "cli/platform.h"
#include "cli/session.h"

namespace {

using SystemClock = std::chrono::system_clock;

constexpr std::size_t kSparkLength = 30;

// One transmitter's readings during a watch.
struct Track {
    DeviceIdentity identity;
    unsigned readings = 0;
    unsigned misses = 0;
    double minVelocity = std::numeric_limits<double>::infinity();
    double maxVelocity = -std::numeric_limits<double>::infinity();
    double sumVelocity = 0;
    unsigned volumes = 0;
    double minVolume = std::numeric_limits<double>::infinity();
    double maxVolume = -std::numeric_limits<double>::infinity();
    double sumVolume = 0;
    std::array<double, kSparkLength> recent{};   // NaN where a reading failed
    std::size_t recentCount = 0;                 // readings and misses so far, for the ring
    std::string velocityText = "-";
    std::string volumeText = "-";
    std::string lastResult;
    Status lastStatus = Status::Ok;
    Status lastFailure = Status::Ok;

    void note(double velocity) {
        recent[recentCount++ % kSparkLength] = velocity;
    }
    void add(const Measurement& m) {
        const double v = velocityOf(m);
        ++readings;
        minVelocity = std::min(minVelocity, v);
        maxVelocity = std::max(maxVelocity, v);
        sumVelocity += v;
        if (std::isfinite(m.volume)) {
            ++volumes;
            minVolume = std::min(minVolume, double(m.volume));
            maxVolume = std::max(maxVolume, double(m.volume));
            sumVolume += m.volume;
        }
        velocityText = measurementText(m).velocity;
        volumeText = floatText(m.volume);
        lastResult = "ok";
        lastStatus = Status::Ok;
        note(v);
    }
    void miss(Status status, const char* result) {
        ++misses;
        velocityText = volumeText = "-";
        lastResult = result;
        lastStatus = lastFailure = status;
        note(std::nan(""));
    }
};

// The last readings drawn with the eight block characters, scaled to the
// transmitter's own range so far; a failed reading leaves a gap.
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

std::string number(double value, const char* format) {
    if (!std::isfinite(value)) return "-";
    char text[32];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// A table redrawn in place with ANSI cursor movement: the cursor goes back
// up over the last drawing, and every line is rewritten and cleared to its end.
class LiveTable {
public:
    explicit LiveTable(std::FILE* out) : out_(out) { std::fputs("\x1b[?25l", out_); }
    ~LiveTable() {
        std::fputs("\x1b[?25h", out_);
        std::fflush(out_);
    }
    void draw(const std::string& heading, const std::vector<Track>& tracks) {
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

private:
    std::FILE* out_;
    std::size_t drawn_ = 0;
};

const char* missResult(Status status) { return status == Status::Refused ? "invalid reply" : "no answer"; }

} // namespace

int Session::watch() {
    const bool several = options_.addresses.size() > 1;
    std::FILE* csv = nullptr;
    if (!options_.csvPath.empty() &&
        !openAppend(options_.csvPath, several ? "time,address,velocity,volume,result" : "time,velocity,volume", csv))
        return int(Status::Usage);
    installStopHandlers();

    std::vector<Track> tracks(1);
    Status status = several && options_.baud ? device_.attach(tracks[0].identity = DeviceIdentity{*options_.dialect,
                                                                  *options_.baud, options_.addresses[0]},
                                                              false)
                                             : establish(tracks[0].identity);
    if (status == Status::Ok && several) {
        if (tracks[0].identity.dialect == Dialect::Modbus) {
            if (csv != nullptr) std::fclose(csv);
            return failWith(Status::Usage, place() + ": a Modbus-dialect transmitter answers only at 255; "
                                                     "an address list needs FD transmitters");
        }
        const DeviceIdentity first = tracks[0].identity;
        tracks.assign(options_.addresses.size(), Track{});
        for (std::size_t i = 0; i < tracks.size(); ++i) {
            tracks[i].identity = first;
            tracks[i].identity.address = options_.addresses[i];
        }
    }
    if (status != Status::Ok) {
        if (csv != nullptr) std::fclose(csv);
        return stopRequested() ? 0 : fail(status);
    }

    std::optional<LiveTable> table;
    if (!options_.json && isTerminal(out_)) table.emplace(out_);
    unsigned rounds = 0;
    bool portLost = false;   // a device server's connection dropped: no later round can read
    auto next = std::chrono::steady_clock::now();
    while (!stopRequested() && (!options_.count || rounds < *options_.count)) {
        const auto when = SystemClock::now();
        for (Track& track : tracks) {
            Measurement measurement;
            status = device_.readMeasurement(track.identity, measurement);
            if (status != Status::Ok && stopRequested()) break;   // cut short by the stop, not a fault
            portLost = status == Status::OpenFailed;
            if (portLost) break;
            if (status == Status::Ok)
                track.add(measurement);
            else
                track.miss(status, missResult(status));
            if (!several && status != Status::Ok && !table) fail(status);
            if (!several && status != Status::Ok) continue;

            Json json = describe(track.identity);
            json["time"] = isoTime(when);
            json["velocity"] = status == Status::Ok ? Json(velocityOf(measurement)) : Json(nullptr);
            json["volume"] = status == Status::Ok ? floatJson(measurement.volume) : Json(nullptr);
            json["result"] = track.lastResult;
            std::string text = isoTime(when) + "\t";
            if (several) text += std::to_string(track.identity.address) + "\t";
            text += status == Status::Ok ? track.velocityText + " m/s\t" + track.volumeText + " m3/h" : track.lastResult;
            if (several && status == Status::Ok) text += "\tok";
            if (!table) result(json, text);
            if (csv != nullptr) {
                if (several)
                    writeLine(csv, csvRow({isoTime(when), std::to_string(track.identity.address),
                                           status == Status::Ok ? track.velocityText : "",
                                           status == Status::Ok ? track.volumeText : "", track.lastResult}));
                else
                    writeLine(csv, csvRow({isoTime(when), track.velocityText, track.volumeText}));
            }
        }
        if (portLost) break;
        ++rounds;
        if (table) table->draw("ventora-cli watch  " + place() + "  " + std::to_string(tracks[0].identity.baud) +
                                   " bit/s  " + isoTime(when),
                               tracks);
        // Rounds keep to the interval's grid, however long their exchanges took.
        next += std::chrono::milliseconds(options_.intervalMs);
        const auto now = std::chrono::steady_clock::now();
        if (next < now) next = now;
        if (options_.count && rounds >= *options_.count) break;
        if (waitForStop(std::chrono::ceil<std::chrono::milliseconds>(next - now))) break;
    }
    table.reset();
    if (csv != nullptr) std::fclose(csv);
    if (portLost) fail(Status::OpenFailed);

    Status worst = Status::Ok;
    for (const Track& t : tracks) {
        std::string summary = several ? "address " + std::to_string(t.identity.address) + ": " : "";
        summary += std::to_string(t.readings) + " readings";
        if (t.misses > 0) summary += ", " + std::to_string(t.misses) + (several ? " misses" : " failed");
        if (t.readings > 0)
            summary += "; velocity min " + number(t.minVelocity, "%.1f") + " mean " +
                       number(t.sumVelocity / t.readings, "%.2f") + " max " + number(t.maxVelocity, "%.1f") + " m/s";
        if (t.volumes > 0)
            summary += "; volume min " + floatText(float(t.minVolume)) + " mean " +
                       number(t.sumVolume / t.volumes, "%.2f") + " max " + floatText(float(t.maxVolume)) + " m3/h";
        std::fprintf(err_, "%s\n", summary.c_str());
        if (t.misses > 0) worst = t.lastFailure;
    }
    // A line is watched for its transmitters' ups and downs; one transmitter
    // that failed its last reading says so in the status.
    if (portLost) return int(Status::OpenFailed);
    if (stopRequested() || several) return 0;
    return int(worst);
}
