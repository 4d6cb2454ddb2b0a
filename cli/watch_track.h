#pragma once
// One transmitter's readings during a watch: the tally behind the summary,
// and the last readings behind the live table's sparkline.

#include <array>
#include <cstddef>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "cli/device.h"
#include "cli/watch_rest.h"

inline constexpr std::size_t kSparkLength = 30;

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
    std::array<double, kSparkLength> recent{}; // NaN where a reading failed
    std::size_t recentCount = 0;               // readings and misses so far, for the ring
    std::string velocityText = "-";
    std::string volumeText = "-";
    std::string lastResult;
    Status lastStatus = Status::Ok;
    Status lastFailure = Status::Ok;
    RestSchedule rest;
    int saidOnline = -1; // the availability last published: -1 none yet, 0 offline, 1 online

    void add(const Measurement& measurement);
    // result is what the watch shows for the missed reading.
    void miss(Status status, const char* result);

private:
    void note(double velocity);
};

// What a reading shows that the lost port took.
inline constexpr const char* kPortLost = "port lost";

// What a missed reading shows: "invalid reply" or "no answer".
const char* missResult(Status status);

// The last readings drawn with the eight block characters, scaled to the
// transmitter's own range so far; a failed reading leaves a gap.
std::string sparkline(const Track& track);

// The track's line of the summary on stderr: its readings and misses, then
// velocity and volume min/mean/max, and the rounds it rested. A line of
// several names the address.
std::string trackSummary(const Track& track, bool several);

// A table redrawn in place with ANSI cursor movement: the cursor goes back
// up over the last drawing, and every line is rewritten and cleared to its end.
class LiveTable {
public:
    explicit LiveTable(std::FILE* out);
    ~LiveTable();
    LiveTable(const LiveTable&) = delete;
    LiveTable& operator=(const LiveTable&) = delete;

    void draw(const std::string& heading, const std::vector<Track>& tracks);

private:
    std::FILE* out_;
    std::size_t drawn_ = 0;
};
