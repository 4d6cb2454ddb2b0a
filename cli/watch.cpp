// watch: repeated measurements of one transmitter or of several on a line,
// as lines, CSV rows, or a live table on a terminal, and to an MQTT broker.

#include <algorithm>
#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "cli/command_list.h"
#include "cli/mqtt_publisher.h"
#include "cli/platform.h"
#include "cli/watch_outage.h"
#include "cli/watch_track.h"

namespace {

using SystemClock = std::chrono::system_clock;
using SteadyClock = std::chrono::steady_clock;

// One watch: the set-up, rounds on the interval's grid until --count or a
// stop, then the summary on stderr. run returns the exit status: once the
// rounds have begun, 0 whatever the readings; the rows and the summary tell.
class Watch {
public:
    explicit Watch(Session& session)
        : session_(session),
          options_(session.options),
          report_(session.report),
          several_(options_.addresses.size() > 1) {}

    int run();

private:
    // -1 when the rounds may begin; otherwise the exit status.
    int setUp();
    Status findTransmitters();
    // Reads every track once; while the port is lost, each gets a "port lost" row.
    void round(SystemClock::time_point when);
    // Gives track the row of a reading that did not come.
    void missed(Track& track, Status status, const char* result, SystemClock::time_point when);
    void losePort(Status status);
    void reopenPort();
    // Waits until the next round is due, reopening a lost port on the way;
    // next becomes when it began. True when a stop came.
    bool pause(SteadyClock::time_point& next);
    // Reaches the broker, or says why not (-1 when connected or not asked for).
    int connectBroker();
    // The transmitters for Home Assistant, when asked for.
    void announce();
    // One reading's line, CSV row and state: its time, values and result.
    void show(const Track& track, const Json& reading, bool measured);
    int summary() const;

