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
//  - The sign's clock is set again every hour, so daylight-saving changes and the sign's drift
//    are corrected without a restart.
//  - A data file that is not a regular file (a FIFO, a device, a folder) is skipped and never
//    opened, since opening a FIFO would block the loop; one status says so.
//  - Each change of state is reported once: the loss, the return, the skipped file. Failed
//    probes are silent.
//  - With ExitOnLoss the loss ends the mode instead (the port closed), for supervisors that
//    prefer to restart the process.
//
// Time comes from an injected ComClock (only MonotonicMs is used), so the schedule can be run
// in tests without sleeping. Not thread-safe; the driver calls everything from one thread.

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

struct WatchTiming {
    std::int64_t PollMs = 1000;          // between two checks of the data file
    std::int64_t FirstRetryMs = 2000;    // from a loss to the first probe
    std::int64_t MaxRetryMs = 30000;     // the backoff doubles up to this
    std::int64_t ClockEveryMs = 3600000; // between two clock sets while the sign answers
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

    // CAutoSync::StartSync with its statuses; 0 running, 1 failed (port not held). The first
    // check of the data file comes PollMs later, the next clock set ClockEveryMs later.
    int Start(const std::string& portName, std::uint16_t address);

    // Runs whatever is due now: a probe while the sign is lost; otherwise the hourly clock set
    // and the check of the data file. Returns false only with ExitOnLoss, once the sign was lost
    // (the port is then closed and the mode left); the driver then ends.
    bool Step();

    // Milliseconds from now until Step has something to do; 0 when it is due already.
    std::int64_t MsUntilDue();

    // Leaves the mode: blanks the sign's current message and closes the port while the sign is
    // connected; while it is lost the port is already closed and nothing is sent.
    void Leave();

    bool Connected() const { return running_ && !lost_; }
    bool Running() const { return running_; }

private:
    // The link as the mode sees it: remembers whether the port is open and whether the last
    // transaction got no reply, and refuses transactions while the port is closed.
    class WatchedLink final : public SignLink {
    public:
        explicit WatchedLink(SignLink& inner) : inner_(inner) {}
        int Open(const std::string& portName) override;
        int Close() override;
        int SyncClock(std::uint16_t address) override;
        int SendMessageSlot(std::uint16_t address, int slot, const std::uint8_t* message) override;
        // True when a transaction since the last ClearNoReply got no reply.
        bool NoReply() const { return noReply_; }
        void ClearNoReply() { noReply_ = false; }

    private:
        int Note(int result);
        SignLink& inner_;
        bool open_ = false;
        bool noReply_ = false;
    };

    // The file status with everything that is no regular file reported as missing, so the mode
    // never opens it; reports the skip once until the file changes kind or goes away.
    class RegularFilesOnly final : public FileStatusProvider {
    public:
        RegularFilesOnly(FileStatusProvider& inner, WatchPolicy& owner)
            : inner_(inner), owner_(owner) {}
        FileStamp Stat(const std::string& name) override;

    private:
        FileStatusProvider& inner_;
        WatchPolicy& owner_;
        bool reported_ = false;
    };

    void ShowStatus(const std::string& text);
    // After a transaction without reply: close the port and start the backoff (or give up).
    void EnterLost();
    void Probe();

    WatchedLink link_;
    RegularFilesOnly files_;
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
    std::int64_t retryMs_ = 0; // the wait before the next probe
};
