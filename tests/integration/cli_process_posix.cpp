#include "tests/integration/cli_process.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

struct CliProcess::Impl {
    pid_t pid = -1;
    int out = -1, err = -1;
    bool reaped = false;
};

CliProcess::CliProcess(const std::vector<std::string>& args) : impl_(std::make_unique<Impl>()) {
    int outPipe[2], errPipe[2];
    if (::pipe(outPipe) != 0 || ::pipe(errPipe) != 0) return;
    impl_->pid = ::fork();
    if (impl_->pid == 0) {
        ::dup2(outPipe[1], 1);
        ::dup2(errPipe[1], 2);
        for (int fd : {outPipe[0], outPipe[1], errPipe[0], errPipe[1]}) ::close(fd);
        std::vector<char*> argv{const_cast<char*>(VENTORA_CLI_PATH)};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    impl_->out = outPipe[0];
    impl_->err = errPipe[0];
}

CliProcess::~CliProcess() {
    if (impl_->pid > 0 && !impl_->reaped) {
        ::kill(impl_->pid, SIGKILL);
        finish();
    }
}

void CliProcess::interrupt() { ::kill(impl_->pid, SIGINT); }

void CliProcess::kill() { ::kill(impl_->pid, SIGKILL); }

CliRun CliProcess::finish() {
    CliRun run;
    pollfd fds[2] = {{impl_->out, POLLIN, 0}, {impl_->err, POLLIN, 0}};
    char chunk[4096];
    int open = 2;
    while (open > 0 && ::poll(fds, 2, 30000) > 0) {
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP))) continue;
            const ssize_t n = ::read(fds[i].fd, chunk, sizeof chunk);
            if (n <= 0) {
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            } else {
                (i == 0 ? run.out : run.err).append(chunk, std::size_t(n));
            }
        }
    }
    int status = 0;
    ::waitpid(impl_->pid, &status, 0);
    impl_->reaped = true;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return run;
}

int killedStatus() { return 128 + SIGKILL; }

std::string portName(const std::string& devicePath) { return devicePath; }

std::string reportedDevice(const std::string& port) { return port; }

std::string listedDevicePrefix(const std::string&) { return "/dev/"; }
