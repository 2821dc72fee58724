#pragma once
// The file synchronisation mode as an unattended service runs it (`ledsign watch`): the mode of
// CAutoSync, plus what a process left alone for months needs and the window does not have.
//
//  - Start-up is the mode's own: a port that cannot be opened or a sign that does not answer the
//    first clock set fails the start, so a service manager can restart the process.
//  - Later, when the line is lost or the sign stops answering (a transaction ends without any
//    reply), the port is closed and reopened on a backoff (2 s, doubling up to 30 s), each time
//    with a clock set as the probe. After the first probe that answers, the data file is sent
//    again even when it did not change, since the sign may have lost it. A sign that answers
//    with a refusal is still there: that failure keeps the mode's own handling.
//  - The sign's clock is set every ProbeEveryMs (0: off) and at least every hour. The set is
//    the probe of the line: a sign that went away is noticed within about a minute, not at
//    the next change of the data file. It also corrects daylight-saving changes and the sign's
//    drift without a restart.
//  - The clock payload holds no seconds, and a sign takes a set as the start of that minute:
//    a set at 12:00:40 would put the sign 40 s behind (and set it back, if it ran right). So
//    every scheduled set goes out in the first kClockSetLastSecond seconds of a minute: when
//    one falls due later in a minute it waits for the next minute's start. A set that cannot
//    wait (the first, the probes of a lost sign) is corrected by the next scheduled one, which
//    comes at the first minute start a period after the minute of that set.
//  - A data file that is not a regular file (a FIFO, a device, a folder) is skipped and never
//    opened, since opening a FIFO would block the loop. A missing or unreadable data file is
//    reported with its reason and looked at again at every check, and its return reported.
//  - Each change of state is reported once: the loss, the return, the data file's states, a
//    refused clock set. Failed probes and clock sets that succeed are silent.
//  - With ExitOnLoss the loss ends the mode instead (the port closed), for supervisors that
//    prefer to restart the process.
//
// Time comes from an injected ComClock (MonotonicMs for the schedule, LocalTime for the second
// within the minute), so the schedule can be run in tests without sleeping. Not thread-safe; the
// driver calls everything from one thread.

#include "autosync/FileStamp.h"
#include "autosync/Unitautosync.h"
#include "comm/Unitcomprotocol.h"

#include <cstdint>
#include <string>

// Texts of the states the service adds to the mode's statuses (UTF-8).
inline constexpr const char* kWatchStatusLost =
    "Sign lost; reopening the port after 2 s, then at most every 30 s";
inline constexpr const char* kWatchStatusLostExit = "Sign lost; stopping (--exit-on-loss)";
inline constexpr const char* kWatchStatusBack = "Sign back: clock set, sending the data file again";
// Followed by the data file's name.
inline constexpr const char* kWatchStatusNotRegular = "Not a regular file, skipped: ";
// Followed by the data file's name and, in parentheses, the system's reason.
inline constexpr const char* kWatchStatusMissing = "Data file missing: ";
inline constexpr const char* kWatchStatusUnreadable = "Data file not readable: ";
// Followed by the data file's name.
inline constexpr const char* kWatchStatusFileBack = "Data file readable: ";

// The last second of a minute (0..59) in which a scheduled clock set is sent.
inline constexpr int kClockSetLastSecond = 2;

struct WatchTiming {
    std::int64_t PollMs = 1000;          // between two checks of the data file
    std::int64_t FirstRetryMs = 2000;    // from a loss to the first probe
    std::int64_t MaxRetryMs = 30000;     // the backoff doubles up to this
    std::int64_t ClockEveryMs = 3600000; // between two clock sets while the sign answers
    std::int64_t ProbeEveryMs = 60000;   // between two probing clock sets; 0: ClockEveryMs only
    bool ExitOnLoss = false;
};

class WatchPolicy {
public:
    using StatusFn = CAutoSync::StatusFn;

