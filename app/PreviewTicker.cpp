#include "app/PreviewTicker.h"

#include "preview/StripPreview.h"

PreviewTicker::PreviewTicker(std::chrono::microseconds period, Wake wake)
    : period_(period), wake_(std::move(wake)) {}

PreviewTicker::~PreviewTicker() {
    Stop();
}

void PreviewTicker::Start(bool staticMessage) {
    Stop();
    static_ = staticMessage;
    stop_ = false;
    pending_.store(false);
    ticks_.store(0);
    thread_ = std::thread([this] { Run(); });
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

void PreviewTicker::Run() {
    using Clock = std::chrono::steady_clock;
    auto next = Clock::now() + period_;
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stopSignal_.wait_until(lock, next, [this] { return stop_; })) {
        PreviewTick();
        const std::uint64_t n = ticks_.fetch_add(1) + 1;
        const bool due = static_ ? n % StaticPassTicks == 1 : StepTicks.load() == 0;
        if (due && !pending_.exchange(true)) {
            wake_();
        }
        next += period_;
        // After the process was stopped or the machine slept, carry on from now instead of
        // catching up with a burst of ticks.
        const auto now = Clock::now();
        if (next + 10 * period_ < now) {
            next = now + period_;
        }
    }
}
