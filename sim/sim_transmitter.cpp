#include "sim/sim_transmitter.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

namespace sim {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;

std::uint16_t frameCrc(const std::uint8_t* bytes, std::size_t count)
{
    std::uint16_t crc = 0xFFFF;
    for (std::size_t i = 0; i < count; ++i) {
        crc ^= bytes[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1u) ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001u)
                             : static_cast<std::uint16_t>(crc >> 1);
    }
    return crc;
}

namespace {

constexpr auto pollPeriod = std::chrono::milliseconds(10);
// A request still incomplete this long after its last byte is line noise.
constexpr auto partialFrameLimit = std::chrono::milliseconds(50);
// A write that makes no progress for this long is abandoned (nobody reads).
constexpr auto writeStallLimit = std::chrono::milliseconds(2000);

constexpr std::uint8_t fdByte = 0xFD;
constexpr std::uint8_t identityAddress = 0xFF;
constexpr std::uint8_t fnRead = 0x03;
constexpr std::uint8_t fnWriteOne = 0x06;
constexpr std::uint8_t fnWriteMany = 0x10;
constexpr std::uint8_t illegalFunction = 0x01;
constexpr std::uint8_t illegalAddress = 0x02;
constexpr std::uint8_t illegalValue = 0x03;

constexpr std::uint16_t regIdentity = 0x0200;  // area in the FD dialect, address in the Modbus dialect
constexpr std::uint16_t regBaudCode = 0x0201;
constexpr std::uint16_t regIdentityLast = 0x0204;

constexpr std::uint32_t modbusBauds[] = {1200, 2400, 4800, 9600, 19200, 38400};
constexpr std::uint32_t fdBauds[] = {2400, 4800, 9600};  // codes 1, 2, 3

std::uint32_t speedValue(speed_t speed)
{
    switch (speed) {
    case B300: return 300;
    case B600: return 600;
    case B1200: return 1200;
    case B2400: return 2400;
    case B4800: return 4800;
    case B9600: return 9600;
    case B19200: return 19200;
    case B38400: return 38400;
    case B57600: return 57600;
    case B115200: return 115200;
    case B230400: return 230400;
    default: return 0;
    }
}

// 0xFF when the rate has no Modbus baud code, which the tool reads as rate 0.
std::uint16_t modbusBaudCode(std::uint32_t baud)
{
    for (std::uint16_t code = 0; code < std::size(modbusBauds); ++code)
        if (modbusBauds[code] == baud)
            return code;
    return 0xFF;
}

std::uint8_t fdBaudCode(std::uint32_t baud)
{
    for (std::uint8_t i = 0; i < std::size(fdBauds); ++i)
        if (fdBauds[i] == baud)
            return static_cast<std::uint8_t>(i + 1);
    return 0;
}

void appendCrc(Bytes& frame)
{
    const std::uint16_t crc = frameCrc(frame.data(), frame.size());
    frame.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    frame.push_back(static_cast<std::uint8_t>(crc >> 8));
}

bool crcMatches(const Bytes& frame)
{
    if (frame.size() < 3)
        return false;
    const std::size_t n = frame.size() - 2;
    const std::uint16_t crc = frameCrc(frame.data(), n);
    return frame[n] == (crc & 0xFF) && frame[n + 1] == (crc >> 8);
}

void putWord(Bytes& out, std::uint16_t value)
{
    out.push_back(static_cast<std::uint8_t>(value >> 8));
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
}

std::uint16_t wordAt(const Bytes& frame, std::size_t at)
{
    return static_cast<std::uint16_t>(frame[at] << 8 | frame[at + 1]);
}

bool isFdFrame(const Bytes& frame)
{
    return frame.size() == 7 && frame[0] == fdByte && frame[1] == fdByte && frame[2] == fdByte;
}

// The length of the request at the front of buf: a frame length, 0 when more
// bytes are needed to tell, -1 when the first byte cannot start a request.
int requestLength(const std::uint8_t* buf, std::size_t size)
{
    if (size == 0)
        return 0;
    if (buf[0] == fdByte && (size < 2 || buf[1] == fdByte)) {
        if (size >= 3 && buf[2] != fdByte)
            return -1;
        return 7;
    }
    if (size < 2)
        return 0;
    switch (buf[1]) {
    case fnRead:
    case fnWriteOne:
        return 8;
    case fnWriteMany:
        return size < 7 ? 0 : 9 + buf[6];
    default:
        return -1;
    }
}

struct Answer {
    Bytes reply;                 // empty: the transmitter stays silent
    Bytes exception;             // what Fault::Exception sends instead
    std::uint32_t newBaud = 0;   // nonzero: switch after the reply is out
};

bool readRegister(const Config& c, std::uint16_t reg, std::uint16_t& value)
{
    std::uint32_t volumeBits = 0;
    static_assert(sizeof(volumeBits) == sizeof(c.volume));
    std::memcpy(&volumeBits, &c.volume, sizeof(volumeBits));
    switch (reg) {
    case 0x0000: value = c.velocityTenths; return true;
    case 0x0001: value = 0; return true;
    case 0x0002: value = static_cast<std::uint16_t>(volumeBits >> 16); return true;
    case 0x0003: value = static_cast<std::uint16_t>(volumeBits & 0xFFFF); return true;
    default: break;
    }
    if (c.dialect == Dialect::Fd) {
        if (reg != regIdentity)
            return false;
        value = c.area;
        return true;
    }
    switch (reg) {
    case 0x0200: value = c.address; return true;
    case 0x0201: value = modbusBaudCode(c.baud); return true;
    case 0x0202: value = c.parityCode; return true;
    case 0x0203: value = c.stopCheckA; return true;
    case 0x0204: value = c.stopCheckB; return true;
    default: return false;
    }
}

Bytes modbusException(std::uint8_t address, std::uint8_t function, std::uint8_t code)
{
    Bytes out{address, static_cast<std::uint8_t>(function | 0x80), code};
    appendCrc(out);
    return out;
}

// Answers an FD frame on c (changed in place; the baud change is deferred).
Answer answerFd(const Bytes& req, Config& c)
{
    Answer a;
    const std::uint8_t command = req[3];
    const std::uint8_t operand = req[4];
    if (command == 0 && operand != 0) {
        c.address = operand;
    } else if (command >= 1 && command <= 3 && operand == 0) {
        a.newBaud = fdBauds[command - 1];
    } else if (command != 0) {
        return a;
    }
    const std::uint8_t code = a.newBaud ? command : fdBaudCode(c.baud);
    a.reply = {fdByte, fdByte, fdByte, code, c.address};
    appendCrc(a.reply);
    a.exception = {fdByte, fdByte, fdByte, static_cast<std::uint8_t>(command | 0x80), illegalFunction};
    appendCrc(a.exception);
    return a;
}

// Applies one write to the Modbus identity block; false for a value the
// transmitter refuses. Registers 0x0202..0x0204 are status and keep their value.
bool writeIdentity(Config& c, std::uint16_t reg, std::uint16_t value, Answer& a)
{
    if (reg == regIdentity) {
        c.address = static_cast<std::uint8_t>(value & 0xFF);
    } else if (reg == regBaudCode) {
        if (value >= std::size(modbusBauds))
            return false;
        a.newBaud = modbusBauds[value];
    }
    return true;
}

Answer answerModbus(const Bytes& req, Config& c)
{
    Answer a;
    const std::uint8_t address = req[0];
    const std::uint8_t function = req[1];
    const bool modbus = c.dialect == Dialect::Modbus;
    if (address != (modbus ? identityAddress : c.address))
        return a;
    a.exception = modbusException(address, function, illegalFunction);
    const std::uint16_t start = wordAt(req, 2);

    if (function == fnRead) {
        const std::uint16_t count = wordAt(req, 4);
        if (count == 0 || count > 125) {
            a.reply = modbusException(address, function, illegalValue);
            return a;
        }
        Bytes out{address, function, static_cast<std::uint8_t>(count * 2)};
        for (std::uint32_t reg = start; reg < std::uint32_t{start} + count; ++reg) {
            std::uint16_t value = 0;
            if (reg > 0xFFFF || !readRegister(c, static_cast<std::uint16_t>(reg), value)) {
                a.reply = modbusException(address, function, illegalAddress);
                return a;
            }
            putWord(out, value);
        }
        appendCrc(out);
        a.reply = std::move(out);
        return a;
    }

    if (function == fnWriteOne) {
        const std::uint16_t value = wordAt(req, 4);
        bool ok = true;
        if (!modbus && start == regIdentity)
            c.area = value;
        else if (modbus && (start == regIdentity || start == regBaudCode))
            ok = writeIdentity(c, start, value, a);
        else {
            a.reply = modbusException(address, function, illegalAddress);
            return a;
        }
        if (!ok) {
            a.reply = modbusException(address, function, illegalValue);
            return a;
        }
        a.reply.assign(req.begin(), req.end());
        return a;
    }

    // Write multiple registers: only the Modbus identity block takes them.
    if (!modbus) {
        a.reply = modbusException(address, function, illegalFunction);
        return a;
    }
    const std::uint16_t count = wordAt(req, 4);
    const std::uint8_t byteCount = req[6];
    if (count == 0 || byteCount != count * 2) {
        a.reply = modbusException(address, function, illegalValue);
        return a;
    }
    if (start < regIdentity || std::uint32_t{start} + count - 1 > regIdentityLast) {
        a.reply = modbusException(address, function, illegalAddress);
        return a;
    }
    Config next = c;
    for (std::uint16_t i = 0; i < count; ++i) {
        if (!writeIdentity(next, static_cast<std::uint16_t>(start + i), wordAt(req, 7 + 2u * i), a)) {
            a.newBaud = 0;
            a.reply = modbusException(address, function, illegalValue);
            return a;
        }
    }
    c = next;
    a.reply.assign(req.begin(), req.begin() + 6);
    appendCrc(a.reply);
    return a;
}

} // namespace

