// The transmitter operations over a real SerialPort and receive thread,
// against the software transmitter on a pseudo-terminal at the line rate.

#include <gtest/gtest.h>

#include <chrono>
#include <iostream>
#include <memory>

#include "sim/sim_transmitter.h"
#include "tests/support/operations_rig.h"
#include "tests/support/sim_start.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

const Bytes kFdQuery = {0xFD, 0xFD, 0xFD, 0x00, 0x00, 0xE9, 0x88};
const Bytes kModbusQuery = {0xFF, 0x03, 0x02, 0x00, 0x00, 0x05, 0x91, 0xAF};

sim::Config fdAt(std::uint32_t baud) {
    sim::Config c;
    c.dialect = sim::Dialect::Fd;
    c.address = 5;
    c.baud = baud;
    c.velocityTenths = 123;
    c.volume = 12.5f;
    c.area = 300;
    c.lineRate = true;
    return c;
}

sim::Config modbusAt9600() {
    sim::Config c = fdAt(9600);
    c.dialect = sim::Dialect::Modbus;
    c.address = 17;
    c.parityCode = 2;
    return c;
}

// The transmitter operations on a real port attached as COM1 to a software
// transmitter, which outlives them.
struct Rig {
    explicit Rig(const sim::Config& config) : sim(startSim(config)) {
        if (sim) operations.port.path = sim->slavePath();
    }

    std::unique_ptr<sim::SimTransmitter> sim;
    OperationsRig<DevicePort> operations;
    DevicePort& port = operations.port;
    FakeDialog& dialog = operations.dialog;
    Transmitter& transmitter = operations.transmitter;

    std::vector<Bytes> requestBytes() const {
        std::vector<Bytes> out;
        for (const sim::LoggedRequest& r : sim->requests()) out.push_back(r.bytes);
        return out;
    }
    std::vector<std::uint32_t> requestSpeeds() const {
        std::vector<std::uint32_t> out;
        for (const sim::LoggedRequest& r : sim->requests()) out.push_back(r.speed);
        return out;
    }
};

ShownBox box(std::string text, std::optional<std::string> caption, unsigned type) {
    return {std::move(text), std::move(caption), type};
}

TEST(ProtocolIntegration, DetectsAnFdTransmitterAt4800WithoutTrying9600) {
    Rig rig(fdAt(4800));
    ASSERT_TRUE(rig.sim);
    rig.transmitter.detectBaud();
    EXPECT_EQ(rig.dialog.shown, (std::vector<ShownBox>{box("设备地址：5  波特率：4800", "测试结果", kBoxPlain)}));
    EXPECT_EQ(rig.requestBytes(), (std::vector<Bytes>{kFdQuery, kFdQuery}));
    EXPECT_EQ(rig.requestSpeeds(), (std::vector<std::uint32_t>{2400, 4800}));
    EXPECT_EQ(rig.dialog.enabling.back(), "buttons on");
    EXPECT_FALSE(rig.transmitter.state.modbusMode);
}

TEST(ProtocolIntegration, DetectsAModbusTransmitterAfterThreeFdAttempts) {
    Rig rig(modbusAt9600());
    ASSERT_TRUE(rig.sim);
    rig.transmitter.detectBaud();
    EXPECT_EQ(rig.dialog.shown, (std::vector<ShownBox>{
                                    box("土壤水分变送器\r\n地址：17  波特率：9600\r\n偶校验", "测试结果", kBoxPlain)}));
    EXPECT_EQ(rig.requestBytes(), (std::vector<Bytes>{kFdQuery, kFdQuery, kFdQuery, kModbusQuery}));
    EXPECT_EQ(rig.requestSpeeds(), (std::vector<std::uint32_t>{2400, 4800, 9600, 9600}));
    EXPECT_TRUE(rig.transmitter.state.modbusMode);
    EXPECT_EQ(rig.transmitter.state.parityCode, 2);
}

class RoundTripTest : public testing::TestWithParam<bool> {};

