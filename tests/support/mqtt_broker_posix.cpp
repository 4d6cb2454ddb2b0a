#include "tests/support/mqtt_broker.h"

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "tests/support/ser2net.h"
#include "tests/support/wait_for.h"

const char* mosquittoPath() {
    for (const char* path : {"/usr/sbin/mosquitto", "/usr/bin/mosquitto", "/usr/local/sbin/mosquitto"})
        if (::access(path, X_OK) == 0) return path;
    return nullptr;
}

// The port is one the kernel just handed out and released: taken again by
// someone else only by a rare race, which a retry covers.
MqttBroker::MqttBroker() {
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
}

void MqttBroker::stop() { process_.reset(); }

bool MqttBroker::start() {
    std::ofstream(config_) << "listener " << port << " 127.0.0.1\nallow_anonymous true\npersistence false\n";
    auto server = std::make_unique<Process>(
        Launch{.program = mosquittoPath(), .args = {"-c", config_}, .outTo = "/dev/null", .errTo = "/dev/null"});
    if (!server->started() ||
        !waitFor([&] { return acceptsConnections(port) || !server->running(); }, std::chrono::seconds(10)) ||
        !server->running())
        return false;
    process_ = std::move(server);
    return true;
}

std::unique_ptr<Process> subscribe(const MqttBroker& broker, const std::string& filter) {
    // -d reports the subscription's acknowledgement, which only a line-buffered
    // stdout passes on at once; message lines begin with their time.
    auto subscriber =
        std::make_unique<Process>(Launch{.program = "stdbuf",
                                         .args = {"-oL", "mosquitto_sub", "-d", "-p", std::to_string(broker.port), "-q",
                                                  "1", "-t", filter, "-F", "%U %r %t %p"},
                                         .errTo = "/dev/null"});
    if (!subscriber->awaitOutput("Subscribed", std::chrono::seconds(10))) return nullptr;
    return subscriber;
}

bool publishTo(const MqttBroker& broker, const std::string& topic, const std::string& payload) {
    Process publisher({.program = "mosquitto_pub",
                       .args = {"-p", std::to_string(broker.port), "-q", "1", "-t", topic, "-m", payload}});
    return publisher.finish().status == 0;
}

std::vector<ReceivedMessage> receivedMessages(const std::string& out, const std::string& topic) {
    std::vector<ReceivedMessage> messages;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        ReceivedMessage m;
        std::istringstream fields(line);
        int retained = 0;
        if (!(fields >> m.unixTime >> retained >> m.topic) || (!topic.empty() && m.topic != topic)) continue;
        m.retained = retained == 1;
        std::getline(fields >> std::ws, m.payload);
        messages.push_back(m);
    }
    return messages;
}
