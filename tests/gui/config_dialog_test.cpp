#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QAction>
#include <QComboBox>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <array>
#include <chrono>
#include <map>
#include <optional>
#include <thread>

#include "tests/gui/gui_fakes.h"

namespace {

constexpr int kOperationButtons[] = {1004, 1005, 1006, 1007, 1013, 1015, 1016};
constexpr int kEditBoxes[] = {1002, 1003, 1010, 1011, 1012};

void noSleep(std::chrono::steady_clock::time_point) {}

Bytes withoutCrc(const Bytes& frame) { return Bytes(frame.begin(), frame.end() - 2); }

QPushButton* button(ConfigDialog& dialog, int id) { return qobject_cast<QPushButton*>(dialog.control(id)); }

class ConfigDialogTest : public ::testing::Test {
protected:
    FakePort port;
    RecordingDialog dialog{port};
    TimerBlock timerBlock;

    void SetUp() override {
        dialog.installEventFilter(&timerBlock);
        dialog.transmitter().pollSleep = &noSleep;
    }
};

TEST_F(ConfigDialogTest, InitialisationFillsThePortListAndDisablesTheOperations) {
    auto* ports = qobject_cast<QComboBox*>(dialog.control(1000));
    ASSERT_NE(ports, nullptr);
    ASSERT_EQ(ports->count(), 32);
    EXPECT_EQ(ports->itemText(0), "COM1");
    EXPECT_EQ(ports->itemText(9), "COM10");
    EXPECT_EQ(ports->itemText(31), "COM32");
    EXPECT_EQ(dialog.selectedPortIndex(), 0);

    for (int id : kOperationButtons) EXPECT_FALSE(dialog.control(id)->isEnabled()) << id;
    EXPECT_TRUE(dialog.control(1000)->isEnabled());
    EXPECT_TRUE(dialog.control(1001)->isEnabled());
    for (int id : kEditBoxes) {
        EXPECT_TRUE(dialog.control(id)->isEnabled()) << id;
        EXPECT_EQ(dialog.boxText(id), "") << id;
    }
    EXPECT_FALSE(dialog.transmitter().state.modbusMode);
}

TEST_F(ConfigDialogTest, MenuEndsWithSeparatorAboutEntryAndLanguageEntry) {
    const QList<QAction*> actions = dialog.systemMenu().actions();
    ASSERT_GE(actions.size(), 3);
    EXPECT_TRUE(actions[actions.size() - 3]->isSeparator());
    EXPECT_EQ(actions[actions.size() - 2]->text(), QString::fromUtf8("关于 Ventora(&A)..."));
    EXPECT_EQ(actions[actions.size() - 2]->data().toUInt(), 16u);
    EXPECT_EQ(actions.last()->text(), QStringLiteral("English"));
    EXPECT_EQ(actions.last()->data().toUInt(), 48u);
}

TEST_F(ConfigDialogTest, WindowIsFixedWithoutMaximiseAndTabsInTemplateOrder) {
    EXPECT_EQ(dialog.windowTitle(), QString::fromUtf8("管道风速变送器485配置软件"));
    EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize());
    EXPECT_FALSE(dialog.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(dialog.windowFlags() & Qt::WindowMinimizeButtonHint);

    const std::vector<int> expected = {1000, 1001, 1002, 1003, 1004, 1005, 1006,
                                       1007, 1010, 1011, 1012, 1013, 1015, 1016};
    std::vector<int> order;
    QWidget* w = dialog.control(1000);
    for (int guard = 0; guard < 200 && order.size() < expected.size(); ++guard, w = w->nextInFocusChain()) {
        for (int id : expected) {
            if (dialog.control(id) == w) order.push_back(id);
        }
    }
    EXPECT_EQ(order, expected);
}

// A shown, active dialog on a port that records its opens, so that focus
// moves and keys reach the controls as they would for a user.
struct ActiveDialog {
    FakePort port;
    RecordingDialog dialog{port};
    TimerBlock timerBlock;
    QComboBox* ports = qobject_cast<QComboBox*>(dialog.control(1000));

