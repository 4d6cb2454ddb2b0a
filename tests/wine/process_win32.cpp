#include "tests/support/process.h"

#include <cstring>
#include <thread>

#include <windows.h>

namespace {

// The exit code a killed program gets, the same as a killed process on Linux.
constexpr UINT kKilledCode = 137;

// One argument as the C runtime's command-line parser reads it back; the
// tests' arguments hold no quotes.
std::string quoted(const std::string& arg) {
    return arg.empty() || arg.find_first_of(" \t") != std::string::npos ? "\"" + arg + "\"" : arg;
}

// CR LF as LF: a C runtime's text-mode output read back in text mode.
std::string textMode(const std::string& raw) {
    std::string text;
    for (std::size_t i = 0; i < raw.size(); ++i)
        if (!(raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n')) text += raw[i];
    return text;
}

// Appends a pipe's bytes until the writer closes it.
void drain(HANDLE pipe, std::string& into) {
    char chunk[4096];
    DWORD n = 0;
    while (pipe != nullptr && ::ReadFile(pipe, chunk, sizeof chunk, &n, nullptr) && n > 0) into.append(chunk, n);
}

// The inherited environment with `overrides` in place of the entries they
// name, as the block CreateProcess takes; empty when nothing is overridden.
std::string environmentBlock(const std::vector<std::string>& overrides) {
    if (overrides.empty()) return {};
    std::string block;
    for (const std::string& o : overrides) block += o + '\0';
    char* inherited = ::GetEnvironmentStringsA();
    for (const char* e = inherited; *e != '\0'; e += std::strlen(e) + 1) {
        const char* equals = std::strchr(e + 1, '='); // "=C:=C:\..." entries start with '='
        const std::size_t nameEnd = equals != nullptr ? std::size_t(equals - e) + 1 : std::strlen(e);
        bool replaced = false;
        for (const std::string& o : overrides) replaced = replaced || o.compare(0, nameEnd, e, nameEnd) == 0;
        if (!replaced) block += std::string(e) + '\0';
    }
    ::FreeEnvironmentStringsA(inherited);
    return block + '\0';
}

// The child's end of one output stream: the file at `to` ("/dev/null" is
// NUL), or the write end of a new pipe whose read end goes to `readEnd`.
HANDLE outputFor(const std::optional<std::string>& to, HANDLE& readEnd) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    if (to) {
        const std::string path = *to == "/dev/null" ? "NUL" : *to;
        const HANDLE file = ::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                          OPEN_EXISTING, 0, nullptr);
        return file == INVALID_HANDLE_VALUE ? nullptr : file;
    }
    HANDLE writeEnd = nullptr;
    if (!::CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return nullptr;
    ::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    return writeEnd;
}

} // namespace

struct Process::Impl {
    PROCESS_INFORMATION process{};
    HANDLE out = nullptr, err = nullptr; // read ends of the pipes, when collected
    std::string outRaw;                  // what awaitOutput has read so far
};

Process::Process(const Launch& launch) : impl_(std::make_unique<Impl>()) {
    const HANDLE outWrite = outputFor(launch.outTo, impl_->out);
    const HANDLE errWrite = outputFor(launch.errTo, impl_->err);
    std::string commandLine = quoted(launch.program);
    for (const std::string& a : launch.args) commandLine += " " + quoted(a);
    std::string environment = environmentBlock(launch.environment);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nullptr;
    startup.hStdOutput = outWrite;
    startup.hStdError = errWrite;
    // A group of its own, so that a Ctrl+Break reaches the program and not the test.
    if (outWrite == nullptr || errWrite == nullptr ||
        !::CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_NEW_PROCESS_GROUP,
                          environment.empty() ? nullptr : environment.data(), nullptr, &startup, &impl_->process))
        impl_->process = PROCESS_INFORMATION{};
    for (HANDLE h : {outWrite, errWrite})
        if (h != nullptr) ::CloseHandle(h);
}

Process::~Process() {
    if (running()) {
        kill();
        finish();
    }
    for (HANDLE h : {impl_->out, impl_->err, impl_->process.hProcess, impl_->process.hThread})
        if (h != nullptr) ::CloseHandle(h);
}

bool Process::started() const { return impl_->process.hProcess != nullptr; }

bool Process::running() { return started() && ::WaitForSingleObject(impl_->process.hProcess, 0) == WAIT_TIMEOUT; }

void Process::interrupt() { ::GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, impl_->process.dwProcessId); }

void Process::kill() {
    if (started()) ::TerminateProcess(impl_->process.hProcess, kKilledCode);
}

bool Process::awaitOutput(const std::string& text, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (textMode(impl_->outRaw).find(text) == std::string::npos) {
        DWORD available = 0;
        if (impl_->out == nullptr || !::PeekNamedPipe(impl_->out, nullptr, 0, nullptr, &available, nullptr) ||
            std::chrono::steady_clock::now() >= deadline)
            return false;
        char chunk[4096];
        DWORD n = 0;
        if (available == 0)
            ::Sleep(1);
        else if (::ReadFile(impl_->out, chunk, sizeof chunk, &n, nullptr))
            impl_->outRaw.append(chunk, n);
    }
    return true;
}

// As long as the POSIX side waits for output; then the program is ended,
// which closes its pipes.
ProcessRun Process::finish() {
    ProcessRun run;
    if (!started()) return run;
    std::string outRaw = std::move(impl_->outRaw), errRaw;
    std::thread errors([&] { drain(impl_->err, errRaw); });
    std::thread output([&] { drain(impl_->out, outRaw); });
    if (::WaitForSingleObject(impl_->process.hProcess, 30000) != WAIT_OBJECT_0) kill();
    ::WaitForSingleObject(impl_->process.hProcess, INFINITE);
    output.join();
    errors.join();
    run.out = textMode(outRaw);
    run.err = textMode(errRaw);
    DWORD code = 0;
    ::GetExitCodeProcess(impl_->process.hProcess, &code);
    run.status = int(code);
    FILETIME created, exited, kernel, user;
    if (::GetProcessTimes(impl_->process.hProcess, &created, &exited, &kernel, &user)) {
        const auto ticks = [](const FILETIME& t) { return (ULONGLONG(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
        run.cpuMs = double(ticks(kernel) + ticks(user)) / 10000.0; // 100 ns ticks
    }
    return run;
}

int killedStatus() { return int(kKilledCode); }

int interruptedStatus() { return 143; }
