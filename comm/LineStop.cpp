// The stop request's flags, shared by both platforms; the wake-up is in LineStopPosix.cpp and
// LineStopWin32.cpp.

#include "comm/LineStop.h"
#include "comm/LineStopWake.h"

#include <atomic>

namespace {

// A signal handler or a console control handler can reach only global state; lock-free atomics
// are safe to use there.
std::atomic<bool> g_stopRequested{false};
std::atomic<bool> g_stopEndsLineWaits{false};
static_assert(std::atomic<bool>::is_always_lock_free,
              "the stop handler may only touch lock-free atomics");

} // namespace

void RequestLineStop() noexcept {
    g_stopRequested.store(true);
    SignalLineWake();
}

bool LineStopRequested() noexcept {
    return g_stopRequested.load();
}

bool EndLineWaitsOnStop(bool end) noexcept {
    return g_stopEndsLineWaits.exchange(end);
}

bool StopEndsLineWaitsNow() noexcept {
    return g_stopEndsLineWaits.load();
}

bool LineWaitsStopped() noexcept {
    return g_stopEndsLineWaits.load() && g_stopRequested.load();
}

void ResetLineStop() noexcept {
    g_stopEndsLineWaits.store(false);
    g_stopRequested.store(false);
    ClearLineWake();
}
