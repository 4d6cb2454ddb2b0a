// ventora-sim-host: serves software transmitters and bare pseudo-terminals to
// tests that run under Wine, where no pty can be made.
//
// Wine names a COM port's device in its registry. Each COMn there names a
// symbolic link in the host's link folder (comn), and the host points the link
// at the pty of the session that holds the port, so a test can have as many
// ptys as it likes without the registry being touched again.
//
// One TCP connection on 127.0.0.1 is one session: it asks for a transmitter or
// a bare pty, gets a port name back, then drives it one text line at a time.
// The session ends, and the port is free again, when the connection closes.
//
// usage: ventora-sim-host LINK_FOLDER FIRST_PORT PORT_COUNT
// Prints "listening on PORT" once it accepts connections.

#include "sim/sim_transmitter.h"
#include "tests/integration/line_peer.h"
#include "tests/wine/host_wire.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

std::string linkFolder;
std::mutex slotsMutex;
int firstPort = 1;
std::vector<bool> slotTaken; // index i is COM(firstPort + i); under slotsMutex

// Replaced in one rename, so that a port opened meanwhile finds either the old
// device or the new one, never no link at all.
bool pointLink(int slot, const std::string& target) {
    const std::string link = linkFolder + "/com" + std::to_string(firstPort + slot);
    const std::string temporary = link + ".new";
    ::unlink(temporary.c_str());
    return ::symlink(target.c_str(), temporary.c_str()) == 0 && ::rename(temporary.c_str(), link.c_str()) == 0;
}

int takeSlot(const std::string& target) {
    std::lock_guard lock(slotsMutex);
    for (std::size_t i = 0; i < slotTaken.size(); ++i) {
        if (slotTaken[i]) continue;
        if (!pointLink(int(i), target)) return -1;
        slotTaken[i] = true;
        return int(i);
    }
    return -1;
}

void releaseSlot(int slot) {
    if (slot < 0) return;
    std::lock_guard lock(slotsMutex);
    pointLink(slot, "/nonexistent/ventora-released-port");
    slotTaken[std::size_t(slot)] = false;
}

using host_wire::configText;
using host_wire::hex;
using host_wire::parseConfig;
using host_wire::unhex;

class Session {
public:
    explicit Session(int socket) : socket_(socket) {}
    ~Session() {
        transmitter_.reset();
        pty_.reset();
        releaseSlot(slot_);
        ::close(socket_);
    }

    void serve() {
        std::string line;
        while (nextLine(line)) {
            if (!send(answer(line) + "\n")) return;
        }
    }

private:
    bool nextLine(std::string& line) {
        for (;;) {
            if (const auto end = pending_.find('\n'); end != std::string::npos) {
                line = pending_.substr(0, end);
                pending_.erase(0, end + 1);
                return true;
            }
            char chunk[4096];
            const ssize_t n = ::recv(socket_, chunk, sizeof chunk, 0);
            if (n <= 0) return false;
            pending_.append(chunk, std::size_t(n));
        }
    }
    bool send(const std::string& text) {
        for (std::size_t done = 0; done < text.size();) {
            const ssize_t n = ::send(socket_, text.data() + done, text.size() - done, MSG_NOSIGNAL);
            if (n <= 0) return false;
            done += std::size_t(n);
        }
        return true;
    }
    std::string portName() const { return "ok COM" + std::to_string(firstPort + slot_); }

    std::string answer(const std::string& line) {
        std::istringstream in(line);
        std::string command;
        in >> command;
        if (command == "sim" && !transmitter_ && !pty_) {
            sim::Config config;
            if (!parseConfig(in, config)) return "err bad configuration";
            transmitter_ = std::make_unique<sim::SimTransmitter>(config);
            if (!transmitter_->start()) return "err no pty";
            slot_ = takeSlot(transmitter_->slavePath());
            return slot_ < 0 ? "err no free port" : portName();
        }
        if (command == "pty" && !transmitter_ && !pty_) {
            pty_ = std::make_unique<LinePeer>();
            if (pty_->portPath().empty()) return "err no pty";
            slot_ = takeSlot(pty_->portPath());
            return slot_ < 0 ? "err no free port" : portName();
        }
        if (transmitter_) return transmitterAnswer(command, in);
        if (pty_) return ptyAnswer(command, in);
        return "err no session";
    }

    std::string transmitterAnswer(const std::string& command, std::istream& in) {
        if (command == "fault") {
            int fault = 0;
            unsigned splitMs = 0;
            in >> fault >> splitMs;
            transmitter_->setFault(sim::Fault(fault), splitMs);
            return "ok";
        }
        if (command == "raw") {
            std::string bytes;
            in >> bytes;
            transmitter_->sendRaw(unhex(bytes));
            return "ok";
        }
        if (command == "requests") {
            std::string text = "ok";
            for (const sim::LoggedRequest& r : transmitter_->requests())
                text += " " + std::to_string(r.speed) + ":" + hex(r.bytes);
            return text;
        }
        if (command == "clear") {
            transmitter_->clearRequests();
            return "ok";
        }
        if (command == "state") return "ok " + configText(transmitter_->state());
        if (command == "set") {
            sim::Config config;
            if (!parseConfig(in, config)) return "err bad configuration";
            transmitter_->setState(config);
            return "ok";
        }
        if (command == "stop") {
            transmitter_->stop();
            return "ok";
        }
        return "err unknown command";
    }

    std::string ptyAnswer(const std::string& command, std::istream& in) {
        if (command == "put") {
            std::string bytes;
            in >> bytes;
            return pty_->fromDevice(unhex(bytes)) ? "ok" : "err write";
        }
        if (command == "take") {
            int ms = 0;
            in >> ms;
            return "ok " + hex(pty_->toDevice(std::chrono::milliseconds(ms)));
        }
        if (command == "queued") return "ok " + std::to_string(pty_->queued());
        if (command == "speed") return "ok " + std::to_string(pty_->speed());
        if (command == "flags") {
            const LineSettings s = pty_->settings();
            return "ok " + std::to_string(s.eightBits) + std::to_string(s.plainFrame) + std::to_string(s.noEditing) +
                   std::to_string(s.noOutputProcessing);
        }
        if (command == "hangup") {
            pty_->hangUp();
            return "ok";
        }
        return "err unknown command";
    }

    int socket_;
    int slot_ = -1;
    std::string pending_;
    std::unique_ptr<sim::SimTransmitter> transmitter_;
    std::unique_ptr<LinePeer> pty_;
};

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: ventora-sim-host LINK_FOLDER FIRST_PORT PORT_COUNT\n");
        return 2;
    }
    linkFolder = argv[1];
    firstPort = std::atoi(argv[2]);
    const int count = std::atoi(argv[3]);
    if (firstPort < 1 || count < 1 || firstPort + count > 256) return 2;
    slotTaken.assign(std::size_t(count), false);
    for (int i = 0; i < count; ++i) pointLink(i, "/nonexistent/ventora-released-port");

    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener, 16) != 0 || ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        std::perror("ventora-sim-host");
        return 1;
    }
    std::printf("listening on %u\n", unsigned(ntohs(address.sin_port)));
    std::fflush(stdout);
    for (;;) {
        const int client = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) continue;
        std::thread([client] { Session(client).serve(); }).detach();
    }
}