    explicit ActiveDialog(SerialPort::PortNamer namer = [](std::uint8_t) { return std::string(); })
        : port(std::move(namer)) {
        dialog.installEventFilter(&timerBlock);
        dialog.transmitter().pollSleep = &noSleep;
        dialog.show();
        dialog.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&dialog));
    }
};

enum class Ending { Tab, DetectClick, Enter };

// Qt's editable combo takes text that matches an entry as a selection on
// focus-out and on Enter. Only the entry chosen with the arrows may count.
TEST(PortList, TypedTextNeverPicksThePort) {
    const std::pair<const char*, Ending> cases[] = {
        {"COM9", Ending::Tab},         {"com12", Ending::Tab},         {"COM9", Ending::DetectClick},
        {"COM1", Ending::DetectClick}, {"COM99", Ending::DetectClick}, {"COM9", Ending::Enter},
    };
    for (const auto& [typed, ending] : cases) {
        SCOPED_TRACE(testing::Message() << typed << ", ending " << int(ending));
        ActiveDialog a;
        QLineEdit* field = a.ports->lineEdit();
        ASSERT_TRUE(field->hasFocus());
        QTest::keyClick(field, Qt::Key_Down);
        QTest::keyClick(field, Qt::Key_Down);
        ASSERT_EQ(a.dialog.selectedPortIndex(), 2);

        field->selectAll();
        QTest::keyClicks(field, typed);
        if (ending == Ending::Tab) {
            QTest::keyClick(field, Qt::Key_Tab);
            ASSERT_EQ(QApplication::focusWidget(), a.dialog.control(1001));
            QTest::keyClick(a.dialog.control(1001), Qt::Key_Space);
        } else if (ending == Ending::DetectClick) {
            QTest::mouseClick(a.dialog.control(1001), Qt::LeftButton);
        } else {
            QTest::keyClick(field, Qt::Key_Return);
            EXPECT_EQ(a.dialog.result(), QDialog::Accepted) << "Enter in the field is the OK command";
        }
        EXPECT_EQ(a.ports->count(), 32);
        EXPECT_EQ(a.dialog.selectedPortIndex(), 2);
        EXPECT_EQ(a.port.openedPorts, ending == Ending::Enter ? std::vector<int>{} : std::vector<int>(4, 3));
    }
}

TEST(PortList, AnEntryChosenInTheDroppedDownListIsThePort) {
    for (const auto& [row, byMouse] : {std::pair{5, true}, std::pair{3, false}}) {
        SCOPED_TRACE(byMouse ? "mouse" : "arrows and Enter");
        ActiveDialog a;
        a.ports->showPopup();
        QAbstractItemView* list = a.ports->view();
        ASSERT_TRUE(waitUntil([&] { return list->isVisible(); }));
        if (byMouse) {
            const QPoint at = list->visualRect(list->model()->index(row, 0)).center();
            QTest::mouseMove(list->viewport(), at);
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
        } else {
            for (int i = 0; i < row; ++i) QTest::keyClick(list, Qt::Key_Down);
            QTest::keyClick(list, Qt::Key_Return);
        }
        ASSERT_TRUE(waitUntil([&] { return !list->isVisible(); }));
        QTest::mouseClick(a.dialog.control(1001), Qt::LeftButton);
        EXPECT_EQ(a.port.openedPorts, std::vector<int>(4, row + 1));
    }
}

// COMn on Linux is the n-th device present, so each look at the list asks
// again. Rows: the devices present, then the tips of COM1, COM2 and COM32.
TEST(PortList, EachEntryNamesTheDeviceItOpensWhenTheListDropsDown) {
    std::map<int, std::string> present;
    ActiveDialog a([&present](std::uint8_t n) { return present.count(n) != 0 ? present[n] : std::string(); });
    const std::pair<std::map<int, std::string>, std::array<const char*, 3>> moments[] = {
        {{{2, "/dev/ttyUSB7"}}, {"无此设备", "/dev/ttyUSB7", "无此设备"}},
        {{{1, "/dev/ttyACM9"}, {32, "/dev/ttyAMA5"}}, {"/dev/ttyACM9", "无此设备", "/dev/ttyAMA5"}},
        {{}, {"无此设备", "无此设备", "无此设备"}},
    };
    for (const auto& [devices, tips] : moments) {
        present = devices;
        a.ports->showPopup();
        const int rows[] = {0, 1, 31};
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(a.ports->itemData(rows[i], Qt::ToolTipRole).toString(), QString::fromUtf8(tips[i])) << rows[i];
        }
        a.ports->hidePopup();
        // The field itself names the selected entry's device.
        QHelpEvent help(QEvent::ToolTip, QPoint(2, 2), a.ports->mapToGlobal(QPoint(2, 2)));
        QApplication::sendEvent(a.ports, &help);
        EXPECT_EQ(a.ports->toolTip(), QString::fromUtf8(tips[0]));
    }
    EXPECT_EQ(a.ports->itemText(1), "COM2");
    EXPECT_EQ(a.dialog.selectedPortIndex(), 0);
}

