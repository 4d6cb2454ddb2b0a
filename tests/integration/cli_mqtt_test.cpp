// watch --mqtt against a real broker: Debian's mosquitto on a loopback port,
// ventora-cli publishing a line of three software transmitters, and
// mosquitto_sub as the subscriber. Skipped where mosquitto is not installed.

#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "cli/output.h"
#include "tests/integration/cli_helpers.h"
#include "tests/support/mqtt_broker.h"

namespace {

using namespace std::chrono_literals;

constexpr int kAddresses[] = {3, 77, 200};
const std::string kStatus = "plant/hall/status";

std::string stateTopic(int address) { return "plant/hall/" + std::to_string(address) + "/state"; }
std::string availabilityTopic(int address) { return "plant/hall/" + std::to_string(address) + "/availability"; }

// What a subscriber heard up to the message that holds `last`, and the few
// milliseconds after it that retained messages arriving together need; then
// it is killed (mosquitto_sub can hang in its SIGINT handler).
std::string heard(Process& subscriber, const std::string& last) {
    EXPECT_TRUE(subscriber.awaitOutput(last, 10s)) << last;
    std::this_thread::sleep_for(50ms);
    subscriber.kill();
    return subscriber.finish().out;
}

const std::string kOk = R"(","velocity":12.3,"volume":1328.4,"result":"ok"})";

class CliMqtt;

struct MqttCase {
    const char* name;
    std::vector<std::string> watch;              // after "watch --interval 50 --mqtt URL/plant --mqtt-line hall"
    std::function<void(CliMqtt&, Process&)> run; // while the watch runs; null: it ends by itself
    std::function<void(CliMqtt&, const ProcessRun&)> check;
    bool brokerDown = false; // stopped before the watch starts
    friend void PrintTo(const MqttCase& c, std::ostream* os) { *os << c.name; }
};

class CliMqtt : public testing::TestWithParam<MqttCase> {
protected:
    void SetUp() override {
        if (mosquittoPath() == nullptr) GTEST_SKIP() << "mosquitto is not installed";
        ASSERT_TRUE(broker.running()) << "mosquitto did not come up";
        for (const int address : kAddresses) {
            sim::Config c;
            c.address = std::uint8_t(address);
            line.add(c);
        }
        ASSERT_TRUE(line.start());
        ASSERT_TRUE(subscriber = subscribe(broker));
    }

public:
    sim::SimLine line{9600, true};
    MqttBroker broker;
    std::unique_ptr<Process> subscriber, late; // from the start; from later on
    std::string csv = testing::TempDir() + "mqtt-" + std::to_string(::getpid()) + ".csv";
};

TEST_P(CliMqtt, PublishesTheLine) {
    const MqttCase& c = GetParam();
    std::vector<std::string> args = {"-p", line.slavePath(), "-b", "9600", "-d", "fd", "-a", "3,77,200", "watch"};
    args.insert(args.end(), {"--interval", "50", "--mqtt", broker.url() + "/plant", "--mqtt-line", "hall"});
    for (const std::string& arg : c.watch) args.push_back(arg == "@csv" ? csv : arg);
    if (c.brokerDown) broker.stop();
    CliProcess watch(args);
    if (c.run) c.run(*this, watch);
    c.check(*this, watch.finish());
}

// The live subscriber hears online, each transmitter's availability and
// reading, offline; a late one the retained status, availabilities and each
// transmitter's last state.
void statesAndStatus(CliMqtt& t, const ProcessRun& run) {
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string live = heard(*t.subscriber, kStatus + " offline");
    const std::vector<ReceivedMessage> all = receivedMessages(live);
    ASSERT_EQ(all.size(), 2u + 3 * 3 + 3);
    EXPECT_EQ(all.front().topic + " " + all.front().payload, kStatus + " online");
    EXPECT_EQ(all.back().topic + " " + all.back().payload, kStatus + " offline");
    // Each transmitter's availability comes before its first state.
    for (std::size_t i = 1, state = 0; i + 1 < all.size(); ++i) {
        if (all[i].topic.ends_with("/availability")) continue;
        EXPECT_EQ(all[i].topic, stateTopic(kAddresses[state++ % 3]));
        EXPECT_EQ(all[i].payload.substr(0, 9) + all[i].payload.substr(9 + 24), R"({"time":")" + kOk) << all[i].payload;
    }
    for (const int address : kAddresses)
        EXPECT_EQ(receivedMessages(live, availabilityTopic(address)).size(), 1u) << "online once, at its first answer";
    ASSERT_TRUE(t.late = subscribe(t.broker, "plant/#"));
    const std::vector<ReceivedMessage> retained = receivedMessages(heard(*t.late, "/200/state"));
    ASSERT_EQ(retained.size(), 4u + 3);
    for (const ReceivedMessage& m : retained) {
        EXPECT_TRUE(m.retained) << m.topic;
        EXPECT_EQ(m.payload, receivedMessages(live, m.topic).back().payload) << "the last reading, online, and offline";
    }
}

