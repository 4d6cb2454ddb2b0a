#pragma once
// What watch --mqtt says to a broker, without the client library: where the
// broker is, the topics of a line, and the JSON of states and of Home
// Assistant's discovery.

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct MqttTarget {
    bool tls = false; // mqtts://
    std::string host;
    std::uint16_t port = 1883;
    std::string user;     // empty: no login
    std::string password; // from the URL or --mqtt-password-file
    std::string prefix = "ventora";
    std::string line; // --mqtt-line, or the port's name made safe for a topic
    bool haDiscovery = false;
    std::string haPrefix = "homeassistant"; // --ha-prefix
    unsigned expireAfterSeconds = 0;        // how long Home Assistant trusts a state; 0: for ever
    bool commands = false;                  // --mqtt-commands: the duct area may be set from the broker

    std::string statusTopic() const { return prefix + "/" + line + "/status"; }
    std::string stateTopic(std::uint8_t address) const;
    // PREFIX/LINE/ADDRESS/availability, /area and /area/set.
    std::string transmitterTopic(std::uint8_t address, const char* leaf) const;
    // Where Home Assistant says "online" when it starts.
    std::string haStatusTopic() const { return haPrefix + "/status"; }
    // HOST:PORT, as messages name the broker (never with the password).
    std::string where() const;
};

// mqtt://[USER[:PASSWORD]@]HOST[:PORT][/PREFIX], or mqtts:// for TLS (port
// 8883 by default). False, with why in error, for anything else; the fields
// the URL leaves out keep their defaults.
bool parseMqttUrl(const std::string& url, MqttTarget& target, std::string& error);

// A port's name as one topic level: a device path without /dev/ (or
// /dev/serial/by-id/), a device server's HOST:PORT, with every character
// outside letters, digits, '-' and '_' made '_' ("/dev/ttyUSB0" gives ttyUSB0,
// "/dev/pts/4" pts_4, "rfc2217://host:7000" host_7000).
std::string topicSafeName(const std::string& portName);

// A topic level given by the user: not empty, without '/', '+' or '#'.
bool topicLevelAllowed(const std::string& level);

using MqttMessage = std::pair<std::string, std::string>; // topic, payload

// Home Assistant's retained configs for one transmitter: a sensor for its
// velocity and one for its volume, both on its state topic and available
// while the line's status and the transmitter's availability both say
// online; with commands, a number for its duct area.
std::vector<MqttMessage> discoveryMessages(const MqttTarget& target, std::uint8_t address, const std::string& model);

// A duct area asked for on PREFIX/LINE/ADDRESS/area/set.
struct AreaCommand {
    std::uint8_t address = 0;
    std::uint16_t area = 0;
    std::string refusal; // why it is not carried out; empty when it may be
};

// Longer payloads are refused unread.
inline constexpr std::size_t kLongestAreaPayload = 16;

// Checks a command before anything is sent: the payload is a decimal integer
// of 0 to 65535 in at most kLongestAreaPayload bytes, and the address one of
// watched.
AreaCommand parseAreaCommand(const MqttTarget& target, const MqttMessage& message,
                             const std::vector<std::uint8_t>& watched);
