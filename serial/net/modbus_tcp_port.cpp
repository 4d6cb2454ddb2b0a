#include "serial/net/modbus_tcp_port.h"

#include <cstdio>

bool ModbusTcpPort::startSession(Clock::time_point) {
    const std::string gateway = where();
    std::snprintf(noPath_, sizeof noPath_,
                  "the Modbus TCP gateway %s has no path to the line (its exception 0x0A, gateway path unavailable)",
                  gateway.c_str());
    std::snprintf(noResponse_, sizeof noResponse_,
                  "no reply: the Modbus TCP gateway %s says the transmitter failed to respond (its exception 0x0B)",
                  gateway.c_str());
    return true;
}

void ModbusTcpPort::sessionEnded() {
    replies_.reset();
    rtuHead_ = rtuTail_ = 0;
}

int ModbusTcpPort::write(const std::uint8_t* buffer, std::uint32_t count) {
    if (!inUse()) return 0;
    // 0 is left out, so that a reply to transaction 0 is never one of ours.
    transaction_ = std::uint16_t(transaction_ == 0xFFFF ? 1 : transaction_ + 1);
    const std::size_t length = mbap::encodeRequest(buffer, count, transaction_, adu_);
    if (length == 0) return 0;
    replies_.expect(transaction_, buffer[0]);
    rtuHead_ = rtuTail_ = 0;
    return TcpPort::write(adu_, std::uint32_t(length));
}

WaitedRead ModbusTcpPort::readWait(std::uint8_t* buffer, std::uint32_t maxBytes, std::chrono::milliseconds timeout) {
    WaitedRead result;
    const auto deadline = Clock::now() + timeout;
    for (bool first = true;; first = false) {
        result.count = takeHeld(buffer, maxBytes, rtu_, rtuHead_, rtuTail_);
        if (result.count > 0) return result;
        if (!inUse()) {
            result.deviceGone = true;
            return result;
        }
        std::size_t length = 0;
        switch (replies_.next(rtu_, length)) {
        case MbapReplies::Outcome::Answer:
            rtuHead_ = 0;
            rtuTail_ = length;
            continue;
        case MbapReplies::Outcome::PathUnavailable: result.noReply = noPath_; return result;
        case MbapReplies::Outcome::TargetNoResponse: result.noReply = noResponse_; return result;
        case MbapReplies::Outcome::Broken:
            drop(std::string("the gateway broke Modbus TCP: ") + replies_.why());
            result.deviceGone = true;
            return result;
        case MbapReplies::Outcome::Need: break;
        }
        // Once at least, so that a read without waiting still takes what has come;
        // after that, never past the deadline however fast bytes come.
        if (!first && Clock::now() >= deadline) return result;
        std::size_t got = 0;
        const Io io = socket_.receive(replies_.space(), replies_.room(), got, deadline);
        if (io == Io::TimedOut) return result;
        if (io == Io::Lost) {
            lose();
            result.deviceGone = true;
            return result;
        }
        replies_.received(got);
    }
}
