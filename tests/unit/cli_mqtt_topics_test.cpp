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
    t.haPrefix = "ha/test";
    t.expireAfterSeconds = 15;
    t.commands = true;
    const std::vector<MqttMessage> messages = discoveryMessages(t, 7, "the model");
    ASSERT_EQ(messages.size(), 3u);
    const std::pair<const char*, const char*> entities[] = {{"sensor/ventora_hall_7_velocity", "m/s"},
                                                            {"sensor/ventora_hall_7_volume", "m³/h"},
                                                            {"number/ventora_hall_7_area", "cm²"}};
    for (std::size_t i = 0; i < 3; ++i) {
        const auto& [entity, unit] = entities[i];
        EXPECT_EQ(messages[i].first, std::string("ha/test/") + entity + "/config");
        const nlohmann::json config = nlohmann::json::parse(messages[i].second);
        EXPECT_EQ(config["unique_id"], std::string(entity).substr(std::string(entity).find('/') + 1));
        EXPECT_EQ(config["unit_of_measurement"], unit);
        EXPECT_EQ(config["availability"], nlohmann::json::parse(R"([{"topic":"site/hall/status"},
                                                                    {"topic":"site/hall/7/availability"}])"));
        EXPECT_EQ(config["availability_mode"], "all");
        EXPECT_EQ(config["origin"]["name"], "ventora-cli");
        EXPECT_EQ(config["device"], nlohmann::json::parse(R"({"identifiers":["ventora_hall_7"],"name":"Ventora hall 7",
                                                              "model":"the model","manufacturer":"Ventora"})"));
    }
    const nlohmann::json velocity = nlohmann::json::parse(messages[0].second);
    EXPECT_EQ(velocity["state_topic"], "site/hall/7/state");
    EXPECT_EQ(velocity["value_template"], "{{ value_json.velocity }}");
    EXPECT_EQ(velocity["expire_after"], 15);
    const nlohmann::json area = nlohmann::json::parse(messages[2].second);
    EXPECT_EQ(area["command_topic"], "site/hall/7/area/set");
    EXPECT_EQ(area["entity_category"], "config");
    EXPECT_FALSE(area.contains("expire_after")) << "a setting does not go stale";
}

TEST(MqttTopics, AreaCommandsCheckedBeforeAnythingIsSent) {
    MqttTarget t;
    t.prefix = "site";
    t.line = "hall";
    const std::vector<std::uint8_t> watched = {3, 77};
    // "address area", or the start of the refusal.
    const std::pair<MqttMessage, const char*> cases[] = {
        {{"site/hall/77/area/set", "450"}, "77 450"},
        {{"site/hall/3/area/set", "65535"}, "3 65535"},
        {{"site/hall/3/area/set", "0300"}, "3 300"},
        {{"site/hall/3/area/set", "65536"}, "the payload is not"},
        {{"site/hall/3/area/set", "-1"}, "the payload is not"},
        {{"site/hall/3/area/set", "450.0"}, "the payload is not"},
        {{"site/hall/3/area/set", "0x1C2"}, "the payload is not"},
        {{"site/hall/3/area/set", ""}, "the payload is not"},
        {{"site/hall/3/area/set", "00000000000000450"}, "the payload is longer than 16"},
        {{"site/hall/5/area/set", "450"}, "address 5 is not watched"},
        {{"site/hall/x/area/set", "450"}, "address x is not watched"},
        {{"site/other/3/area/set", "450"}, "not an area command"},
    };
    for (const auto& [message, expected] : cases) {
        const AreaCommand c = parseAreaCommand(t, message, watched);
        const std::string got =
            c.refusal.empty() ? std::to_string(c.address) + " " + std::to_string(c.area) : c.refusal;
        EXPECT_TRUE(got.starts_with(expected)) << message.first << " " << message.second << ": " << got;
    }
}

} // namespace
