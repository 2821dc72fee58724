#pragma once
// Name lookup with a deadline, shared by the TCP socket of each platform. getaddrinfo has no time
// limit of its own, so it runs on a detached helper thread: when the caller stops waiting, the
// thread finishes on its own and the last owner of the outcome frees the address list. The wait
// also ends on a stop request (LineStop.h).

#include "comm/LineStop.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace tcpresolve {

using Clock = std::chrono::steady_clock;

// Milliseconds until `deadline`, 0 when it has passed.
inline int MsLeft(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::max<long long>(left, 0));
}

// The outcome of one lookup: the lookup's status code (0 on success), the errno the helper thread
// saw right after it, and the address list, freed by `Release` with the last owner.
template <typename AddrInfo> struct Resolution {
    std::mutex Lock;
    std::condition_variable Done;
    bool Finished = false;
    int Code = 0;
    int SystemCode = 0;
    AddrInfo* List = nullptr;
    std::function<void(AddrInfo*)> Release;

    Resolution() = default;
    Resolution(const Resolution&) = delete;
    Resolution& operator=(const Resolution&) = delete;
    ~Resolution() {
        if (List != nullptr && Release) {
            Release(List);
        }
    }
};

// A signal handler cannot notify a condition variable, so the wait looks at the stop request
// this often.
constexpr auto kStopCheckPeriod = std::chrono::milliseconds(20);

// Runs `lookup` (int(AddrInfo** list): the platform's getaddrinfo with its hints, returning its
// status) on a helper thread and waits for it until `deadline`. Returns the finished outcome, or
// null when the deadline or a stop request came first (LineWaitsStopped() tells which).
// `release` frees a list the lookup returned.
template <typename AddrInfo, typename LookupFn, typename ReleaseFn>
std::shared_ptr<Resolution<AddrInfo>> Resolve(Clock::time_point deadline, LookupFn lookup,
                                              ReleaseFn release) {
    auto resolution = std::make_shared<Resolution<AddrInfo>>();
    resolution->Release = std::move(release);
    std::thread([resolution, lookup = std::move(lookup)] {
        AddrInfo* list = nullptr;
        const int code = lookup(&list);
        const int systemCode = errno;
        const std::lock_guard<std::mutex> guard(resolution->Lock);
        resolution->Code = code;
        resolution->SystemCode = systemCode;
        resolution->List = list;
        resolution->Finished = true;
        resolution->Done.notify_all();
    }).detach();
    // The stop signals, blocked outside waits, are taken here so that the check below sees them.
    const StopSignalsTaken takeStops;
    std::unique_lock<std::mutex> guard(resolution->Lock);
    while (!resolution->Finished) {
        if (LineWaitsStopped() || Clock::now() >= deadline) {
            return nullptr;
        }
        resolution->Done.wait_until(guard, std::min(deadline, Clock::now() + kStopCheckPeriod));
    }
    return resolution;
}

} // namespace tcpresolve
