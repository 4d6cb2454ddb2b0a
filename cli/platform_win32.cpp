#include "cli/platform.h"

#include <atomic>

#include <io.h>
#include <windows.h>

namespace {

std::atomic<bool> stopFlag{false};
HANDLE wakeEvent = nullptr; // set by the console handler, waited on by waitForStop

BOOL WINAPI onConsoleEvent(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) return FALSE;
    stopFlag.store(true);
    if (wakeEvent != nullptr) ::SetEvent(wakeEvent);
    return TRUE;
}

} // namespace

void installStopHandlers() {
    if (wakeEvent == nullptr) wakeEvent = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ::SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

bool stopRequested() { return stopFlag.load(); }

bool waitForStop(std::chrono::milliseconds duration) {
    if (stopFlag.load()) return true;
    if (wakeEvent != nullptr)
        ::WaitForSingleObject(wakeEvent, DWORD(duration.count()));
    else
        ::Sleep(DWORD(duration.count()));
    return stopFlag.load();
}

bool syncFile(std::FILE* file) { return std::fflush(file) == 0 && ::_commit(::_fileno(file)) == 0; }

bool isTerminal(std::FILE* file) { return ::_isatty(::_fileno(file)) != 0; }
