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

FileStamp WatchPolicy::RegularFilesOnly::Stat(const std::string& name) {
    const FileStamp stamp = inner_.Stat(name);
    if (!stamp.Exists || stamp.Regular) {
        reported_ = false;
        return stamp;
    }
    if (!reported_) {
        reported_ = true;
        owner_.ShowStatus(kWatchStatusNotRegular + name);
    }
    return FileStamp{};
}

WatchPolicy::WatchPolicy(SignLink& link, FileStatusProvider& files, ComClock& clock,
                         StatusFn status, WatchTiming timing)
    : link_(link), files_(files, *this), clock_(clock), status_(std::move(status)), timing_(timing),
      sync_(link_, files_, [this](const std::string& s) { ShowStatus(s); }) {}

void WatchPolicy::ShowStatus(const std::string& text) {
    if (status_) {
        status_(text);
    }
}

int WatchPolicy::Start(const std::string& portName, std::uint16_t address) {
    if (sync_.StartSync(portName, address) != 0) {
        return 1;
    }
    port_ = portName;
    address_ = address;
    running_ = true;
    lost_ = false;
    const std::int64_t now = clock_.MonotonicMs();
    nextPollMs_ = now + timing_.PollMs;
    nextClockMs_ = now + timing_.ClockEveryMs;
    return 0;
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
    if (clock_.MonotonicMs() >= nextClockMs_) {
        link_.ClearNoReply();
        ShowStatus(kStatusSyncingClock);
        const int result = link_.SyncClock(address_);
        nextClockMs_ = clock_.MonotonicMs() + timing_.ClockEveryMs;
        if (result != 0) {
            ShowStatus(kStatusClockError);
        }
        if (link_.NoReply()) {
            EnterLost();
            return running_;
        }
    }
    if (clock_.MonotonicMs() >= nextPollMs_) {
        link_.ClearNoReply();
        sync_.TimerSynchroTimer();
        nextPollMs_ = clock_.MonotonicMs() + timing_.PollMs;
        if (link_.NoReply()) {
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
    const std::int64_t due = lost_ ? nextProbeMs_ : std::min(nextPollMs_, nextClockMs_);
    return std::max<std::int64_t>(0, due - clock_.MonotonicMs());
}

void WatchPolicy::Leave() {
    running_ = false;
    sync_.LeaveSync();
}

void WatchPolicy::EnterLost() {
    lost_ = true;
    // Reported before the close, so that the driver can still ask the line why.
    ShowStatus(timing_.ExitOnLoss ? kWatchStatusLostExit : kWatchStatusLost);
    link_.Close();
    if (timing_.ExitOnLoss) {
        Leave();
        return;
    }
    retryMs_ = timing_.FirstRetryMs;
    nextProbeMs_ = clock_.MonotonicMs() + retryMs_;
}

void WatchPolicy::Probe() {
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
    nextClockMs_ = now + timing_.ClockEveryMs;
    nextPollMs_ = now + timing_.PollMs;
    ShowStatus(kWatchStatusBack);
    // The sign may have restarted with an empty message: send the current version even when the
    // file did not change. A send that gets no reply starts the backoff again.
    link_.ClearNoReply();
    sync_.ChooseFile(sync_.DataFileName());
    if (link_.NoReply()) {
        EnterLost();
    }
}
