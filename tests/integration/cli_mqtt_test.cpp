// watch --mqtt against a real broker: Debian's mosquitto on a loopback port,
// ventora-cli publishing a line of three software transmitters, and a
// subscriber in the test. Skipped where mosquitto is not installed.

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli/output.h"
#include "tests/integration/cli_helpers.h"
#include "tests/support/mqtt_broker.h"
#include "tests/support/wait_for.h"

namespace {

using namespace std::chrono_literals;

constexpr std::uint8_t kAddresses[] = {3, 77, 200};
const std::string kStatus = "plant/hall/status";

std::string stateTopic(int address) { return "plant/hall/" + std::to_string(address) + "/state"; }

std::vector<std::string> payloads(const std::vector<ReceivedMessage>& messages) {
    std::vector<std::string> all;
    for (const ReceivedMessage& m : messages) all.push_back(m.payload);
    return all;
}

class CliMqtt;

struct MqttCase {
    const char* name;
    std::vector<std::string> watch; // after "watch --interval 50 --mqtt URL/plant --mqtt-line hall"
    std::function<void(CliMqtt&)> before;
    std::function<void(CliMqtt&, Process&)> during;
    std::function<void(CliMqtt&, const ProcessRun&)> check;
    friend void PrintTo(const MqttCase& c, std::ostream* os) { *os << c.name; }
};

class CliMqtt : public testing::TestWithParam<MqttCase> {
protected:
    void SetUp() override {
        if (mosquittoPath() == nullptr) GTEST_SKIP() << "mosquitto is not installed";
        broker = std::make_unique<MqttBroker>();
        ASSERT_TRUE(broker->running()) << "mosquitto did not come up";
        subscriber = std::make_unique<MqttSubscriber>(broker->port);
        ASSERT_TRUE(subscriber->connected());
        for (const std::uint8_t address : kAddresses) {
            sim::Config c;
            c.address = address;
            line.add(c);
        }
        ASSERT_TRUE(line.start());
    }

public:
    // A second subscriber, as a dashboard that comes later.
    std::unique_ptr<MqttSubscriber> later() const { return std::make_unique<MqttSubscriber>(broker->port); }
    bool allStated(const MqttSubscriber& s, const std::string& text = "\"ok\"") const {
        for (const std::uint8_t address : kAddresses)
            if (!s.await(stateTopic(address), text)) return false;
        return true;
    }

