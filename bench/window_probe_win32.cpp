// ventora-window-probe: times Ventora.exe from outside, as a user's clicks
// reach it. Starts the program RUNS times and times each start to the moment
// its main dialog answers a message; then it picks the port at PORT_INDEX in
// the list, clicks "测试波特率", times the click to the message box that
// reports the outcome, and closes the box and the program.
//
//   ventora-window-probe VENTORA_EXE RUNS PORT_INDEX
//
// Prints, in milliseconds, medians over the runs:
//   floor 98.0        starting this probe again to its end, a process that does nothing
//   start-up 127.2
//   detection 1052.3 设备地址：1  波特率：9600
// Exits with 1 when the program could not be started or a window never came.

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point t) { return std::chrono::duration<double, std::milli>(Clock::now() - t).count(); }

constexpr int kPortList = 1000;
constexpr int kDetectButton = 1001;
constexpr int kMessageBoxText = 0xFFFF; // the static text in a message box
constexpr DWORD kWaitMs = 20000;

// The first visible dialog-class window of process `pid` other than `except`.
HWND findDialog(DWORD pid, HWND except) {
    struct Search {
        DWORD pid;
        HWND except;
        HWND found;
    } search{pid, except, nullptr};
    EnumWindows(
        [](HWND window, LPARAM context) -> BOOL {
            auto& s = *reinterpret_cast<Search*>(context);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            wchar_t className[16] = {};
            GetClassNameW(window, className, 16);
            if (owner != s.pid || window == s.except || !IsWindowVisible(window) ||
                std::wstring(className) != L"#32770")
                return TRUE;
            s.found = window;
            return FALSE;
        },
        LPARAM(&search));
    return search.found;
}

// Polls for findDialog's window until it answers a message, or the wait ends.
HWND awaitAnsweringDialog(DWORD pid, HWND except, Clock::time_point since) {
    while (msSince(since) < kWaitMs) {
        if (HWND window = findDialog(pid, except)) {
            DWORD_PTR result = 0;
            if (SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 1000, &result) != 0) return window;
        }
        Sleep(1);
    }
    return nullptr;
}

std::string utf8(const std::wstring& text) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(std::size_t(std::max(n, 0)), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), int(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

// A control's text, asked of the process that owns it.
std::wstring controlText(HWND control) {
    wchar_t buffer[256] = {};
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(control, WM_GETTEXT, 256, LPARAM(buffer), SMTO_ABORTIFHUNG, 1000, &copied);
    return buffer;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Starts `exe` with `arguments`; false with a message when it cannot.
bool start(const std::string& exe, const std::string& arguments, PROCESS_INFORMATION& process) {
    std::string commandLine = "\"" + exe + "\"" + arguments;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    if (CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                       &process))
        return true;
    std::fprintf(stderr, "ventora-window-probe: cannot start %s (error %lu)\n", exe.c_str(), GetLastError());
    return false;
}

void release(PROCESS_INFORMATION& process) {
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::string(argv[1]) == "--exit") return 0;
    if (argc != 4) {
        std::fprintf(stderr, "usage: ventora-window-probe VENTORA_EXE RUNS PORT_INDEX\n");
        return 2;
    }
    const std::string exe = argv[1];
    const int runs = std::max(1, std::atoi(argv[2]));
    const int portIndex = std::atoi(argv[3]);

    // Wine starts its desktop process for the first window of a session and
    // ends it some time after the last; Windows always has it. A hidden window
    // of the probe's own keeps it up, so no start below pays for it.
    HWND keeper = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);

    std::vector<double> floors;
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    for (int run = 0; run < runs; ++run) {
        PROCESS_INFORMATION process{};
        const auto t0 = Clock::now();
        if (!start(self, " --exit", process)) return 1;
        WaitForSingleObject(process.hProcess, kWaitMs);
        floors.push_back(msSince(t0));
        release(process);
    }

    std::vector<double> startups;
    std::vector<double> detections;
    std::string outcome;
    for (int run = 0; run < runs; ++run) {
        PROCESS_INFORMATION process{};
        const auto t0 = Clock::now();
        if (!start(exe, "", process)) return 1;
        HWND dialog = awaitAnsweringDialog(process.dwProcessId, nullptr, t0);
        if (dialog != nullptr) startups.push_back(msSince(t0));

        HWND box = nullptr;
        if (dialog != nullptr) {
            HWND ports = GetDlgItem(dialog, kPortList);
            SendMessageW(ports, CB_SETCURSEL, WPARAM(portIndex), 0);
            SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(kPortList, CBN_SELCHANGE), LPARAM(ports));
            const auto clicked = Clock::now();
            PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(kDetectButton, BN_CLICKED),
                         LPARAM(GetDlgItem(dialog, kDetectButton)));
            box = awaitAnsweringDialog(process.dwProcessId, dialog, clicked);
            if (box != nullptr) {
                detections.push_back(msSince(clicked));
                outcome = utf8(controlText(GetDlgItem(box, kMessageBoxText)));
                PostMessageW(box, WM_COMMAND, IDOK, 0);
                while (IsWindow(box) && msSince(clicked) < kWaitMs) Sleep(1);
            }
        }
        // Escape's command ends the program.
        if (dialog != nullptr) PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
        if (WaitForSingleObject(process.hProcess, dialog != nullptr ? kWaitMs : 0) != WAIT_OBJECT_0)
            TerminateProcess(process.hProcess, 1);
        release(process);
        if (dialog == nullptr) {
            std::fprintf(stderr, "ventora-window-probe: %s showed no dialog within %lu ms\n", exe.c_str(), kWaitMs);
            return 1;
        }
        if (box == nullptr) {
            std::fprintf(stderr, "ventora-window-probe: no message box within %lu ms of the click\n", kWaitMs);
            return 1;
        }
    }
    DestroyWindow(keeper);
    std::printf("floor %.1f\n", median(floors));
    std::printf("start-up %.1f\n", median(startups));
    std::printf("detection %.1f %s\n", median(detections), outcome.c_str());
    return 0;
}
