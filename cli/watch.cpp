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
#include "cli/service.h"
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
    // Reads every track that is due once; while the port is lost, each gets a
    // "port lost" row.
    void round(SystemClock::time_point when);
    // A reading came from track, or did not: its rest and its availability follow.
    void noteAnswer(Track& track, bool answered);
    // The area commands that came during the round, each checked, written and verified.
    void applyCommands(SystemClock::time_point when);
    void setArea(Track& track, std::uint16_t area, SystemClock::time_point when);
    // The round to the service manager: ready after the first, the watchdog after each.
    void tellService(std::chrono::steady_clock::duration took);
    // "3 of 3 answering, round 66 ms"
    std::string roundStatus(std::chrono::steady_clock::duration took) const;
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
    unsigned rounds_ = 0;
    const unsigned longestRest_ = roundsPerRest(std::chrono::milliseconds(options_.intervalMs));
    const std::chrono::milliseconds pingPeriod_ = watchdogPingPeriod();
    SteadyClock::time_point lastPing_ = SteadyClock::now();
};

int Watch::run() {
    if (const int status = setUp(); status >= 0) return status;
    auto next = SteadyClock::now();
    while (!stopRequested() && (!options_.count || rounds_ < *options_.count)) {
        const auto when = SystemClock::now();
        const auto began = SteadyClock::now();
        round(when);
        if (publisher_) publisher_->sendStates();
        ++rounds_;
        tellService(SteadyClock::now() - began);
        applyCommands(when);
        if (table_)
            table_->draw("ventora-cli watch  " + report_.place() + "  " + std::to_string(tracks_[0].identity.baud) +
                             " bit/s  " + isoTime(when),
                         tracks_);
        // Rounds keep to the interval's grid, however long their exchanges took.
        next += std::chrono::milliseconds(options_.intervalMs);
        next = std::max(next, SteadyClock::now());
        if (options_.count && rounds_ >= *options_.count) break;
        if (pause(next)) break;
    }
    notifyService("STOPPING=1");
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
    // A record names a Modbus transmitter by the address its identity block
    // holds, as detection finds it, with -b and -d too.
    if (!several_ && options_.baud && options_.dialect == Dialect::Modbus) {
        first = DeviceIdentity{Dialect::Modbus, *options_.baud, 0};
        return session_.device.attach(first, true);
    }
    if (!several_ || !options_.baud) return session_.establish(first);
    first = DeviceIdentity{*options_.dialect, *options_.baud, options_.addresses[0]};
    return session_.device.attach(first, false);
}

