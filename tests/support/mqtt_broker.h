#pragma once
// Debian's mosquitto on a free loopback port, and a subscriber that keeps
// every message it is sent, for the tests and the benchmark. POSIX only.

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
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

struct ReceivedMessage {
    std::string topic, payload;
    bool retained = false;
    std::chrono::steady_clock::time_point at; // when it arrived
    std::chrono::system_clock::time_point wall;
};

class MqttSubscriber {
public:
    // Connects to the broker on port and subscribes to filter; connected()
    // says whether both worked.
    explicit MqttSubscriber(std::uint16_t port, const std::string& filter = "#");
    ~MqttSubscriber();
    MqttSubscriber(const MqttSubscriber&) = delete;
    MqttSubscriber& operator=(const MqttSubscriber&) = delete;

    bool connected() const { return subscribed_; }
    // What came on topic so far, in order; every message for an empty topic.
    std::vector<ReceivedMessage> on(const std::string& topic = "") const;
    // Waits until count messages on topic hold text in their payloads.
    bool await(const std::string& topic, const std::string& text, std::size_t count = 1,
               std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;

    struct Client;

private:
    std::unique_ptr<Client> client_;
    bool subscribed_ = false;
};
