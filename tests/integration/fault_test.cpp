// Every fault of the software transmitter through the real port, receive thread
// and operations, at the line rate: what the user is shown, and that the line
// works again afterwards. The area write is the operation under each fault,
// because it is the one that reports both its success and its failure.

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <string>

#include "sim/sim_transmitter.h"
#include "tests/support/operations_rig.h"
#include "tests/support/sim_start.h"
#include "tests/support/wait_for.h"

// Names the box in failure messages rather than dumping its bytes.
void PrintTo(const ShownBox& box, std::ostream* os) {
    *os << '"' << box.text << "\" caption " << (box.caption ? '"' + *box.caption + '"' : "none") << " type "
        << box.type;
}

namespace {

using Bytes = std::vector<std::uint8_t>;

sim::Config fdTransmitterAt9600() {
    sim::Config c;
    c.dialect = sim::Dialect::Fd;
    c.address = 5;
    c.baud = 9600;
    c.area = 300;
    c.lineRate = true;
    return c;
}

const ShownBox kWritten{"设置成功", std::nullopt, kBoxPlain};
const ShownBox kNotWritten{"设置失败", "警告", kBoxQuestion};

// The transmitter outlives the port and the receive thread, as a device
// outlives the program that talks to it.
struct Rig {
    // A transmitter on a new pty, which port 1 names from now on.
    bool plugIn() {
        device = startSim(fdTransmitterAt9600());
        if (!device) return false;
        port.path = device->slavePath();
        return true;
    }

    // Where detection leaves the tool once it has found the transmitter.
    bool connect() {
        port.setParams(1, 8, 0, 0, 9600);
        transmitter.state.deviceAddress = 5;
        transmitter.state.deviceBaud = 9600;
        transmitter.echo = EchoKnowledge::Plain;
        return port.open() != 0;
    }

    std::vector<ShownBox> writeArea(const char* text) {
        dialog.shown.clear();
        dialog.boxes[kAreaBox] = text;
        transmitter.writeArea();
        return dialog.shown;
    }

    std::unique_ptr<sim::SimTransmitter> device;
    OperationsRig<DevicePort> operations;
    DevicePort& port = operations.port;
    std::unique_ptr<ReceiveBlock>& block = operations.block;
    FakeDialog& dialog = operations.dialog;
    Transmitter& transmitter = operations.transmitter;
};

struct FaultCase {
    const char* name;
    sim::Fault fault;
    unsigned splitMs;            // the pause inside a split reply
    std::size_t noiseBefore;     // bytes of line noise that end before the request
    std::vector<ShownBox> shown; // by the area write under the fault
    std::size_t straggling;      // reply bytes that complete after the write has judged
    bool deviceLost;
    friend void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.name; }
};

class FaultThroughTheStack : public testing::TestWithParam<FaultCase> {};

TEST_P(FaultThroughTheStack, ShowsTheFailureThenTheLineWorksAgain) {
    const FaultCase& c = GetParam();
    Rig rig;
    ASSERT_TRUE(rig.plugIn());
    ASSERT_TRUE(rig.connect());

    if (c.noiseBefore != 0) {
        Bytes noise(c.noiseBefore);
        for (std::size_t i = 0; i < noise.size(); ++i) noise[i] = std::uint8_t(i * 13 + (i >> 8));
        rig.device->sendRaw(noise);
        // The receive ring keeps 4095 bytes of it and drops the rest.
        ASSERT_TRUE(waitFor([&] { return ringCount(rig.block->replyRing) == 4095; }));
    }
    rig.device->setFault(c.fault, c.splitMs);
    EXPECT_EQ(rig.writeArea("450"), c.shown);
    // Waiting for the rest of a cut reply is waiting for the user's next click:
    // sooner, it would merge with the next reply, as on a real line.
    EXPECT_TRUE(waitFor([&] { return ringCount(rig.block->replyRing) == c.straggling; }));

    if (c.deviceLost) {
        const std::string gone = rig.port.path;
        rig.transmitter.detectBaud();
        EXPECT_EQ(rig.dialog.shown.back(), (ShownBox{"串口打开失败", "警告", kBoxQuestion}))
            << "the device is still gone";
        ASSERT_EQ(rig.dialog.logged.size(), 1u);
        EXPECT_NE(rig.dialog.logged[0].find("COM1 (" + gone + "): no such device"), std::string::npos)
            << rig.dialog.logged[0];
        ASSERT_TRUE(rig.plugIn());
        rig.dialog.shown.clear();
        rig.transmitter.detectBaud();
        EXPECT_EQ(rig.dialog.shown, (std::vector<ShownBox>{{"设备地址：5  波特率：9600", "测试结果", kBoxPlain}}));
    } else {
        rig.device->setFault(sim::Fault::None);
    }
    EXPECT_EQ(rig.writeArea("777"), std::vector<ShownBox>{kWritten});
    EXPECT_EQ(rig.device->state().area, 777);
}

// A rejected reply of 4 bytes or more shows the failure twice; no reply, once.
// The 80 ms pause is well above the 30-pass gap that ends a reply.
INSTANTIATE_TEST_SUITE_P(
    Faults, FaultThroughTheStack,
    testing::Values(
        FaultCase{"NoiseBeforeTheReply", sim::Fault::Noise, 0, 0, {kNotWritten, kNotWritten}, 0, false},
        FaultCase{"ReplySplitByAPause", sim::Fault::Split, 80, 0, {kNotWritten, kNotWritten}, 4, false},
        FaultCase{"BadCrc", sim::Fault::BadCrc, 0, 0, {kNotWritten, kNotWritten}, 0, false},
        FaultCase{"ModbusException", sim::Fault::Exception, 0, 0, {kNotWritten, kNotWritten}, 0, false},
        FaultCase{"ReplyFromTheWrongAddress", sim::Fault::WrongAddress, 0, 0, {kNotWritten, kNotWritten}, 0, false},
        FaultCase{"Silence", sim::Fault::Silence, 0, 0, {kNotWritten}, 0, false},
        FaultCase{"BurstBeyondTheRing", sim::Fault::None, 0, 4200, {kWritten}, 0, false},
        FaultCase{"HangUpMidExchange", sim::Fault::HangUp, 0, 0, {kNotWritten}, 0, true}),
    [](const testing::TestParamInfo<FaultCase>& info) { return std::string(info.param.name); });

} // namespace
