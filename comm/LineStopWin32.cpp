// Stop requests on Windows: a flag and a manual-reset event that the request sets and nothing
// resets, so every wait that includes it ends from the request on.

#include "comm/LineStop.h"

#include <atomic>

#include <windows.h>

namespace {

// The console control handler runs on a thread of its own and can reach only global state.
std::atomic<bool> g_stopRequested{false};
std::atomic<bool> g_stopEndsLineWaits{false};
std::atomic<HANDLE> g_wakeEvent{nullptr};

} // namespace

bool PrepareLineStop() {
    if (g_wakeEvent.load() != nullptr) {
        return true;
    }
    HANDLE event = CreateEventA(nullptr, TRUE, g_stopRequested.load() ? TRUE : FALSE, nullptr);
    if (event == nullptr) {
        return false;
    }
    g_wakeEvent.store(event);
    return true;
}

void RequestLineStop() noexcept {
    g_stopRequested.store(true);
    if (HANDLE event = g_wakeEvent.load(); event != nullptr) {
        SetEvent(event);
    }
}

bool LineStopRequested() noexcept {
    return g_stopRequested.load();
}

bool EndLineWaitsOnStop(bool end) noexcept {
    return g_stopEndsLineWaits.exchange(end);
}

bool LineWaitsStopped() noexcept {
    return g_stopEndsLineWaits.load() && g_stopRequested.load();
}

void ResetLineStop() noexcept {
    g_stopEndsLineWaits.store(false);
    g_stopRequested.store(false);
    if (HANDLE event = g_wakeEvent.load(); event != nullptr) {
        ResetEvent(event);
    }
}

bool WaitForLineStop(int timeoutMs) {
    if (HANDLE event = g_wakeEvent.load(); event != nullptr && !g_stopRequested.load()) {
        WaitForSingleObject(event, static_cast<DWORD>(timeoutMs > 0 ? timeoutMs : 0));
    } else if (!g_stopRequested.load()) {
        Sleep(static_cast<DWORD>(timeoutMs > 0 ? timeoutMs : 0));
    }
    return g_stopRequested.load();
}

// Console control events arrive on a thread of their own: nothing to unblock.
StopSignalsTaken::StopSignalsTaken() = default;
StopSignalsTaken::~StopSignalsTaken() = default;

void* LineStopEvent() noexcept {
    return g_wakeEvent.load();
}
