// Stop requests on Windows: a flag and a manual-reset event that the request sets and nothing
// resets, so every wait that includes it ends from the request on.

#include "comm/LineStop.h"
#include "comm/LineStopWake.h"

#include <atomic>

#include <windows.h>

namespace {

// The console control handler runs on a thread of its own and can reach only global state.
std::atomic<HANDLE> g_wakeEvent{nullptr};

} // namespace

bool PrepareLineStop() {
    if (g_wakeEvent.load() != nullptr) {
        return true;
    }
    HANDLE event = CreateEventA(nullptr, TRUE, LineStopRequested() ? TRUE : FALSE, nullptr);
    if (event == nullptr) {
        return false;
    }
    g_wakeEvent.store(event);
    return true;
}

void SignalLineWake() noexcept {
    if (HANDLE event = g_wakeEvent.load(); event != nullptr) {
        SetEvent(event);
    }
}

void ClearLineWake() noexcept {
    if (HANDLE event = g_wakeEvent.load(); event != nullptr) {
        ResetEvent(event);
    }
}

bool WaitForLineStop(int timeoutMs) {
    if (HANDLE event = g_wakeEvent.load(); event != nullptr && !LineStopRequested()) {
        WaitForSingleObject(event, static_cast<DWORD>(timeoutMs > 0 ? timeoutMs : 0));
    } else if (!LineStopRequested()) {
        Sleep(static_cast<DWORD>(timeoutMs > 0 ? timeoutMs : 0));
    }
    return LineStopRequested();
}

// Console control events arrive on a thread of their own: nothing to unblock.
StopSignalsTaken::StopSignalsTaken() = default;
StopSignalsTaken::~StopSignalsTaken() = default;

void* LineStopEvent() noexcept {
    return g_wakeEvent.load();
}