void lastWill(CliMqtt& t, const ProcessRun& run) {
    EXPECT_EQ(run.status, killedStatus());
    ASSERT_TRUE(t.subscriber->awaitOutput(kStatus + " offline", 10s)) << "the broker says the will";
    ASSERT_TRUE(t.late = subscribe(t.broker, kStatus));
    EXPECT_TRUE(receivedMessages(heard(*t.late, "offline")).at(0).retained);
}

void unpluggedStates(CliMqtt& t, const ProcessRun& run) {
    EXPECT_EQ(run.status, 0) << run.err;
    const std::string all = heard(*t.subscriber, kStatus + " offline");
    const std::string missed = receivedMessages(all, stateTopic(77)).back().payload;
    EXPECT_TRUE(missed.ends_with(R"(","velocity":null,"volume":null,"result":"no answer"})")) << missed;
    for (const int address : {3, 200})
        for (const ReceivedMessage& m : receivedMessages(all, stateTopic(address)))
            EXPECT_TRUE(m.payload.ends_with(kOk)) << m.payload;
}

void discovery(CliMqtt& t, const ProcessRun& run) {
    ASSERT_EQ(run.status, 0) << run.err;
    ASSERT_TRUE(t.late = subscribe(t.broker, "homeassistant/#"));
    std::string topics;
    for (const ReceivedMessage& m : receivedMessages(heard(*t.late, "ventora_hall_200_volume")))
        topics += m.topic.substr(21) + (m.retained ? " " : " (not retained) ");
    EXPECT_EQ(topics, "ventora_hall_3_velocity/config ventora_hall_3_volume/config ventora_hall_77_velocity/config "
                      "ventora_hall_77_volume/config ventora_hall_200_velocity/config "
                      "ventora_hall_200_volume/config ");
}

// The broker goes for two seconds, while the watch reads on.
void brokerRestart(CliMqtt& t, Process& watch) {
    ASSERT_TRUE(t.subscriber->awaitOutput("/200/state", 10s));
    t.broker.stop();
    std::this_thread::sleep_for(2s);
    ASSERT_TRUE(t.broker.start());
    ASSERT_TRUE(t.late = subscribe(t.broker, "plant/#"));
    ASSERT_TRUE(t.late->awaitOutput(kStatus + " online", 15s)) << "reconnected within the 10 s backoff";
    std::this_thread::sleep_for(500ms);
    watch.interrupt();
}

void reconnected(CliMqtt& t, const ProcessRun& run) {
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_GE(lines(run.out).size(), 3u * 40) << "the rounds went on while the broker was away";
    const std::string after = heard(*t.late, kStatus + " offline");
    const std::vector<ReceivedMessage> online = receivedMessages(after, kStatus);
    ASSERT_FALSE(online.empty());
    using namespace std::chrono;
    const std::string reconnectedAt =
        isoTime(system_clock::time_point(duration_cast<system_clock::duration>(duration<double>(online[0].unixTime))));
    for (const int address : kAddresses) {
        int before = 0, since = 0;
        for (const ReceivedMessage& m : receivedMessages(after, stateTopic(address)))
            ++(Json::parse(m.payload)["time"].get<std::string>() < reconnectedAt ? before : since);
        // The latest reading from the outage, perhaps the round under way when
        // the line came back, and what went out in the moment before the
        // client saw the broker go; not a queue of the 40 and
        // more rounds.
        EXPECT_GE(before, 1) << address;
        EXPECT_LE(before, 4) << address;
        EXPECT_GE(since, 1) << address;
    }
}

// 77 goes for long enough to rest, and comes back.
void deadAndBack(CliMqtt& t, Process& watch) {
    ASSERT_TRUE(t.subscriber->awaitOutput(availabilityTopic(77) + " online", 10s));
    t.line.unplug(1);
    ASSERT_TRUE(t.subscriber->awaitOutput(availabilityTopic(77) + " offline", 10s));
    t.line.plug(1);
    ASSERT_TRUE(t.late = subscribe(t.broker, availabilityTopic(77)));
    ASSERT_TRUE(t.late->awaitOutput("0 " + availabilityTopic(77) + " online", 10s)) << "back at its next answer";
    watch.interrupt();
}

void availability(CliMqtt& t, const ProcessRun& run) {
    EXPECT_EQ(run.status, 0) << run.err;
    const std::string all = heard(*t.subscriber, kStatus + " offline");
    std::string said;
    for (const ReceivedMessage& m : receivedMessages(all, availabilityTopic(77))) said += m.payload + " ";
    EXPECT_EQ(said, "online offline online ");
}

