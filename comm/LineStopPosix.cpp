// Stop requests on POSIX: a flag and a self-pipe that is written once per request and never
// read, so that its read end stays readable for every poll that includes it.

#include "comm/LineStop.h"

#include <atomic>
#include <cerrno>
#include <chrono>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {

// A signal handler can reach only global state; lock-free atomics are safe to use there.
std::atomic<bool> g_stopRequested{false};
std::atomic<bool> g_stopEndsLineWaits{false};
std::atomic<int> g_wakeRead{-1};
std::atomic<int> g_wakeWrite{-1};
static_assert(std::atomic<bool>::is_always_lock_free && std::atomic<int>::is_always_lock_free,
              "the stop handler may only touch lock-free atomics");

bool MakeNonBlockingCloseOnExec(int fd) {
    const int flags = ::fcntl(fd, F_GETFL);
    return flags >= 0 && ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0 &&
           ::fcntl(fd, F_SETFD, FD_CLOEXEC) == 0;
}

} // namespace

bool PrepareLineStop() {
    if (g_wakeRead.load() >= 0) {
        return true;
    }
    int fds[2];
    if (::pipe(fds) != 0) {
        return false;
    }
    if (!MakeNonBlockingCloseOnExec(fds[0]) || !MakeNonBlockingCloseOnExec(fds[1])) {
        ::close(fds[0]);
        ::close(fds[1]);
        return false;
    }
    g_wakeWrite.store(fds[1]);
    g_wakeRead.store(fds[0]);
    // A request made before the pipe existed still wakes the waits that poll it.
    if (g_stopRequested.load()) {
        RequestLineStop();
    }
    return true;
}

void RequestLineStop() noexcept {
    g_stopRequested.store(true);
    const int wake = g_wakeWrite.load();
    if (wake >= 0) {
        const int saved = errno;
        // A full pipe (a storm of signals) is readable already: the byte is not needed.
        const char byte = 1;
        [[maybe_unused]] const ssize_t ignored = ::write(wake, &byte, 1);
        errno = saved;
    }
}

bool LineStopRequested() noexcept {
    return g_stopRequested.load();
}

void EndLineWaitsOnStop(bool end) noexcept {
    g_stopEndsLineWaits.store(end);
}

bool LineWaitsStopped() noexcept {
    return g_stopEndsLineWaits.load() && g_stopRequested.load();
}

void ResetLineStop() noexcept {
    g_stopEndsLineWaits.store(false);
    g_stopRequested.store(false);
    const int wake = g_wakeRead.load();
    char drain[64];
    while (wake >= 0 && ::read(wake, drain, sizeof drain) > 0) {
    }
}

int LineStopDescriptor() noexcept {
    return g_wakeRead.load();
}

LinePoll PollLine(int fd, short events, int timeoutMs, short& revents) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        revents = 0;
        const bool stopEnds = g_stopEndsLineWaits.load();
        if (stopEnds && g_stopRequested.load()) {
            return LinePoll::Stopped;
        }
        int waitMs = -1;
        if (timeoutMs >= 0) {
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
            waitMs = static_cast<int>(left > 0 ? left : 0);
        }
        // poll skips entries with a negative descriptor, so an unprepared wake-up costs nothing.
        pollfd fds[2] = {{fd, events, 0}, {stopEnds ? g_wakeRead.load() : -1, POLLIN, 0}};
        const int ready = ::poll(fds, 2, waitMs);
        if (ready < 0 && errno == EINTR) {
            continue; // the flag decides at the top whether that signal was a stop
        }
        if (ready < 0) {
            return LinePoll::Failed;
        }
        if (fds[1].revents != 0) {
            return LinePoll::Stopped;
        }
        if (ready == 0) {
            if (waitMs == 0) {
                return LinePoll::TimedOut;
            }
            continue; // the clock, not poll's rounding, decides that the time is up
        }
        revents = fds[0].revents;
        return LinePoll::Ready;
    }
}
