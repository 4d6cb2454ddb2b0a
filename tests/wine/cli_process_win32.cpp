#include "tests/integration/cli_process.h"

#include <thread>

#include <windows.h>

namespace {

// The exit code a killed tool gets, the same as a killed process on Linux.
constexpr UINT kKilledCode = 137;

// One argument as the C runtime's command-line parser reads it back; the
// tests' arguments hold no quotes.
std::string quoted(const std::string& arg) {
    return arg.empty() || arg.find_first_of(" \t") != std::string::npos ? "\"" + arg + "\"" : arg;
}

// Collects a pipe's text until the writer closes it, as the tool's C runtime
// wrote it (text mode) read back in text mode: CR LF becomes LF.
void drain(HANDLE pipe, std::string& into) {
    char chunk[4096];
    DWORD n = 0;
    while (::ReadFile(pipe, chunk, sizeof chunk, &n, nullptr) && n > 0) into.append(chunk, n);
    std::string text;
    for (std::size_t i = 0; i < into.size(); ++i)
        if (!(into[i] == '\r' && i + 1 < into.size() && into[i + 1] == '\n')) text += into[i];
    into = text;
}

} // namespace

struct CliProcess::Impl {
    PROCESS_INFORMATION process{};
    HANDLE out = nullptr, err = nullptr;
    bool finished = false;
};

CliProcess::CliProcess(const std::vector<std::string>& args) : impl_(std::make_unique<Impl>()) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE outWrite = nullptr, errWrite = nullptr;
    if (!::CreatePipe(&impl_->out, &outWrite, &inherit, 0) || !::CreatePipe(&impl_->err, &errWrite, &inherit, 0))
        return;
    ::SetHandleInformation(impl_->out, HANDLE_FLAG_INHERIT, 0);
    ::SetHandleInformation(impl_->err, HANDLE_FLAG_INHERIT, 0);
    std::string commandLine = quoted(VENTORA_CLI_PATH);
    for (const std::string& a : args) commandLine += " " + quoted(a);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nullptr;
    startup.hStdOutput = outWrite;
    startup.hStdError = errWrite;
    // A group of its own, so that a Ctrl+Break reaches the tool and not the test.
    if (!::CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_NEW_PROCESS_GROUP, nullptr,
                          nullptr, &startup, &impl_->process))
        impl_->process = PROCESS_INFORMATION{};
    ::CloseHandle(outWrite);
    ::CloseHandle(errWrite);
}

CliProcess::~CliProcess() {
    if (impl_->process.hProcess != nullptr && !impl_->finished) {
        kill();
        finish();
    }
    for (HANDLE h : {impl_->out, impl_->err, impl_->process.hProcess, impl_->process.hThread})
        if (h != nullptr) ::CloseHandle(h);
}

void CliProcess::interrupt() { ::GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, impl_->process.dwProcessId); }

void CliProcess::kill() { ::TerminateProcess(impl_->process.hProcess, kKilledCode); }

CliRun CliProcess::finish() {
    CliRun run;
    impl_->finished = true;
    if (impl_->process.hProcess == nullptr) return run;
    std::thread errors([&] { drain(impl_->err, run.err); });
    std::thread output([&] { drain(impl_->out, run.out); });
    // As long as the POSIX harness waits for output; then the tool is ended,
    // which closes its pipes.
    if (::WaitForSingleObject(impl_->process.hProcess, 30000) != WAIT_OBJECT_0) kill();
    ::WaitForSingleObject(impl_->process.hProcess, INFINITE);
    output.join();
    errors.join();
    DWORD code = 0;
    ::GetExitCodeProcess(impl_->process.hProcess, &code);
    run.status = int(code);
    return run;
}

int killedStatus() { return int(kKilledCode); }

std::string portName(const std::string& devicePath) {
    return devicePath.rfind("\\\\.\\", 0) == 0 ? devicePath.substr(4) : devicePath;
}

std::string reportedDevice(const std::string& port) { return "\\\\.\\" + port; }

std::string listedDevicePrefix(const std::string& com) { return "\\\\.\\" + com; }
