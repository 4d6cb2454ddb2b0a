// The publisher on libmosquitto. Its threaded loop owns the socket, answers
// the broker and reconnects; the watch's thread only hands messages over.

#include <mosquitto.h>

#include <cctype>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <map>
#include <utility>
#include <algorithm>
#include <mutex>

#include "cli/mqtt_publisher.h"

namespace {

constexpr int kKeepAliveSeconds = 30;
constexpr unsigned kFirstRetrySeconds = 1;
constexpr unsigned kLongestRetrySeconds = 10;
constexpr auto kOfflineWait = std::chrono::seconds(2);
constexpr std::size_t kMostCommands = 32;
// Each state replaces the last, and a reconnect sends the latest again, so
// the broker's acknowledgements would only cost wake-ups.
constexpr int kStateQos = 0;

std::string lowerFirst(std::string text) {
    if (!text.empty()) text[0] = char(std::tolower(static_cast<unsigned char>(text[0])));
    return text;
}

// Why mosquitto_connect failed, as the port's failures read.
std::string connectFailure(int rc, int error) {
    if (rc == MOSQ_ERR_ERRNO) return lowerFirst(std::strerror(error));
    if (rc == MOSQ_ERR_EAI) return "host not found";
    return lowerFirst(mosquitto_strerror(rc));
}

} // namespace

bool mqttBuilt() { return true; }

struct MqttPublisher::Impl {
    MqttTarget target;
    mosquitto* client = nullptr;
    bool looping = false;
    bool closed = false;

    std::mutex mutex;
    std::condition_variable changed;
    bool connected = false;
    int connack = -1; // the broker's first answer to CONNECT; -1 until it comes
    std::vector<MqttMessage> announced;
    std::map<std::uint8_t, std::string> latest;
    std::vector<std::uint8_t> unsent; // addresses whose latest state waits for sendStates
    std::map<std::string, std::string> kept;
    std::vector<MqttMessage> commands;
    int offlineMid = -1;
    bool offlineTaken = false;

    // Called with mutex held.
    int publish(const std::string& topic, const std::string& payload, int* mid = nullptr, int qos = 1) {
        return mosquitto_publish(client, mid, topic.c_str(), int(payload.size()), payload.data(), qos, true);
    }
    void sendState(std::uint8_t address) { publish(target.stateTopic(address), latest[address], nullptr, kStateQos); }

    void onConnect(int rc) {
        std::lock_guard lock(mutex);
        if (connack < 0) connack = rc;
        connected = rc == 0;
        if (connected) {
            // Discovery before availability before state, as Home Assistant reads them.
            for (const MqttMessage& m : announced) publish(m.first, m.second);
            publish(target.statusTopic(), "online");
            for (const auto& [topic, payload] : kept) publish(topic, payload);
            for (const auto& entry : latest) sendState(entry.first);
            unsent.clear();
            // Subscriptions end with a clean session's connection.
            if (target.haDiscovery) mosquitto_subscribe(client, nullptr, target.haStatusTopic().c_str(), 1);
            const std::string areaCommands = target.prefix + "/" + target.line + "/+/area/set";
            if (target.commands) mosquitto_subscribe(client, nullptr, areaCommands.c_str(), 1);
        }
        changed.notify_all();
    }
    void onMessage(const mosquitto_message& m) {
        const std::string topic = m.topic;
        const std::size_t length =
            std::min<std::size_t>(std::size_t(std::max(m.payloadlen, 0)), kLongestAreaPayload + 1);
        std::string payload(static_cast<const char*>(m.payload), m.payload == nullptr ? 0 : length);
        std::lock_guard lock(mutex);
        if (topic == target.haStatusTopic()) {
            if (payload == "online" && connected)
                for (const MqttMessage& a : announced) publish(a.first, a.second);
        } else if (commands.size() < kMostCommands) {
            commands.emplace_back(topic, std::move(payload));
        }
    }
    void onDisconnect() {
        std::lock_guard lock(mutex);
        connected = false;
    }
    void onPublish(int mid) {
        std::lock_guard lock(mutex);
        if (mid == offlineMid) offlineTaken = true;
        changed.notify_all();
    }
};

MqttPublisher::MqttPublisher(const MqttTarget& target) : impl_(std::make_unique<Impl>()) {
    mosquitto_lib_init();
    impl_->target = target;
    impl_->client = mosquitto_new(nullptr, true, impl_.get());
}

MqttPublisher::~MqttPublisher() {
    close();
    if (impl_->client != nullptr) mosquitto_destroy(impl_->client);
    mosquitto_lib_cleanup();
}

