// File status, stop signals and local time for POSIX systems (Linux, macOS).

#include "autosync/FileStamp.h"
#include "autosync/StopSignal.h"
#include "comm/LineStop.h"

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <ctime>

#include <sys/stat.h>

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
    // Taken only inside the waits from here on: a stop that comes while the program works is
    // delivered in its next wait, which it ends, rather than at a moment that may follow the
    // wait's check.
    return ::sigaction(SIGINT, &action, nullptr) == 0 &&
           ::sigaction(SIGTERM, &action, nullptr) == 0 &&
           ::sigaction(SIGHUP, &action, nullptr) == 0 && TakeStopSignalsOnlyInWaits();
}

bool StopRequested() {
    return LineStopRequested();
}

bool WaitForStop(double seconds) {
    if (StopRequested() || !(seconds > 0)) {
        return StopRequested();
    }
    // Whole milliseconds, rounded up so that a short remainder is not a busy loop of 0 ms waits;
    // a day at most keeps the count in range.
    return WaitForLineStop(static_cast<int>(std::min(seconds, 86400.0) * 1000.0) + 1);
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
