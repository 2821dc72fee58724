#include "app/PreviewTicker.h"

#include <algorithm>

PreviewTicker::PreviewTicker(std::chrono::microseconds period, PreviewState& state, Wake wake)
    : period_(period), state_(state), wake_(std::move(wake)) {}

PreviewTicker::~PreviewTicker() {
    Stop();
}

void PreviewTicker::Start(bool staticMessage) {
    Stop();
    stop_ = false;
    pending_.store(false);
    ticks_.store(0);
    thread_ = std::thread([this, staticMessage] { Run(staticMessage); });
}

void PreviewTicker::Stop() {
    if (!thread_.joinable()) {
        return;
    }
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    stopSignal_.notify_all();
    thread_.join();
}

void PreviewTicker::Run(bool staticMessage) {
    using Clock = std::chrono::steady_clock;
    // Ticks are applied in batches that end exactly when the window has work: after a pass
    // the next scroll step is StepPeriod ticks away, and a static message is laid out every
    // StaticPassTicks ticks. The counters are only read at passes, so they are exact whenever
    // they are read, while the thread wakes once per step instead of once per tick.
    std::uint32_t batch = 1;
    auto next = Clock::now() + period_;
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stopSignal_.wait_until(lock, next, [this] { return stop_; })) {
        for (std::uint32_t i = 0; i < batch; ++i) {
            PreviewTick(state_);
        }
        ticks_.fetch_add(batch);
        const bool due = staticMessage || state_.StepTicks.load() == 0;
        if (due && !pending_.exchange(true)) {
            wake_();
        }
        batch =
            staticMessage ? StaticPassTicks : std::max<std::uint32_t>(1, state_.StepPeriod.load());
        next += batch * period_;
        // After the process was stopped or the machine slept, carry on from now instead of
        // catching up with a burst of ticks.
        const auto now = Clock::now();
        if (next + 10 * period_ < now) {
            next = now + period_;
        }
    }
}
