#include "tests/support/fake_port.h"

#include <utility>

FakePort::FakePort(PortNamer namer) : SerialPort(std::move(namer)) {}

// No device is held, so the base class must not try to release one.
FakePort::~FakePort() { isOpen = false; }

void FakePort::arrive(const Bytes& bytes) {
    std::lock_guard lock(queueMutex_);
    queue_.insert(queue_.end(), bytes.begin(), bytes.end());
}

std::size_t FakePort::queued() const {
    std::lock_guard lock(queueMutex_);
    return queue_.size();
}

int FakePort::openPath(const std::string&) {
    if (!opens(portNumber())) return 0;
    openedPorts.push_back(portNumber());
    openedAt.push_back(baudRate());
    isOpen = true;
    return 1;
}

bool FakePort::close() { return isOpen.exchange(false); }

std::uint32_t FakePort::read(std::uint8_t* buffer, std::uint32_t maxBytes) {
    reads.fetch_add(1);
    if (!isOpen) return 0;
    std::lock_guard lock(queueMutex_);
    std::uint32_t n = 0;
    for (; n < maxBytes && !queue_.empty(); ++n) {
        buffer[n] = queue_.front();
        queue_.pop_front();
    }
    return n;
}

int FakePort::write(const std::uint8_t* buffer, std::uint32_t count) {
    frames.emplace_back(buffer, buffer + count);
    if (!isOpen) return 0;
    const Bytes answer = respond(frames.back(), baudRate());
    if (answerInto == nullptr)
        arrive(answer);
    else
        for (std::uint8_t byte : answer) ringPush(answerInto->replyRing, byte);
    return 1;
}
