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
#include "cli/watch_track.h"

namespace {

using SystemClock = std::chrono::system_clock;

// One watch: the set-up, rounds on the interval's grid until --count or a
// stop, then the summary on stderr. run returns the exit status.
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
    // Reads every track once; a lost port ends the round.
    void round(SystemClock::time_point when);
    // Reaches the broker, or says why not (-1 when connected or not asked for).
    int connectBroker();
    // The transmitters for Home Assistant, when asked for.
    void announce();
    // One reading's line and CSV row; reading is its time, values and result.
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
    bool portLost_ = false; // a device server's connection dropped: no later round can read
};

int Watch::run() {
    if (const int status = setUp(); status >= 0) return status;
    unsigned rounds = 0;
    auto next = std::chrono::steady_clock::now();
    while (!stopRequested() && (!options_.count || rounds < *options_.count)) {
        const auto when = SystemClock::now();
        round(when);
        if (portLost_) break;
        ++rounds;
        if (table_)
            table_->draw("ventora-cli watch  " + report_.place() + "  " + std::to_string(tracks_[0].identity.baud) +
                             " bit/s  " + isoTime(when),
                         tracks_);
        // Rounds keep to the interval's grid, however long their exchanges took.
        next += std::chrono::milliseconds(options_.intervalMs);
        const auto now = std::chrono::steady_clock::now();
        if (next < now) next = now;
        if (options_.count && rounds >= *options_.count) break;
        if (waitForStop(std::chrono::ceil<std::chrono::milliseconds>(next - now))) break;
    }
    table_.reset();
    csv_.reset();
    if (publisher_) publisher_->close();
    if (portLost_) report_.fail(Status::OpenFailed);
    return summary();
}

int Watch::setUp() {
    if (!options_.csvPath.empty() &&
        !(csv_ = report_.openAppend(options_.csvPath,
                                    several_ ? "time,address,velocity,volume,result" : "time,velocity,volume")))
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
    for (Track& track : tracks_) {
        Measurement measurement;
        const Status status = session_.device.readMeasurement(track.identity, measurement);
        if (status != Status::Ok && stopRequested()) break; // cut short by the stop, not a fault
        portLost_ = status == Status::OpenFailed;
        if (portLost_) break;
        const bool measured = status == Status::Ok;
        if (measured)
            track.add(measurement);
        else
            track.miss(status, missResult(status));
        const Json reading = {{"time", isoTime(when)},
                              {"velocity", measured ? Json(velocityOf(measurement)) : Json(nullptr)},
                              {"volume", measured ? floatJson(measurement.volume) : Json(nullptr)},
                              {"result", track.lastResult}};
        if (publisher_) publisher_->publishState(track.identity.address, reading.dump());
        if (!several_ && !measured) {
            if (!table_) report_.fail(status);
            continue;
        }
        show(track, reading, measured);
    }
}

void Watch::show(const Track& track, const Json& reading, bool measured) {
    const std::string time = reading["time"];
    Json json = report_.describe(track.identity);
    json.update(reading);
    std::string text = time + "\t";
    if (several_) text += std::to_string(track.identity.address) + "\t";
    text += measured ? track.velocityText + " m/s\t" + track.volumeText + " m3/h" : track.lastResult;
    if (several_ && measured) text += "\tok";
    if (!table_) report_.result(json, text);
    if (!csv_) return;
    if (several_)
        writeLine(csv_.get(), csvRow({time, std::to_string(track.identity.address), measured ? track.velocityText : "",
                                      measured ? track.volumeText : "", track.lastResult}));
    else
        writeLine(csv_.get(), csvRow({time, track.velocityText, track.volumeText}));
}

int Watch::summary() const {
    Status worst = Status::Ok;
    for (const Track& t : tracks_) {
        std::fprintf(report_.err(), "%s\n", trackSummary(t, several_).c_str());
        if (t.misses > 0) worst = t.lastFailure;
    }
    // A line is watched for its transmitters' ups and downs; one transmitter
    // that failed its last reading says so in the status.
    if (portLost_) return int(Status::OpenFailed);
    if (stopRequested() || several_) return 0;
    return int(worst);
}

} // namespace

int watchCommand(Session& session) { return Watch(session).run(); }
