#pragma once
// The preview's periodic tick on a thread of its own.
//
// The thread calls PreviewTick on the preview's state once per period (which only counts its two
// tick counters down) and, when the user-interface thread has work to do - a scroll step is due, or
// for a static message every StaticPassTicks ticks so that a time field follows the clock -
// calls `wake` once. Ticks that cannot make work due are applied together with the tick that
// does, so the thread itself wakes only when a pass may be due. `wake` runs on the ticker thread
// and must only post a request to the user-interface thread; until that thread calls PassDone, no
// further wake is sent, so requests never pile up. Between passes the user-interface thread sleeps:
// no busy loop, and no wake-up of the user-interface thread on ticks that change nothing on the
// strip. The thread reads only the state's atomic counters and StepPeriod.

#include "preview/StripPreview.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

class PreviewTicker {
public:
    using Wake = std::function<void()>;
    static constexpr std::uint32_t StaticPassTicks = 8;

    // `period` is the tick (12 ms for the preview); `state` the preview's state, which must
    // outlive the ticker; `wake` as above.
    PreviewTicker(std::chrono::microseconds period, PreviewState& state, Wake wake);
    // Stops the thread.
    ~PreviewTicker();
    PreviewTicker(const PreviewTicker&) = delete;
    PreviewTicker& operator=(const PreviewTicker&) = delete;

    // Starts ticking for a scrolling or a static message (restarts when already running). The
    // first wake comes at the first tick.
    void Start(bool staticMessage);
    // Stops ticking and joins the thread; no wake follows. Safe to call when not running.
    void Stop();
    bool Running() const { return thread_.joinable(); }

    // The user-interface thread has run the pass that the last wake asked for.
    void PassDone() { pending_.store(false); }

    // Ticks made since Start.
    std::uint64_t Ticks() const { return ticks_.load(); }

private:
    // The thread's loop; `staticMessage` is handed over by value so that the thread shares no
    // plain variable with its starter.
    void Run(bool staticMessage);

    const std::chrono::microseconds period_;
    PreviewState& state_;
    const Wake wake_;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable stopSignal_;
    bool stop_ = false;
    std::atomic<bool> pending_{false};
    std::atomic<std::uint64_t> ticks_{0};
};
