// Win32 communications backend of SerialPort: overlapped I/O on \\.\COMn.

#include "serial/local/serial_port.h"

#include <cstdio>
#include <string>
#include <vector>
#include <utility>

#include <windows.h>

struct SerialPort::Native {
    HANDLE handle = INVALID_HANDLE_VALUE; // changed only by open/close (UI thread) under handleMutex_
    OVERLAPPED writeOverlapped{};         // UI thread
    OVERLAPPED readOverlapped{};          // receive thread
};

namespace {

// How a failed overlapped call reaches the caller: still running, or failed.
enum class IoState { Pending, Incomplete, Failed };

IoState lastIoState() {
    switch (::GetLastError()) {
    case ERROR_IO_PENDING: return IoState::Pending;
    case ERROR_IO_INCOMPLETE: return IoState::Incomplete;
    default: return IoState::Failed;
    }
}

void clearErrors(HANDLE handle, COMSTAT* status = nullptr) {
    DWORD errors = 0;
    COMSTAT scratch{};
    if (!::ClearCommError(handle, &errors, status ? status : &scratch) && status) status->cbInQue = 0;
}

// Waits for an overlapped request; true with the count once it completed,
// false with the count a failed completion reported.
bool finish(HANDLE handle, OVERLAPPED& overlapped, DWORD& count) {
    for (;;) {
        if (::GetOverlappedResult(handle, &overlapped, &count, TRUE)) return true;
        if (lastIoState() != IoState::Incomplete) return false;
    }
}

} // namespace

SerialPort::SerialPort(PortNamer namer) : namer_(std::move(namer)), native_(std::make_unique<Native>()) {
    native_->readOverlapped.hEvent = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!native_->readOverlapped.hEvent) return;
    native_->writeOverlapped.hEvent = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!native_->writeOverlapped.hEvent) {
        ::CloseHandle(native_->readOverlapped.hEvent);
        native_->readOverlapped.hEvent = nullptr;
    }
}

SerialPort::~SerialPort() {
    std::lock_guard lock(handleMutex_);
    closeLocked();
    if (native_->readOverlapped.hEvent) ::CloseHandle(native_->readOverlapped.hEvent);
    if (native_->writeOverlapped.hEvent) ::CloseHandle(native_->writeOverlapped.hEvent);
}

void SerialPort::recordOsFailure(unsigned long osError) {
    OpenFailure cause = OpenFailure::Other;
    switch (osError) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_UNIT:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_NOT_READY: cause = OpenFailure::NoSuchDevice; break;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_BUSY:
        // COM ports are opened with share mode 0, and Windows reports a port
        // that another program holds as access denied.
        cause = OpenFailure::Busy;
        break;
    case ERROR_INVALID_PARAMETER:
    case ERROR_NOT_SUPPORTED:
    case ERROR_GEN_FAILURE: cause = OpenFailure::SettingRefused; break;
    default: break;
    }
    recordFailure(cause, osErrorText(osError));
}

std::string SerialPort::systemPortName(std::uint8_t portNumber) {
    if (portNumber == 0) return {};
    char name[16];
    std::snprintf(name, sizeof name, "%s%d", "\\\\.\\COM", int(portNumber));
    return name;
}

std::vector<SerialPort::PresentDevice> SerialPort::systemDevices() {
    std::vector<PresentDevice> devices;
    char target[512];
    for (int n = 1; n <= 255; ++n) {
        char name[16];
        std::snprintf(name, sizeof name, "COM%d", n);
        if (::QueryDosDeviceA(name, target, sizeof target) != 0)
            devices.push_back({std::uint8_t(n), systemPortName(std::uint8_t(n))});
    }
    return devices;
}

std::vector<std::string> SerialPort::systemPortNames(std::uint8_t count) {
    std::vector<std::string> names;
    for (unsigned n = 1; n <= count; ++n) names.push_back(systemPortName(std::uint8_t(n)));
    return names;
}

std::string SerialPort::stableName(const std::string&) { return {}; }

bool SerialPort::configureLocked() {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    ::GetCommState(native_->handle, &dcb);
    dcb.BaudRate = baudRate();
    dcb.ByteSize = dataBits();
    dcb.Parity = parity();
    dcb.StopBits = stopBits();
    dcb.fBinary = TRUE;
    dcb.fParity = TRUE;
    if (!::SetCommState(native_->handle, &dcb)) {
        recordFailure(OpenFailure::SettingRefused, osErrorText(::GetLastError()));
        return false;
    }
    if (!rs485()) return true;
    // The driver raises RTS while it sends, which turns the transceiver round.
    dcb.fRtsControl = RTS_CONTROL_TOGGLE;
    if (::SetCommState(native_->handle, &dcb)) return true;
    recordFailure(OpenFailure::NoRs485Mode, osErrorText(::GetLastError()));
    return false;
}

