#include "tests/support/mqtt_broker.h"

#include <mosquitto.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

#include "tests/support/ser2net.h"
#include "tests/support/wait_for.h"

struct MqttSubscriber::Client {
    mosquitto* mosq = nullptr;
    mutable std::mutex mutex;
    std::vector<ReceivedMessage> messages;
    bool subscribed = false;
};

namespace {

// Whether a client can connect to the broker on port now.
bool brokerAnswers(std::uint16_t port) {
    mosquitto* probe = mosquitto_new(nullptr, true, nullptr);
    const bool ok = mosquitto_connect(probe, "127.0.0.1", port, 10) == MOSQ_ERR_SUCCESS;
    if (ok) mosquitto_disconnect(probe);
    mosquitto_destroy(probe);
    return ok;
}

} // namespace

const char* mosquittoPath() {
    for (const char* path : {"/usr/sbin/mosquitto", "/usr/bin/mosquitto", "/usr/local/sbin/mosquitto"})
        if (::access(path, X_OK) == 0) return path;
    return nullptr;
}

// The port is one the kernel just handed out and released: taken again by
// someone else only by a rare race, which a retry covers.
MqttBroker::MqttBroker() {
    mosquitto_lib_init();
    static int serial = 0;
    config_ = "/tmp/ventora-mosquitto-" + std::to_string(::getpid()) + "-" + std::to_string(++serial) + ".conf";
    for (int attempt = 0; attempt < 5 && process_ == nullptr && mosquittoPath() != nullptr; ++attempt) {
        port = LocalSocket(false).port;
        if (!start()) port = 0;
    }
}

MqttBroker::~MqttBroker() {
    stop();
    std::remove(config_.c_str());
    mosquitto_lib_cleanup();
}

void MqttBroker::stop() { process_.reset(); }

bool MqttBroker::start() {
    std::ofstream(config_) << "listener " << port << " 127.0.0.1\nallow_anonymous true\npersistence false\n";
    auto server = std::make_unique<Process>(
        Launch{.program = mosquittoPath(), .args = {"-c", config_}, .outTo = "/dev/null", .errTo = "/dev/null"});
    if (!server->started() ||
        !waitFor([&] { return brokerAnswers(port) || !server->running(); }, std::chrono::seconds(10)) ||
        !server->running())
        return false;
    process_ = std::move(server);
    return true;
}

MqttSubscriber::MqttSubscriber(std::uint16_t port, const std::string& filter) : client_(std::make_unique<Client>()) {
    mosquitto_lib_init();
    Client& c = *client_;
    c.mosq = mosquitto_new(nullptr, true, &c);
    mosquitto_message_callback_set(c.mosq, [](mosquitto*, void* self, const mosquitto_message* m) {
        auto& client = *static_cast<Client*>(self);
        const std::lock_guard lock(client.mutex);
        client.messages.push_back({m->topic, std::string(static_cast<const char*>(m->payload), m->payloadlen),
                                   m->retain, std::chrono::steady_clock::now(), std::chrono::system_clock::now()});
    });
    mosquitto_subscribe_callback_set(c.mosq, [](mosquitto*, void* self, int, int, const int*) {
        auto& client = *static_cast<Client*>(self);
        const std::lock_guard lock(client.mutex);
        client.subscribed = true;
    });
    mosquitto_int_option(c.mosq, MOSQ_OPT_TCP_NODELAY, 1);
    if (mosquitto_connect(c.mosq, "127.0.0.1", port, 10) != MOSQ_ERR_SUCCESS ||
        mosquitto_subscribe(c.mosq, nullptr, filter.c_str(), 1) != MOSQ_ERR_SUCCESS ||
        mosquitto_loop_start(c.mosq) != MOSQ_ERR_SUCCESS)
        return;
    subscribed_ = waitFor([&] {
        const std::lock_guard lock(c.mutex);
        return c.subscribed;
    });
}

MqttSubscriber::~MqttSubscriber() {
    mosquitto_disconnect(client_->mosq);
    mosquitto_loop_stop(client_->mosq, true);
    mosquitto_destroy(client_->mosq);
    mosquitto_lib_cleanup();
}

std::vector<ReceivedMessage> MqttSubscriber::on(const std::string& topic) const {
    const std::lock_guard lock(client_->mutex);
    std::vector<ReceivedMessage> found;
    for (const ReceivedMessage& m : client_->messages)
        if (topic.empty() || m.topic == topic) found.push_back(m);
    return found;
}

bool MqttSubscriber::await(const std::string& topic, const std::string& text, std::size_t count,
                           std::chrono::milliseconds timeout) const {
    return waitFor(
        [&] {
            std::size_t seen = 0;
            for (const ReceivedMessage& m : on(topic)) seen += m.payload.find(text) != std::string::npos;
            return seen >= count;
        },
        timeout);
}
