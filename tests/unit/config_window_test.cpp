#include "window/config_window.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "tests/support/fake_port.h"
#include "tests/support/recording_dialog.h"

namespace {

using Calls = std::vector<std::string>;

void noSleep(std::chrono::steady_clock::time_point) {}

struct Window {
    FakePort port;
    RecordingView view;
    ConfigWindow window;

    explicit Window(ReceiveThread::Starter start = &ReceiveThread::startThread) : window(port, view, start) {
        window.transmitter().pollSleep = &noSleep;
        window.transmitter().state.modbusMode = true; // initialisation clears it
        window.initDialog();
        view.calls.clear();
    }
};

TEST(ConfigWindow, InitialisationTellsTheViewEachStepInOrder) {
    FakePort port;
    RecordingView view;
    ConfigWindow window(port, view);
    window.transmitter().state.modbusMode = true;
    window.initDialog();

    Calls expected = {"separator", "menu 关于 Ventora(&A)... 16", "menu English 48", "icon"};
    for (int n = 1; n <= 32; ++n) expected.push_back("port COM" + std::to_string(n));
    expected.push_back("select 0");
    for (int id : {1004, 1005, 1006, 1007, 1013, 1015, 1016}) expected.push_back("disable " + std::to_string(id));
    expected.push_back("timer 1 300");
    EXPECT_EQ(view.calls, expected);
    EXPECT_FALSE(window.transmitter().state.modbusMode);
    EXPECT_TRUE(window.receiving());
}

TEST(ConfigWindow, TheReceiveThreadPollsAnOpenPortUntilShutDown) {
    Window w;
    w.port.isOpen = true;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (w.port.reads.load() < 3 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_GE(w.port.reads.load(), 3);
    w.window.shutDown();
    EXPECT_FALSE(w.window.receiving());
    const long readsAfter = w.port.reads.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(w.port.reads.load(), readsAfter);
}

TEST(ConfigWindow, WithoutAReceiveThreadInitialisationStillCompletes) {
    Window w([](ReceiveThread::Loop) -> std::jthread {
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    });
    EXPECT_FALSE(w.window.receiving());
    EXPECT_FALSE(w.window.dispatch(EventMessage::Timer, 1));
}

struct DispatchCase {
    const char* what;
    EventMessage message;
    unsigned param;
    bool minimised;
    bool answersDragIcon;
    bool handled;
    Calls calls;
};

const DispatchCase kDispatch[] = {
    {"About entry", EventMessage::SysCommand, 16, false, false, true, {"about"}},
    {"About entry, low bits set", EventMessage::SysCommand, 31, false, false, true, {"about"}},
    {"command 15", EventMessage::SysCommand, 15, false, false, false, {}},
    {"command 32", EventMessage::SysCommand, 32, false, false, false, {}},
    {"close", EventMessage::SysCommand, 0xF060, false, false, false, {}},
    {"paint, minimised", EventMessage::Paint, 0, true, false, true, {"paint"}},
    {"paint, shown", EventMessage::Paint, 0, false, false, false, {"paint"}},
    {"drag icon answered", EventMessage::QueryDragIcon, 0, false, true, true, {"drag icon"}},
    {"drag icon left", EventMessage::QueryDragIcon, 0, false, false, false, {"drag icon"}},
    {"timer 1 goes on to the default", EventMessage::Timer, 1, false, false, false, {}},
    {"OK", EventMessage::Command, 1, false, false, false, {}},
    {"Cancel", EventMessage::Command, 2, false, false, false, {}},
    {"port list", EventMessage::Command, 1000, false, false, false, {}},
    {"no control 1014", EventMessage::Command, 1014, false, false, false, {}},
    {"measurement", EventMessage::Command, 1013, false, false, true, {"busy", "normal", "ended"}},
    {"area write, no area",
     EventMessage::Command,
     1016,
     false,
     false,
     true,
     {"busy", "box 截面积错误", "normal", "ended"}},
};

TEST(ConfigWindow, DispatchRunsTheMatchingRowOnly) {
    for (const DispatchCase& c : kDispatch) {
        SCOPED_TRACE(c.what);
        Window w;
        w.window.transmitter().state.queryBusy = false;
        w.view.minimised = c.minimised;
        w.view.answersDragIcon = c.answersDragIcon;
        EXPECT_EQ(w.window.dispatch(c.message, c.param), c.handled);
        EXPECT_EQ(w.view.calls, c.calls);
    }
}

// The language entry switches the view's texts, both menu entries and the
// operations' boxes, and back again.
TEST(ConfigWindow, TheLanguageEntrySwitchesEveryTextBothWays) {
    Window w;
    const std::pair<Calls, const char*> rounds[] = {
        {{"texts en", "rename 16 &About Ventora...", "rename 48 中文"}, "Area out of range (0 to 65535)"},
        {{"texts zh", "rename 16 关于 Ventora(&A)...", "rename 48 English"}, "截面积错误"},
    };
    for (const auto& [calls, areaBox] : rounds) {
        EXPECT_TRUE(w.window.dispatch(EventMessage::SysCommand, 48 + 3));
        EXPECT_EQ(w.view.calls, calls);
        w.window.dispatch(EventMessage::Command, 1016);
        ASSERT_FALSE(w.view.shown.empty());
        EXPECT_EQ(w.view.shown.back().text, areaBox);
        w.view.calls.clear();
    }
}

TEST(ConfigWindow, OnlyTimerOneReopensTheQueriesAfterOneRan) {
    Window w;
    const unsigned queries[] = {1013, 1015, 1004, 1006};
    for (unsigned first : queries) {
        SCOPED_TRACE(first);
        w.window.dispatch(EventMessage::Timer, 1);
        const std::size_t before = w.port.frames.size();
        w.window.dispatch(EventMessage::Command, first);
        ASSERT_EQ(w.port.frames.size(), before + 1);
        for (unsigned again : queries) w.window.dispatch(EventMessage::Command, again);
        w.window.dispatch(EventMessage::Timer, 2);
        w.window.dispatch(EventMessage::Command, first);
        EXPECT_EQ(w.port.frames.size(), before + 1);
    }
    w.window.dispatch(EventMessage::Timer, 1);
    w.window.dispatch(EventMessage::Command, 1013);
    EXPECT_EQ(w.port.frames.size(), 5u);
}

TEST(ConfigWindow, AfterShutDownNothingIsHandled) {
    Window w;
    w.window.shutDown();
    w.window.transmitter().state.queryBusy = true;
    EXPECT_FALSE(w.window.dispatch(EventMessage::SysCommand, 16));
    EXPECT_FALSE(w.window.dispatch(EventMessage::Command, 1001));
    EXPECT_FALSE(w.window.dispatch(EventMessage::Timer, 1));
    EXPECT_TRUE(w.window.transmitter().state.queryBusy);
    EXPECT_TRUE(w.view.calls.empty());
    EXPECT_TRUE(w.port.frames.empty());
}

TEST(WindowView, PortPairAndOperationButtonsInTheirOrder) {
    RecordingView view;
    view.enablePortPair(false);
    view.enableOperationButtons(true);
    const Calls expected = {"disable 1001", "disable 1000", "enable 1004", "enable 1005", "enable 1006",
                            "enable 1007",  "enable 1013",  "enable 1015", "enable 1016"};
    EXPECT_EQ(view.calls, expected);
}

struct NameCase {
    const char* path;
    const char* name;
};

TEST(ApplicationName, IsTheFileNameWithoutDirectoryAndExtension) {
    const NameCase cases[] = {
        {"C:\\Program Files\\Ventora\\Ventora.EXE", "Ventora"},
        {"Z:/tmp/build/win32/Ventora.exe", "Ventora"},
        {"/usr/bin/ventora_gui_tests", "ventora_gui_tests"},
        {"C:\\tools\\my.tool.exe", "my.tool"},
        {"/opt/v1.2/Ventora", "Ventora"},
        {"Ventora.exe", "Ventora"},
    };
    for (const NameCase& c : cases) EXPECT_EQ(applicationNameOf(c.path), c.name) << c.path;
}

} // namespace
