// The Telnet side of Rfc2217Port: the negotiation, the line settings, and the
// serial data in Telnet form.

#include "serial/net/rfc2217_port.h"

#include <algorithm>
#include <cstring>

namespace {

std::uint8_t parityCode(std::uint8_t parity) { return parity == 1 ? 2 : parity == 2 ? 3 : 1; }

} // namespace

bool Rfc2217Port::notRfc2217() {
    std::string detail = "it never completed the negotiation";
    if (dataTail_ > dataHead_) {
        detail = "it sent data before answering the negotiation";
        const std::string said = printableData();
        if (!said.empty()) detail += ": \"" + said + "\"";
    }
    recordFailure(where(), OpenFailure::NotRfc2217, detail);
    return false;
}

std::string Rfc2217Port::printableData() const {
    // Control characters stay out: the text ends on a person's terminal.
    std::string said;
    for (std::size_t i = dataHead_; i < dataTail_ && said.size() < 80; ++i)
        if (data_[i] >= 0x20 && data_[i] < 0x7F) said += char(data_[i]);
    return said;
}

bool Rfc2217Port::startSession(Clock::time_point deadline) {
    codec_.reset();
    dataHead_ = dataTail_ = 0;
    std::uint8_t opening[16];
    Io io = socket_.send(opening, codec_.encodeOpening(opening), deadline);
    const std::uint64_t receivedBefore = socket_.bytesReceived();
    while (io == Io::Done && codec_.comPort() == OptionState::WantYes) {
        // A full buffer before any answer is a stream of the server's own, not a slow reply.
        if (dataTail_ == sizeof data_) return notRfc2217();
        io = pumpBefore(deadline);
    }
    if (io == Io::TimedOut && socket_.bytesReceived() != receivedBefore) return notRfc2217();
    if (io != Io::Done) return openFailed(io, "answer to the Telnet negotiation");
    if (codec_.comPort() != OptionState::Yes) {
        recordFailure(where(), OpenFailure::SettingRefused,
                      "the server refuses the COM-PORT option: it is not an RFC 2217 port");
        return false;
    }
    return true;
}

bool Rfc2217Port::applySettings(Clock::time_point deadline) {
    std::uint8_t request[telnet::kMaxSettingsBytes];
    codec_.clearReplies();
    Io io = socket_.send(request, codec_.encodeLineSettings(baudRate(), dataBits(), parity(), stopBits(), request),
                         deadline);
    // Line bytes before the new settings are no part of a reply: dropped as they
    // come, so that a chatty line cannot fill the buffer while the answers are awaited.
    const auto awaitReply = [&](auto answered) {
        while (io == Io::Done && !answered()) {
            dataHead_ = dataTail_ = 0;
            io = pumpBefore(deadline);
        }
    };
    awaitReply([&] { return codec_.replies().allSettingsSeen(); });
    if (io != Io::Done) return openFailed(io, "answer to the line settings");
    // The purge goes after the settings' answers, not with them: ser2net
    // answers a purge at once and the settings later, and the second small
    // segment would wait for our delayed acknowledgement of the first.
    io = socket_.send(request, codec_.encodePurge(telnet::kPurgeBoth, request), deadline);
    awaitReply([&] { return codec_.replies().purges != 0; });
    if (io != Io::Done) return openFailed(io, "answer to the purge");
    dataHead_ = dataTail_ = 0;
    const ComPortReplies& got = codec_.replies();
    std::string refused;
    if (got.baud != baudRate())
        refused = "the server set " + std::to_string(got.baud) + " bit/s, not " + std::to_string(baudRate());
    else if (got.dataSize != dataBits())
        refused = "the server set " + std::to_string(got.dataSize) + " data bits, not " + std::to_string(dataBits());
    else if (got.parity != parityCode(parity()))
        refused = "the server refused the parity";
    else if (got.stopSize != (stopBits() == 2 ? 2 : 1))
        refused = "the server refused the stop bits";
    if (refused.empty()) return true;
    recordFailure(where(), OpenFailure::SettingRefused, refused);
    return false;
}

Rfc2217Port::Io Rfc2217Port::pump(Clock::time_point deadline) {
    if (dataHead_ == dataTail_) dataHead_ = dataTail_ = 0;
    if (dataTail_ == sizeof data_ && dataHead_ > 0) {
        std::memmove(data_, data_ + dataHead_, dataTail_ - dataHead_);
        dataTail_ -= dataHead_;
        dataHead_ = 0;
    }
    // Never more than fits: decoding yields at most as many bytes as it takes.
    const std::size_t room = std::min(sizeof raw_, sizeof data_ - dataTail_);
    std::size_t got = 0;
    const Io io = socket_.receive(raw_, room, got, deadline);
    if (io != Io::Done) return io;
    dataTail_ += codec_.decode(raw_, got, data_ + dataTail_);
    if (codec_.answerCount() == 0) return Io::Done;
    // Within the caller's deadline too: a server that floods requests and reads
    // nothing must not hold an open past its time.
    const Io answered =
        socket_.send(codec_.answers(), codec_.answerCount(), std::min(deadline, Clock::now() + kWriteBudget));
    codec_.clearAnswers();
    return answered == Io::Lost ? Io::Lost : Io::Done;
}

Rfc2217Port::Io Rfc2217Port::pumpBefore(Clock::time_point deadline) {
    // A server that never stops sending never lets a receive wait, so the
    // receive alone would never see the deadline.
    return Clock::now() < deadline ? pump(deadline) : Io::TimedOut;
}

int Rfc2217Port::write(const std::uint8_t* buffer, std::uint32_t count) {
    if (!inUse()) return 0;
    const auto deadline = Clock::now() + kWriteBudget;
    constexpr std::uint32_t kChunk = sizeof out_ / 2;
    for (std::uint32_t done = 0; done < count;) {
        const std::uint32_t take = std::min(kChunk, count - done);
        const Io io = socket_.send(out_, codec_.encodeData(buffer + done, take, out_), deadline);
        if (io == Io::Lost) {
            lose();
            return 0;
        }
        if (io == Io::TimedOut) break;
        done += take;
    }
    return 1;
}

WaitedRead Rfc2217Port::readWait(std::uint8_t* buffer, std::uint32_t maxBytes, std::chrono::milliseconds timeout) {
    WaitedRead result;
    if (!inUse()) {
        result.deviceGone = true;
        return result;
    }
    const auto deadline = Clock::now() + timeout;
    for (bool first = true;; first = false) {
        result.count = takeHeld(buffer, maxBytes, data_, dataHead_, dataTail_);
        if (result.count > 0) return result;
        // Once at least, so that a read without waiting still takes what has come.
        const Io io = first ? pump(deadline) : pumpBefore(deadline);
        if (io == Io::TimedOut) return result;
        if (io == Io::Lost) {
            lose();
            result.deviceGone = true;
            return result;
        }
    }
}