struct RouteCase {
    int button;
    std::optional<std::pair<int, const char*>> boxInput;
    Bytes firstFrame; // without its CRC
    std::size_t frameCount;
    const char* message; // nullptr: none
};

// The FD dialect and address 0, as after construction.
const RouteCase kRoutes[] = {
    {1001, std::nullopt, {0xFD, 0xFD, 0xFD, 0x00, 0x00}, 4, "测试结束 未知波特率"},
    {1004, std::nullopt, {0xFD, 0xFD, 0xFD, 0x00, 0x00}, 1, nullptr},
    {1005, std::pair{1002, "5"}, {0xFD, 0xFD, 0xFD, 0x00, 0x05}, 1, "地址设置失败"},
    {1006, std::nullopt, {0xFD, 0xFD, 0xFD, 0x00, 0x00}, 1, nullptr},
    {1007, std::pair{1003, "4800"}, {0xFD, 0xFD, 0xFD, 0x02, 0x00}, 1, "波特率设置失败"},
    {1013, std::nullopt, {0x00, 0x03, 0x00, 0x00, 0x00, 0x04}, 1, nullptr},
    {1015, std::nullopt, {0x00, 0x03, 0x02, 0x00, 0x00, 0x01}, 1, nullptr},
    {1016, std::pair{1012, "300"}, {0x00, 0x06, 0x02, 0x00, 0x01, 0x2C}, 1, "设置失败"},
};

TEST(EventTable, EveryButtonReachesItsOperation) {
    for (const RouteCase& row : kRoutes) {
        SCOPED_TRACE(row.button);
        FakePort port;
        RecordingDialog dialog(port);
        TimerBlock timerBlock;
        dialog.installEventFilter(&timerBlock);
        dialog.transmitter().pollSleep = &noSleep;
        dialog.enableOperationButtons(true);
        if (row.boxInput) dialog.setBoxText(row.boxInput->first, row.boxInput->second);

        button(dialog, row.button)->click();

        ASSERT_EQ(port.frames.size(), row.frameCount);
        EXPECT_EQ(withoutCrc(port.frames[0]), row.firstFrame);
        if (row.message == nullptr) {
            EXPECT_TRUE(dialog.boxes.empty());
        } else {
            ASSERT_FALSE(dialog.boxes.empty());
            EXPECT_EQ(dialog.boxes.back().text, QString::fromUtf8(row.message));
        }
    }
}

TEST_F(ConfigDialogTest, UnknownCommandsDoNothing) {
    dialog.enableOperationButtons(true);
    for (unsigned id : {0u, 1u, 2u, 1000u, 1002u, 1008u, 1014u, 1017u, 65535u}) {
        EXPECT_FALSE(dialog.dispatch(EventMessage::Command, id)) << id;
    }
    EXPECT_TRUE(port.frames.empty());
    EXPECT_TRUE(dialog.boxes.empty());
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(dialog.transmitter().state.queryBusy, false);
}

