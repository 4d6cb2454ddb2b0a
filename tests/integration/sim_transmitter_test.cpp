// The software transmitter seen from the slave side of its pty, through plain
// termios, so that these tests depend on nothing but the sim itself.

#include "sim/sim_transmitter.h"

#include "tests/support/pty_client.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <poll.h>
#include <termios.h>

namespace {

using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

sim::Config fdTransmitter() { return sim::Config{}; }

sim::Config modbusTransmitter() {
    sim::Config c;
    c.dialect = sim::Dialect::Modbus;
    c.address = 5;
    c.parityCode = 2;
    c.stopCheckB = 1;
    return c;
}

struct ReplyRow {
    const char* name;
    sim::Config config;
    speed_t speed;
    Bytes request;
    Bytes reply; // empty: the transmitter stays silent
};

TEST(SimTransmitter, AnswersLikeATransmitter) {
    const ReplyRow rows[] = {
        {"fd query",
         fdTransmitter(),
         B9600,
         {0xFD, 0xFD, 0xFD, 0x00, 0x00, 0xE9, 0x88},
         {0xFD, 0xFD, 0xFD, 0x03, 0x01, 0x28, 0xB8}},
        {"fd set address 7",
         fdTransmitter(),
         B9600,
         {0xFD, 0xFD, 0xFD, 0x00, 0x07, 0xA8, 0x4A},
         {0xFD, 0xFD, 0xFD, 0x03, 0x07, 0xA8, 0xBA}},
        {"fd measurement",
         fdTransmitter(),
         B9600,
         {0x01, 0x03, 0x00, 0x00, 0x00, 0x04, 0x44, 0x09},
         {0x01, 0x03, 0x08, 0x00, 0x7B, 0x00, 0x00, 0x44, 0xA6, 0x0C, 0xCD, 0x6E, 0x96}},
        {"fd area",
         fdTransmitter(),
         B9600,
         {0x01, 0x03, 0x02, 0x00, 0x00, 0x01, 0x85, 0xB2},
         {0x01, 0x03, 0x02, 0x01, 0x2C, 0xB8, 0x09}},
        {"fd unknown register",
         fdTransmitter(),
         B9600,
         {0x01, 0x03, 0x00, 0x04, 0x00, 0x01, 0xC5, 0xCB},
         {0x01, 0x83, 0x02, 0xC0, 0xF1}},
        {"fd ignores modbus identity", fdTransmitter(), B9600, {0xFF, 0x03, 0x02, 0x00, 0x00, 0x05, 0x91, 0xAF}, {}},
        {"fd bad crc", fdTransmitter(), B9600, {0xFD, 0xFD, 0xFD, 0x00, 0x00, 0xE9, 0x89}, {}},
        {"fd other speed", fdTransmitter(), B4800, {0xFD, 0xFD, 0xFD, 0x00, 0x00, 0xE9, 0x88}, {}},
        {"garbage before fd query",
         fdTransmitter(),
         B9600,
         {0x00, 0x11, 0xFD, 0xFD, 0xFD, 0x00, 0x00, 0xE9, 0x88},
         {0xFD, 0xFD, 0xFD, 0x03, 0x01, 0x28, 0xB8}},
        {"modbus identity",
         modbusTransmitter(),
         B9600,
         {0xFF, 0x03, 0x02, 0x00, 0x00, 0x05, 0x91, 0xAF},
         {0xFF, 0x03, 0x0A, 0x00, 0x05, 0x00, 0x03, 0x00, 0x02, 0x00, 0x00, 0x00, 0x01, 0xC6, 0x99}},
        {"modbus identity write",
         modbusTransmitter(),
         B9600,
         {0xFF, 0x10, 0x02, 0x00, 0x00, 0x05, 0x0A, 0x00, 0x09, 0x00, 0x01, 0, 0, 0, 0, 0, 0, 0xD9, 0x39},
         {0xFF, 0x10, 0x02, 0x00, 0x00, 0x05, 0x14, 0x6C}},
        {"modbus measurement",
         modbusTransmitter(),
         B9600,
         {0xFF, 0x03, 0x00, 0x00, 0x00, 0x04, 0x51, 0xD7},
         {0xFF, 0x03, 0x08, 0x00, 0x7B, 0x00, 0x00, 0x44, 0xA6, 0x0C, 0xCD, 0x59, 0x7D}},
        {"modbus area register is the address",
         modbusTransmitter(),
         B9600,
         {0xFF, 0x03, 0x02, 0x00, 0x00, 0x01, 0x90, 0x6C},
         {0xFF, 0x03, 0x02, 0x00, 0x05, 0x51, 0x93}},
        {"modbus ignores fd", modbusTransmitter(), B9600, {0xFD, 0xFD, 0xFD, 0x00, 0x00, 0xE9, 0x88}, {}},
    };
    for (const ReplyRow& row : rows) {
        SCOPED_TRACE(row.name);
        sim::SimTransmitter transmitter(row.config);
        ASSERT_TRUE(transmitter.start());
        PtyClient slave(transmitter.slavePath(), row.speed);
        ASSERT_TRUE(slave.isOpen());
        EXPECT_EQ(slave.exchange(row.request), row.reply);
        const auto log = transmitter.requests();
        ASSERT_FALSE(log.empty());
        EXPECT_EQ(log.back().speed, row.speed == B9600 ? 9600u : 4800u);
    }
}

TEST(SimTransmitter, FaultsShapeTheReply) {
    const Bytes fdQuery{0xFD, 0xFD, 0xFD, 0x00, 0x00, 0xE9, 0x88};
    const Bytes measurement{0x01, 0x03, 0x00, 0x00, 0x00, 0x04, 0x44, 0x09};
    struct Row {
        sim::Fault fault;
        Bytes request;
        Bytes reply;
    } const rows[] = {
        {sim::Fault::Silence, fdQuery, {}},
        {sim::Fault::BadCrc, fdQuery, {0xFD, 0xFD, 0xFD, 0x03, 0x01, 0x28, 0xB9}},
        {sim::Fault::Exception, fdQuery, {0xFD, 0xFD, 0xFD, 0x80, 0x01, 0x49, 0x88}},
        {sim::Fault::Exception, measurement, {0x01, 0x83, 0x01, 0x80, 0xF0}},
        {sim::Fault::WrongAddress, fdQuery, {0xFD, 0xFD, 0xFD, 0x03, 0x02, 0x68, 0xB9}},
        {sim::Fault::Noise, fdQuery, {0x00, 0x55, 0xAA, 0xFD, 0xFD, 0xFD, 0x03, 0x01, 0x28, 0xB8}},
        {sim::Fault::Split, fdQuery, {0xFD, 0xFD, 0xFD, 0x03, 0x01, 0x28, 0xB8}},
    };
    sim::SimTransmitter transmitter;
    ASSERT_TRUE(transmitter.start());
    PtyClient slave(transmitter.slavePath(), B9600);
    for (const Row& row : rows) {
        SCOPED_TRACE(static_cast<int>(row.fault));
        transmitter.setFault(row.fault, 10);
        EXPECT_EQ(slave.exchange(row.request), row.reply);
    }
    transmitter.setFault(sim::Fault::None);
    EXPECT_EQ(slave.exchange(fdQuery), (Bytes{0xFD, 0xFD, 0xFD, 0x03, 0x01, 0x28, 0xB8}));
}

TEST(SimTransmitter, NewBaudRateAppliesAfterTheReply) {
    sim::Config config;
    config.lineRate = true;
    sim::SimTransmitter transmitter(config);
    ASSERT_TRUE(transmitter.start());
    PtyClient slave(transmitter.slavePath(), B9600);
    EXPECT_EQ(slave.exchange({0xFD, 0xFD, 0xFD, 0x02, 0x00, 0xE8, 0xE8}),
              (Bytes{0xFD, 0xFD, 0xFD, 0x02, 0x01, 0x29, 0x28}));
    EXPECT_EQ(slave.exchange({0xFD, 0xFD, 0xFD, 0x00, 0x00, 0xE9, 0x88}), Bytes{});
    slave.setSpeed(B4800);
    EXPECT_EQ(slave.exchange({0xFD, 0xFD, 0xFD, 0x00, 0x00, 0xE9, 0x88}),
              (Bytes{0xFD, 0xFD, 0xFD, 0x02, 0x01, 0x29, 0x28}));

    const auto log = transmitter.requests();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0].speed, 9600u);
    EXPECT_EQ(log[1].speed, 9600u);
    EXPECT_EQ(log[2].speed, 4800u);
    EXPECT_EQ(transmitter.state().baud, 4800u);
}

