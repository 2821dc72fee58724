// File status, stop signals and local time for POSIX systems (Linux, macOS).

#include "autosync/FileStamp.h"
#include "autosync/StopSignal.h"

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <ctime>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::int64_t Nanoseconds(const struct timespec& time) {
    return static_cast<std::int64_t>(time.tv_sec) * 1000000000 + time.tv_nsec;
}

} // namespace

FileStamp StatFileStamp(const std::string& name) {
    struct stat st {};
    if (::stat(name.c_str(), &st) != 0) {
        FileStamp missing;
        missing.Error = std::error_code(errno, std::generic_category());
        return missing;
    }
    FileStamp stamp;
    stamp.Exists = true;
#if defined(__APPLE__)
    stamp.MtimeNs = Nanoseconds(st.st_mtimespec);
    stamp.ChangeNs = Nanoseconds(st.st_ctimespec);
#else
    stamp.MtimeNs = Nanoseconds(st.st_mtim);
    stamp.ChangeNs = Nanoseconds(st.st_ctim);
#endif
    stamp.Size = static_cast<std::int64_t>(st.st_size);
    stamp.Regular = S_ISREG(st.st_mode);
    stamp.Device = static_cast<std::uint64_t>(st.st_dev);
    stamp.FileId = static_cast<std::uint64_t>(st.st_ino);
    return stamp;
}

namespace {

volatile std::sig_atomic_t g_stopRequested = 0;
// Self-pipe: the handler writes one byte so that a poll() on the read end wakes at once.
int g_wakeRead = -1;
int g_wakeWrite = -1;

extern "C" void OnStopSignal(int) {
    g_stopRequested = 1;
    if (g_wakeWrite >= 0) {
        const int saved = errno;
        const char byte = 1;
        [[maybe_unused]] const ssize_t ignored = ::write(g_wakeWrite, &byte, 1);
        errno = saved;
    }
}

bool MakeNonBlockingCloseOnExec(int fd) {
    const int flags = ::fcntl(fd, F_GETFL);
    return flags >= 0 && ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0 &&
           ::fcntl(fd, F_SETFD, FD_CLOEXEC) == 0;
}

} // namespace

bool InstallStopHandlers() {
    if (g_wakeRead < 0) {
        int fds[2];
        if (::pipe(fds) != 0) {
            return false;
        }
        if (!MakeNonBlockingCloseOnExec(fds[0]) || !MakeNonBlockingCloseOnExec(fds[1])) {
            ::close(fds[0]);
            ::close(fds[1]);
            return false;
        }
        g_wakeRead = fds[0];
        g_wakeWrite = fds[1];
    }
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0; // no SA_RESTART: a blocking call returns EINTR and the loop looks
    // A vanished reader of the status output must not kill the loop before it leaves the mode.
    std::signal(SIGPIPE, SIG_IGN);
    // SIGHUP too: a terminal closed under a running command must not kill it with the port
    // still holding its exclusive flag.
    return ::sigaction(SIGINT, &action, nullptr) == 0 &&
           ::sigaction(SIGTERM, &action, nullptr) == 0 &&
           ::sigaction(SIGHUP, &action, nullptr) == 0;
}

bool StopRequested() {
    return g_stopRequested != 0;
}

bool WaitForStop(double seconds) {
    if (StopRequested() || !(seconds > 0)) {
        return StopRequested();
    }
    struct timespec now {};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    const double deadline =
        static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9 + seconds;
    while (!StopRequested()) {
        ::clock_gettime(CLOCK_MONOTONIC, &now);
        const double left =
            deadline - (static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9);
        if (left <= 0) {
            break;
        }
        struct pollfd wake {};
        wake.fd = g_wakeRead;
        wake.events = POLLIN;
        // Round up so that a short remainder does not turn into a busy loop of 0 ms polls.
        const int ms = static_cast<int>(left * 1000.0) + 1;
        if (::poll(&wake, g_wakeRead >= 0 ? 1 : 0, ms) > 0) {
            char drain[16];
            while (::read(g_wakeRead, drain, sizeof drain) > 0) {
            }
        }
    }
    return StopRequested();
}

void StopFinished() {}

std::string LocalTimeStamp() {
    const std::time_t now = std::time(nullptr);
    struct tm local {};
    ::localtime_r(&now, &local);
    char text[32];
    const std::size_t n = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return std::string(text, n);
}
