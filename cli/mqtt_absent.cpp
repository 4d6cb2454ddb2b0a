// The publisher where the build leaves MQTT out: options refuse --mqtt first,
// so none of this is reached.

#include "cli/mqtt_publisher.h"

bool mqttBuilt() { return false; }

struct MqttPublisher::Impl {};

MqttPublisher::MqttPublisher(const MqttTarget&) {}
MqttPublisher::~MqttPublisher() = default;

bool MqttPublisher::connect(std::chrono::milliseconds, std::string& why) {
    why = "this build has no MQTT";
    return false;
}

void MqttPublisher::announce(std::vector<MqttMessage>) {}
void MqttPublisher::publishState(std::uint8_t, const std::string&) {}
void MqttPublisher::sendStates() {}
void MqttPublisher::keep(const std::string&, const std::string&) {}
std::vector<MqttMessage> MqttPublisher::takeCommands() { return {}; }
void MqttPublisher::close() {}
