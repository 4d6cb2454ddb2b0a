#include <gtest/gtest.h>

#include <QPushButton>
#include <system_error>
#include <thread>

#include "tests/gui/gui_fakes.h"
#include "tests/support/receive_rig.h"
#include "tests/support/sim_start.h"

namespace {

void click(ConfigDialog& dialog, int id) { qobject_cast<QPushButton*>(dialog.control(id))->click(); }

// The window against a software transmitter on a pty, attached as COM1.
TEST(EndToEnd, DetectMeasureAreaAndAddressAgainstTheSimulatedTransmitter) {
    const auto transmitter = startSim(); // FD, address 1, 9600, 12.3 m/s, 1328.4 m3/h, 300 cm2
    ASSERT_TRUE(transmitter);
    DevicePort port(transmitter->slavePath());
    RecordingDialog dialog(port);
    TimerBlock timerBlock;
    dialog.installEventFilter(&timerBlock);

    click(dialog, 1001);
    ASSERT_EQ(dialog.boxes.size(), 1u);
    EXPECT_EQ(dialog.boxes[0].text, QString::fromUtf8("设备地址：1  波特率：9600"));
    EXPECT_EQ(dialog.boxes[0].caption, QString::fromUtf8("测试结果"));
    EXPECT_EQ(dialog.boxText(1002), "1");
    EXPECT_EQ(dialog.boxText(1003), "9600");
    for (int id : {1000, 1001, 1004, 1005, 1006, 1007, 1013, 1015, 1016}) {
        EXPECT_TRUE(dialog.control(id)->isEnabled()) << id;
    }

    click(dialog, 1013);
    EXPECT_EQ(dialog.boxText(1010), "12.3");
    EXPECT_EQ(dialog.boxText(1011), "1328.400024");

    dialog.setBoxText(1012, "450");
    click(dialog, 1016);
    ASSERT_EQ(dialog.boxes.size(), 2u);
    EXPECT_EQ(dialog.boxes[1].text, QString::fromUtf8("设置成功"));
    EXPECT_EQ(dialog.boxes[1].caption, QString::fromUtf8("ventora_gui_tests"));
    EXPECT_EQ(transmitter->state().area, 450);

    dialog.dispatch(EventMessage::Timer, 1);
    dialog.setBoxText(1012, "");
    click(dialog, 1015);
    EXPECT_EQ(dialog.boxText(1012), "450");

    dialog.setBoxText(1002, "7");
    click(dialog, 1005);
    ASSERT_EQ(dialog.boxes.size(), 3u);
    EXPECT_EQ(dialog.boxes[2].text, QString::fromUtf8("地址设置成功"));
    EXPECT_EQ(transmitter->state().address, 7);

    dialog.dispatch(EventMessage::Timer, 1);
    dialog.setBoxText(1002, "");
    click(dialog, 1004);
    EXPECT_EQ(dialog.boxText(1002), "7");
    EXPECT_EQ(dialog.boxText(1003), "9600");
}

// The system may refuse the receive thread. The window still runs, and
// nothing ever reaches replyRing: detection ends as if no transmitter were
// there, though one answered every query at 9600.
TEST(EndToEnd, WithoutAReceiveThreadTheWindowRunsAndNothingIsAnswered) {
    const auto transmitter = startSim();
    ASSERT_TRUE(transmitter);
    DevicePort port(transmitter->slavePath());
    RecordingDialog dialog(port, Language::Chinese, nullptr, [](ReceiveThread::Loop) -> std::jthread {
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    });
    TimerBlock timerBlock;
    dialog.installEventFilter(&timerBlock);

    click(dialog, 1001);
    ASSERT_EQ(dialog.boxes.size(), 1u);
    EXPECT_EQ(dialog.boxes[0].text, QString::fromUtf8("测试结束 未知波特率"));
    EXPECT_EQ(transmitter->requests().size(), 4u);
    EXPECT_FALSE(dialog.control(1013)->isEnabled());
    EXPECT_TRUE(dialog.control(1001)->isEnabled());
}

} // namespace
