// The parts of NetworkSerialPort that every OS shares: port names, the order
// of the steps of open, the Telnet stream, and the connecting, sending and
// receiving over the backend's socket calls.

#include "serial/net/network_port.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstring>
#include <utility>

#include "serial/net/bounded_call.h"

namespace {

constexpr char kScheme[] = "rfc2217://";
constexpr std::size_t kSchemeLength = sizeof kScheme - 1;
constexpr std::chrono::milliseconds kWriteBudget{1000};

std::uint8_t parityCode(std::uint8_t parity) { return parity == 1 ? 2 : parity == 2 ? 3 : 1; }

// "host:port", with an IPv6 address in brackets.
std::string hostAndPort(const std::string& host, std::uint16_t port) {
    return (host.find(':') != std::string::npos ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

} // namespace

bool isNetworkPortName(const std::string& name) {
    if (name.size() < kSchemeLength) return false;
    for (std::size_t i = 0; i < kSchemeLength; ++i)
        if (char(std::tolower(static_cast<unsigned char>(name[i]))) != kScheme[i]) return false;
    return true;
}

bool parseNetworkPortName(const std::string& name, NetworkEndpoint& endpoint) {
    if (!isNetworkPortName(name)) return false;
    const std::string rest = name.substr(kSchemeLength);
    const std::size_t colon = rest.rfind(':');
    if (colon == std::string::npos || colon == 0) return false;
    std::string host = rest.substr(0, colon);
    if (host.front() == '[') {
        if (host.size() < 3 || host.back() != ']') return false;
        host = host.substr(1, host.size() - 2);
    } else if (host.find_first_of(":/[]@ ") != std::string::npos) {
        return false;
    }
    unsigned port = 0;
    const char* first = rest.data() + colon + 1;
    const char* last = rest.data() + rest.size();
    const auto [end, ec] = std::from_chars(first, last, port);
    if (first == last || ec != std::errc() || end != last || port == 0 || port > 65535) return false;
    endpoint.host = host;
    endpoint.port = std::uint16_t(port);
    return true;
}

std::string NetworkSerialPort::where() const {
    if (!remote_.empty()) return remote_;
    NetworkEndpoint endpoint;
    return parseNetworkPortName(sessionName_, endpoint) ? hostAndPort(endpoint.host, endpoint.port) : sessionName_;
}

int NetworkSerialPort::openPath(const std::string& name) {
    open_ = false;
    const auto deadline = Clock::now() + openTimeout_;
    NetworkEndpoint endpoint;
    if (!parseNetworkPortName(name, endpoint)) {
        disconnect();
        recordFailure(name, OpenFailure::NoSuchDevice, name.empty() ? "" : "not of the form rfc2217://HOST:PORT");
        return 0;
    }
    if (socketOpen() && name == sessionName_) {
        recordFailure(where(), OpenFailure::None, "");
        if (applySettings(deadline)) {
            open_ = true;
            return 1;
        }
        // A kept session the server has since ended is no failure of this open.
        if (lastOpenFailure() != OpenFailure::ConnectionLost) {
            disconnect();
            return 0;
        }
    }
    disconnect();
    sessionName_ = name;
    if (!startSession(endpoint, deadline) || !applySettings(deadline)) {
        closeSocket();
        return 0;
    }
    open_ = true;
    return 1;
}

bool NetworkSerialPort::close() { return std::exchange(open_, false); }

void NetworkSerialPort::disconnect() {
    open_ = false;
    closeSocket();
    remote_.clear();
}

bool NetworkSerialPort::openFailed(Io io, const char* waitingFor) {
    if (io == Io::Lost) {
        lose();
        return false;
    }
    recordFailure(where(), OpenFailure::NoAnswer,
                  std::string("no ") + waitingFor + " within " + std::to_string(openTimeout_.count()) + " ms");
    return false;
}

bool NetworkSerialPort::notRfc2217() {
    std::string detail = "it never completed the negotiation";
    if (dataTail_ > dataHead_) {
        detail = "it sent data before answering the negotiation";
        const std::string said = printableData();
        if (!said.empty()) detail += ": \"" + said + "\"";
    }
    recordFailure(where(), OpenFailure::NotRfc2217, detail);
    return false;
}

std::string NetworkSerialPort::printableData() const {
    // Control characters stay out: the text ends on a person's terminal.
    std::string said;
    for (std::size_t i = dataHead_; i < dataTail_ && said.size() < 80; ++i)
        if (data_[i] >= 0x20 && data_[i] < 0x7F) said += char(data_[i]);
    return said;
}

bool NetworkSerialPort::startSession(const NetworkEndpoint& endpoint, Clock::time_point deadline) {
    remote_.clear();
    recordFailure(where(), OpenFailure::None, "");
    if (!connectSocket(endpoint, deadline)) return false;
    recordFailure(where(), OpenFailure::None, "");
    codec_.reset();
    dataHead_ = dataTail_ = 0;
    std::uint8_t opening[16];
    Io io = send(opening, codec_.encodeOpening(opening), deadline);
    const std::uint64_t receivedBefore = bytesReceived_;
    while (io == Io::Done && codec_.comPort() == OptionState::WantYes) {
        // A full buffer before any answer is a stream of the server's own, not a slow reply.
        if (dataTail_ == sizeof data_) return notRfc2217();
        io = pumpBefore(deadline);
    }
    if (io == Io::TimedOut && bytesReceived_ != receivedBefore) return notRfc2217();
    if (io != Io::Done) return openFailed(io, "answer to the Telnet negotiation");
    if (codec_.comPort() != OptionState::Yes) {
        recordFailure(where(), OpenFailure::SettingRefused,
                      "the server refuses the COM-PORT option: it is not an RFC 2217 port");
        return false;
    }
    return true;
}

bool NetworkSerialPort::applySettings(Clock::time_point deadline) {
    std::uint8_t request[telnet::kMaxSettingsBytes];
    codec_.clearReplies();
    Io io = send(request, codec_.encodeLineSettings(baudRate(), dataBits(), parity(), stopBits(), request), deadline);
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
    io = send(request, codec_.encodePurge(telnet::kPurgeBoth, request), deadline);
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

NetworkSerialPort::Io NetworkSerialPort::send(const std::uint8_t* bytes, std::size_t count,
                                              Clock::time_point deadline) {
    std::size_t done = 0;
    while (done < count) {
        std::size_t sent = 0;
        const Io io = transfer(bytes + done, nullptr, count - done, sent, deadline);
        done += sent;
        bytesSent_ += sent;
        if (io != Io::Done) return io;
    }
    return Io::Done;
}

NetworkSerialPort::Io NetworkSerialPort::pump(Clock::time_point deadline) {
    if (dataHead_ == dataTail_) dataHead_ = dataTail_ = 0;
    if (dataTail_ == sizeof data_ && dataHead_ > 0) {
        std::memmove(data_, data_ + dataHead_, dataTail_ - dataHead_);
        dataTail_ -= dataHead_;
        dataHead_ = 0;
    }
    // Never more than fits: decoding yields at most as many bytes as it takes.
    const std::size_t room = std::min(sizeof raw_, sizeof data_ - dataTail_);
    std::size_t got = 0;
    const Io io = transfer(nullptr, raw_, room, got, deadline);
    if (io != Io::Done) return io;
    bytesReceived_ += got;
    dataTail_ += codec_.decode(raw_, got, data_ + dataTail_);
    if (codec_.answerCount() == 0) return Io::Done;
    // Within the caller's deadline too: a server that floods requests and reads
    // nothing must not hold an open past its time.
    const Io answered = send(codec_.answers(), codec_.answerCount(), std::min(deadline, Clock::now() + kWriteBudget));
    codec_.clearAnswers();
    return answered == Io::Lost ? Io::Lost : Io::Done;
}

NetworkSerialPort::Io NetworkSerialPort::pumpBefore(Clock::time_point deadline) {
    // A server that never stops sending never lets a receive wait, so the
    // receive alone would never see the deadline.
    return Clock::now() < deadline ? pump(deadline) : Io::TimedOut;
}

void NetworkSerialPort::lose() {
    std::string detail;
    if (lastOsError_ != 0) {
        detail = osErrorText(unsigned(lastOsError_));
    } else {
        detail = "the server closed the connection";
        // A server that turns a connection away often says why first
        // (ser2net: "Port already in use").
        const std::string said = printableData();
        if (!said.empty()) detail += ": \"" + said + "\"";
    }
    recordFailure(where(), OpenFailure::ConnectionLost, detail);
    open_ = false;
    closeSocket();
    dataHead_ = dataTail_ = 0;
}

int NetworkSerialPort::write(const std::uint8_t* buffer, std::uint32_t count) {
    if (!open_) return 0;
    const auto deadline = Clock::now() + kWriteBudget;
    constexpr std::uint32_t kChunk = sizeof out_ / 2;
    for (std::uint32_t done = 0; done < count;) {
        const std::uint32_t take = std::min(kChunk, count - done);
        const Io io = send(out_, codec_.encodeData(buffer + done, take, out_), deadline);
        if (io == Io::Lost) {
            lose();
            return 0;
        }
        if (io == Io::TimedOut) break;
        done += take;
    }
    return 1;
}

WaitedRead NetworkSerialPort::readWait(std::uint8_t* buffer, std::uint32_t maxBytes,
                                       std::chrono::milliseconds timeout) {
    WaitedRead result;
    if (!open_) {
        result.deviceGone = true;
        return result;
    }
    const auto deadline = Clock::now() + timeout;
    for (bool first = true;; first = false) {
        if (dataTail_ > dataHead_) {
            const std::size_t count = std::min<std::size_t>(maxBytes, dataTail_ - dataHead_);
            std::memcpy(buffer, data_ + dataHead_, count);
            dataHead_ += count;
            result.count = std::uint32_t(count);
            return result;
        }
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

bool NetworkSerialPort::connectSocket(const NetworkEndpoint& endpoint, Clock::time_point deadline) {
    if (!socketsStarted()) return false;
    const std::optional<Lookup> looked = lookUp(endpoint, deadline);
    if (!looked) return false;
    if (looked->error != 0) {
        recordFailure(where(), OpenFailure::HostNotFound, looked->failure);
        return false;
    }
    Io io = Io::TimedOut;
    int error = 0;
    for (const Address& address : looked->addresses) {
        remote_ = hostAndPort(address.host, endpoint.port);
        io = connectTo(address, deadline, error);
        if (io != Io::Lost) break;
    }
    if (io == Io::Done) return true;
    const OpenFailure cause = io == Io::TimedOut ? OpenFailure::NoAnswer : causeOf(error);
    if (cause == OpenFailure::NoAnswer)
        recordFailure(where(), cause, "connecting took longer than " + std::to_string(openTimeout_.count()) + " ms");
    else
        recordFailure(where(), cause,
                      cause == OpenFailure::Other || cause == OpenFailure::ConnectionLost ? osErrorText(unsigned(error))
                                                                                          : "");
    return false;
}

std::optional<NetworkSerialPort::Lookup> NetworkSerialPort::lookUp(const NetworkEndpoint& endpoint,
                                                                   Clock::time_point deadline) {
    Lookup numeric = resolve(endpoint, true);
    if (!numeric.notNumeric) return numeric;
    std::optional<Lookup> looked = callBefore<Lookup>(deadline, [endpoint] { return resolve(endpoint, false); });
    if (!looked)
        recordFailure(where(), OpenFailure::HostNotFound,
                      "the name service did not answer within " + std::to_string(openTimeout_.count()) + " ms");
    return looked;
}

NetworkSerialPort::Io NetworkSerialPort::connectTo(const Address& address, Clock::time_point deadline, int& error) {
    bool pending = false;
    error = openSocket(address, pending);
    if (error == 0 && pending) {
        if (!socketReady(true, deadline)) {
            closeSocket();
            return Io::TimedOut;
        }
        error = socketError();
    }
    if (error == 0) return Io::Done;
    closeSocket();
    return Io::Lost;
}

NetworkSerialPort::Io NetworkSerialPort::transfer(const std::uint8_t* out, std::uint8_t* in, std::size_t count,
                                                  std::size_t& moved, Clock::time_point deadline) {
    moved = 0;
    if (!socketOpen()) return Io::Lost;
    for (;;) {
        int error = 0;
        const long r = moveOnce(out, in, count, error);
        if (r > 0) {
            moved = std::size_t(r);
            return Io::Done;
        }
        if ((r == 0 && in != nullptr) || (r < 0 && !wouldBlock(error))) {
            lastOsError_ = error;
            return Io::Lost;
        }
        // An error or hang-up shows as ready; the next call says which.
        if (!socketReady(out != nullptr, deadline)) return Io::TimedOut;
    }
}