TEST_F(ConfigDialogTest, QueryClickBeforeTheNextTickIsDropped) {
    dialog.enableOperationButtons(true);
    button(dialog, 1013)->click();
    ASSERT_EQ(port.frames.size(), 1u);

    button(dialog, 1013)->click();
    button(dialog, 1015)->click();
    button(dialog, 1004)->click();
    EXPECT_EQ(port.frames.size(), 1u);

    EXPECT_FALSE(dialog.dispatch(EventMessage::Timer, 2));
    button(dialog, 1013)->click();
    EXPECT_EQ(port.frames.size(), 1u) << "only timer 1 opens the way";

    dialog.dispatch(EventMessage::Timer, 1);
    button(dialog, 1013)->click();
    EXPECT_EQ(port.frames.size(), 2u);

    dialog.setBoxText(1012, "300");
    button(dialog, 1016)->click();
    button(dialog, 1016)->click();
    EXPECT_EQ(port.frames.size(), 4u) << "the area write has no such lock";
}

// While a query blocks the window a click queues up, and the platform may
// deliver the due tick of timer 1 ahead of it. The click must still be
// dropped, and the tick must still open the way afterwards.
RecordingDialog* gBlocked = nullptr;
int gPolls = 0;

void sleepWhileTickAndClickQueue(std::chrono::steady_clock::time_point until) {
    if (gPolls++ == 0) {
        QCoreApplication::postEvent(gBlocked, new QTimerEvent(gBlocked->seenTimerId));
        QMetaObject::invokeMethod(qobject_cast<QPushButton*>(gBlocked->control(1013)), &QPushButton::click,
                                  Qt::QueuedConnection);
    }
    std::this_thread::sleep_until(until);
}

TEST(QueryBusy, ClickQueuedBehindADueTickIsDroppedAndTheTickStillReopens) {
    FakePort port;
    RecordingDialog dialog(port);
    dialog.enableOperationButtons(true);
    ASSERT_TRUE(waitUntil([&] { return dialog.seenTimerId != 0; }));
    dialog.transmitter().pollSleep = &sleepWhileTickAndClickQueue;
    gBlocked = &dialog;
    gPolls = 0;

    qobject_cast<QPushButton*>(dialog.control(1013))->click();
    EXPECT_EQ(port.frames.size(), 1u);
    EXPECT_FALSE(dialog.transmitter().state.queryBusy) << "the held tick was not dispatched";

    dialog.transmitter().pollSleep = &noSleep;
    qobject_cast<QPushButton*>(dialog.control(1013))->click();
    EXPECT_EQ(port.frames.size(), 2u);
}

struct SysCommandCase {
    unsigned command;
    bool opensAbout;
};

TEST_F(ConfigDialogTest, SystemCommandsSixteenToThirtyOneOpenAbout) {
    const SysCommandCase cases[] = {{16, true}, {31, true}, {15, false}, {32, false}, {0xF060, false}};
    for (const SysCommandCase& c : cases) {
        dialog.boxes.clear();
        EXPECT_EQ(dialog.dispatch(EventMessage::SysCommand, c.command), c.opensAbout) << c.command;
        ASSERT_EQ(dialog.boxes.size(), c.opensAbout ? 1u : 0u) << c.command;
        if (c.opensAbout) {
            EXPECT_TRUE(dialog.boxes[0].about);
            EXPECT_EQ(dialog.boxes[0].caption, QString::fromUtf8("关于管道风速变送器配置软件"));
        }
    }
}

TEST(AboutBox, ShowsTheVersionLineAndClosesWithItsButton) {
    AboutDialog about(nullptr);
    QStringList texts;
    for (QLabel* label : about.findChildren<QLabel*>()) texts << label->text();
    // The project's major and minor version, handed over by CMake: the box
    // follows the project() call.
    EXPECT_TRUE(texts.contains(QString::fromUtf8("管道风速Ventora " VENTORA_PROJECT_MAJOR_MINOR " 版")))
        << texts.join('|').toStdString();
    const QList<QPushButton*> buttons = about.findChildren<QPushButton*>();
    ASSERT_EQ(buttons.size(), 1);
    EXPECT_EQ(buttons[0]->text(), QString::fromUtf8("确定"));
    EXPECT_TRUE(buttons[0]->isDefault());
    EXPECT_FALSE(about.windowFlags() & Qt::WindowMinimizeButtonHint);

    WidgetWatcher closer([&]() -> QWidget* { return about.isVisible() ? &about : nullptr; },
                         [&](QWidget*) { buttons[0]->click(); });
    EXPECT_EQ(about.exec(), QDialog::Accepted);
}

