#include "cli/mqtt_topics.h"

#include <algorithm>
#include <cctype>
#include <string_view>

#include <nlohmann/json.hpp>

#include "cli/output.h"
#include "protocol/decimal.h"

namespace {

bool takePort(std::string_view text, std::uint16_t& port) {
    std::uint32_t value = 0;
    if (!parseDecimal(text, 65535, value) || value < 1) return false;
    port = std::uint16_t(value);
    return true;
}

// HOST[:PORT], with an IPv6 address in brackets.
bool takeHostPort(std::string_view text, MqttTarget& target) {
    std::size_t colon = std::string_view::npos;
    if (!text.empty() && text.front() == '[') {
        const std::size_t close = text.find(']');
        if (close == std::string_view::npos) return false;
        target.host = std::string(text.substr(1, close - 1));
        if (close + 1 < text.size()) {
            if (text[close + 1] != ':') return false;
            colon = close + 1;
        }
    } else {
        colon = text.find(':');
        target.host = std::string(text.substr(0, colon));
    }
    return !target.host.empty() && (colon == std::string_view::npos || takePort(text.substr(colon + 1), target.port));
}

} // namespace

std::string MqttTarget::stateTopic(std::uint8_t address) const {
    return prefix + "/" + line + "/" + std::to_string(address) + "/state";
}

std::string MqttTarget::transmitterTopic(std::uint8_t address, const char* leaf) const {
    return prefix + "/" + line + "/" + std::to_string(address) + "/" + leaf;
}