    sim::SimLine line{9600, true};
    std::unique_ptr<MqttBroker> broker;
    std::unique_ptr<MqttSubscriber> subscriber, after;
    std::string reconnectedAt; // when the line was online again, as the states' times are written
};

TEST_P(CliMqtt, PublishesTheLine) {
    const MqttCase& c = GetParam();
    if (c.before) c.before(*this);
    std::vector<std::string> args = {"-p",
                                     line.slavePath(),
                                     "-b",
                                     "9600",
                                     "-d",
                                     "fd",
                                     "-a",
                                     "3,77,200",
                                     "watch",
                                     "--interval",
                                     "50",
                                     "--mqtt",
                                     broker->url() + "/plant",
                                     "--mqtt-line",
                                     "hall"};
    args.insert(args.end(), c.watch.begin(), c.watch.end());
    CliProcess watch(args);
    if (c.during) c.during(*this, watch);
    c.check(*this, watch.finish());
}

void statesAndStatus(CliMqtt& t, const ProcessRun& run) {
    ASSERT_EQ(run.status, 0) << run.err;
    const std::vector<ReceivedMessage> status = t.subscriber->on(kStatus);
    ASSERT_EQ(payloads(status), (std::vector<std::string>{"online", "offline"}));
    for (const std::uint8_t address : kAddresses) {
        const std::vector<ReceivedMessage> states = t.subscriber->on(stateTopic(address));
        ASSERT_EQ(states.size(), 3u) << address;
        for (const ReceivedMessage& m : states) {
            const Json state = Json::parse(m.payload);
            EXPECT_EQ(state.size(), 4u) << m.payload;
            EXPECT_EQ(state["time"].get<std::string>().size(), 24u) << m.payload;
            EXPECT_EQ(state["velocity"], 12.3);
            EXPECT_EQ(state["volume"], 1328.4);
            EXPECT_EQ(state["result"], "ok");
            EXPECT_TRUE(status[0].at <= m.at && m.at <= status[1].at) << "states come while the line is online";
        }
    }
}

void retainedForALateSubscriber(CliMqtt& t, const ProcessRun& run) {
    ASSERT_EQ(run.status, 0) << run.err;
    const auto late = t.later();
    ASSERT_TRUE(late->await(kStatus, "offline"));
    ASSERT_TRUE(t.allStated(*late));
    for (const std::uint8_t address : kAddresses) {
        const std::vector<ReceivedMessage> retained = late->on(stateTopic(address));
        ASSERT_EQ(retained.size(), 1u);
        EXPECT_TRUE(retained[0].retained);
        EXPECT_EQ(retained[0].payload, t.subscriber->on(stateTopic(address)).back().payload) << "the last reading";
    }
}

void lastWill(CliMqtt& t, const ProcessRun& run) {
    EXPECT_EQ(run.status, killedStatus());
    EXPECT_TRUE(t.subscriber->await(kStatus, "offline")) << "the broker says the will";
    const auto late = t.later();
    ASSERT_TRUE(late->await(kStatus, "offline"));
    EXPECT_TRUE(late->on(kStatus)[0].retained);
}

void unplugged(CliMqtt& t, Process& watch) {
    ASSERT_TRUE(t.allStated(*t.subscriber));
    t.line.unplug(1);
    ASSERT_TRUE(t.subscriber->await(stateTopic(77), "no answer"));
    watch.interrupt();
}

void unpluggedStates(CliMqtt& t, const ProcessRun& run) {
    EXPECT_EQ(run.status, 0) << run.err;
    const std::string missed = R"("velocity":null,"volume":null,"result":"no answer"})";
    EXPECT_NE(t.subscriber->on(stateTopic(77)).back().payload.find(missed), std::string::npos);
    for (const int address : {3, 200})
        for (const ReceivedMessage& m : t.subscriber->on(stateTopic(address)))
            EXPECT_NE(m.payload.find(R"("result":"ok")"), std::string::npos) << m.payload;
}

void discovery(CliMqtt& t, const ProcessRun& run) {
    ASSERT_EQ(run.status, 0) << run.err;
    const auto late = t.later();
    for (const std::uint8_t address : kAddresses)
        for (const char* quantity : {"velocity", "volume"}) {
            const std::string id = "ventora_hall_" + std::to_string(address) + "_" + quantity;
            ASSERT_TRUE(late->await("homeassistant/sensor/" + id + "/config", id)) << id;
            const ReceivedMessage config = late->on("homeassistant/sensor/" + id + "/config")[0];
            EXPECT_TRUE(config.retained);
            const Json json = Json::parse(config.payload);
            EXPECT_EQ(json["state_topic"], stateTopic(address));
            EXPECT_EQ(json["availability_topic"], kStatus);
        }
}

// The broker goes for about two seconds, while the watch reads on.
void brokerRestart(CliMqtt& t, Process& watch) {
    ASSERT_TRUE(t.allStated(*t.subscriber));
    t.broker->stop();
    std::this_thread::sleep_for(2s);
    ASSERT_TRUE(t.broker->start());
    t.after = t.later();
    ASSERT_TRUE(t.after->await(kStatus, "online", 1, 15s)) << "reconnected within the 10 s backoff";
    t.reconnectedAt = isoTime(t.after->on(kStatus)[0].wall);
    for (const std::uint8_t address : kAddresses)
        ASSERT_TRUE(waitFor([&] { return t.after->on(stateTopic(address)).size() >= 3; }));
    watch.interrupt();
}

void reconnected(CliMqtt& t, const ProcessRun& run) {
    EXPECT_EQ(run.status, 0) << run.err;
    // Rounds went on while the broker was away: about 40 of them at 50 ms.
    EXPECT_GE(lines(run.out).size(), 3u * 30) << run.out;
    for (const std::uint8_t address : kAddresses) {
        int before = 0, after = 0;
        for (const ReceivedMessage& m : t.after->on(stateTopic(address)))
            ++(Json::parse(m.payload)["time"].get<std::string>() < t.reconnectedAt ? before : after);
        // The latest reading from the outage, and perhaps the round under way
        // when the line came back; not a queue of the 40 and more rounds.
        EXPECT_GE(before, 1);
        EXPECT_LE(before, 2);
        EXPECT_GE(after, 1);
    }
}

void brokerDown(CliMqtt& t) { t.broker->stop(); }

void nothingSent(CliMqtt& t, const ProcessRun& run) {
    EXPECT_EQ(run.status, 3);
    EXPECT_NE(run.err.find("MQTT broker 127.0.0.1:" + std::to_string(t.broker->port) + ": connection refused"),
              std::string::npos)
        << run.err;
    EXPECT_TRUE(t.line.requests().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Mosquitto, CliMqtt,
    testing::Values(MqttCase{"StatesAndStatus", {"--count", "3"}, {}, {}, statesAndStatus},
                    MqttCase{"RetainedForALateSubscriber", {"--count", "2"}, {}, {}, retainedForALateSubscriber},
                    MqttCase{"LastWillAfterSigkill",
                             {},
                             {},
                             [](CliMqtt& t, Process& watch) {
                                 ASSERT_TRUE(t.allStated(*t.subscriber));
                                 watch.kill();
                             },
                             lastWill},
                    MqttCase{"UnpluggedTransmitter", {}, {}, unplugged, unpluggedStates},
                    MqttCase{"Discovery", {"--ha-discovery", "--count", "1"}, {}, {}, discovery},
                    MqttCase{"BrokerRestartedMidRun", {}, {}, brokerRestart, reconnected},
                    MqttCase{"BrokerDownAtTheStart", {}, brokerDown, {}, nothingSent}),
    [](const testing::TestParamInfo<MqttCase>& info) { return info.param.name; });

} // namespace