struct SimTransmitter::Impl {
    // Written by callers and the serving thread, under stateMutex.
    mutable std::mutex stateMutex;
    Config config;
    Fault fault = Fault::None;
    unsigned splitMs = 0;
    std::vector<LoggedRequest> log;
    std::string path;

    // Serialises every write to the master; masterFd and slaveFd change only
    // under it (hang-up on the serving thread, stop() after the join).
    std::mutex writeMutex;
    int masterFd = -1;
    int slaveFd = -1;

    std::mutex stopMutex;
    std::condition_variable stopSignal;
    bool stopping = false;  // under stopMutex

    std::thread server;
    // Only the serving thread touches these.
    Bytes pending;
    Clock::time_point lastByteAt;

    // Sleeps until deadline; false when stop() interrupted the wait.
    bool waitUntil(Clock::time_point deadline)
    {
        std::unique_lock lock(stopMutex);
        return !stopSignal.wait_until(lock, deadline, [this] { return stopping; });
    }

    bool stopRequested()
    {
        std::lock_guard lock(stopMutex);
        return stopping;
    }

    // Writes everything, waiting for room in the pty; caller holds writeMutex.
    bool writeAll(const std::uint8_t* data, std::size_t size)
    {
        auto lastProgress = Clock::now();
        while (size > 0 && masterFd >= 0) {
            const ssize_t n = ::write(masterFd, data, size);
            if (n > 0) {
                data += n;
                size -= static_cast<std::size_t>(n);
                lastProgress = Clock::now();
                continue;
            }
            if (n < 0 && errno != EAGAIN && errno != EINTR)
                return false;
            if (Clock::now() - lastProgress > writeStallLimit || stopRequested())
                return false;
            pollfd p{masterFd, POLLOUT, 0};
            ::poll(&p, 1, static_cast<int>(pollPeriod.count()));
        }
        return size == 0;
    }