std::string MqttTarget::where() const {
    const bool ipv6 = host.find(':') != std::string::npos;
    return (ipv6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

bool parseMqttUrl(const std::string& url, MqttTarget& target, std::string& error) {
    error = "an MQTT broker is mqtt://[USER[:PASSWORD]@]HOST[:PORT][/PREFIX] or mqtts://..., with PORT 1 to 65535";
    std::string_view rest = url;
    if (rest.starts_with("mqtt://")) {
        rest.remove_prefix(7);
    } else if (rest.starts_with("mqtts://")) {
        rest.remove_prefix(8);
        target.tls = true;
        target.port = 8883;
    } else {
        return false;
    }
    const std::size_t slash = rest.find('/');
    if (slash != std::string_view::npos) {
        target.prefix = std::string(rest.substr(slash + 1));
        while (!target.prefix.empty() && target.prefix.back() == '/') target.prefix.pop_back();
        if (target.prefix.empty() || target.prefix.find_first_of("+#") != std::string::npos) {
            error = "the topic prefix after the broker must not be empty or hold '+' or '#'";
            return false;
        }
        rest = rest.substr(0, slash);
    }
    const std::size_t at = rest.rfind('@');
    if (at != std::string_view::npos) {
        const std::string_view login = rest.substr(0, at);
        const std::size_t colon = login.find(':');
        target.user = std::string(login.substr(0, colon));
        if (colon != std::string_view::npos) target.password = std::string(login.substr(colon + 1));
        if (target.user.empty()) return false;
        rest.remove_prefix(at + 1);
    }
    return takeHostPort(rest, target);
}

std::string topicSafeName(const std::string& portName) {
    std::string_view name = portName;
    if (const std::size_t scheme = name.find("://"); scheme != std::string_view::npos) name.remove_prefix(scheme + 3);
    for (const std::string_view folder : {"/dev/serial/by-id/", "/dev/serial/by-path/", "/dev/", "/"})
        if (name.starts_with(folder)) {
            name.remove_prefix(folder.size());
            break;
        }
    std::string safe(name);
    for (char& c : safe)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_') c = '_';
    return safe.empty() ? "line" : safe;
}

bool topicLevelAllowed(const std::string& level) {
    return !level.empty() && level.find_first_of("/+#") == std::string::npos;
}

namespace {

// What every entity of one transmitter shares: its device, where it comes
// from, and when it is available.
Json entityBase(const MqttTarget& target, std::uint8_t address, const std::string& model, const std::string& id) {
    const std::string device = "ventora_" + target.line + "_" + std::to_string(address);
    Json config = {
        {"unique_id", device + "_" + id},
        {"availability",
         {{{"topic", target.statusTopic()}}, {{"topic", target.transmitterTopic(address, "availability")}}}},
        {"availability_mode", "all"},
        {"payload_available", "online"},
        {"payload_not_available", "offline"},
        {"device",
         {{"identifiers", {device}},
          {"name", "Ventora " + target.line + " " + std::to_string(address)},
          {"model", model},
          {"manufacturer", "Ventora"}}},
        {"origin", {{"name", "ventora-cli"}, {"sw_version", VENTORA_VERSION}, {"support_url", VENTORA_HOMEPAGE_URL}}},
    };
    return config;
}

} // namespace

std::vector<MqttMessage> discoveryMessages(const MqttTarget& target, std::uint8_t address, const std::string& model) {
    struct Quantity {
        const char* key;
        const char* name;
        const char* unit;
        const char* deviceClass;
    };
    std::vector<MqttMessage> messages;
    for (const Quantity q : {Quantity{"velocity", "air velocity", "m/s", "speed"},
                             Quantity{"volume", "air volume", "m³/h", "volume_flow_rate"}}) {
        Json config = entityBase(target, address, model, q.key);
        config.update(Json{
            {"name", q.name},
            {"state_topic", target.stateTopic(address)},
            {"value_template", std::string("{{ value_json.") + q.key + " }}"},
            {"unit_of_measurement", q.unit},
            {"device_class", q.deviceClass},
            {"state_class", "measurement"},
        });
        if (target.expireAfterSeconds > 0) config["expire_after"] = target.expireAfterSeconds;
        messages.emplace_back(target.haPrefix + "/sensor/" + config["unique_id"].get<std::string>() + "/config",
                              jsonText(config));
    }
    if (target.commands) {
        Json config = entityBase(target, address, model, "area");
        config.update(Json{
            {"name", "duct area"},
            {"state_topic", target.transmitterTopic(address, "area")},
            {"command_topic", target.transmitterTopic(address, "area/set")},
            {"command_template", "{{ value | int }}"},
            {"min", 0},
            {"max", 65535},
            {"step", 1},
            {"mode", "box"},
            {"unit_of_measurement", "cm²"},
            {"entity_category", "config"},
        });
        messages.emplace_back(target.haPrefix + "/number/" + config["unique_id"].get<std::string>() + "/config",
                              jsonText(config));
    }
    return messages;
}

AreaCommand parseAreaCommand(const MqttTarget& target, const MqttMessage& message,
                             const std::vector<std::uint8_t>& watched) {
    AreaCommand command;
    const auto& [topic, payload] = message;
    const std::string head = target.prefix + "/" + target.line + "/";
    const std::string tail = "/area/set";
    std::string_view address = topic;
    if (!address.starts_with(head) || !address.ends_with(tail)) {
        command.refusal = "not an area command";
        return command;
    }
    address = address.substr(head.size(), address.size() - head.size() - tail.size());
    std::uint32_t value = 0;
    const auto whole = [&value](std::string_view text, std::uint32_t most) { return parseDecimal(text, most, value); };
    if (!whole(address, 255) || std::find(watched.begin(), watched.end(), std::uint8_t(value)) == watched.end()) {
        command.refusal = "address " + std::string(address) + " is not watched on this line";
        return command;
    }
    command.address = std::uint8_t(value);
    if (payload.size() > kLongestAreaPayload) {
        command.refusal = "the payload is longer than " + std::to_string(kLongestAreaPayload) + " bytes";
    } else if (!whole(payload, 65535)) {
        command.refusal = "the payload is not a whole number of cm2 from 0 to 65535";
    } else {
        command.area = std::uint16_t(value);
    }
    return command;
}
