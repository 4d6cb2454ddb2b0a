// The native Windows window under Wine, against transmitters that
// ventora-sim-host serves on Linux ptys mapped to COM ports. Message boxes are
// recorded instead of shown; the About box and the modal run are real, closed
// from a thread timer that fires inside their message loops.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "sim/sim_transmitter.h"
#include "tests/support/sim_start.h"
#include "win32/config_dialog_win32.h"
#include "win32/dialog_template_win32.h"
#include "win32/win32_app.h"
#include "window/dialog_templates.h"

namespace {

struct Box {
    std::wstring text;
    std::wstring caption;
    UINT type;
};

class RecordingDialog : public Win32ConfigDialog {
public:
    using Win32ConfigDialog::Win32ConfigDialog;
    std::vector<Box> boxes;

protected:
    void showMessageBox(const std::wstring& text, const std::wstring& caption, UINT type) override {
        boxes.push_back({text, caption, type});
    }
};

std::wstring text(HWND window) {
    wchar_t buffer[256] = {};
    GetWindowTextW(window, buffer, 256);
    return buffer;
}

std::wstring w(const char* utf8) { return widen(utf8); }

// Port 1 of the dialog's list names the device given.
struct Rig {
    std::string device;
    std::vector<int> namedPorts;
    SerialPort port;
    RecordingDialog dialog;
    HWND hwnd;

    explicit Rig(std::string com1)
        : device(std::move(com1)),
          port([this](std::uint8_t n) {
              namedPorts.push_back(n);
              return n == 1 ? device : std::string();
          }),
          dialog(port),
          hwnd(dialog.createModeless()) {}

    HWND item(int id) const { return GetDlgItem(hwnd, id); }
    void click(int id) { SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), LPARAM(item(id))); }
    void tick() { SendMessageW(hwnd, WM_TIMER, 1, 0); }
    std::string box(int id) { return dialog.boxText(id); }
    void set(int id, const char* value) { dialog.setBoxText(id, value); }
};

const int kOperationButtons[] = {1004, 1005, 1006, 1007, 1013, 1015, 1016};

TEST(Win32Window, StartsWithTheTemplatesControlsTextsAndEnabledStates) {
    Rig rig("");
    ASSERT_NE(rig.hwnd, nullptr);
    EXPECT_EQ(text(rig.hwnd), w("管道风速变送器485配置软件"));
    const LONG_PTR style = GetWindowLongPtrW(rig.hwnd, GWL_STYLE);
    EXPECT_TRUE(style & WS_MINIMIZEBOX);
    EXPECT_FALSE(style & (WS_MAXIMIZEBOX | WS_THICKFRAME));
    EXPECT_TRUE(GetWindowLongPtrW(rig.hwnd, GWL_EXSTYLE) & WS_EX_APPWINDOW);

    // The children in creation order: every control of the template, with its text.
    HWND child = GetWindow(rig.hwnd, GW_CHILD);
    for (const ControlTemplate& c : kMainTemplate.controls) {
        const char* label = uiText(c.text, Language::Chinese);
        ASSERT_NE(child, nullptr) << label;
        EXPECT_EQ(GetDlgCtrlID(child), c.id) << label;
        if (c.kind == ControlKind::DropDown) {
            EXPECT_EQ(text(child), L"COM1");
        } else {
            EXPECT_EQ(text(child), w(label)) << label;
        }
        const bool operation =
            std::find(std::begin(kOperationButtons), std::end(kOperationButtons), c.id) != std::end(kOperationButtons);
        EXPECT_EQ(IsWindowEnabled(child) != FALSE, !operation) << label;
        child = GetWindow(child, GW_HWNDNEXT);
    }
    EXPECT_EQ(child, nullptr);

    HWND ports = rig.item(1000);
    ASSERT_EQ(SendMessageW(ports, CB_GETCOUNT, 0, 0), 32);
    wchar_t entry[16];
    for (const auto& [index, name] : {std::pair{0, L"COM1"}, std::pair{9, L"COM10"}, std::pair{31, L"COM32"}}) {
        SendMessageW(ports, CB_GETLBTEXT, WPARAM(index), LPARAM(entry));
        EXPECT_STREQ(entry, name);
    }
    EXPECT_EQ(SendMessageW(ports, CB_GETCURSEL, 0, 0), 0);
    EXPECT_EQ(rig.dialog.selectedPortIndex(), 0);
    EXPECT_TRUE(GetFocus() == ports || GetParent(GetFocus()) == ports);

    HMENU menu = GetSystemMenu(rig.hwnd, FALSE);
    const int count = GetMenuItemCount(menu);
    ASSERT_GE(count, 3);
    wchar_t item[64] = {};
    GetMenuStringW(menu, UINT(count - 2), item, 64, MF_BYPOSITION);
    EXPECT_EQ(std::wstring(item), w("关于 Ventora(&A)..."));
    EXPECT_EQ(GetMenuItemID(menu, count - 2), 16u);
    EXPECT_EQ(GetMenuState(menu, UINT(count - 3), MF_BYPOSITION) & MF_SEPARATOR, UINT(MF_SEPARATOR));
    GetMenuStringW(menu, UINT(count - 1), item, 64, MF_BYPOSITION);
    EXPECT_EQ(std::wstring(item), L"English");
    EXPECT_EQ(GetMenuItemID(menu, count - 1), 48u);

    const auto big = SendMessageW(rig.hwnd, WM_GETICON, ICON_BIG, 0);
    EXPECT_NE(big, 0);
    EXPECT_EQ(SendMessageW(rig.hwnd, WM_GETICON, ICON_SMALL, 0), big);
    EXPECT_EQ(SendMessageW(rig.hwnd, WM_QUERYDRAGICON, 0, 0), big);
}

