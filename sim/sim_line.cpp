#include "sim/sim_transmitter.h"

#include "sim/pty_server.h"

#include <algorithm>
#include <utility>

namespace sim {

namespace {

// The wire, bit by bit. A reply drives the line from its start on: per byte a
// start bit (0), eight data bits LSB first and a stop bit (1). The idle line
// reads 1 and any driver sending a 0 pulls it to 0, a wired AND, which is how
// the contended line of fighting drivers is taken to read. The receiver frames
// characters from that level as a UART does: a 0 while idle starts one, its
// data bits are sampled, and the search resumes after its stop bit. A reply
// alone on the line thus arrives unchanged, and overlapping ones arrive as
// characters built from the bits of both.
//
// No two transmitters start on the same bit: of a tie, the later starts half a
// character later, or two identical replies would AND to themselves.

constexpr int bitsPerByte = 10;

struct Drive {
    long long startBit; // in bit times from the end of the request
    std::size_t member;
    Bytes bytes;
    std::uint32_t newBaud;
};

struct Character {
    long long startBit;
    std::uint8_t byte;
};

bool lineHigh(const std::vector<Drive>& drives, long long bit) {
    for (const Drive& d : drives) {
        const long long at = bit - d.startBit;
        if (at < 0 || at >= static_cast<long long>(d.bytes.size()) * bitsPerByte) continue;
        const int slot = static_cast<int>(at % bitsPerByte);
        const std::uint8_t byte = d.bytes[static_cast<std::size_t>(at / bitsPerByte)];
        const bool high = slot == bitsPerByte - 1 || (slot > 0 && (byte >> (slot - 1) & 1u));
        if (!high) return false;
    }
    return true;
}

// What the receiver reads from the replies driven at once; drives is sorted
// and its ties resolved in place.
std::vector<Character> receive(std::vector<Drive>& drives) {
    std::sort(drives.begin(), drives.end(), [](const Drive& a, const Drive& b) {
        return std::pair(a.startBit, a.member) < std::pair(b.startBit, b.member);
    });
    long long end = 0;
    for (std::size_t k = 0; k < drives.size(); ++k) {
        if (k > 0 && drives[k].startBit <= drives[k - 1].startBit)
            drives[k].startBit = drives[k - 1].startBit + bitsPerByte / 2;
        end = std::max(end, drives[k].startBit + static_cast<long long>(drives[k].bytes.size()) * bitsPerByte);
    }
    std::vector<Character> heard;
    for (long long bit = drives.front().startBit; bit < end;) {
        if (lineHigh(drives, bit)) {
            ++bit;
            continue;
        }
        std::uint8_t byte = 0;
        for (int i = 0; i < 8; ++i)
            if (lineHigh(drives, bit + 1 + i)) byte = static_cast<std::uint8_t>(byte | 1u << i);
        heard.push_back({bit, byte});
        bit += bitsPerByte;
    }
    return heard;
}

} // namespace

struct SimLine::Impl : PtyServer {
    struct Member {
        Config config;
        bool plugged = true;
    };

    Impl(std::uint32_t baud, bool lineRate) : baud(baud), lineRate(lineRate) {}
    ~Impl() override { stop(); }

    const std::uint32_t baud;
    const bool lineRate;

    // Written by callers and the serving thread, under stateMutex.
    mutable std::mutex stateMutex;
    std::vector<Member> members;

    bool handle(const Bytes& request) override {
        const auto arrived = Clock::now();
        const std::uint32_t speed = currentSpeed();
        std::vector<Drive> drives;
        {
            std::lock_guard lock(stateMutex);
            for (std::size_t i = 0; i < members.size(); ++i) {
                Member& m = members[i];
                if (!m.plugged) continue;
                Answer a = answerRequest(request, speed, m.config);
                if (!a.reply.empty())
                    drives.push_back({static_cast<long long>(m.config.turnaroundMs) * speed / 1000, i,
                                      std::move(a.reply), a.newBaud});
            }
        }
        if (drives.empty() || speed == 0) return true;

        const std::vector<Character> heard = receive(drives);
        auto lineStart = arrived;
        if (lineRate) lineStart += byteTime(speed) * request.size();
        const auto timeOf = [&](long long bit) {
            return lineStart + std::chrono::nanoseconds(bit * 1'000'000'000LL / speed);
        };
        {
            std::lock_guard lock(writeMutex);
            for (std::size_t i = 0; i < heard.size();) {
                // Paced, each character is written as its stop bit ends;
                // otherwise each run of back-to-back characters at once.
                Bytes burst{heard[i].byte};
                std::size_t next = i + 1;
                for (;
                     !lineRate && next < heard.size() && heard[next].startBit == heard[next - 1].startBit + bitsPerByte;
                     ++next)
                    burst.push_back(heard[next].byte);
                const long long at = lineRate ? heard[i].startBit + bitsPerByte : heard[i].startBit;
                if (!waitUntil(timeOf(at)) || !writeAll(burst.data(), burst.size())) return !stopRequested();
                i = next;
            }
        }
        std::lock_guard lock(stateMutex);
        for (const Drive& d : drives)
            if (d.newBaud != 0) members[d.member].config.baud = d.newBaud;
        return true;
    }
};

SimLine::SimLine(std::uint32_t baud, bool lineRate) : impl_(new Impl(baud, lineRate)) {}

SimLine::~SimLine() { delete impl_; }

std::size_t SimLine::add(const Config& config) {
    Impl::Member m{config};
    m.config.dialect = Dialect::Fd;
    m.config.baud = impl_->baud;
    m.config.lineRate = impl_->lineRate;
    std::lock_guard lock(impl_->stateMutex);
    impl_->members.push_back(m);
    return impl_->members.size() - 1;
}

bool SimLine::start() { return impl_->start(); }

void SimLine::setEcho(bool on) { impl_->setEcho(on); }

void SimLine::stop() { impl_->stop(); }

std::string SimLine::slavePath() const { return impl_->slavePath(); }

void SimLine::unplug(std::size_t index) {
    std::lock_guard lock(impl_->stateMutex);
    if (index < impl_->members.size()) impl_->members[index].plugged = false;
}

void SimLine::plug(std::size_t index) {
    std::lock_guard lock(impl_->stateMutex);
    if (index < impl_->members.size()) impl_->members[index].plugged = true;
}

Config SimLine::state(std::size_t index) const {
    std::lock_guard lock(impl_->stateMutex);
    return index < impl_->members.size() ? impl_->members[index].config : Config{};
}

void SimLine::setState(std::size_t index, const Config& config) {
    std::lock_guard lock(impl_->stateMutex);
    if (index >= impl_->members.size()) return;
    Config& c = impl_->members[index].config;
    const std::uint32_t currentBaud = c.baud;
    c = config;
    c.dialect = Dialect::Fd;
    c.baud = currentBaud;
    c.lineRate = impl_->lineRate;
}

std::vector<LoggedRequest> SimLine::requests() const { return impl_->requests(); }

void SimLine::clearRequests() { impl_->clearRequests(); }

} // namespace sim
