// A line of software transmitters seen from the slave side of its pty, through
// plain termios, so that these tests depend on nothing but the sim itself.

#include "sim/sim_transmitter.h"

#include "tests/support/pty_client.h"
#include "tests/support/wait_for.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include <termios.h>

namespace {

using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

// CRC-16 with polynomial 0xA001 reflected, initial 0xFFFF, low byte first.
bool checks(const std::uint8_t* frame, std::size_t length) {
    unsigned crc = 0xFFFF;
    for (std::size_t i = 0; i + 2 < length; ++i) {
        crc ^= frame[i];
        for (int k = 0; k < 8; ++k) crc = crc & 1 ? (crc >> 1) ^ 0xA001 : crc >> 1;
    }
    return frame[length - 2] == (crc & 0xFF) && frame[length - 1] == crc >> 8;
}

const Bytes fdQuery{0xFD, 0xFD, 0xFD, 0x00, 0x00, 0xE9, 0x88};
const Bytes fdReplyFrom3{0xFD, 0xFD, 0xFD, 0x03, 0x03, 0xA9, 0x79};
const Bytes fdReplyFrom77{0xFD, 0xFD, 0xFD, 0x03, 0x4D, 0x29, 0x4D};
const Bytes read3{0x03, 0x03, 0x00, 0x00, 0x00, 0x04, 0x45, 0xEB};
const Bytes read77{0x4D, 0x03, 0x00, 0x00, 0x00, 0x04, 0x4A, 0x05};
const Bytes read5{0x05, 0x03, 0x00, 0x00, 0x00, 0x04, 0x45, 0x8D};
// 12.3 m/s, 1328.4 m3/h
const Bytes measurementFrom3{0x03, 0x03, 0x08, 0x00, 0x7B, 0x00, 0x00, 0x44, 0xA6, 0x0C, 0xCD, 0x65, 0x2E};
// 4.5 m/s, 20.5 m3/h
const Bytes measurementFrom77{0x4D, 0x03, 0x08, 0x00, 0x2D, 0x00, 0x00, 0x41, 0xA4, 0x00, 0x00, 0x57, 0x9B};

sim::Config transmitter(std::uint8_t address, unsigned turnaroundMs = 0) {
    sim::Config c;
    c.address = address;
    c.turnaroundMs = turnaroundMs;
    if (address == 77) {
        c.velocityTenths = 45;
        c.volume = 20.5f;
    }
    return c;
}

Bytes joined(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

struct Row {
    const char* name;
    std::vector<sim::Config> line;
    speed_t speed;
    Bytes request;
    Bytes heard;               // what arrives, byte for byte, unless collided
    std::size_t collidedFrame; // nonzero: replies of this length collided
};

TEST(SimLine, AnswersAsALine) {
    const Row rows[] = {
        {"read at one address", {transmitter(3), transmitter(77)}, B9600, read77, measurementFrom77, 0},
        {"read at an empty address", {transmitter(3), transmitter(77)}, B9600, read5, {}, 0},
        {"fd query on a line of two", {transmitter(3), transmitter(77)}, B9600, fdQuery, {}, fdQuery.size()},
        {"two at one address",
         {transmitter(3), transmitter(77), transmitter(77)},
         B9600,
         read77,
         {},
         measurementFrom77.size()},
        {"fd query, replies 60 ms apart",
         {transmitter(3, 0), transmitter(77, 60)},
         B9600,
         fdQuery,
         joined(fdReplyFrom3, fdReplyFrom77),
         0},
        {"port at another speed", {transmitter(3), transmitter(77)}, B4800, read77, {}, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        sim::SimLine line;
        for (const sim::Config& c : row.line) line.add(c);
        ASSERT_TRUE(line.start());
        PtyClient client(line.slavePath(), row.speed);
        const Bytes heard = client.exchange(row.request, 100ms);
        if (row.collidedFrame == 0) {
            EXPECT_EQ(heard, row.heard);
            continue;
        }
        // Wherever the receiver takes a reply to begin, it does not check.
        ASSERT_GE(heard.size(), row.collidedFrame);
        for (std::size_t at = 0; at + row.collidedFrame <= heard.size(); ++at)
            EXPECT_FALSE(checks(heard.data() + at, row.collidedFrame)) << "a frame checks at byte " << at;
    }
}

TEST(SimLine, TransmittersComeAndGoWhileServing) {
    sim::SimLine line;
    line.add(transmitter(3));
    ASSERT_TRUE(line.start());
    const std::size_t second = line.add(transmitter(77));
    PtyClient client(line.slavePath(), B9600);

    struct Step {
        const char* name;
        bool plugged;
        Bytes request;
        Bytes heard;
    } const steps[] = {
        {"unplugged: silent", false, read77, {}},
        {"unplugged: no longer collides", false, fdQuery, fdReplyFrom3},
        {"the other goes on", false, read3, measurementFrom3},
        {"plugged back", true, read77, measurementFrom77},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        if (step.plugged)
            line.plug(second);
        else
            line.unplug(second);
        EXPECT_EQ(client.exchange(step.request, 100ms), step.heard);
    }
    EXPECT_TRUE(waitFor([&] { return line.requests().size() == std::size(steps); }));
    for (const sim::LoggedRequest& logged : line.requests()) EXPECT_EQ(logged.speed, 9600u);
    line.clearRequests();
    EXPECT_TRUE(line.requests().empty());
}

} // namespace
