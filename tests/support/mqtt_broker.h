#pragma once
// Debian's mosquitto on a free loopback port, and mosquitto_sub as the
// subscriber, for the tests and the benchmark. POSIX only.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/process.h"

// Where mosquitto is installed; nullptr when it is not.
const char* mosquittoPath();

class MqttBroker {
public:
    // Starts on a port nothing listens on; running() says whether it came up.
    MqttBroker();
    ~MqttBroker();

    bool running() const { return process_ != nullptr; }
    // Ends the broker at once, as a crash or a pulled cable would.
    void stop();
    // Starts it again, on the same port, with nothing retained.
    bool start();
    std::string url() const { return "mqtt://127.0.0.1:" + std::to_string(port); }

    std::uint16_t port = 0;

private:
    std::string config_;
    std::unique_ptr<Process> process_;
};

// mosquitto_sub on the broker, subscribed to filter by the time it is
// returned (null if it could not subscribe). Its output holds a line per
// message, which receivedMessages reads once it is ended; over a long run it
// must be read as it comes (awaitOutput), as a full pipe holds it back.
std::unique_ptr<Process> subscribe(const MqttBroker& broker, const std::string& filter = "#");

// mosquitto_pub: one message, not retained, at QoS 1. False when it failed.
bool publishTo(const MqttBroker& broker, const std::string& topic, const std::string& payload);

struct ReceivedMessage {
    double unixTime = 0; // when it arrived, in seconds since 1970
    bool retained = false;
    std::string topic, payload;
};

// The messages on topic (every one for an empty topic) in a subscriber's output, in order.
std::vector<ReceivedMessage> receivedMessages(const std::string& out, const std::string& topic = "");