TEST(Win32Window, DetectsAnFdTransmitterThenMeasuresReadsWritesAndSetsIt) {
    const auto transmitter = startSim(); // FD, address 1, 9600, 12.3 m/s, 1328.4 m3/h, 300 cm2
    ASSERT_TRUE(transmitter);
    Rig rig(transmitter->slavePath());

    rig.click(1001);
    ASSERT_EQ(rig.dialog.boxes.size(), 1u);
    EXPECT_EQ(rig.dialog.boxes[0].text, w("设备地址：1  波特率：9600"));
    EXPECT_EQ(rig.dialog.boxes[0].caption, w("测试结果"));
    EXPECT_EQ(rig.dialog.boxes[0].type, UINT(MB_OK));
    EXPECT_EQ(rig.box(1002), "1");
    EXPECT_EQ(rig.box(1003), "9600");
    for (int id : {1000, 1001, 1004, 1005, 1006, 1007, 1013, 1015, 1016}) {
        EXPECT_TRUE(IsWindowEnabled(rig.item(id))) << id;
    }

    rig.click(1013);
    EXPECT_EQ(rig.box(1010), "12.3");
    EXPECT_EQ(rig.box(1011), "1328.400024");

    rig.set(1012, "450");
    rig.click(1016);
    ASSERT_EQ(rig.dialog.boxes.size(), 2u);
    EXPECT_EQ(rig.dialog.boxes[1].text, w("设置成功"));
    EXPECT_EQ(rig.dialog.boxes[1].caption, L"ventora_win32_window_tests");
    EXPECT_EQ(transmitter->state().area, 450);

    rig.tick();
    rig.set(1012, "");
    rig.click(1015);
    EXPECT_EQ(rig.box(1012), "450");

    rig.set(1002, "7");
    rig.click(1005);
    ASSERT_EQ(rig.dialog.boxes.size(), 3u);
    EXPECT_EQ(rig.dialog.boxes[2].text, w("地址设置成功"));
    EXPECT_EQ(transmitter->state().address, 7);

    rig.set(1003, " 4800");
    rig.click(1007);
    ASSERT_EQ(rig.dialog.boxes.size(), 4u);
    EXPECT_EQ(rig.dialog.boxes[3].text, w("波特率设置成功"));
    EXPECT_EQ(transmitter->state().baud, 4800u);

    rig.tick();
    rig.set(1002, "");
    rig.set(1003, "");
    rig.click(1004);
    EXPECT_EQ(rig.box(1002), "7");
    EXPECT_EQ(rig.box(1003), "4800");
    EXPECT_EQ(rig.dialog.boxes.size(), 4u);
}

