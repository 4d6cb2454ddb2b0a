#pragma once
// watch's readings to an MQTT broker. mqtt_mosquitto.cpp publishes with
// libmosquitto's threaded loop; mqtt_absent.cpp stands in where the build
// leaves MQTT out (Windows).

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "cli/mqtt_topics.h"

// Whether this build can publish to a broker at all.
bool mqttBuilt();

class MqttPublisher {
public:
    explicit MqttPublisher(const MqttTarget& target);
    // Ends as close() does.
    ~MqttPublisher();
    MqttPublisher(const MqttPublisher&) = delete;
    MqttPublisher& operator=(const MqttPublisher&) = delete;

    // Connects, with the line's status "offline" as the last will, and waits up
    // to timeout for the broker to accept. False, with why (the broker and the
    // cause), when it did not. From then on a lost connection is retried in
    // the background, backing off to 10 s at most.
    bool connect(std::chrono::milliseconds timeout, std::string& why);

    // Retained messages said now and again after every reconnect (Home
    // Assistant's discovery).
    void announce(std::vector<MqttMessage> messages);

    // One reading's state, retained at QoS 1: sent at once while connected,
    // and kept as the transmitter's latest, which a reconnect sends again.
    // Readings in between replace it rather than queue.
    void publishState(std::uint8_t address, const std::string& payload);

    // Says "offline" on the status topic, waits briefly for the broker to take
    // it, and disconnects. Does nothing the second time.
    void close();

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};
