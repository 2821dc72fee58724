#include "autosync/WatchPolicy.h"

#include <algorithm>
#include <utility>

int WatchPolicy::WatchedLink::Open(const std::string& portName) {
    const int result = inner_.Open(portName);
    open_ = result == 0;
    return result;
}

int WatchPolicy::WatchedLink::Close() {
    open_ = false;
    return inner_.Close();
}

int WatchPolicy::WatchedLink::SyncClock(std::uint16_t address) {
    return open_ ? Note(inner_.SyncClock(address)) : kComNoReply;
}

int WatchPolicy::WatchedLink::SendMessageSlot(std::uint16_t address, int slot,
                                              const std::uint8_t* message) {
    // A closed port (the sign lost) gets nothing: the leave's blank message is dropped.
    return open_ ? Note(inner_.SendMessageSlot(address, slot, message)) : kComNoReply;
}

int WatchPolicy::WatchedLink::Note(int result) {
    if (result == kComNoReply) {
        noReply_ = true;
    }
    return result;
}

WatchPolicy::WatchPolicy(SignLink& link, FileStatusProvider& files, ComClock& clock,
                         StatusFn status, WatchTiming timing)
    : link_(link), clock_(clock), status_(std::move(status)), timing_(timing),
      sync_(link_, files, [this](const std::string& s) { ShowStatus(s); }) {
    sync_.SetSkipIrregularFiles(true);
    ReportDataFileStates(true);
}

void WatchPolicy::ReportDataFileStates(bool report) {
    if (report) {
        sync_.SetDataFileObserver([this](DataFileState state, const std::string& reason) {
            ReportDataFile(state, reason);
        });
    } else {
        sync_.SetDataFileObserver({});
    }
}

void WatchPolicy::ChooseFile(const std::string& name) {
    if (running_ && lost_) {
        sync_.SetDataFileName(name); // sent by the return
        return;
    }
    link_.ClearNoReply();
    sync_.ChooseFile(name);
    if (running_ && link_.NoReply()) {
        EnterLost();
    }
}

void WatchPolicy::ShowStatus(const std::string& text) {
    if (status_) {
        status_(text);
    }
}

void WatchPolicy::ReportDataFile(DataFileState state, const std::string& reason) {
    const std::string& name = sync_.DataFileName();
    const std::string because = reason.empty() ? std::string() : " (" + reason + ")";
    switch (state) {
    case DataFileState::Missing:
        ShowStatus(kWatchStatusMissing + name + because);
        break;
    case DataFileState::NotReadable:
        ShowStatus(kWatchStatusUnreadable + name + because);
        break;
    case DataFileState::NotRegular:
        ShowStatus(kWatchStatusNotRegular + name);
        break;
    case DataFileState::Readable:
        ShowStatus(kWatchStatusFileBack + name);
        break;
    case DataFileState::Unknown:
        break;
    }
}

int WatchPolicy::Start(const std::string& portName, std::uint16_t address) {
    const std::int64_t startMs = clock_.MonotonicMs();
    const int second = clock_.LocalTime().Second;
    if (sync_.StartSync(portName, address) != 0) {
        return 1;
    }
    port_ = portName;
    address_ = address;
    running_ = true;
    lost_ = false;
    clockRefused_ = false;
    nextPollMs_ = clock_.MonotonicMs() + timing_.PollMs;
    ScheduleClockAfter(startMs, second);
    return 0;
}

std::int64_t WatchPolicy::ClockPeriodMs() const {
    return timing_.ProbeEveryMs > 0 ? std::min(timing_.ProbeEveryMs, timing_.ClockEveryMs)
                                    : timing_.ClockEveryMs;
}

void WatchPolicy::ScheduleClockAfter(std::int64_t startMs, int second) {
    // Counted from the start of the minute of that set, so that the schedule stays on minute
    // starts instead of drifting by the time each set takes.
    nextClockMs_ =
        startMs - static_cast<std::int64_t>(std::clamp(second, 0, 59)) * 1000 + ClockPeriodMs();
}