TEST(Win32Window, DetectsAModbusTransmitter) {
    sim::Config config;
    config.dialect = sim::Dialect::Modbus;
    const auto transmitter = startSim(config);
    ASSERT_TRUE(transmitter);
    Rig rig(transmitter->slavePath());

    rig.click(1001);
    ASSERT_EQ(rig.dialog.boxes.size(), 1u);
    EXPECT_EQ(rig.dialog.boxes[0].text, w("土壤水分变送器\r\n地址：1  波特率：9600\r\n无校验"));
    EXPECT_EQ(rig.dialog.boxes[0].caption, w("测试结果"));
    EXPECT_EQ(rig.dialog.boxes[0].type, UINT(MB_OK));
    EXPECT_TRUE(IsWindowEnabled(rig.item(1013)));
}

TEST(Win32Window, APortThatIsNotMappedFailsToOpen) {
    Rig rig("\\\\.\\COM200");
    rig.click(1001);
    ASSERT_EQ(rig.dialog.boxes.size(), 1u);
    EXPECT_EQ(rig.dialog.boxes[0].text, w("串口打开失败"));
    EXPECT_EQ(rig.dialog.boxes[0].caption, w("警告"));
    EXPECT_EQ(rig.dialog.boxes[0].type, UINT(MB_OK | MB_ICONQUESTION));
    EXPECT_FALSE(IsWindowEnabled(rig.item(1013)));
    EXPECT_TRUE(IsWindowEnabled(rig.item(1001)));
}

struct TypedCase {
    const wchar_t* typed;
    bool leaveFirst; // the focus leaves the list before the click
};

// Win32's combo box moves its selection to the entry the typed text begins,
// or to none; the port stays the one picked from the list.
TEST(Win32Window, TypedPortTextIsIgnored) {
    const TypedCase cases[] = {{L"COM9", false}, {L"com12", false}, {L"COM1", true}, {L"COM99", true}, {L"x", false}};
    for (const TypedCase& c : cases) {
        SCOPED_TRACE(narrow(c.typed));
        Rig rig("");
        HWND ports = rig.item(1000);
        SendMessageW(ports, CB_SETCURSEL, 2, 0);
        SendMessageW(rig.hwnd, WM_COMMAND, MAKEWPARAM(1000, CBN_SELCHANGE), LPARAM(ports));
        ASSERT_EQ(rig.dialog.selectedPortIndex(), 2);

        SetFocus(ports);
        HWND field = GetFocus();
        ASSERT_EQ(GetParent(field), ports);
        SendMessageW(field, EM_SETSEL, 0, -1);
        for (const wchar_t* ch = c.typed; *ch != 0; ++ch) SendMessageW(field, WM_CHAR, WPARAM(*ch), 0);
        EXPECT_EQ(text(field), c.typed);
        if (c.leaveFirst) {
            SetFocus(rig.item(1001));
            EXPECT_EQ(text(field), L"COM3") << "the field shows the port again";
        }

        rig.click(1001);
        EXPECT_EQ(rig.dialog.selectedPortIndex(), 2);
        ASSERT_FALSE(rig.namedPorts.empty());
        EXPECT_EQ(rig.namedPorts.front(), 3);
        ASSERT_FALSE(rig.dialog.boxes.empty());
        EXPECT_EQ(rig.dialog.boxes[0].text, w("串口打开失败"));
    }
}

// Calls `act` with each top-level window of this thread, from a thread timer
// that fires inside whatever modal loop runs, until it returns true.
struct ModalWatch {
    static inline std::function<bool(HWND)> act;
    UINT_PTR timer;

    explicit ModalWatch(std::function<bool(HWND)> onWindow) {
        act = std::move(onWindow);
        timer = SetTimer(nullptr, 0, 20, [](HWND, UINT, UINT_PTR, DWORD) {
            EnumThreadWindows(
                GetCurrentThreadId(),
                [](HWND window, LPARAM) -> BOOL {
                    if (act && IsWindowVisible(window) && act(window)) act = nullptr;
                    return TRUE;
                },
                0);
        });
    }
    ~ModalWatch() {
        KillTimer(nullptr, timer);
        act = nullptr;
    }
};

