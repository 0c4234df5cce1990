// A child program on a pipe, on POSIX systems: posix_spawnp, a non-blocking write end, poll.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "platform/os_clock.h"
#include "platform/os_process.h"
#include "platform/os_signals.h"

extern char** environ;

namespace {

ChildStatus statusOf(int status) {
    if (WIFEXITED(status)) return {ChildStatus::Kind::kExited, WEXITSTATUS(status)};
    if (WIFSIGNALED(status)) return {ChildStatus::Kind::kSignalled, WTERMSIG(status)};
    return {};
}

}  // namespace

std::string describeChildStatus(ChildStatus status) {
    switch (status.kind) {
        case ChildStatus::Kind::kExited:
            return "exit status " + std::to_string(status.number);
        case ChildStatus::Kind::kSignalled:
            return "signal " + std::to_string(status.number);
        case ChildStatus::Kind::kLost:
            break;
    }
    return "lost";
}

std::string findProgram(const char* program, const char* searchPath) {
    if (searchPath == nullptr) return "";
    const std::string path(searchPath);
    size_t start = 0;
    while (start <= path.size()) {
        size_t colon = path.find(':', start);
        if (colon == std::string::npos) colon = path.size();
        // An empty entry means the working folder, as the shell reads PATH.
        const std::string candidate =
            (colon == start ? std::string(".") : path.substr(start, colon - start)) + "/" + program;
        if (access(candidate.c_str(), X_OK) == 0) return candidate;
        start = colon + 1;
    }
    return "";
}

const char* environmentValue(const char* name) {
    return std::getenv(name);
}

bool startChild(ChildProcess* child, const std::vector<std::string>& args, FILE* errors,
                std::string* why) {
    *child = ChildProcess{};
    std::vector<char*> argv;
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);

    // The write end closes on exec, so the child sees the end of its input when we close ours.
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        *why = std::string("cannot make a pipe: ") + std::strerror(errno);
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[0], STDIN_FILENO);
    if (errors != nullptr)
        posix_spawn_file_actions_adddup2(&actions, fileno(errors), STDERR_FILENO);
    pid_t pid = 0;
    const int failed = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[0]);
    if (failed != 0) {
        close(fds[1]);
        *why = std::strerror(failed);
        return false;
    }
    // Our end alone waits with a deadline; the child's end stays blocking, as it expects.
    fcntl(fds[1], F_SETFL, fcntl(fds[1], F_GETFL) | O_NONBLOCK);
    child->input = fds[1];
    child->process = pid;
    return true;
}

// A stop signal ends a wait at once: the handler's EINTR wakes the poll.
PipeWrite writeToChild(ChildProcess* child, const void* data, size_t size, double stallSeconds) {
    if (child->input < 0) {
        errno = EPIPE;
        return PipeWrite::kChildGone;
    }
    const int fd = static_cast<int>(child->input);
    const char* bytes = static_cast<const char*>(data);
    double deadline = monotonicSeconds() + stallSeconds;
    while (size > 0) {
        const ssize_t n = write(fd, bytes, size);
        if (n > 0) {
            bytes += n;
            size -= static_cast<size_t>(n);
            deadline = monotonicSeconds() + stallSeconds;
            continue;
        }
        if (n < 0 && errno == EINTR) {
            if (stopSignal() != 0) return PipeWrite::kInterrupted;
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            const double left = deadline - monotonicSeconds();
            if (left <= 0.0) return PipeWrite::kStalled;
            pollfd wanted{fd, POLLOUT, 0};
            // Rounded up, so a wait never ends just short of the deadline and spins.
            const int ready = poll(&wanted, 1, static_cast<int>(std::ceil(left * 1000.0)));
            if (ready < 0 && errno == EINTR && stopSignal() != 0) return PipeWrite::kInterrupted;
            // Readiness or an error on the pipe shows in the next write.
            continue;
        }
        return PipeWrite::kChildGone;
    }
    return PipeWrite::kWritten;
}

void closeChildInput(ChildProcess* child) {
    if (child->input >= 0) close(static_cast<int>(child->input));
    child->input = -1;
}

ChildStatus waitForChild(ChildProcess* child) {
    if (child->process == 0) return {};
    int status = 0;
    pid_t done;
    do {
        done = waitpid(static_cast<pid_t>(child->process), &status, 0);
    } while (done < 0 && errno == EINTR);
    child->process = 0;
    return done < 0 ? ChildStatus{} : statusOf(status);
}

bool childEnded(ChildProcess* child, ChildStatus* status) {
    if (child->process == 0) return true;
    int raw = 0;
    const pid_t done = waitpid(static_cast<pid_t>(child->process), &raw, WNOHANG);
    if (done == 0) return false;
    child->process = 0;
    *status = done < 0 ? ChildStatus{} : statusOf(raw);
    return true;
}

void stopChild(ChildProcess* child, bool hard) {
    if (child->process != 0) kill(static_cast<pid_t>(child->process), hard ? SIGKILL : SIGTERM);
}

const char* encoderInstallHint() {
    return "Install it with: sudo apt-get install ffmpeg";
}

int processId() {
    return static_cast<int>(getpid());
}