    Session& session_;
    const Options& options_;
    const Report& report_;
    const bool several_;
    AppendedFile csv_;
    std::vector<Track> tracks_ = std::vector<Track>(1);
    std::optional<LiveTable> table_;
    std::optional<MqttPublisher> publisher_;
    PortOutages outages_;
};

int Watch::run() {
    if (const int status = setUp(); status >= 0) return status;
    unsigned rounds = 0;
    auto next = SteadyClock::now();
    while (!stopRequested() && (!options_.count || rounds < *options_.count)) {
        const auto when = SystemClock::now();
        round(when);
        ++rounds;
        if (table_)
            table_->draw("ventora-cli watch  " + report_.place() + "  " + std::to_string(tracks_[0].identity.baud) +
                             " bit/s  " + isoTime(when),
                         tracks_);
        // Rounds keep to the interval's grid, however long their exchanges took.
        next += std::chrono::milliseconds(options_.intervalMs);
        next = std::max(next, SteadyClock::now());
        if (options_.count && rounds >= *options_.count) break;
        if (pause(next)) break;
    }
    table_.reset();
    csv_.reset();
    if (publisher_) publisher_->close();
    return summary();
}

int Watch::setUp() {
    if (!options_.csvPath.empty() &&
        !(csv_ = report_.openAppend(options_.csvPath, "time,address,velocity,volume,result")))
        return int(Status::Usage);
    installStopHandlers();
    if (const int status = connectBroker(); status >= 0) return status;
    const Status status = findTransmitters();
    if (status != Status::Ok) return stopRequested() ? 0 : report_.fail(status);
    if (several_) {
        if (tracks_[0].identity.dialect == Dialect::Modbus)
            return report_.failWith(Status::Usage, report_.place() + ": a Modbus-dialect transmitter answers only "
                                                                     "at 255; an address list needs FD transmitters");
        const DeviceIdentity first = tracks_[0].identity;
        tracks_.assign(options_.addresses.size(), Track{});
        for (std::size_t i = 0; i < tracks_.size(); ++i) {
            tracks_[i].identity = first;
            tracks_[i].identity.address = options_.addresses[i];
        }
    }
    announce();
    if (!options_.json && isTerminal(report_.out())) table_.emplace(report_.out());
    return -1;
}

// Before the line is touched, so that a broker out of reach sends nothing to
// the transmitters.
int Watch::connectBroker() {
    if (!options_.mqtt) return -1;
    publisher_.emplace(*options_.mqtt);
    std::string why;
    const auto timeout =
        std::max(std::chrono::milliseconds(kNetworkOpenTimeoutMs), std::chrono::milliseconds(options_.timeoutMs));
    if (publisher_->connect(timeout, why)) return -1;
    return report_.failWith(Status::OpenFailed, why);
}

void Watch::announce() {
    if (!publisher_ || !options_.mqtt->haDiscovery) return;
    std::vector<MqttMessage> messages;
    for (const Track& track : tracks_) {
        const std::string model =
            std::string("air-velocity transmitter, ") + dialectName(track.identity.dialect) + " dialect";
        for (MqttMessage& m : discoveryMessages(*options_.mqtt, track.identity.address, model))
            messages.push_back(std::move(m));
    }
    publisher_->announce(std::move(messages));
}

// The transmitter, or on a line the first of the list, whose dialect and
// rate the others share.
Status Watch::findTransmitters() {
    DeviceIdentity& first = tracks_[0].identity;
    if (!several_ || !options_.baud) return session_.establish(first);
    first = DeviceIdentity{*options_.dialect, *options_.baud, options_.addresses[0]};
    return session_.device.attach(first, false);
}

void Watch::round(SystemClock::time_point when) {
    bool lost = false;
    for (Track& track : tracks_) {
        if (outages_.lost()) {
            missed(track, Status::OpenFailed, kPortLost, when);
            lost = true;
            continue;
        }
        Measurement measurement;
        const Status status = session_.device.readMeasurement(track.identity, measurement);
        if (status != Status::Ok && stopRequested()) break; // cut short by the stop, not a fault
        if (session_.link.portGone()) {
            losePort(status);
            missed(track, Status::OpenFailed, kPortLost, when);
            lost = true;
            continue;
        }
        if (status != Status::Ok) {
            missed(track, status, missResult(status), when);
            continue;
        }
        track.add(measurement);
        show(track,
             {{"time", isoTime(when)},
              {"velocity", velocityOf(measurement)},
              {"volume", floatJson(measurement.volume)},
              {"result", track.lastResult}},
             true);
    }
    if (lost) outages_.countRound();
}

void Watch::missed(Track& track, Status status, const char* result, SystemClock::time_point when) {
    track.miss(status, result);
    show(track, {{"time", isoTime(when)}, {"velocity", nullptr}, {"volume", nullptr}, {"result", result}}, false);
}

// The port is let go at once, and tried again at once: a hang-up may have
// been a moment's.
void Watch::losePort(Status status) {
    if (!table_) {
        report_.fail(status);
        std::fprintf(report_.err(), "waiting for %s to come back...\n", report_.place().c_str());
    }
    session_.link.close();
    outages_.lose(SteadyClock::now());
    reopenPort();
}

void Watch::reopenPort() {
    const bool opened = session_.link.reopen(std::uint32_t(tracks_[0].identity.baud));
    outages_.reopened(opened, SteadyClock::now());
    if (opened && !table_) std::fprintf(report_.err(), "%s is back\n", report_.place().c_str());
}

bool Watch::pause(SteadyClock::time_point& next) {
    next = outages_.roundStart(next);
    const auto until = next;
    for (;;) {
        auto now = SteadyClock::now();
        if (outages_.reopenDue(now)) {
            reopenPort();
            now = SteadyClock::now();
        }
        if (now >= until) return stopRequested();
        if (waitForStop(std::chrono::ceil<std::chrono::milliseconds>(outages_.wakeBy(until) - now))) return true;
    }
}

void Watch::show(const Track& track, const Json& reading, bool measured) {
    if (publisher_) publisher_->publishState(track.identity.address, reading.dump());
    const std::string time = reading["time"];
    Json json = report_.describe(track.identity);
    json.update(reading);
    std::string text = time + "\t";
    if (several_) text += std::to_string(track.identity.address) + "\t";
    text += measured ? track.velocityText + " m/s\t" + track.volumeText + " m3/h" : track.lastResult;
    if (several_ && measured) text += "\tok";
    if (!table_) report_.result(json, text);
    if (csv_)
        writeLine(csv_.get(), csvRow({time, std::to_string(track.identity.address), measured ? track.velocityText : "",
                                      measured ? track.volumeText : "", track.lastResult}));
}

int Watch::summary() const {
    for (const Track& t : tracks_) std::fprintf(report_.err(), "%s\n", trackSummary(t, several_).c_str());
    if (const std::string lost = outages_.summary(); !lost.empty()) std::fprintf(report_.err(), "%s\n", lost.c_str());
    return 0;
}

} // namespace

int watchCommand(Session& session) { return Watch(session).run(); }
