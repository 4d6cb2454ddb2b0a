#include "cli/link.h"

#include <algorithm>
#include <utility>

namespace {

using Clock = std::chrono::steady_clock;

// Bytes that cannot become a reply are judged once the line has been quiet
// this long: 3.5 character times, as Modbus RTU ends a frame, but no less
// than the scheduler can wait for reliably.
std::chrono::microseconds quietGap(std::uint32_t baud) {
    const auto chars = std::chrono::microseconds(baud == 0 ? 0 : 35'000'000u / baud);
    return std::max(chars, std::chrono::microseconds(2000));
}

} // namespace

Link::Link(Port& port, std::string portName, std::chrono::milliseconds timeout, std::FILE* verbose)
    : port_(port),
      portName_(std::move(portName)),
      timeout_(timeout),
      verbose_(verbose),
      start_(Clock::now()) {}

std::string Link::devicePath() const {
    if (!port_.devicePath().empty()) return port_.devicePath();
    return local_ != nullptr ? local_->pathFor(portName_) : portName_;
}

bool Link::reopen(std::uint32_t baud) {
    port_.close();
    port_.setLineSettings(8, 0, 0, baud);
    baud_ = baud;
    echo_ = echoMode_; // another open may be another adapter
    if (port_.openPath(local_ != nullptr ? local_->pathFor(portName_) : portName_) == 0) return false;
    logLowLatency();
    return true;
}

std::chrono::microseconds Link::wireTime(std::uint32_t count) const {
    return std::chrono::microseconds(baud_ == 0 ? 0 : std::uint64_t(count) * 10'000'000u / baud_);
}

void Link::stamp() const {
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start_).count();
    std::fprintf(verbose_, "%8lld.%03lld ms ", static_cast<long long>(us / 1000), static_cast<long long>(us % 1000));
}

void Link::note(const char* text) const {
    if (verbose_ == nullptr) return;
    stamp();
    std::fprintf(verbose_, "%s\n", text);
}

void Link::logFrame(const char* direction, const std::uint8_t* bytes, std::uint32_t count) const {
    if (verbose_ == nullptr) return;
    stamp();
    std::fputs(direction, verbose_);
    for (std::uint32_t i = 0; i < count; ++i) std::fprintf(verbose_, " %02X", bytes[i]);
    std::fputc('\n', verbose_);
}

Reply Link::exchange(const std::uint8_t* request, std::uint16_t length) {
    last_ = exchangeOnce(request, length);
    return last_;
}

// Whatever came before the request is no part of its reply. A line (or a
// server) that never stops talking is left to fail the exchange, not to hold it.
void Link::drain() {
    const auto end = Clock::now() + timeout_;
    while (port_.readWait(buffer_, sizeof buffer_, std::chrono::milliseconds(0)).count > 0 && Clock::now() < end) {}
}

bool Link::send(const std::uint8_t* request, std::uint16_t length, Clock::time_point& requestEnd) {
    drain();
    const auto writeStart = Clock::now();
    logFrame(">", request, length);
    if (port_.write(request, length) == 0) return false;
    // On a pty the write returns before the bytes would have left a real line.
    requestEnd = std::max(Clock::now(), writeStart + wireTime(length));
    return true;
}

Reply Link::exchangeOnce(const std::uint8_t* request, std::uint16_t length) {
    Reply reply;
    const ReplyShape shape = replyShapeFor(request, length);
    Clock::time_point requestEnd;
    if (!send(request, length, requestEnd)) {
        reply.status = ReplyStatus::DeviceGone;
        return reply;
    }
    auto deadline = requestEnd + timeout_;
    replyWindowEnd_ = deadline;
    const auto gap = quietGap(baud_);

    std::uint16_t count = 0;
    std::uint16_t skip = 0; // the echo in front of the reply
    bool echoSettled = echo_ == EchoKnowledge::Plain;
    bool replyStarted = false;
    ReplyScan scan;
    for (;;) {
        const auto now = Clock::now();
        auto until = deadline;
        if (scan.state == ReplyScan::State::Unusable) until = std::min(deadline, now + gap);
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(std::max(until - now, Clock::duration::zero()));
        const std::uint32_t room = sizeof buffer_ - count;
        const WaitedRead got = room == 0 ? WaitedRead{} : port_.readWait(buffer_ + count, room, wait);
        if (got.count > 0) {
            count = std::uint16_t(count + got.count);
            if (!echoSettled) {
                // Nothing is judged while the bytes may still be the echo.
                if (checkEcho(request, length, buffer_, count) == EchoCheck::Prefix) continue;
                skip = echoOffset(echo_, request, length, buffer_, count);
                echoSettled = true;
            }
            if (count == skip) continue;
            if (!replyStarted) {
                // A reply that has started gets the time its bytes need on the wire.
                replyStarted = true;
                const auto byFirstByte = Clock::now() + wireTime(shape.length) + gap;
                if (byFirstByte > deadline) deadline = byFirstByte;
            }
            scan = scanReply(buffer_ + skip, std::uint16_t(count - skip), shape);
            if (scan.state == ReplyScan::State::Complete) break;
            continue;
        }
        if (got.deviceGone || got.noReply != nullptr) {
            logFrame("<", buffer_, count);
            if (got.deviceGone) reply.status = ReplyStatus::DeviceGone;
            reply.why = got.noReply != nullptr ? got.noReply : "";
            return reply;
        }
        if (Clock::now() >= until || room == 0) {
            if (count == skip && Clock::now() < deadline) continue;
            break;
        }
    }
    logFrame("<", buffer_, count);
    // An echoing port would have handed the request back.
    if (count == 0 && echo_ == EchoKnowledge::Unknown) echo_ = EchoKnowledge::Plain;
    return judge(scan, count, skip, shape);
}

bool Link::quietUntilTimeout() {
    const auto until = replyWindowEnd_ + quietGap(baud_);
    for (auto now = Clock::now(); now < until; now = Clock::now()) {
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(until - now);
        const WaitedRead got = port_.readWait(buffer_, sizeof buffer_, wait);
        if (got.count > 0) {
            logFrame("<", buffer_, got.count);
            return false;
        }
        if (got.deviceGone) return true; // the next exchange finds the port gone
    }
    return true;
}

Reply Link::judge(const ReplyScan& scan, std::uint16_t count, std::uint16_t skip, const ReplyShape& shape) const {
    Reply reply;
    if (scan.state == ReplyScan::State::Complete) {
        reply.status = scan.exception ? ReplyStatus::Exception : ReplyStatus::Ok;
        reply.frame = buffer_ + skip + scan.offset;
        reply.length = scan.length;
        return reply;
    }
    if (count == skip) {
        reply.echoOnly = skip > 0;
        return reply;
    }
    reply.status = ReplyStatus::Invalid;
    reply.why = unusableReason(buffer_ + skip, std::uint16_t(count - skip), shape, reply.otherAddress);
    return reply;
}

void Link::logLowLatency() {
    if (local_ == nullptr) return;
    const int set = local_->lowLatency() ? 1 : 0;
    if (verbose_ == nullptr || set == loggedLowLatency_) return;
    loggedLowLatency_ = set;
    stamp();
    std::fprintf(verbose_, "%s: %s\n", devicePath().c_str(),
                 set ? "low latency set" : "low latency not available on this port");
}
