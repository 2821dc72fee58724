#pragma once
// The preview's periodic tick, on the user-interface thread's own timer.
//
// Each tick calls PreviewTick on the preview's state (which only counts its two tick counters
// down). When the window has work to do - a scroll step is due, or for a static message every
// StaticPassTicks ticks so that a time field follows the clock - the ticker calls `wake` once;
// until the window calls PassDone, no further wake is sent. Ticks that cannot make work due are
// applied together with the tick that does, so the timer fires only when a pass may be due: one
// wake-up of the process per scroll step, none between steps, and none at all while no preview
// plays.
//
// Ticks are counted against a fixed schedule (start time + n periods), so a late timer does not
// slow the preview down; after a long stall (the process was stopped, the machine slept) the
// schedule restarts from now instead of catching up with a burst of ticks.

#include "preview/StripPreview.h"

#include <QTimer>

#include <chrono>
#include <cstdint>
#include <functional>

class PreviewTicker {
public:
    using Wake = std::function<void()>;
    static constexpr std::uint32_t StaticPassTicks = 8;

    // `period` is the tick (12 ms for the preview); `state` the preview's state, which must
    // outlive the ticker; `wake` runs on the thread that owns the ticker (the one that
    // constructed it, which must run an event loop) and may Start or Stop the ticker.
    PreviewTicker(std::chrono::milliseconds period, PreviewState& state, Wake wake);
    ~PreviewTicker();
    PreviewTicker(const PreviewTicker&) = delete;
    PreviewTicker& operator=(const PreviewTicker&) = delete;

    // Starts ticking for a scrolling or a static message (restarts when already running). The
    // first wake comes at the first tick.
    void Start(bool staticMessage);
    // Stops ticking; no wake follows. Safe to call when not running.
    void Stop();
    bool Running() const { return timer_.isActive(); }

    // The window has run the pass that the last wake asked for.
    void PassDone() { pending_ = false; }

    // Ticks made since Start.
    std::uint64_t Ticks() const { return ticks_; }

private:
    using Clock = std::chrono::steady_clock;
    void Fire();
    void ArmFor(Clock::time_point when);

    const std::chrono::milliseconds period_;
    PreviewState& state_;
    const Wake wake_;
    QTimer timer_;
    bool static_ = false;
    bool pending_ = false;
    std::uint32_t batch_ = 1; // ticks applied at the next firing
    Clock::time_point next_;  // when the next firing is due
    std::uint64_t ticks_ = 0;
};
