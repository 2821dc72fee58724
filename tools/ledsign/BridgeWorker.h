#pragma once
// One sign of the MQTT bridge: a thread that owns the sign's line and carries out its commands
// in arrival order, so that different signs run in parallel and one slow or lost sign holds up
// no other.
//
// The line is handled as `ledsign watch` handles it: opened with a clock set as the probe, the
// clock set again every probe interval (intervals of a minute or more in the first seconds of a
// minute, since the clock payload holds no seconds), and on a transaction without any reply the
// port is closed and reopened after 2 s, 4 s, 8 s ... at most every 30 s (WatchTiming's
// backoff). While the sign is lost, a message is kept as wanted and reported as not sent; once
// the sign answers again every message wanted since is sent, and the last one delivered again,
// since the sign may have restarted empty.
//
// A message for a slot that arrives while an earlier one for the same slot still waits in the
// queue replaces it (its result says so): each stale text would cost a second of the line.
// Commands end at once when the process is stopped (the lines' waits end on a stop).

#include "comm/Unitcomprotocol.h"
#include "tools/ledsign/MqttPayload.h"
#include "tools/ledsign/Results.h"
#include "tools/ledsign/Targets.h"

#include <nlohmann/json.hpp>

#include <array>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace ledsign_tool {

// Where a command's result goes besides PREFIX/SIGN/result: an MQTT 5 response topic and its
// correlation data.
struct ReplyTo {
    std::string Topic;
    std::string Correlation;
};

struct BridgeRequest {
    BridgeCommand Command = BridgeCommand::Clock;
    ParsedMessage Message;              // Message
    std::array<ParsedMessage, 8> Set{}; // Set
    int Slot = 0;                       // Show
    bool Retained = false;              // a retained message: the wanted state at start
    ReplyTo Reply;
};

// What a worker tells the bridge. Called on the worker's thread.
class BridgeEvents {
public:
    enum class Level { Error = 3, Warning = 4, Info = 6 };

    virtual ~BridgeEvents() = default;
    // The sign's state changed: {"text", "slot", "line", "error", "message", "time"}.
    virtual void StateChanged(const std::string& sign, const nlohmann::json& state) = 0;
    // A command ended: {"command", "ok", "error", "message", "ms"}.
    virtual void CommandDone(const std::string& sign, const nlohmann::json& result,
                             const ReplyTo& reply) = 0;
    virtual void Log(Level level, const std::string& text, bool verboseOnly) = 0;
};

// {"command", "ok", "error", "message", "ms"}.
nlohmann::json BridgeResult(BridgeCommand command, ResultKind kind, const std::string& message,
                            long long ms);

class BridgeWorker {
public:
    // `events` is borrowed and must outlive the worker. The thread starts at once.
    BridgeWorker(Target target, unsigned probeSeconds, BridgeEvents& events);
    ~BridgeWorker(); // stops and joins
    BridgeWorker(const BridgeWorker&) = delete;
    BridgeWorker& operator=(const BridgeWorker&) = delete;

    // Queues `request` (from any thread).
    void Submit(BridgeRequest request);
    // Ends the thread after the transaction in progress, if any, and waits for it.
    void Stop();

    const std::string& Name() const { return target_.Sign; }

private:
    using Clock = std::chrono::steady_clock;

    void Run();
    void Execute(BridgeRequest& request);
    // Opens the port and sets the clock; true when the sign answered.
    bool Connect();
    void Probe();
    void EnterLost();
    // Sends one message; records it as delivered or, on a failure, as wanted. A `single`
    // message (not one of a set) becomes the state's text.
    int SendMessage(const ParsedMessage& message, bool single);
    void SendWanted();
    void ScheduleProbe();
    void Publish();
    ResultKind FailureKind() const;
    std::string Reason() const;
    std::string SignText() const;

    Target target_;
    std::chrono::seconds probeEvery_;
    BridgeEvents& events_;

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<BridgeRequest> queue_;
    bool stop_ = false;

    // The worker thread's own.
    ComProtocol protocol_;
    bool online_ = false;
    bool everOnline_ = false;
    std::chrono::milliseconds retry_{0};
    Clock::time_point nextProbe_;
    struct Wanted {
        ParsedMessage Message;
        bool Single = false;
    };
    std::map<int, Wanted> wanted_;          // slot -> not yet delivered
    std::map<int, MessageBytes> delivered_; // slot -> last delivered
    // The last single message delivered, the state's text; a set's message replaces it only
    // in its slot.
    std::optional<ParsedMessage> last_;
    ResultKind lastKind_ = ResultKind::Ok;
    std::string lastProblem_;

    std::thread thread_; // last: starts once everything above exists
};

} // namespace ledsign_tool
