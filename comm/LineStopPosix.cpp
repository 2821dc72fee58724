// Stop requests on POSIX: a flag and a self-pipe that is written once per request and never
// read, so that its read end stays readable for every poll that includes it. On Linux the stop
// signals can be blocked outside the waits, which take them through ppoll.

#include "comm/LineStop.h"
#include "comm/LineStopWake.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <unistd.h>

namespace {

// A signal handler can reach only global state; lock-free atomics are safe to use there.
std::atomic<int> g_wakeRead{-1};
std::atomic<int> g_wakeWrite{-1};
// Set once the stop signals are blocked outside the waits, which must then take them.
std::atomic<bool> g_stopSignalsBlocked{false};
static_assert(std::atomic<bool>::is_always_lock_free && std::atomic<int>::is_always_lock_free,
              "the stop handler may only touch lock-free atomics");

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

sigset_t StopSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    for (const int signal : kStopSignals) {
        sigaddset(&signals, signal);
    }
    return signals;
}

// poll that takes the stop signals for its duration where they are blocked outside the waits.
int PollTakingStops(pollfd* fds, nfds_t count, int timeoutMs) {
#ifdef __linux__
    if (g_stopSignalsBlocked.load()) {
        sigset_t inside;
        pthread_sigmask(SIG_SETMASK, nullptr, &inside);
        for (const int signal : kStopSignals) {
            sigdelset(&inside, signal);
        }
        timespec limit{timeoutMs / 1000, static_cast<long>(timeoutMs % 1000) * 1000000L};
        return ::ppoll(fds, count, timeoutMs < 0 ? nullptr : &limit, &inside);
    }
#endif
    return ::poll(fds, count, timeoutMs);
}

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
    if (LineStopRequested()) {
        SignalLineWake();
    }
    return true;
}

void SignalLineWake() noexcept {
    const int wake = g_wakeWrite.load();
    if (wake >= 0) {
        const int saved = errno;
        // A full pipe (a storm of signals) is readable already: the byte is not needed.
        const char byte = 1;
        [[maybe_unused]] const ssize_t ignored = ::write(wake, &byte, 1);
        errno = saved;
    }
}

void ClearLineWake() noexcept {
    const int wake = g_wakeRead.load();
    char drain[64];
    while (wake >= 0 && ::read(wake, drain, sizeof drain) > 0) {
    }
}

bool TakeStopSignalsOnlyInWaits() {
#ifdef __linux__
    const sigset_t signals = StopSignals();
    if (pthread_sigmask(SIG_BLOCK, &signals, nullptr) != 0) {
        return false;
    }
    g_stopSignalsBlocked.store(true);
#endif
    // Without ppoll the signals stay unblocked: the wake-up still ends the waits.
    return true;
}

StopSignalsTaken::StopSignalsTaken() {
    if (g_stopSignalsBlocked.load()) {
        const sigset_t signals = StopSignals();
        unblocked_ = pthread_sigmask(SIG_UNBLOCK, &signals, nullptr) == 0;
    }
}

StopSignalsTaken::~StopSignalsTaken() {
    if (unblocked_) {
        const sigset_t signals = StopSignals();
        pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    }
}

bool WaitForLineStop(int timeoutMs) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
    while (!LineStopRequested()) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            break;
        }
        pollfd wake{g_wakeRead.load(), POLLIN, 0};
        PollTakingStops(&wake, 1, static_cast<int>(left.count()));
    }
    return LineStopRequested();
}

int LineStopDescriptor() noexcept {
    return g_wakeRead.load();
}

LinePoll PollLine(int fd, short events, int timeoutMs, short& revents) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        revents = 0;
        const bool stopEnds = StopEndsLineWaitsNow();
        if (stopEnds && LineStopRequested()) {
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
        const int ready = PollTakingStops(fds, 2, waitMs);
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