bool SerialPort::lowerLatency(const std::string&) { return false; }

bool SerialPort::acquireLocked(const std::string& path) {
    const HANDLE handle = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        recordOsFailure(::GetLastError());
        return false;
    }
    native_->handle = handle;
    // Only CreateFileA and SetCommState decide whether the open succeeds.
    ::SetCommMask(handle, EV_RXCHAR);
    ::SetupComm(handle, 10000, 10000);
    ::PurgeComm(handle, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = 1000;
    timeouts.WriteTotalTimeoutMultiplier = 0;
    timeouts.WriteTotalTimeoutConstant = 1000;
    ::SetCommTimeouts(handle, &timeouts);
    return true;
}

bool SerialPort::closeLocked() {
    isOpen.store(false, std::memory_order_release);
    if (native_->handle == INVALID_HANDLE_VALUE) return false;
    ::CloseHandle(native_->handle);
    native_->handle = INVALID_HANDLE_VALUE;
    return true;
}

std::uint32_t SerialPort::read(std::uint8_t* buffer, std::uint32_t maxBytes) {
    if (!isOpen.load(std::memory_order_acquire)) return 0;
    std::lock_guard lock(handleMutex_);
    const HANDLE handle = native_->handle;
    if (handle == INVALID_HANDLE_VALUE) return 0;
    COMSTAT status{};
    clearErrors(handle, &status);
    const DWORD want = maxBytes < status.cbInQue ? maxBytes : status.cbInQue;
    if (want == 0) return 0;
    DWORD count = 0;
    if (::ReadFile(handle, buffer, want, &count, &native_->readOverlapped)) return count;
    if (lastIoState() != IoState::Pending) {
        clearErrors(handle);
        return 0;
    }
    ::OutputDebugStringA("\n\rIO Pending");
    if (!finish(handle, native_->readOverlapped, count)) clearErrors(handle);
    return count;
}

int SerialPort::write(const std::uint8_t* buffer, std::uint32_t count) {
    // Only the UI thread changes the handle, and this runs on it, so no lock:
    // holding one here would stall the receive thread for the whole write.
    const HANDLE handle = native_->handle;
    if (!isOpen.load(std::memory_order_acquire) || handle == INVALID_HANDLE_VALUE) return 0;
    DWORD written = 0;
    if (::WriteFile(handle, buffer, count, &written, &native_->writeOverlapped)) return 1;
    const IoState state = lastIoState();
    clearErrors(handle);
    if (state != IoState::Pending) {
        clearErrors(handle);
        return 0;
    }
    if (!finish(handle, native_->writeOverlapped, written)) clearErrors(handle);
    return 1;
}

WaitedRead SerialPort::readWait(std::uint8_t* buffer, std::uint32_t maxBytes, std::chrono::milliseconds timeout) {
    // Runs on the thread that opens and closes the port, so no lock (see write).
    WaitedRead result;
    const HANDLE handle = native_->handle;
    if (!isOpen.load(std::memory_order_acquire) || handle == INVALID_HANDLE_VALUE) {
        result.deviceGone = true;
        return result;
    }
    const ULONGLONG deadline = ::GetTickCount64() + ULONGLONG(timeout.count());
    for (;;) {
        COMSTAT status{};
        DWORD errors = 0;
        if (!::ClearCommError(handle, &errors, &status)) {
            result.deviceGone = true;
            return result;
        }
        if (status.cbInQue > 0) {
            const DWORD want = maxBytes < status.cbInQue ? maxBytes : status.cbInQue;
            DWORD count = 0;
            if (!::ReadFile(handle, buffer, want, &count, &native_->readOverlapped)) {
                if (lastIoState() != IoState::Pending || !finish(handle, native_->readOverlapped, count)) {
                    clearErrors(handle);
                }
            }
            result.count = count;
            return result;
        }
        const ULONGLONG now = ::GetTickCount64();
        if (now >= deadline) return result;
        // EV_RXCHAR, set at open, signals the next byte that arrives.
        DWORD mask = 0;
        OVERLAPPED& waiter = native_->readOverlapped;
        ::ResetEvent(waiter.hEvent);
        if (!::WaitCommEvent(handle, &mask, &waiter)) {
            if (lastIoState() != IoState::Pending) {
                result.deviceGone = true;
                return result;
            }
            if (::WaitForSingleObject(waiter.hEvent, DWORD(deadline - now)) != WAIT_OBJECT_0) {
                // Timed out: cancel the wait (SetCommMask ends it) and collect it.
                ::SetCommMask(handle, EV_RXCHAR);
                DWORD ignored = 0;
                ::GetOverlappedResult(handle, &waiter, &ignored, TRUE);
            }
        }
    }
}
