#include "cli/platform.h"

#include <atomic>

#include <io.h>
#include <windows.h>

namespace {

std::atomic<bool> stopFlag{false};
std::atomic<bool> stopByInterrupt{true}; // Ctrl+C rather than Ctrl+Break or closing, for the first stop
HANDLE wakeEvent = nullptr;              // set by the console handler, waited on by waitForStop

BOOL WINAPI onConsoleEvent(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) return FALSE;
    if (!stopFlag.exchange(true)) stopByInterrupt.store(event == CTRL_C_EVENT);
    if (wakeEvent != nullptr) ::SetEvent(wakeEvent);
    return TRUE;
}

} // namespace

void installStopHandlers() {
    if (wakeEvent == nullptr) wakeEvent = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ::SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

bool stopRequested() { return stopFlag.load(); }

int stopStatus() { return stopByInterrupt.load() ? 130 : 143; }

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