TEST(SimTransmitter, StalePartialRequestIsDropped) {
    sim::SimTransmitter transmitter;
    ASSERT_TRUE(transmitter.start());
    PtyClient slave(transmitter.slavePath(), B9600);
    slave.send({0xFD, 0xFD, 0xFD, 0x00});
    // Not a wait for something to happen: the quiet line is the stimulus, three
    // times the 50 ms after which the sim gives up on a partial request.
    std::this_thread::sleep_for(150ms);
    EXPECT_EQ(slave.exchange({0xFD, 0xFD, 0xFD, 0x00, 0x00, 0xE9, 0x88}),
              (Bytes{0xFD, 0xFD, 0xFD, 0x03, 0x01, 0x28, 0xB8}));
    ASSERT_EQ(transmitter.requests().size(), 1u);
}

TEST(SimTransmitter, HangUpReachesTheSlave) {
    sim::SimTransmitter transmitter;
    ASSERT_TRUE(transmitter.start());
    PtyClient slave(transmitter.slavePath(), B9600);
    transmitter.setFault(sim::Fault::HangUp);
    slave.send({0xFD, 0xFD, 0xFD, 0x00, 0x00, 0xE9, 0x88});
    pollfd p{slave.fd(), POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 2000), 1);
    EXPECT_TRUE(p.revents & POLLHUP);
    EXPECT_EQ(transmitter.requests().size(), 1u);
}

} // namespace
