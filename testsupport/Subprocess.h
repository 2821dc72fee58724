#pragma once
// Child processes for the tool tests: a background process whose first output line is read
// (the emulator prints its port there), and a run to completion with captured output and time.
// POSIX only.

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace tool_tests {

namespace detail {

// pipe() with both ends closed on exec, so concurrent spawns do not inherit each other's pipes.
inline int Pipe(int fds[2]) {
#ifdef __linux__
    return pipe2(fds, O_CLOEXEC);
#else
    if (pipe(fds) != 0) {
        return -1;
    }
    fcntl(fds[0], F_SETFD, FD_CLOEXEC);
    fcntl(fds[1], F_SETFD, FD_CLOEXEC);
    return 0;
#endif
}

inline std::vector<char*> Argv(std::vector<std::string>& args) {
    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (std::string& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    return argv;
}

// Forks and executes args[0]; the child's stdout and stderr go to the given descriptors
// (-1: /dev/null). Returns the child's pid, or -1.
inline pid_t Spawn(std::vector<std::string> args, int out, int err) {
    std::vector<char*> argv = Argv(args);
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_RDWR);
        dup2(null, STDIN_FILENO);
        dup2(out >= 0 ? out : null, STDOUT_FILENO);
        dup2(err >= 0 ? err : null, STDERR_FILENO);
        execv(argv[0], argv.data());
        _exit(127);
    }
    return pid;
}

} // namespace detail

// A process running in the background. The destructor terminates it if it still runs.
class Subprocess {
public:
    explicit Subprocess(std::vector<std::string> args) {
        int fds[2];
        if (detail::Pipe(fds) != 0) {
            return;
        }
        pid_ = detail::Spawn(std::move(args), fds[1], -1);
        close(fds[1]);
        out_ = fds[0];
    }
    ~Subprocess() {
        Terminate();
        if (out_ >= 0) {
            close(out_);
        }
    }
    Subprocess(const Subprocess&) = delete;
    Subprocess& operator=(const Subprocess&) = delete;

    pid_t Pid() const { return pid_; }

    // The next line of the child's stdout without its line feed, or "" when none came within
    // `timeoutMs` or the output ended.
    std::string ReadLine(int timeoutMs = 5000) {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            const std::size_t nl = buffer_.find('\n');
            if (nl != std::string::npos) {
                std::string line = buffer_.substr(0, nl);
                buffer_.erase(0, nl + 1);
                return line;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0 || out_ < 0) {
                return "";
            }
            pollfd p{out_, POLLIN, 0};
            if (poll(&p, 1, static_cast<int>(left.count())) <= 0) {
                continue;
            }
            char chunk[4096];
            const ssize_t n = read(out_, chunk, sizeof chunk);
            if (n <= 0) {
                return "";
            }
            buffer_.append(chunk, static_cast<std::size_t>(n));
        }
    }

    // Sends SIGTERM and waits. Returns the exit status (as from waitpid), or -1 when the
    // process was already reaped.
    int Terminate() { return Signal(SIGTERM); }
    // Sends SIGKILL and waits.
    int Kill() { return Signal(SIGKILL); }
    // Waits for the process to end by itself.
    int Wait() { return Signal(0); }

private:
    int Signal(int sig) {
        if (pid_ <= 0) {
            return -1;
        }
        if (sig != 0) {
            kill(pid_, sig);
        }
        int status = 0;
        while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        pid_ = -1;
        return status;
    }

    pid_t pid_ = -1;
    int out_ = -1;
    std::string buffer_;
};

struct RunResult {
    int ExitCode = -1; // -1 when the process did not exit normally
    std::string Out;
    std::string Err;
    double Seconds = 0;
    bool Killed = false; // ran past its limit and was killed
};

// Runs `args` to completion, capturing stdout and stderr. With a `limit`, a process still
// running when it has passed is killed, so that a test of something that must not wait fails
// instead of hanging.
inline RunResult RunToCompletion(std::vector<std::string> args,
                                 std::optional<std::chrono::milliseconds> limit = std::nullopt) {
    RunResult r;
    int out[2];
    int err[2];
    if (detail::Pipe(out) != 0 || detail::Pipe(err) != 0) {
        return r;
    }
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = detail::Spawn(std::move(args), out[1], err[1]);
    close(out[1]);
    close(err[1]);
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    std::string* sinks[2] = {&r.Out, &r.Err};
    int open = 2;
    while (open > 0) {
        int timeoutMs = -1;
        if (limit) {
            const auto left = *limit - (std::chrono::steady_clock::now() - start);
            timeoutMs = static_cast<int>(std::max<std::chrono::milliseconds::rep>(
                0, std::chrono::duration_cast<std::chrono::milliseconds>(left).count()));
            if (timeoutMs == 0 && !r.Killed) {
                kill(pid, SIGKILL);
                r.Killed = true;
            }
            if (r.Killed) {
                timeoutMs = -1; // the pipes close as the process ends
            }
        }
        if (poll(fds, 2, timeoutMs) < 0 && errno != EINTR) {
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd >= 0 && fds[i].revents != 0) {
                char chunk[4096];
                const ssize_t n = read(fds[i].fd, chunk, sizeof chunk);
                if (n > 0) {
                    sinks[i]->append(chunk, static_cast<std::size_t>(n));
                } else {
                    close(fds[i].fd);
                    fds[i].fd = -1;
                    --open;
                }
            }
        }
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    r.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    r.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

} // namespace tool_tests
