#include "cli/platform.h"

#include <atomic>
#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {

std::atomic<bool> stopFlag{false};
std::atomic<int> stopSignal{0}; // the signal that asked first
int wakePipe[2] = {-1, -1};     // written by the signal handler, polled by waitForStop

void onStopSignal(int signal) {
    int none = 0;
    stopSignal.compare_exchange_strong(none, signal);
    stopFlag.store(true);
    if (wakePipe[1] >= 0) {
        const char byte = 1;
        const ssize_t ignored = ::write(wakePipe[1], &byte, 1);
        (void)ignored;
    }
}

} // namespace

void installStopHandlers() {
    if (wakePipe[0] < 0 && ::pipe(wakePipe) == 0) {
        for (const int fd : wakePipe) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        for (const int fd : wakePipe) ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0; // no SA_RESTART: a wait in progress returns and sees the flag
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

bool stopRequested() { return stopFlag.load(); }

int stopStatus() { return 128 + (stopSignal.load() == SIGTERM ? SIGTERM : SIGINT); }

bool waitForStop(std::chrono::milliseconds duration) {
    const auto deadline = std::chrono::steady_clock::now() + duration;
    while (!stopFlag.load()) {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0) break;
        pollfd p{wakePipe[0], POLLIN, 0};
        ::poll(&p, wakePipe[0] >= 0 ? 1 : 0, int(left));
    }
    return stopFlag.load();
}

bool syncFile(std::FILE* file) { return std::fflush(file) == 0 && ::fsync(::fileno(file)) == 0; }

bool isTerminal(std::FILE* file) { return ::isatty(::fileno(file)) == 1; }