    // `link`, `files` and `clock` are borrowed and must outlive the object. `link` follows the
    // SignLink results of ComProtocol: 1 (kComNoReply) means no reply at all - the line is
    // lost or the sign does not answer - and any other nonzero result that the sign refused.
    WatchPolicy(SignLink& link, FileStatusProvider& files, ComClock& clock, StatusFn status,
                WatchTiming timing);

    WatchPolicy(const WatchPolicy&) = delete;
    WatchPolicy& operator=(const WatchPolicy&) = delete;

    void SetDataFileName(const std::string& name) { sync_.SetDataFileName(name); }

    // Whether the data file's states (missing, not readable, not regular, readable again) are
    // reported with the texts above; on by default. A window that says nothing about a missing
    // data file turns it off; FIFOs and devices are skipped all the same.
    void ReportDataFileStates(bool report);

    // The operator chose `name` as the data file (CAutoSync::ChooseFile): while the sign
    // answers, it is sent at once, and a send without reply starts the backoff; while the sign
    // is lost only the name changes, and the return sends that file.
    void ChooseFile(const std::string& name);

    // CAutoSync::StartSync with its statuses; 0 running, 1 failed (port not held). The first
    // check of the data file comes PollMs later, the next clock set at the first minute start
    // a clock period (ProbeEveryMs, at most ClockEveryMs) after the minute of the start.
    [[nodiscard]] int Start(const std::string& portName, std::uint16_t address);

    // Runs whatever is due now: a probe while the sign is lost; otherwise the scheduled clock
    // set (when due and within a minute's first seconds) and the check of the data file. Returns
    // false only with ExitOnLoss, once the sign was lost (the port is then closed and the mode
    // left); the driver then ends.
    [[nodiscard]] bool Step();

    // Milliseconds from now until Step has something to do; 0 when it is due already.
    std::int64_t MsUntilDue();

    // Leaves the mode: blanks the sign's current message and closes the port while the sign is
    // connected; while it is lost the port is already closed and nothing is sent.
    void Leave();

    bool Connected() const { return running_ && !lost_; }
    bool Running() const { return running_; }
    // The mode itself, for what it shows: its state, data file name and last message.
    const CAutoSync& Mode() const { return sync_; }

private:
    // The link as the mode sees it: remembers whether the port is open and whether the last
    // transaction got no reply, and refuses transactions while the port is closed.
    class WatchedLink final : public SignLink {
    public:
        explicit WatchedLink(SignLink& inner) : inner_(inner) {}
        [[nodiscard]] int Open(const std::string& portName) override;
        int Close() override;
        [[nodiscard]] int SyncClock(std::uint16_t address) override;
        [[nodiscard]] int SendMessageSlot(std::uint16_t address, int slot,
                                          const std::uint8_t* message) override;
        // True when a transaction since the last ClearNoReply got no reply.
        bool NoReply() const { return noReply_; }
        void ClearNoReply() { noReply_ = false; }

    private:
        int Note(int result);
        SignLink& inner_;
        bool open_ = false;
        bool noReply_ = false;
    };

    void ShowStatus(const std::string& text);
    void ReportDataFile(DataFileState state, const std::string& reason);
    // After a transaction without reply: close the port and start the backoff (or give up).
    void EnterLost();
    void Probe();
    // Milliseconds from now to the first seconds of a minute; 0 while within them.
    std::int64_t MsUntilClockWindow();
    // Schedules the next clock set after one that began at monotonic `startMs` and local second
    // `second`.
    void ScheduleClockAfter(std::int64_t startMs, int second);
    std::int64_t ClockPeriodMs() const;

    WatchedLink link_;
    ComClock& clock_;
    StatusFn status_;
    WatchTiming timing_;
    CAutoSync sync_;

    std::string port_;
    std::uint16_t address_ = kSyncDefaultAddress;
    bool running_ = false;
    bool lost_ = false;
    std::int64_t nextPollMs_ = 0;
    std::int64_t nextClockMs_ = 0;
    std::int64_t nextProbeMs_ = 0;
    std::int64_t retryMs_ = 0;  // the wait before the next probe
    bool clockRefused_ = false; // the last scheduled clock set was refused (reported once)
};