    // Emits bytes, one per 10 bit times of baud when paced; caller holds writeMutex.
    bool emit(const std::uint8_t* data, std::size_t size, bool paced, std::uint32_t baud)
    {
        if (!paced || baud == 0)
            return writeAll(data, size);
        const auto start = Clock::now();
        for (std::size_t i = 0; i < size; ++i) {
            if (!waitUntil(start + byteTime(baud) * (i + 1)))
                return false;
            if (!writeAll(data + i, 1))
                return false;
        }
        return true;
    }

    static std::chrono::nanoseconds byteTime(std::uint32_t baud)
    {
        return std::chrono::nanoseconds(10'000'000'000LL / baud);
    }

    std::uint32_t currentSpeed()
    {
        termios t{};
        if (masterFd < 0 || ::tcgetattr(masterFd, &t) != 0)
            return 0;
        return speedValue(::cfgetospeed(&t));
    }

    // Closes both ends so the tool's slave sees a real hang-up.
    void closeFds()
    {
        std::lock_guard lock(writeMutex);
        if (masterFd >= 0)
            ::close(masterFd);
        if (slaveFd >= 0)
            ::close(slaveFd);
        masterFd = slaveFd = -1;
    }

    void serve()
    {
        std::uint8_t chunk[512];
        while (!stopRequested() && masterFd >= 0) {
            pollfd p{masterFd, POLLIN, 0};
            const int ready = ::poll(&p, 1, static_cast<int>(pollPeriod.count()));
            const auto now = Clock::now();
            if (ready > 0 && (p.revents & POLLIN)) {
                const ssize_t n = ::read(masterFd, chunk, sizeof chunk);
                if (n > 0) {
                    pending.insert(pending.end(), chunk, chunk + n);
                    lastByteAt = now;
                }
            } else if (ready > 0) {
                // POLLHUP without data; should not happen while slaveFd is open.
                waitUntil(now + pollPeriod);
            }
            if (!takeRequests())
                return;
            if (!pending.empty() && now - lastByteAt > partialFrameLimit)
                pending.clear();
        }
    }

    // Frames and answers every complete request in pending; false after a hang-up.
    bool takeRequests()
    {
        for (;;) {
            const int length = requestLength(pending.data(), pending.size());
            if (length < 0) {
                pending.erase(pending.begin());
                continue;
            }
            if (length == 0 || pending.size() < static_cast<std::size_t>(length))
                return true;
            Bytes request(pending.begin(), pending.begin() + length);
            pending.erase(pending.begin(), pending.begin() + length);
            if (!handle(request))
                return false;
        }
    }

    bool handle(const Bytes& request)
    {
        const auto arrived = Clock::now();
        const std::uint32_t speed = currentSpeed();
        Answer answer;
        Fault activeFault;
        unsigned activeSplitMs;
        Config current;
        {
            std::lock_guard lock(stateMutex);
            log.push_back({request, speed});
            activeFault = fault;
            activeSplitMs = splitMs;
            if (activeFault == Fault::HangUp) {
                // fall through to the hang-up below, outside the state lock
            } else if (crcMatches(request) && speed == config.baud && activeFault != Fault::Silence) {
                Config next = config;
                if (isFdFrame(request)) {
                    if (config.dialect == Dialect::Fd)
                        answer = answerFd(request, next);
                } else {
                    answer = answerModbus(request, next);
                }
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
        if (answer.reply.empty())
            return true;

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
        if (current.lineRate && current.baud != 0)
            replyAt += byteTime(current.baud) * request.size();
        replyAt += std::chrono::milliseconds(current.turnaroundMs);
        if (!waitUntil(replyAt))
            return false;
        {
            std::lock_guard lock(writeMutex);
            std::size_t first = reply.size();
            if (activeFault == Fault::Split)
                first = reply.size() / 2;
            if (!emit(reply.data(), first, current.lineRate, current.baud))
                return !stopRequested();
            if (first < reply.size()) {
                if (!waitUntil(Clock::now() + std::chrono::milliseconds(activeSplitMs)))
                    return false;
                emit(reply.data() + first, reply.size() - first, current.lineRate, current.baud);
            }
        }
        if (answer.newBaud != 0) {
            std::lock_guard lock(stateMutex);
            config.baud = answer.newBaud;
        }
        return !stopRequested();
    }

    bool open()
    {
        const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master < 0)
            return false;
        char name[128];
        if (::grantpt(master) != 0 || ::unlockpt(master) != 0
            || ::ptsname_r(master, name, sizeof name) != 0) {
            ::close(master);
            return false;
        }
        // Held for the pty's life: the tool's closes then never hang up the
        // master, and the termios it sets survive until it reopens.
        const int slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (slave < 0) {
            ::close(master);
            return false;
        }
        termios t{};
        if (::tcgetattr(slave, &t) == 0) {
            ::cfmakeraw(&t);
            ::tcsetattr(slave, TCSANOW, &t);
        }
        ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
        {
            std::lock_guard lock(writeMutex);
            masterFd = master;
            slaveFd = slave;
        }
        std::lock_guard lock(stateMutex);
        path = name;
        return true;
    }
};

SimTransmitter::SimTransmitter(Config config) : impl_(new Impl)
{
    impl_->config = config;
}

SimTransmitter::~SimTransmitter()
{
    stop();
    delete impl_;
}

bool SimTransmitter::start()
{
    if (impl_->server.joinable())
        return true;
    {
        std::lock_guard lock(impl_->stopMutex);
        impl_->stopping = false;
    }
    if (!impl_->open())
        return false;
    impl_->pending.clear();
    impl_->server = std::thread([this] { impl_->serve(); });
    return true;
}

void SimTransmitter::stop()
{
    {
        std::lock_guard lock(impl_->stopMutex);
        impl_->stopping = true;
    }
    impl_->stopSignal.notify_all();
    if (impl_->server.joinable())
        impl_->server.join();
    impl_->closeFds();
}

std::string SimTransmitter::slavePath() const
{
    std::lock_guard lock(impl_->stateMutex);
    return impl_->path;
}

void SimTransmitter::setFault(Fault fault, unsigned splitMs)
{
    std::lock_guard lock(impl_->stateMutex);
    impl_->fault = fault;
    impl_->splitMs = splitMs;
}

void SimTransmitter::sendRaw(const std::vector<std::uint8_t>& bytes)
{
    const Config now = state();
    std::lock_guard lock(impl_->writeMutex);
    impl_->emit(bytes.data(), bytes.size(), now.lineRate, now.baud);
}

std::vector<LoggedRequest> SimTransmitter::requests() const
{
    std::lock_guard lock(impl_->stateMutex);
    return impl_->log;
}

void SimTransmitter::clearRequests()
{
    std::lock_guard lock(impl_->stateMutex);
    impl_->log.clear();
}

Config SimTransmitter::state() const
{
    std::lock_guard lock(impl_->stateMutex);
    return impl_->config;
}

void SimTransmitter::setState(const Config& config)
{
    std::lock_guard lock(impl_->stateMutex);
    impl_->config = config;
}

} // namespace sim
