#include "tests/support/process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

extern char** environ;

namespace {

// The inherited environment with `overrides` in place of the entries they name.
std::vector<std::string> environmentWith(const std::vector<std::string>& overrides) {
    std::vector<std::string> entries = overrides;
    for (char** e = environ; *e != nullptr; ++e) {
        const char* equals = std::strchr(*e, '=');
        const std::size_t nameEnd = equals != nullptr ? std::size_t(equals - *e) + 1 : std::strlen(*e);
        bool replaced = false;
        for (const std::string& o : overrides) replaced = replaced || o.compare(0, nameEnd, *e, nameEnd) == 0;
        if (!replaced) entries.emplace_back(*e);
    }
    return entries;
}

std::vector<char*> nullTerminated(std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    for (std::string& s : strings) pointers.push_back(s.data());
    pointers.push_back(nullptr);
    return pointers;
}

// Sends the child's descriptor fd to the path, or into the pipe's write end.
void direct(posix_spawn_file_actions_t& actions, int fd, const std::optional<std::string>& to, const int (&pipe)[2],
            bool ownSession) {
    if (to)
        posix_spawn_file_actions_addopen(&actions, fd, to->c_str(), O_WRONLY | (ownSession ? 0 : O_NOCTTY), 0);
    else
        posix_spawn_file_actions_adddup2(&actions, pipe[1], fd);
}

void closeFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

} // namespace

struct Process::Impl {
    pid_t pid = -1;
    int out = -1, err = -1; // read ends of the pipes, until the child closes its side
    std::string outText, errText;
    bool reaped = false;
    int status = 0;
    rusage usage{};

    // True once the child has ended and been reaped; options as for wait4.
    bool reap(int options) {
        while (!reaped && pid > 0) {
            const pid_t r = ::wait4(pid, &status, options, &usage);
            if (r == pid) reaped = true;
            if (r == 0 || (r < 0 && errno != EINTR)) break;
        }
        return reaped;
    }

    // Appends what one read brings; closes fd at the end of the output.
    static void readSome(int& fd, std::string& into) {
        char chunk[4096];
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n <= 0)
            closeFd(fd);
        else
            into.append(chunk, std::size_t(n));
    }
};

Process::Process(const Launch& launch) : impl_(std::make_unique<Impl>()) {
    int outPipe[2] = {-1, -1}, errPipe[2] = {-1, -1};
    if ((!launch.outTo && ::pipe2(outPipe, O_CLOEXEC) != 0) || (!launch.errTo && ::pipe2(errPipe, O_CLOEXEC) != 0)) {
        for (int* fd : {&outPipe[0], &outPipe[1], &errPipe[0], &errPipe[1]}) closeFd(*fd);
        return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    direct(actions, 1, launch.outTo, outPipe, launch.ownSession);
    direct(actions, 2, launch.errTo, errPipe, launch.ownSession);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    if (launch.ownSession) posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);

    std::vector<std::string> args = {launch.program};
    args.insert(args.end(), launch.args.begin(), launch.args.end());
    std::vector<std::string> environment = environmentWith(launch.environment);
    const std::vector<char*> argv = nullTerminated(args), envp = nullTerminated(environment);
    if (::posix_spawnp(&impl_->pid, launch.program.c_str(), &actions, &attributes, argv.data(), envp.data()) != 0)
        impl_->pid = -1;
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);

    closeFd(outPipe[1]);
    closeFd(errPipe[1]);
    impl_->out = outPipe[0];
    impl_->err = errPipe[0];
    if (impl_->pid < 0) {
        closeFd(impl_->out);
        closeFd(impl_->err);
    }
}

Process::~Process() {
    if (running()) {
        kill();
        finish();
    }
    closeFd(impl_->out);
    closeFd(impl_->err);
}

bool Process::started() const { return impl_->pid > 0; }

bool Process::running() { return started() && !impl_->reap(WNOHANG); }

void Process::interrupt() {
    if (running()) ::kill(impl_->pid, SIGINT);
}

void Process::kill() {
    if (running()) ::kill(impl_->pid, SIGKILL);
}

bool Process::awaitOutput(const std::string& text, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (impl_->outText.find(text) == std::string::npos) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd p{impl_->out, POLLIN, 0};
        if (impl_->out < 0 || left.count() <= 0 || ::poll(&p, 1, int(left.count())) <= 0) return false;
        Impl::readSome(impl_->out, impl_->outText);
    }
    return true;
}

// Output is collected until both pipes close or stay silent for 30 s; then
// the child is waited for.
ProcessRun Process::finish() {
    ProcessRun run;
    if (!started()) return run;
    for (pollfd fds[2] = {{impl_->out, POLLIN, 0}, {impl_->err, POLLIN, 0}};
         (impl_->out >= 0 || impl_->err >= 0) && ::poll(fds, 2, 30000) > 0;) {
        if (fds[0].revents != 0) Impl::readSome(impl_->out, impl_->outText);
        if (fds[1].revents != 0) Impl::readSome(impl_->err, impl_->errText);
        fds[0].fd = impl_->out;
        fds[1].fd = impl_->err;
    }
    impl_->reap(0);
    const int status = impl_->status;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.out = std::move(impl_->outText);
    run.err = std::move(impl_->errText);
    const timeval& user = impl_->usage.ru_utime;
    const timeval& system = impl_->usage.ru_stime;
    run.cpuMs = double(user.tv_sec + system.tv_sec) * 1000.0 + double(user.tv_usec + system.tv_usec) / 1000.0;
    return run;
}

int killedStatus() { return 128 + SIGKILL; }

int interruptedStatus() { return 128 + SIGINT; }
