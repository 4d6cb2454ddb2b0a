#include "sim/sim_transmitter.h"

#include "sim/pty_server.h"

namespace sim {

struct SimTransmitter::Impl : PtyServer {
    // Written by callers and the serving thread, under stateMutex.
    mutable std::mutex stateMutex;
    Config config;
    Fault fault = Fault::None;
    unsigned splitMs = 0;

    ~Impl() override { stop(); }

    bool handle(const Bytes& request) override {
        const auto arrived = Clock::now();
        const std::uint32_t speed = currentSpeed();
        Answer answer;
        Fault activeFault;
        unsigned activeSplitMs;
        Config current;
        {
            std::lock_guard lock(stateMutex);
            activeFault = fault;
            activeSplitMs = splitMs;
            if (activeFault != Fault::HangUp && activeFault != Fault::Silence) {
                Config next = config;
                answer = answerRequest(request, speed, next);
                if (activeFault == Fault::Exception && !answer.reply.empty()) {
                    answer.reply = answer.exception;
                    answer.newBaud = 0;
                } else {
                    config = next;
                }
            }
            current = config;
        }
        if (activeFault == Fault::HangUp) {
            closeFds();
            return false;
        }
        if (answer.reply.empty()) return true;

        Bytes& reply = answer.reply;
        if (activeFault == Fault::WrongAddress) {
            reply.resize(reply.size() - 2);
            reply[isFdFrame(request) ? 4 : 0] += 1;
            appendCrc(reply);
        } else if (activeFault == Fault::BadCrc) {
            reply.back() ^= 0x01;
        } else if (activeFault == Fault::Noise) {
            reply.insert(reply.begin(), {0x00, 0x55, 0xAA});
        }

        auto replyAt = arrived;
        if (current.lineRate && current.baud != 0) replyAt += byteTime(current.baud) * request.size();
        replyAt += std::chrono::milliseconds(current.turnaroundMs);
        if (!waitUntil(replyAt)) return false;
        {
            std::lock_guard lock(writeMutex);
            std::size_t first = reply.size();
            if (activeFault == Fault::Split) first = reply.size() / 2;
            if (!emit(reply.data(), first, current.lineRate, current.baud)) return !stopRequested();
            if (first < reply.size()) {
                if (!waitUntil(Clock::now() + std::chrono::milliseconds(activeSplitMs))) return false;
                emit(reply.data() + first, reply.size() - first, current.lineRate, current.baud);
            }
        }
        if (answer.newBaud != 0) {
            std::lock_guard lock(stateMutex);
            config.baud = answer.newBaud;
        }
        return !stopRequested();
    }
};

SimTransmitter::SimTransmitter(Config config) : impl_(new Impl) { impl_->config = config; }

SimTransmitter::~SimTransmitter() { delete impl_; }

bool SimTransmitter::start() {
    impl_->setEcho(state().echo);
    return impl_->start();
}

void SimTransmitter::stop() { impl_->stop(); }

std::string SimTransmitter::slavePath() const { return impl_->slavePath(); }

void SimTransmitter::setFault(Fault fault, unsigned splitMs) {
    std::lock_guard lock(impl_->stateMutex);
    impl_->fault = fault;
    impl_->splitMs = splitMs;
}

void SimTransmitter::sendRaw(const std::vector<std::uint8_t>& bytes) {
    const Config now = state();
    impl_->send(bytes, now.lineRate, now.baud);
}

std::vector<LoggedRequest> SimTransmitter::requests() const { return impl_->requests(); }

void SimTransmitter::clearRequests() { impl_->clearRequests(); }

Config SimTransmitter::state() const {
    std::lock_guard lock(impl_->stateMutex);
    return impl_->config;
}

void SimTransmitter::setState(const Config& config) {
    std::lock_guard lock(impl_->stateMutex);
    impl_->config = config;
}

} // namespace sim
