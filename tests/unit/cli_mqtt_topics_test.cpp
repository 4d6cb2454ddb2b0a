#include "cli/mqtt_topics.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

namespace {

struct UrlCase {
    const char* url;
    bool ok;
    MqttTarget expected = {};
};

MqttTarget target(bool tls, const char* host, std::uint16_t port, const char* user = "", const char* password = "",
                  const char* prefix = "ventora") {
    MqttTarget t;
    t.tls = tls;
    t.host = host;
    t.port = port;
    t.user = user;
    t.password = password;
    t.prefix = prefix;
    return t;
}

TEST(MqttUrl, FieldsAndDefaults) {
    const UrlCase cases[] = {
        {"mqtt://broker", true, target(false, "broker", 1883)},
        {"mqtts://broker", true, target(true, "broker", 8883)},
        {"mqtts://broker:1884", true, target(true, "broker", 1884)},
        {"mqtt://ann@broker", true, target(false, "broker", 1883, "ann")},
        {"mqtt://ann:s:e@cret@10.0.0.5:1999/site/b2/", true,
         target(false, "10.0.0.5", 1999, "ann", "s:e@cret", "site/b2")},
        {"mqtt://[fd00::5]:2000/x", true, target(false, "fd00::5", 2000, "", "", "x")},
        {"mqtt://[fd00::5]", true, target(false, "fd00::5", 1883)},
        {"http://broker", false},
        {"mqtt://", false},
        {"mqtt://broker:0", false},
        {"mqtt://broker:65536", false},
        {"mqtt://broker:18x", false},
        {"mqtt://:pw@broker", false},
        {"mqtt://broker/", false},
        {"mqtt://broker/a/#", false},
        {"mqtt://[fd00::5", false},
        {"mqtt://[fd00::5]x", false},
    };
    for (const UrlCase& c : cases) {
        MqttTarget t;
        std::string error;
        ASSERT_EQ(parseMqttUrl(c.url, t, error), c.ok) << c.url;
        if (!c.ok) {
            EXPECT_FALSE(error.empty()) << c.url;
            continue;
        }
        EXPECT_EQ(t.tls, c.expected.tls) << c.url;
        EXPECT_EQ(t.host, c.expected.host) << c.url;
        EXPECT_EQ(t.port, c.expected.port) << c.url;
        EXPECT_EQ(t.user, c.expected.user) << c.url;
        EXPECT_EQ(t.password, c.expected.password) << c.url;
        EXPECT_EQ(t.prefix, c.expected.prefix) << c.url;
    }
    EXPECT_EQ(target(false, "fd00::5", 2000).where(), "[fd00::5]:2000");
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
    MqttTarget t = target(false, "b", 1883, "", "", "site");
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
        EXPECT_EQ(config["payload_available"], "online");
        EXPECT_EQ(config["payload_not_available"], "offline");
        EXPECT_EQ(config["device"]["identifiers"], nlohmann::json::array({"ventora_hall_7"}));
        EXPECT_EQ(config["device"]["model"], "the model");
        EXPECT_EQ(config["device"]["manufacturer"], "Ventora");
        EXPECT_FALSE(config["name"].get<std::string>().empty());
    }
}

} // namespace