TEST(Win32Window, AboutFromTheSystemMenuShowsTheAboutBox) {
    Rig rig("");
    std::vector<std::wstring> texts;
    std::wstring caption;
    ModalWatch closer([&](HWND window) {
        if (window == rig.hwnd) return false;
        caption = text(window);
        for (HWND child = GetWindow(window, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
            texts.push_back(text(child));
        }
        PostMessageW(window, WM_COMMAND, IDOK, 0);
        return true;
    });
    SendMessageW(rig.hwnd, WM_SYSCOMMAND, 16, 0);
    EXPECT_EQ(caption, w("关于管道风速变送器配置软件"));
    ASSERT_EQ(texts.size(), 4u);
    EXPECT_EQ(texts[1], w(uiText(kAboutTemplate.controls[1].text, Language::Chinese)));
    EXPECT_EQ(texts[3], w("确定"));
    EXPECT_TRUE(IsWindow(rig.hwnd));
}

bool hasCjk(const std::wstring& text) {
    for (wchar_t c : text) {
        if ((c >= 0x3000 && c <= 0x9FFF) || (c >= 0xFF00 && c <= 0xFFEF)) return true;
    }
    return false;
}

std::vector<std::wstring> windowTexts(HWND window) {
    std::vector<std::wstring> texts{text(window)};
    for (HWND child = GetWindow(window, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT))
        texts.push_back(text(child));
    return texts;
}

// The window started in Chinese and switched to English from its system menu,
// through a detection, a refused area and the About box: its caption,
// controls and boxes hold no Chinese character.
TEST(Win32Window, SwitchedToEnglishTheWindowShowsNoChineseCharacter) {
    const auto transmitter = startSim();
    ASSERT_TRUE(transmitter);
    Rig rig(transmitter->slavePath());
    RECT chinese{}, english{};
    GetWindowRect(rig.hwnd, &chinese);
    SendMessageW(rig.hwnd, WM_SYSCOMMAND, 48, 0);
    wchar_t entry[64] = {};
    GetMenuStringW(GetSystemMenu(rig.hwnd, FALSE), 48, entry, 64, MF_BYCOMMAND);
    EXPECT_EQ(std::wstring(entry), w("中文"));

    rig.click(1001);
    rig.set(1012, "x");
    rig.click(1016);
    std::vector<std::wstring> texts = windowTexts(rig.hwnd);
    ModalWatch closer([&](HWND window) {
        if (window == rig.hwnd) return false;
        const std::vector<std::wstring> about = windowTexts(window);
        texts.insert(texts.end(), about.begin(), about.end());
        PostMessageW(window, WM_COMMAND, IDOK, 0);
        return true;
    });
    SendMessageW(rig.hwnd, WM_SYSCOMMAND, 16, 0);

    ASSERT_EQ(rig.dialog.boxes.size(), 2u);
    EXPECT_EQ(rig.dialog.boxes[0].text, L"Address: 1  Baud rate: 9600");
    EXPECT_EQ(texts.size(), 29u) << "the window's 23 controls and caption, the About box's 4 and caption";
    GetWindowRect(rig.hwnd, &english);
    EXPECT_TRUE(EqualRect(&chinese, &english));
    for (const Box& box : rig.dialog.boxes) texts.insert(texts.end(), {box.text, box.caption});
    for (const std::wstring& t : texts) EXPECT_FALSE(hasCjk(t)) << narrow(t);
}

struct KeyCase {
    WPARAM key;
    int focusedControl; // 1000: the port list's field
    INT_PTR ended;
};

// Escape anywhere, and Enter in an edit box, end the modal run and so the program.
TEST(Win32Window, EscapeAndEnterInAnEditBoxEndTheModalRun) {
    const KeyCase cases[] = {
        {VK_ESCAPE, 1000, IDCANCEL}, {VK_ESCAPE, 1012, IDCANCEL}, {VK_RETURN, 1002, IDOK}, {VK_RETURN, 1012, IDOK}};
    for (const KeyCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "key " << c.key << " in " << c.focusedControl);
        SerialPort port([](std::uint8_t) { return std::string(); });
        RecordingDialog dialog(port);
        bool focused = false;
        ModalWatch presser([&](HWND window) {
            if (window != dialog.window()) return false;
            HWND control = GetDlgItem(window, c.focusedControl);
            if (c.focusedControl == 1000)
                control = GetFocus();
            else
                SetFocus(control);
            focused = GetFocus() == control && (GetDlgCtrlID(control) == c.focusedControl ||
                                                GetDlgCtrlID(GetParent(control)) == c.focusedControl);
            PostMessageW(control, WM_KEYDOWN, c.key, 0);
            return true;
        });
        EXPECT_EQ(dialog.runModal(), c.ended);
        EXPECT_TRUE(focused);
        EXPECT_EQ(dialog.window(), nullptr);
        EXPECT_TRUE(dialog.boxes.empty());
    }
}