// Home Assistant starts after the watch: its "online" brings the discovery again.
void homeAssistantStarts(CliMqtt& t, Process& watch) {
    ASSERT_TRUE(t.subscriber->awaitOutput("/200/state", 10s));
    ASSERT_TRUE(t.late = subscribe(t.broker, "ha/test/#"));
    ASSERT_TRUE(t.late->awaitOutput("1 ha/test/sensor/ventora_hall_200_volume/config", 10s));
    ASSERT_TRUE(publishTo(t.broker, "ha/test/status", "offline"));
    ASSERT_TRUE(publishTo(t.broker, "ha/test/status", "online"));
    EXPECT_TRUE(t.late->awaitOutput("0 ha/test/sensor/ventora_hall_200_volume/config", 10s));
    watch.interrupt();
}

void rediscovered(CliMqtt& t, const ProcessRun& run) {
    EXPECT_EQ(run.status, 0) << run.err;
    const std::vector<ReceivedMessage> all = receivedMessages(heard(*t.late, "ha/test/status online"));
    std::string said;
    for (const ReceivedMessage& m : all) said += m.topic.substr(8, 8) + (m.retained ? "r " : " ");
    EXPECT_EQ(said, "sensor/vr sensor/vr sensor/vr sensor/vr sensor/vr sensor/vr status status sensor/v sensor/v "
                    "sensor/v sensor/v sensor/v sensor/v ")
        << "retained when subscribed; said again after online only";
}

// A dashboard sets 77's area; what else comes is refused, sending nothing.
void areaCommands(CliMqtt& t, Process& watch) {
    ASSERT_TRUE(t.subscriber->awaitOutput("/200/state", 10s));
    for (const auto& [address, payload] : std::vector<std::pair<int, std::string>>{
             {3, "abc"}, {3, "70000"}, {200, "00000000000000450"}, {5, "450"}, {77, "450"}})
        ASSERT_TRUE(publishTo(t.broker, "plant/hall/" + std::to_string(address) + "/area/set", payload));
    EXPECT_TRUE(t.subscriber->awaitOutput("plant/hall/77/area 450", 10s));
    watch.interrupt();
}

void areaSet(CliMqtt& t, const ProcessRun& run) {
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(t.line.state(1).area, 450);
    EXPECT_EQ(t.line.state(0).area, t.line.state(2).area) << "the refused commands wrote nothing";
    std::size_t refusals = 0;
    for (const std::string& line : lines(run.err)) refusals += line.find("/area/set: refused, ") != std::string::npos;
    EXPECT_EQ(refusals, 4u) << run.err;
    const std::string csv = readFile(t.csv);
    EXPECT_NE(csv.find(",77,,,area set to 450\n"), std::string::npos) << csv;
    ASSERT_TRUE(t.late = subscribe(t.broker, "plant/hall/77/area"));
    EXPECT_TRUE(receivedMessages(heard(*t.late, "area 450")).at(0).retained);
}

void nothingSent(CliMqtt& t, const ProcessRun& run) {
    EXPECT_EQ(run.status, 3);
    EXPECT_NE(run.err.find("MQTT broker 127.0.0.1:" + std::to_string(t.broker.port) + ": connection refused"),
              std::string::npos)
        << run.err;
    EXPECT_TRUE(t.line.requests().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Mosquitto, CliMqtt,
    testing::Values(MqttCase{"StatesAndStatusLiveAndRetained", {"--count", "3"}, {}, statesAndStatus},
                    MqttCase{"LastWillAfterSigkill",
                             {},
                             [](CliMqtt& t, Process& watch) {
                                 ASSERT_TRUE(t.subscriber->awaitOutput("/200/state", 10s));
                                 watch.kill();
                             },
                             lastWill},
                    MqttCase{"UnpluggedTransmitter",
                             {},
                             [](CliMqtt& t, Process& watch) {
                                 ASSERT_TRUE(t.subscriber->awaitOutput("/200/state", 10s));
                                 t.line.unplug(1);
                                 ASSERT_TRUE(t.subscriber->awaitOutput("no answer", 10s));
                                 watch.interrupt();
                             },
                             unpluggedStates},
                    MqttCase{"Discovery", {"--ha-discovery", "--count", "1"}, {}, discovery},
                    MqttCase{"BrokerRestartedMidRun", {}, brokerRestart, reconnected},
                    MqttCase{"BrokerDownAtTheStart", {"--count", "1"}, {}, nothingSent, true},
                    MqttCase{"AvailabilityOfADeadTransmitter", {}, deadAndBack, availability},
                    MqttCase{"RediscoveredWhenHomeAssistantStarts",
                             {"--ha-discovery", "--ha-prefix", "ha/test"},
                             homeAssistantStarts,
                             rediscovered},
                    MqttCase{"AreaFromTheDashboard", {"--mqtt-commands", "--csv", "@csv"}, areaCommands, areaSet}),
    [](const testing::TestParamInfo<MqttCase>& info) { return info.param.name; });

} // namespace
