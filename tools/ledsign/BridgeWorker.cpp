#include "tools/ledsign/BridgeWorker.h"

#include "autosync/StopSignal.h"
#include "autosync/WatchPolicy.h"

#include <algorithm>
#include <ctime>
#include <utility>

namespace ledsign_tool {

namespace {

using std::chrono::milliseconds;

// The watch's backoff: the first reopening after 2 s, doubling up to 30 s.
const milliseconds kFirstRetry{WatchTiming{}.FirstRetryMs};
const milliseconds kMaxRetry{WatchTiming{}.MaxRetryMs};

std::string UtcTimeStamp() {
    const std::time_t now = std::time(nullptr);
    struct tm utc {};
    ::gmtime_r(&now, &utc);
    char text[32];
    const std::size_t n = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return std::string(text, n);
}

nlohmann::json OrNull(bool present, const std::string& text) {
    return present ? nlohmann::json(text) : nlohmann::json();
}

} // namespace

nlohmann::json BridgeResult(BridgeCommand command, ResultKind kind, const std::string& message,
                            long long ms) {
    const bool ok = kind == ResultKind::Ok;
    return {{"command", BridgeCommandName(command)},
            {"ok", ok},
            {"error", OrNull(!ok, KindName(kind))},
            {"message", message},
            {"ms", ms}};
}

BridgeWorker::BridgeWorker(Target target, unsigned probeSeconds, BridgeEvents& events)
    : target_(std::move(target)), probeEvery_(probeSeconds), events_(events),
      thread_([this] { Run(); }) {}

BridgeWorker::~BridgeWorker() {
    Stop();
}

void BridgeWorker::Stop() {
    {
        const std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) {
        thread_.join();
    }
}

void BridgeWorker::Submit(BridgeRequest request) {
    std::optional<BridgeRequest> replaced;
    {
        const std::lock_guard lock(mutex_);
        const auto same = std::find_if(queue_.begin(), queue_.end(), [&](const BridgeRequest& q) {
            return request.Command == BridgeCommand::Message &&
                   q.Command == BridgeCommand::Message && q.Message.Slot == request.Message.Slot;
        });
        if (same != queue_.end()) {
            replaced = std::move(*same);
            *same = std::move(request);
        } else {
            queue_.push_back(std::move(request));
        }
    }
    wake_.notify_all();
    if (replaced) {
        events_.CommandDone(target_.Sign,
                            BridgeResult(BridgeCommand::Message, ResultKind::Other,
                                         "replaced by a newer message for slot " +
                                             std::to_string(replaced->Message.Slot) +
                                             " before it was sent",
                                         0),
                            replaced->Reply);
    }
}

std::string BridgeWorker::SignText() const {
    return "sign " + std::to_string(target_.Address) + " on " + target_.Port;
}

std::string BridgeWorker::Reason() const {
    return DescribeLineError(protocol_.LastError(), LineErrorLanguage::English);
}

ResultKind BridgeWorker::FailureKind() const {
    const ResultKind kind = KindOf(protocol_.LastError().Kind);
    return kind == ResultKind::Ok ? ResultKind::Other : kind;
}

void BridgeWorker::Run() {
    protocol_.SetCancelCheck(StopRequested);
    if (Connect()) {
        online_ = true;
        everOnline_ = true;
        events_.Log(BridgeEvents::Level::Info, target_.Sign + ": " + SignText() + " answers",
                    false);
        ScheduleProbe();
    } else {
        lastKind_ = FailureKind();
        lastProblem_ = "cannot reach " + SignText() + ": " + Reason();
        events_.Log(BridgeEvents::Level::Error,
                    target_.Sign + ": " + lastProblem_ +
                        "; trying again after 2 s, then at most "
                        "every 30 s",
                    false);
        retry_ = kFirstRetry;
        nextProbe_ = Clock::now() + retry_;
    }
    Publish();
    for (;;) {
        std::optional<BridgeRequest> request;
        {
            std::unique_lock lock(mutex_);
            wake_.wait_until(lock, nextProbe_, [this] { return stop_ || !queue_.empty(); });
            if (stop_) {
                break;
            }
            if (!queue_.empty()) {
                request = std::move(queue_.front());
                queue_.pop_front();
            }
        }
        if (request) {
            Execute(*request);
        } else if (Clock::now() >= nextProbe_) {
            Probe();
        }
    }
    if (online_) {
        protocol_.Close();
    }
}

bool BridgeWorker::Connect() {
    if (protocol_.Open(target_.Port.c_str()) != 0) {
        return false;
    }
    if (protocol_.SyncClock(static_cast<std::uint16_t>(target_.Address)) != kComOk) {
        protocol_.Close();
        return false;
    }
    return true;
}

void BridgeWorker::ScheduleProbe() {
    const auto now = Clock::now();
    if (probeEvery_ < std::chrono::minutes(1)) {
        nextProbe_ = now + probeEvery_;
        return;
    }
    // From the start of this minute, plus half a second inside the next one's first seconds.
    const auto second = std::chrono::seconds(std::time(nullptr) % 60);
    nextProbe_ = now - second + probeEvery_ + milliseconds(500);
}

void BridgeWorker::Probe() {
    if (online_) {
        const int result = protocol_.SyncClock(static_cast<std::uint16_t>(target_.Address));
        if (result == kComNoReply) {
            EnterLost();
            return;
        }
        events_.Log(BridgeEvents::Level::Info,
                    target_.Sign + ": clock set" +
                        (result == kComOk ? std::string() : " refused: " + Reason()),
                    true);
        ScheduleProbe();
        return;
    }
    if (!Connect()) {
        retry_ = std::min(retry_ * 2, kMaxRetry);
        nextProbe_ = Clock::now() + retry_;
        events_.Log(BridgeEvents::Level::Info,
                    target_.Sign + ": still lost (" + Reason() + "); next try in " +
                        std::to_string(retry_.count() / 1000) + " s",
                    true);
        return;
    }
    online_ = true;
    lastKind_ = ResultKind::Ok;
    lastProblem_.clear();
    events_.Log(BridgeEvents::Level::Info,
                target_.Sign + ": " + SignText() +
                    (everOnline_ ? " back: clock set, sending its messages again" : " answers"),
                false);
    everOnline_ = true;
    ScheduleProbe();
    Publish();
    SendWanted();
}

void BridgeWorker::EnterLost() {
    lastKind_ = FailureKind();
    lastProblem_ = "lost " + SignText() + ": " + Reason();
    events_.Log(BridgeEvents::Level::Error,
                target_.Sign + ": " + lastProblem_ +
                    "; reopening the port after 2 s, then at most every 30 s",
                false);
    protocol_.Close();
    online_ = false;
    retry_ = kFirstRetry;
    nextProbe_ = Clock::now() + retry_;
    Publish();
}

int BridgeWorker::SendMessage(const ParsedMessage& message, bool single) {
    const int result = protocol_.SendMessageSlot(static_cast<std::uint16_t>(target_.Address),
                                                 message.Slot, message.Bytes.data());
    if (result == kComOk) {
        delivered_[message.Slot] = message.Bytes;
        wanted_.erase(message.Slot);
        if (single || (last_ && last_->Slot == message.Slot)) {
            last_ = message;
        }
    } else if (result == kComNoReply) {
        wanted_[message.Slot] = {message, single};
    }
    return result;
}

void BridgeWorker::SendWanted() {
    const std::map<int, Wanted> sends = wanted_;
    // The last one delivered, unless a newer one for its slot is wanted, goes last.
    std::optional<ParsedMessage> lastOne;
    if (last_ && wanted_.count(last_->Slot) == 0) {
        lastOne = *last_;
    }
    const auto send = [this](const ParsedMessage& m, bool single) {
        const int result = SendMessage(m, single);
        if (result == kComNoReply) {
            EnterLost();
            return false;
        }
        if (result != kComOk) {
            events_.Log(BridgeEvents::Level::Warning,
                        target_.Sign + ": " + SignText() + " refused the message for slot " +
                            std::to_string(m.Slot) + ": " + Reason(),
                        false);
        }
        return true;
    };
    for (const auto& entry : sends) {
        if (!send(entry.second.Message, entry.second.Single)) {
            return;
        }
    }
    if (lastOne && !send(*lastOne, true)) {
        return;
    }
    Publish();
}

void BridgeWorker::Execute(BridgeRequest& request) {
    const auto started = Clock::now();
    const auto address = static_cast<std::uint16_t>(target_.Address);
    const BridgeCommand command = request.Command;
    int result = kComOk;
    std::string what;
    std::string success;
    std::string lostNote;
    if (command == BridgeCommand::Message) {
        const ParsedMessage& m = request.Message;
        what = "the message for slot " + std::to_string(m.Slot);
        success = "sent the message to slot " + std::to_string(m.Slot) + " of " + SignText();
        const auto held = delivered_.find(m.Slot);
        if (request.Retained && online_ && held != delivered_.end() && held->second == m.Bytes) {
            // The retained wanted state again after a reconnection: the sign holds it.
            success = "slot " + std::to_string(m.Slot) + " of " + SignText() +
                      " holds this message already";
        } else if (online_) {
            result = SendMessage(m, true);
        } else {
            wanted_[m.Slot] = {m, true};
            lostNote = "; the message goes out when the sign answers again";
        }
    } else if (command == BridgeCommand::Set) {
        what = "the set";
        success = "sent the 8 messages to slots 1-8 of " + SignText();
        for (std::size_t i = 0; i < request.Set.size(); ++i) {
            if (!online_) {
                wanted_[request.Set[i].Slot] = {request.Set[i], false};
                lostNote = "; the messages not sent go out when the sign answers again";
            } else if (result == kComOk) {
                result = SendMessage(request.Set[i], false);
                what = "message " + std::to_string(i + 1) + " of the set";
            }
        }
    } else if (command == BridgeCommand::Show) {
        what = "showing slot " + std::to_string(request.Slot);
        success = SignText() + " shows slot " + std::to_string(request.Slot);
        if (online_) {
            result = protocol_.RunMessageSlot(address, request.Slot);
        }
    } else {
        what = "the clock";
        success = "set the clock of " + SignText();
        if (online_) {
            result = protocol_.SyncClock(address);
        }
    }
    const long long ms = std::chrono::duration_cast<milliseconds>(Clock::now() - started).count();
    ResultKind kind = ResultKind::Ok;
    std::string text = success;
    if (!online_) {
        kind = lastKind_ == ResultKind::Ok ? ResultKind::LineLost : lastKind_;
        text = "not sent: " + lastProblem_ + lostNote;
    } else if (result == kComRefused) {
        kind = FailureKind();
        text = SignText() + " refused " + what + ": " + Reason();
    } else if (result != kComOk) {
        kind = FailureKind();
        text = (protocol_.LastPollCount() == 0 ? "cannot send " + what + " to "
                                               : "no reply to " + what + " from ") +
               SignText() + ": " + Reason();
    }
    if (kind == ResultKind::Ok) {
        lastKind_ = ResultKind::Ok;
        lastProblem_.clear();
    } else if (online_) {
        lastKind_ = kind;
        lastProblem_ = text;
    }
    events_.Log(kind == ResultKind::Ok ? BridgeEvents::Level::Info : BridgeEvents::Level::Warning,
                target_.Sign + ": " + BridgeCommandName(command) + ": " + text,
                kind == ResultKind::Ok);
    events_.CommandDone(target_.Sign, BridgeResult(command, kind, text, ms), request.Reply);
    if (online_ && result == kComNoReply) {
        EnterLost();
        if (command == BridgeCommand::Set) {
            for (const ParsedMessage& m : request.Set) {
                if (delivered_.count(m.Slot) == 0 || delivered_[m.Slot] != m.Bytes) {
                    wanted_[m.Slot] = {m, false};
                }
            }
        }
        return;
    }
    Publish();
}

void BridgeWorker::Publish() {
    const bool failed = lastKind_ != ResultKind::Ok;
    events_.StateChanged(target_.Sign,
                         {{"text", last_ ? nlohmann::json(last_->Text) : nlohmann::json()},
                          {"slot", last_ ? nlohmann::json(last_->Slot) : nlohmann::json()},
                          {"line", online_ ? "online" : "offline"},
                          {"error", OrNull(failed, KindName(lastKind_))},
                          {"message", OrNull(failed, lastProblem_)},
                          {"time", UtcTimeStamp()}});
}

} // namespace ledsign_tool
