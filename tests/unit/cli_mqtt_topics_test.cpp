#include "cli/mqtt_topics.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

namespace {

// "tls host port user password prefix", or "refused".
std::string parsed(const std::string& url) {
    MqttTarget t;
    std::string error;
    if (!parseMqttUrl(url, t, error)) return error.empty() ? "refused without a reason" : "refused";
    return std::to_string(t.tls) + " " + t.host + " " + std::to_string(t.port) + " " + t.user + " " + t.password + " " +
           t.prefix;
}

TEST(MqttUrl, FieldsAndDefaults) {
    const std::pair<const char*, const char*> cases[] = {
        {"mqtt://broker", "0 broker 1883   ventora"},
        {"mqtts://broker", "1 broker 8883   ventora"},
        {"mqtts://broker:1884", "1 broker 1884   ventora"},
        {"mqtt://ann@broker", "0 broker 1883 ann  ventora"},
        {"mqtt://ann:s:e@cret@10.0.0.5:1999/site/b2/", "0 10.0.0.5 1999 ann s:e@cret site/b2"},
        {"mqtt://[fd00::5]:2000/x", "0 fd00::5 2000   x"},
        {"mqtt://[fd00::5]", "0 fd00::5 1883   ventora"},
        {"http://broker", "refused"},
        {"mqtt://", "refused"},
        {"mqtt://broker:0", "refused"},
        {"mqtt://broker:65536", "refused"},
        {"mqtt://broker:18x", "refused"},
        {"mqtt://:pw@broker", "refused"},
        {"mqtt://broker/", "refused"},
        {"mqtt://broker/a/#", "refused"},
        {"mqtt://[fd00::5", "refused"},
        {"mqtt://[fd00::5]x", "refused"},
    };
    for (const auto& [url, expected] : cases) EXPECT_EQ(parsed(url), expected) << url;
}

TEST(MqttTopics, PortNamesAsOneLevel) {
    const std::pair<const char*, const char*> cases[] = {
        {"/dev/ttyUSB0", "ttyUSB0"},
        {"COM3", "COM3"},
        {"rfc2217://host:7000", "host_7000"},
        {"rfc2217://[::1]:7000", "___1__7000"},
        {"/dev/pts/4", "pts_4"},
        {"/dev/serial/by-id/usb-FTDI_FT232R-if00-port0", "usb-FTDI_FT232R-if00-port0"},
        {"/tmp/x+y", "tmp_x_y"},
    };
    for (const auto& [port, level] : cases) EXPECT_EQ(topicSafeName(port), level) << port;
}

TEST(MqttTopics, DiscoveryOfOneTransmitter) {
    MqttTarget t;
    t.prefix = "site";
    t.line = "hall";
    const std::vector<MqttMessage> messages = discoveryMessages(t, 7, "the model");
    ASSERT_EQ(messages.size(), 2u);
    const std::pair<const char*, const char*> quantities[] = {{"velocity", "m/s"}, {"volume", "m³/h"}};
    for (std::size_t i = 0; i < 2; ++i) {
        const auto& [key, unit] = quantities[i];
        const std::string id = std::string("ventora_hall_7_") + key;
        EXPECT_EQ(messages[i].first, "homeassistant/sensor/" + id + "/config");
        const nlohmann::json config = nlohmann::json::parse(messages[i].second);
        EXPECT_EQ(config["unique_id"], id);
        EXPECT_EQ(config["state_topic"], "site/hall/7/state");
        EXPECT_EQ(config["value_template"], std::string("{{ value_json.") + key + " }}");
        EXPECT_EQ(config["unit_of_measurement"], unit);
        EXPECT_EQ(config["availability_topic"], "site/hall/status");
        EXPECT_EQ(config["device"], nlohmann::json::parse(R"({"identifiers":["ventora_hall_7"],"name":"Ventora hall 7",
                                                              "model":"the model","manufacturer":"Ventora"})"));
    }
}

} // namespace