// The program's run with its start-up step replaced: which boxes it shows,
// whether the sockets are stopped, and whether the main dialog ran.
struct StartupRecord {
    static inline std::vector<Box> boxes;
    static inline bool socketsStart = true;
    static inline int stops = 0;
    static inline bool console = true;
    static inline std::string written;

    static Win32Startup startup() {
        boxes.clear();
        stops = 0;
        written.clear();
        return {[] { return socketsStart; }, [] { ++stops; },
                [](HWND, LPCWSTR text, LPCWSTR caption, UINT type) -> int {
                    boxes.push_back({text, caption, type});
                    return IDOK;
                },
                [](const std::string& text) {
                    if (console) written += text;
                    return console;
                }};
    }
};

TEST(Win32Window, SocketsThatDoNotStartShowTheFailureBoxAndNoWindow) {
    StartupRecord::socketsStart = false;
    SerialPort port([](std::uint8_t) { return std::string(); });
    bool dialogShown = false;
    ModalWatch closer([&](HWND window) {
        dialogShown = true;
        PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
        return true;
    });
    EXPECT_EQ(runVentora(port, StartupRecord::startup()), 0);
    EXPECT_FALSE(dialogShown);
    ASSERT_EQ(StartupRecord::boxes.size(), 1u);
    EXPECT_EQ(StartupRecord::boxes[0].text, w(loadString(kStringSocketsFailed, Language::Chinese)));
    EXPECT_EQ(StartupRecord::boxes[0].caption, L"ventora_win32_window_tests");
    EXPECT_EQ(StartupRecord::boxes[0].type, UINT(MB_OK | MB_ICONEXCLAMATION));
    EXPECT_EQ(StartupRecord::stops, 0);
}

// clang-format off
TEST(Win32Window, TheCommandLineBeforeAnyWindow) {
    // out and box: what the output and the one box begin with, if any.
    struct Case { std::vector<std::string> args; bool console; int status; Language language; const char* out; const wchar_t* box; };
    // The Wine scripts give Wine the user language zh_CN through LANG.
    const Case cases[] = {
        {{}, true, -1, Language::Chinese, "", nullptr},
        {{"--lang", "en"}, true, -1, Language::English, "", nullptr},
        {{"--lang", "fr"}, true, 2, Language::Chinese, "", L"Ventora: --lang takes zh or en, not \"fr\""},
        {{"--lang", "en", "--version"}, true, 0, Language::English, "Ventora ", nullptr},
        {{"--help"}, false, 0, Language::Chinese, "", L"Usage: Ventora [--lang zh|en]\n"},
        {{"--echo"}, true, 2, Language::Chinese, "", L"Ventora: unknown option \"--echo\"; see Ventora --help"},
    };
    for (const Case& c : cases) {
        StartupRecord::console = c.console;
        Language language{};
        EXPECT_EQ(readStartup(c.args, language, StartupRecord::startup()), c.status) << c.args.size();
        EXPECT_EQ(language, c.language);
        EXPECT_TRUE(StartupRecord::written.starts_with(c.out) && StartupRecord::written.empty() == !*c.out);
        ASSERT_EQ(StartupRecord::boxes.size(), c.box ? 1u : 0u);
        EXPECT_TRUE(!c.box || StartupRecord::boxes[0].text.starts_with(c.box));
    }
    StartupRecord::console = true;
}
// clang-format on

TEST(Win32Window, SocketsThatStartAreStoppedOnceTheWindowHasClosed) {
    StartupRecord::socketsStart = true;
    SerialPort port([](std::uint8_t) { return std::string(); });
    int stopsWhileOpen = -1;
    ModalWatch closer([&](HWND window) {
        stopsWhileOpen = StartupRecord::stops;
        PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
        return true;
    });
    EXPECT_EQ(runVentora(port, StartupRecord::startup()), 0);
    EXPECT_EQ(stopsWhileOpen, 0) << "the main dialog ran";
    EXPECT_EQ(StartupRecord::stops, 1);
    EXPECT_TRUE(StartupRecord::boxes.empty());
}

} // namespace