bool MqttPublisher::connect(std::chrono::milliseconds timeout, std::string& why) {
    Impl& d = *impl_;
    const MqttTarget& t = d.target;
    why = "cannot reach the MQTT broker " + t.where() + ": ";
    if (d.client == nullptr) {
        why += "out of memory";
        return false;
    }
    mosquitto_connect_callback_set(d.client,
                                   [](mosquitto*, void* self, int rc) { static_cast<Impl*>(self)->onConnect(rc); });
    mosquitto_disconnect_callback_set(d.client,
                                      [](mosquitto*, void* self, int) { static_cast<Impl*>(self)->onDisconnect(); });
    mosquitto_message_callback_set(
        d.client, [](mosquitto*, void* self, const mosquitto_message* m) { static_cast<Impl*>(self)->onMessage(*m); });
    mosquitto_publish_callback_set(d.client,
                                   [](mosquitto*, void* self, int mid) { static_cast<Impl*>(self)->onPublish(mid); });
    if (!t.user.empty())
        mosquitto_username_pw_set(d.client, t.user.c_str(), t.password.empty() ? nullptr : t.password.c_str());
    mosquitto_will_set(d.client, t.statusTopic().c_str(), 7, "offline", 1, true);
    // Each state is one small packet, sent at once rather than gathered.
    mosquitto_int_option(d.client, MOSQ_OPT_TCP_NODELAY, 1);
    mosquitto_reconnect_delay_set(d.client, kFirstRetrySeconds, kLongestRetrySeconds, true);
    if (t.tls) {
        mosquitto_int_option(d.client, MOSQ_OPT_TLS_USE_OS_CERTS, 1);
        mosquitto_tls_set(d.client, nullptr, "/etc/ssl/certs", nullptr, nullptr, nullptr);
    }
    errno = 0;
    if (const int rc = mosquitto_connect(d.client, t.host.c_str(), t.port, kKeepAliveSeconds); rc != MOSQ_ERR_SUCCESS) {
        why += connectFailure(rc, errno);
        return false;
    }
    d.looping = mosquitto_loop_start(d.client) == MOSQ_ERR_SUCCESS;
    std::unique_lock lock(d.mutex);
    if (!d.looping || !d.changed.wait_for(lock, timeout, [&] { return d.connack >= 0; }))
        why += "no answer from the broker";
    else if (d.connack != 0)
        why += lowerFirst(mosquitto_connack_string(d.connack));
    else
        return true;
    lock.unlock();
    d.closed = true;
    mosquitto_disconnect(d.client);
    if (d.looping) mosquitto_loop_stop(d.client, true);
    d.looping = false;
    return false;
}

void MqttPublisher::announce(std::vector<MqttMessage> messages) {
    std::lock_guard lock(impl_->mutex);
    impl_->announced = std::move(messages);
    if (impl_->connected)
        for (const MqttMessage& m : impl_->announced) impl_->publish(m.first, m.second);
}

void MqttPublisher::publishState(std::uint8_t address, const std::string& payload) {
    std::lock_guard lock(impl_->mutex);
    impl_->latest[address] = payload;
    if (std::find(impl_->unsent.begin(), impl_->unsent.end(), address) == impl_->unsent.end())
        impl_->unsent.push_back(address);
}

void MqttPublisher::sendStates() {
    std::lock_guard lock(impl_->mutex);
    if (impl_->connected)
        for (const std::uint8_t address : impl_->unsent) impl_->sendState(address);
    impl_->unsent.clear();
}

void MqttPublisher::keep(const std::string& topic, const std::string& payload) {
    std::lock_guard lock(impl_->mutex);
    impl_->kept[topic] = payload;
    if (impl_->connected) impl_->publish(topic, payload);
}

std::vector<MqttMessage> MqttPublisher::takeCommands() {
    std::lock_guard lock(impl_->mutex);
    return std::exchange(impl_->commands, {});
}

void MqttPublisher::close() {
    Impl& d = *impl_;
    if (d.closed || !d.looping) return;
    d.closed = true;
    bool connected = false;
    {
        std::unique_lock lock(d.mutex);
        connected = d.connected;
        if (connected && d.publish(d.target.statusTopic(), "offline", &d.offlineMid) == MOSQ_ERR_SUCCESS)
            d.changed.wait_for(lock, kOfflineWait, [&] { return d.offlineTaken; });
    }
    mosquitto_disconnect(d.client);
    // A loop between reconnection attempts may sleep up to 10 s: it is not waited for.
    mosquitto_loop_stop(d.client, !connected);
    d.looping = false;
}