TEST_P(RoundTripTest, ReadsMeasurementAndReadsAndWritesTheArea) {
    const bool modbus = GetParam();
    sim::Config config = modbus ? modbusAt9600() : fdAt(9600);
    Rig rig(config);
    ASSERT_TRUE(rig.sim);
    rig.transmitter.detectBaud();
    ASSERT_EQ(rig.dialog.enabling.back(), "buttons on");

    const auto start = std::chrono::steady_clock::now();
    rig.transmitter.readMeasurement();
    const auto elapsed = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start);
    std::cout << "measurement read at 9600: " << elapsed.count() << " ms\n";
    EXPECT_EQ(rig.dialog.boxes[kVelocityBox], "12.3");
    EXPECT_EQ(rig.dialog.boxes[kVolumeBox], "12.500000");

    if (modbus) return; // in the Modbus dialect register 0x0200 is the bus address
    rig.transmitter.state.queryBusy = false;
    rig.transmitter.readArea();
    EXPECT_EQ(rig.dialog.boxes[kAreaBox], "300");
    rig.dialog.boxes[kAreaBox] = "450";
    rig.transmitter.writeArea();
    EXPECT_EQ(rig.dialog.shown.back(), box("设置成功", std::nullopt, kBoxPlain));
    EXPECT_EQ(rig.sim->state().area, 450);
}

INSTANTIATE_TEST_SUITE_P(BothDialects, RoundTripTest, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& info) { return info.param ? "modbus" : "fd"; });

// Every operation judges what follows the port's copy of its request, and the copy alone is no acknowledgement.
TEST(ProtocolIntegration, AnEchoingAdapterIsLearntAndItsEchoNeverAcknowledges) {
    sim::Config config = fdAt(9600);
    config.echo = true;
    Rig rig(config);
    ASSERT_TRUE(rig.sim);
    rig.transmitter.detectBaud();
    ASSERT_EQ(rig.dialog.enabling.back(), "buttons on");
    EXPECT_EQ(int(rig.transmitter.echo), int(EchoKnowledge::Echoes));
    rig.dialog.boxes[kAreaBox] = "450"; // the write's acknowledgement is byte for byte the request
    rig.transmitter.writeArea();
    EXPECT_EQ(rig.dialog.shown.back(), box("设置成功", std::nullopt, kBoxPlain));
    rig.sim->setFault(sim::Fault::Silence);
    rig.transmitter.writeArea();
    EXPECT_EQ(rig.dialog.shown.back(), box("设置失败", "警告", kBoxQuestion));
}

class AddressChangeTest : public testing::TestWithParam<bool> {};

TEST_P(AddressChangeTest, ChangesTheAddressThenQueriesIt) {
    const bool modbus = GetParam();
    Rig rig(modbus ? modbusAt9600() : fdAt(9600));
    ASSERT_TRUE(rig.sim);
    rig.transmitter.detectBaud();
    ASSERT_EQ(rig.dialog.enabling.back(), "buttons on");

    rig.dialog.boxes[kAddressBox] = "34";
    rig.transmitter.setAddress();
    EXPECT_EQ(rig.dialog.shown.back(), box("地址设置成功", std::nullopt, kBoxPlain));
    EXPECT_EQ(rig.sim->state().address, 34);
    EXPECT_EQ(rig.sim->state().baud, 9600u) << "setting the address must keep the rate";
    EXPECT_EQ(rig.transmitter.state.deviceAddress, 34);

    rig.dialog.boxes[kAddressBox] = "";
    rig.transmitter.queryIdentity();
    EXPECT_EQ(rig.dialog.boxes[kAddressBox], "34");
    EXPECT_EQ(rig.dialog.boxes[kBaudBox], "9600");
}

INSTANTIATE_TEST_SUITE_P(BothDialects, AddressChangeTest, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& info) { return info.param ? "modbus" : "fd"; });

TEST(ProtocolIntegration, FdBaudChangeMovesThePortAndTheNextQueryAnswers) {
    Rig rig(fdAt(9600));
    ASSERT_TRUE(rig.sim);
    rig.transmitter.detectBaud();
    ASSERT_EQ(rig.dialog.enabling.back(), "buttons on");

    rig.dialog.boxes[kBaudBox] = "2400";
    rig.transmitter.setBaudRate();
    EXPECT_EQ(rig.dialog.shown.back(), box("波特率设置成功", std::nullopt, kBoxPlain));
    EXPECT_EQ(rig.port.baudRate(), 2400u);
    EXPECT_TRUE(rig.port.isOpen);
    EXPECT_EQ(rig.sim->state().baud, 2400u);

    rig.sim->clearRequests();
    rig.dialog.boxes[kBaudBox] = "";
    rig.transmitter.queryIdentity();
    EXPECT_EQ(rig.dialog.boxes[kAddressBox], "5");
    EXPECT_EQ(rig.dialog.boxes[kBaudBox], "2400");
    EXPECT_EQ(rig.requestSpeeds(), (std::vector<std::uint32_t>{2400}));
}

} // namespace
