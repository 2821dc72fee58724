// File status, stop signals and local time for POSIX systems (Linux, macOS).

#include "autosync/FileStamp.h"
#include "autosync/StopSignal.h"
#include "comm/LineStop.h"

#include <csignal>
#include <cstdint>
#include <ctime>

#include <poll.h>
#include <sys/stat.h>

FileStamp StatFileStamp(const std::string& name) {
    struct stat st {};
    if (::stat(name.c_str(), &st) != 0) {
        return FileStamp{};
    }
#if defined(__APPLE__)
    const struct timespec& mtime = st.st_mtimespec;
#else
    const struct timespec& mtime = st.st_mtim;
#endif
    FileStamp stamp;
    stamp.Exists = true;
    stamp.MtimeNs = static_cast<std::int64_t>(mtime.tv_sec) * 1000000000 + mtime.tv_nsec;
    stamp.Size = static_cast<std::int64_t>(st.st_size);
    stamp.Regular = S_ISREG(st.st_mode);
    return stamp;
}

namespace {

extern "C" void OnStopSignal(int) {
    RequestLineStop();
}

} // namespace

bool InstallStopHandlers() {
    if (!PrepareLineStop()) {
        return false;
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
    return LineStopRequested();
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
        // The wake-up stays readable from the request on, so a stop that comes between the
        // check above and this poll ends it at once. Rounded up so that a short remainder does
        // not turn into a busy loop of 0 ms polls.
        struct pollfd wake {};
        wake.fd = LineStopDescriptor();
        wake.events = POLLIN;
        ::poll(&wake, 1, static_cast<int>(left * 1000.0) + 1);
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