std::int64_t WatchPolicy::MsUntilClockWindow() {
    const int second = std::clamp(clock_.LocalTime().Second, 0, 59); // 60: a leap second
    // The whole seconds left in this minute: from anywhere in second s, (60 - s) s later is
    // within the next minute's second 0.
    return second <= kClockSetLastSecond ? 0 : static_cast<std::int64_t>(60 - second) * 1000;
}

bool WatchPolicy::Step() {
    if (!running_) {
        return !lost_ || !timing_.ExitOnLoss;
    }
    if (lost_) {
        if (clock_.MonotonicMs() >= nextProbeMs_) {
            Probe();
        }
        return true;
    }
    if (clock_.MonotonicMs() >= nextClockMs_ && MsUntilClockWindow() == 0) {
        link_.ClearNoReply();
        const std::int64_t startMs = clock_.MonotonicMs();
        const int second = clock_.LocalTime().Second;
        const int result = link_.SyncClock(address_);
        ScheduleClockAfter(startMs, second);
        if (link_.NoReply()) {
            EnterLost();
            return running_;
        }
        if (result != 0 && !clockRefused_) {
            ShowStatus(kStatusClockError);
        }
        clockRefused_ = result != 0;
    }
    if (clock_.MonotonicMs() >= nextPollMs_) {
        link_.ClearNoReply();
        sync_.TimerSynchroTimer();
        nextPollMs_ = clock_.MonotonicMs() + timing_.PollMs;
        if (running_ && link_.NoReply()) {
            EnterLost();
            return running_;
        }
    }
    return true;
}

std::int64_t WatchPolicy::MsUntilDue() {
    if (!running_) {
        return 0;
    }
    const std::int64_t now = clock_.MonotonicMs();
    if (lost_) {
        return std::max<std::int64_t>(0, nextProbeMs_ - now);
    }
    const std::int64_t untilClock = nextClockMs_ > now ? nextClockMs_ - now : MsUntilClockWindow();
    return std::max<std::int64_t>(0, std::min(nextPollMs_ - now, untilClock));
}

void WatchPolicy::Leave() {
    running_ = false;
    sync_.LeaveSync();
}

void WatchPolicy::EnterLost() {
    lost_ = true;
    // Reported before the close, so that the driver can still ask the line why.
    ShowStatus(timing_.ExitOnLoss ? kWatchStatusLostExit : kWatchStatusLost);
    if (!running_) {
        return; // left while the loss was shown: Leave closed the port
    }
    link_.Close();
    if (timing_.ExitOnLoss) {
        Leave();
        return;
    }
    retryMs_ = timing_.FirstRetryMs;
    nextProbeMs_ = clock_.MonotonicMs() + retryMs_;
}

void WatchPolicy::Probe() {
    const std::int64_t startMs = clock_.MonotonicMs();
    const int second = clock_.LocalTime().Second;
    bool answered = link_.Open(port_) == 0;
    if (answered && link_.SyncClock(address_) != 0) {
        link_.Close();
        answered = false;
    }
    const std::int64_t now = clock_.MonotonicMs();
    if (!answered) {
        retryMs_ = std::min(retryMs_ * 2, timing_.MaxRetryMs);
        nextProbeMs_ = now + retryMs_;
        return;
    }
    lost_ = false;
    clockRefused_ = false;
    ScheduleClockAfter(startMs, second);
    nextPollMs_ = now + timing_.PollMs;
    ShowStatus(kWatchStatusBack);
    if (!running_) {
        return;
    }
    // The sign may have restarted with an empty message: send the current version even when the
    // file did not change. A send that gets no reply starts the backoff again.
    link_.ClearNoReply();
    sync_.ChooseFile(sync_.DataFileName());
    if (running_ && link_.NoReply()) {
        EnterLost();
    }
}