struct BoxCase {
    const char* text;
    std::optional<std::string> caption;
    unsigned type;
    const char* shownText;
    const char* shownCaption;
    QMessageBox::Icon icon;
};

TEST_F(ConfigDialogTest, MessageBoxesHaveOkOnlyAndTheirCaptionAndIcon) {
    const BoxCase cases[] = {
        {"设置成功", std::nullopt, 0x00, "设置成功", "ventora_gui_tests", QMessageBox::NoIcon},
        {"串口打开失败", "警告", 0x20, "串口打开失败", "警告", QMessageBox::Question},
        {"土壤水分变送器\r\n地址：1  波特率：9600\r\n偶校验", "测试结果", 0x00,
         "土壤水分变送器\n地址：1  波特率：9600\n偶校验", "测试结果", QMessageBox::NoIcon},
    };
    for (const BoxCase& c : cases) {
        dialog.boxes.clear();
        dialog.messageBox(c.text, c.caption, c.type);
        ASSERT_EQ(dialog.boxes.size(), 1u);
        EXPECT_EQ(dialog.boxes[0].text, QString::fromUtf8(c.shownText));
        EXPECT_EQ(dialog.boxes[0].caption, QString::fromUtf8(c.shownCaption));
        EXPECT_EQ(dialog.boxes[0].icon, c.icon);
        EXPECT_EQ(dialog.boxes[0].buttons, QMessageBox::Ok);
    }
}

TEST(MessageBox, TimerTicksReachTheDialogWhileABoxIsShown) {
    FakePort port;
    ConfigDialog dialog(port);
    dialog.transmitter().state.queryBusy = true;
    bool clearedWhileShown = false;
    WidgetWatcher closer(
        [&]() -> QWidget* {
            QWidget* box = activeMessageBox();
            if (box != nullptr && !dialog.transmitter().state.queryBusy) clearedWhileShown = true;
            return clearedWhileShown ? box : nullptr;
        },
        [](QWidget* box) { static_cast<QMessageBox*>(box)->accept(); });
    QTimer guard;
    guard.callOnTimeout([] {
        if (auto* box = qobject_cast<QMessageBox*>(activeMessageBox())) box->accept();
    });
    guard.start(5000);

    dialog.messageBox("设置成功", std::nullopt, 0);
    EXPECT_TRUE(clearedWhileShown);
}

struct CloseCase {
    const char* how;
    int focus; // control given the focus first; 0 = none
    Qt::Key key;
};

TEST(Closing, EscapeEnterAndCloseEndTheRunAndJoinTheReceiveThread) {
    const CloseCase cases[] = {
        {"Escape in the port list", 1000, Qt::Key_Escape},
        {"Enter in the address box", 1002, Qt::Key_Return},
        {"keypad Enter in the area box", 1012, Qt::Key_Enter},
        {"the Close button", 0, Qt::Key_unknown},
    };
    for (const CloseCase& c : cases) {
        SCOPED_TRACE(c.how);
        FakePort port;
        port.isOpen = true; // the receive thread reads only an open port
        RecordingDialog dialog(port);
        dialog.show();
        ASSERT_TRUE(waitUntil([&] { return port.reads.load() > 3; }));

        if (c.focus != 0) {
            QWidget* target = dialog.control(c.focus);
            if (auto* combo = qobject_cast<QComboBox*>(target)) target = combo->lineEdit();
            target->setFocus();
            QTest::keyClick(target, c.key, c.key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
        } else {
            dialog.close();
        }

        EXPECT_FALSE(dialog.isVisible());
        EXPECT_TRUE(dialog.boxes.empty()) << "closing asks nothing";
        const long readsAfterClose = port.reads.load();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_EQ(port.reads.load(), readsAfterClose) << "the receive thread still runs";
    }
}

TEST(Closing, EnterOnAFocusedButtonPressesItInstead) {
    FakePort port;
    RecordingDialog dialog(port);
    dialog.transmitter().pollSleep = &noSleep;
    dialog.show();
    dialog.enableOperationButtons(true);
    dialog.setBoxText(1012, "300");
    dialog.control(1016)->setFocus();
    QTest::keyClick(dialog.control(1016), Qt::Key_Return);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(port.frames.size(), 1u);
}

} // namespace
