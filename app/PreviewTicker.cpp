#include "app/PreviewTicker.h"

#include <algorithm>

PreviewTicker::PreviewTicker(std::chrono::milliseconds period, PreviewState& state, Wake wake)
    : period_(period), state_(state), wake_(std::move(wake)) {
    timer_.setSingleShot(true);
    // A coarse timer may fire up to 5 % late, which would slow the scrolling down.
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Fire(); });
}

PreviewTicker::~PreviewTicker() {
    Stop();
}

void PreviewTicker::Start(bool staticMessage) {
    Stop();
    static_ = staticMessage;
    pending_ = false;
    ticks_ = 0;
    batch_ = 1;
    ArmFor(Clock::now() + period_);
}

void PreviewTicker::Stop() {
    timer_.stop();
}

void PreviewTicker::ArmFor(Clock::time_point when) {
    next_ = when;
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(next_ - Clock::now());
    timer_.start(std::max(wait, std::chrono::milliseconds(0)));
}

void PreviewTicker::Fire() {
    // The counters are only read at passes, so applying a batch of ticks at once keeps them
    // exact whenever they are read: after a pass the next scroll step is StepPeriod ticks away,
    // and a static message is laid out every StaticPassTicks ticks.
    for (std::uint32_t i = 0; i < batch_; ++i) {
        PreviewTick(state_);
    }
    ticks_ += batch_;
    const bool due = static_ || state_.StepTicks.load() == 0;
    batch_ = static_ ? StaticPassTicks : std::max<std::uint32_t>(1, state_.StepPeriod.load());
    Clock::time_point next = next_ + batch_ * period_;
    const Clock::time_point now = Clock::now();
    if (next + 10 * period_ < now) {
        next = now + period_;
    }
    ArmFor(next);
    // Last: the pass that the wake runs may stop or restart the ticker.
    if (due && !pending_) {
        pending_ = true;
        wake_();
    }
}