void Watch::round(SystemClock::time_point when) {
    bool lost = false;
    const auto now = SteadyClock::now();
    for (Track& track : tracks_) {
        if (options_.rest && !outages_.lost() && !track.rest.due(rounds_, now)) {
            track.rest.skip();
            continue;
        }
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
        noteAnswer(track, status == Status::Ok);
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

void Watch::noteAnswer(Track& track, bool answered) {
    track.rest.read(rounds_, SteadyClock::now(), answered, longestRest_);
    // Offline once it rests, online again at its next answer; nothing before it has shown either.
    const int online = answered ? 1 : track.rest.resting() ? 0 : track.saidOnline;
    if (online == track.saidOnline) return;
    track.saidOnline = online;
    if (publisher_)
        publisher_->keep(options_.mqtt->transmitterTopic(track.identity.address, "availability"),
                         online == 1 ? "online" : "offline");
}

void Watch::applyCommands(SystemClock::time_point when) {
    if (!publisher_ || !options_.mqtt->commands) return;
    std::vector<std::uint8_t> watched;
    for (const Track& track : tracks_) watched.push_back(track.identity.address);
    for (const MqttMessage& message : publisher_->takeCommands()) {
        const AreaCommand command = parseAreaCommand(*options_.mqtt, message, watched);
        if (!command.refusal.empty()) {
            report_.warn(message.first + ": refused, " + command.refusal);
            continue;
        }
        for (Track& track : tracks_)
            if (track.identity.address == command.address) setArea(track, command.area, when);
    }
}

void Watch::setArea(Track& track, std::uint16_t area, SystemClock::time_point when) {
    const std::string topic = options_.mqtt->transmitterTopic(track.identity.address, "area/set");
    if (track.identity.dialect == Dialect::Modbus) return report_.warn(topic + ": refused, " + kNoModbusArea);
    if (outages_.lost()) return report_.warn(topic + ": refused, the port is lost");
    const Status status = session_.device.setArea(track.identity, area);
    std::string result = "area set to " + std::to_string(area);
    if (status == Status::Ok) {
        publisher_->keep(options_.mqtt->transmitterTopic(track.identity.address, "area"), std::to_string(area));
    } else {
        result = "area " + std::to_string(area) + " not set: " + session_.device.why();
        report_.warn(report_.place() + ": address " + std::to_string(track.identity.address) + ": " + result);
    }
    const std::string time = isoTime(when), address = std::to_string(track.identity.address);
    Json json = report_.describe(track.identity);
    json.update({{"time", time}, {"area", area}, {"result", result}});
    if (!table_) report_.result(json, time + "\t" + address + "\t" + result);
    if (csv_) writeLine(csv_.get(), csvRow({time, address, "", "", result}));
}

void Watch::tellService(SteadyClock::duration took) {
    notifyService(std::string(rounds_ == 1 ? "READY=1\n" : "") + "WATCHDOG=1\nSTATUS=" + roundStatus(took));
    lastPing_ = SteadyClock::now();
}

std::string Watch::roundStatus(SteadyClock::duration took) const {
    unsigned answering = 0, resting = 0;
    for (const Track& track : tracks_) {
        answering += track.readings > 0 && track.lastStatus == Status::Ok;
        resting += track.rest.resting();
    }
    std::string status = std::to_string(answering) + " of " + std::to_string(tracks_.size()) + " answering, round " +
                         std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(took).count()) + " ms";
    if (resting > 0) status += ", " + std::to_string(resting) + " resting";
    if (outages_.lost()) status += ", port lost";
    return status;
}

void Watch::missed(Track& track, Status status, const char* result, SystemClock::time_point when) {
    track.miss(status, result);
    show(track, {{"time", isoTime(when)}, {"velocity", nullptr}, {"volume", nullptr}, {"result", result}}, false);
}

// The port is let go at once, and tried again at once: a hang-up may have
// been a moment's.
void Watch::losePort(Status status) {
    if (!table_) {
        report_.warn(report_.failure(status));
        report_.warn("waiting for " + report_.place() + " to come back...");
    }
    session_.link.close();
    outages_.lose(SteadyClock::now());
    reopenPort();
}

void Watch::reopenPort() {
    const bool opened = session_.link.reopen(std::uint32_t(tracks_[0].identity.baud));
    outages_.reopened(opened, SteadyClock::now());
    if (opened && !table_) report_.notice(report_.place() + " is back");
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
        // A pause longer than the watchdog allows is no hang.
        if (pingPeriod_.count() > 0 && now >= lastPing_ + pingPeriod_) {
            notifyService("WATCHDOG=1");
            lastPing_ = now;
        }
        if (now >= until) return stopRequested();
        auto wake = outages_.wakeBy(until);
        if (pingPeriod_.count() > 0) wake = std::min(wake, lastPing_ + pingPeriod_);
        if (waitForStop(std::chrono::ceil<std::chrono::milliseconds>(wake - now))) return true;
    }
}

void Watch::show(const Track& track, const Json& reading, bool measured) {
    if (publisher_) publisher_->publishState(track.identity.address, jsonText(reading));
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
    for (const Track& t : tracks_) report_.notice(trackSummary(t, several_));
    if (const std::string lost = outages_.summary(); !lost.empty()) report_.notice(lost);
    return 0;
}

} // namespace

int watchCommand(Session& session) { return Watch(session).run(); }
