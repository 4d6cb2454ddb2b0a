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
    // to timeout for the broker to accept. Subscribes to Home Assistant's
    // status with discovery (its "online" says the discovery again), and to
    // the area commands with target.commands. False, with why (the broker and the
    // cause), when it did not. From then on a lost connection is retried in
    // the background, backing off to 10 s at most.
    bool connect(std::chrono::milliseconds timeout, std::string& why);

    // Retained messages said now and again after every reconnect (Home
    // Assistant's discovery).
    void announce(std::vector<MqttMessage> messages);

    // One reading's state, kept as the transmitter's latest until
    // sendStates; a reconnect sends the latest again. Readings in between
    // replace it rather than queue.
    void publishState(std::uint8_t address, const std::string& payload);

    // The states published since the last call, retained at QoS 0, handed
    // to the loop together: one wake of its thread for a round rather than
    // one per reading and one per acknowledgement. A state that a lost
    // connection drops is sent again on reconnecting, and the next reading
    // replaces it anyway.
    void sendStates();

    // A retained message said now and again after every reconnect, replacing
    // what was kept on its topic before (availability, the duct area).
    void keep(const std::string& topic, const std::string& payload);

    // The area commands that came since the last call, oldest first; a
    // dashboard that floods the topic loses what is beyond a few dozen.
    // Payloads are cut one byte past the longest allowed.
    std::vector<MqttMessage> takeCommands();

    // Says "offline" on the status topic, waits briefly for the broker to take
    // it, and disconnects. Does nothing the second time.
    void close();

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};
