// The unattended mode's schedule against a fake link, fake file status and a clock that moves
// only when the test moves it: reconnect backoff, resend after the return, the clock sets that
// probe the line, what counts as losing the sign, and the data file's states.

#include "autosync/WatchPolicy.h"
#include "autosync/tests/FakeFiles.h"
#include "autosync/tests/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

class FakeClock final : public ComClock {
public:
    std::int64_t MonotonicMs() override { return Now; }
    // Without WallFollows always 00:00:00, the start of a minute.
    ComDateTime LocalTime() override {
        ComDateTime time;
        if (WallFollows) {
            const std::int64_t seconds = (Now + WallAtZeroMs) / 1000;
            time.Second = static_cast<int>(seconds % 60);
            time.Minute = static_cast<int>(seconds / 60 % 60);
            time.Hour = static_cast<int>(seconds / 3600 % 24);
        }
        return time;
    }
    std::int64_t Now = 0;
    bool WallFollows = false;
    std::int64_t WallAtZeroMs = 0; // the local time of day when Now is 0
};

// Every call with the time it came at; results set by the test.
class FakeLink final : public SignLink {
public:
    explicit FakeLink(FakeClock& clock) : clock_(clock) {}
    int Open(const std::string&) override {
        Record("open");
        IsOpen = OpenResult == 0;
        return OpenResult;
    }
    int Close() override {
        Record("close");
        IsOpen = false;
        return 0;
    }
    int SyncClock(std::uint16_t) override {
        Record("clock");
        EXPECT_TRUE(IsOpen) << "clock on a closed port at " << clock_.Now;
        return ClockResult;
    }
    int SendMessageSlot(std::uint16_t, int, const std::uint8_t* message) override {
        std::string text;
        for (std::size_t i = 0; i < kSyncCellEnd && message[i] != 0; i += 2) {
            text.push_back(static_cast<char>(message[i + 1]));
        }
        Record("send " + (text.empty() ? std::string("blank") : text));
        EXPECT_TRUE(IsOpen) << "send on a closed port at " << clock_.Now;
        return SendResult;
    }
    // Times of the calls named `what`.
    std::vector<std::int64_t> Times(const std::string& what) const {
        std::vector<std::int64_t> times;
        for (const auto& [t, call] : Calls) {
            if (call == what) {
                times.push_back(t);
            }
        }
        return times;
    }
    std::vector<std::string> CallsFrom(std::int64_t t0) const {
        std::vector<std::string> out;
        for (const auto& [t, call] : Calls) {
            if (t >= t0) {
                out.push_back(call);
            }
        }
        return out;
    }

    int OpenResult = 0;
    int ClockResult = 0;
    int SendResult = 0;
    bool IsOpen = false;
    std::vector<std::pair<std::int64_t, std::string>> Calls;

private:
    void Record(const std::string& call) { Calls.emplace_back(clock_.Now, call); }
    FakeClock& clock_;
};

class WatchPolicyTest : public ::testing::Test {
protected:
    WatchPolicyTest() : link(clock) {}

    void Make(bool exitOnLoss = false) {
        WatchTiming timing;
        timing.ExitOnLoss = exitOnLoss;
        timing.ProbeEveryMs = probeEveryMs;
        watch = std::make_unique<WatchPolicy>(
            link, files, clock, [this](const std::string& s) { statuses.push_back(s); }, timing);
        watch->SetDataFileName(data);
        ASSERT_EQ(watch->Start("COM3", 380), 0);
    }

    void WriteData(const std::string& content) {
        dir.Write("dane.txt", content);
        files.Stamps[data] =
            FileStamp{true, ++version, static_cast<std::int64_t>(content.size()), true};
    }

    // Runs the driver's loop until the clock reaches `end` (no sleeping: the clock jumps to the
    // next due step). False when a step asked the driver to end.
    bool RunUntil(std::int64_t end) {
        for (;;) {
            const std::int64_t next = clock.Now + watch->MsUntilDue();
            if (next > end) {
                clock.Now = end;
                return true;
            }
            clock.Now = next;
            if (!watch->Step()) {
                return false;
            }
        }
    }

    std::size_t Count(const std::string& status) const {
        return static_cast<std::size_t>(std::count(statuses.begin(), statuses.end(), status));
    }

    TempDir dir;
    const std::string data = dir.File("dane.txt");
    std::int64_t probeEveryMs = 0; // the hourly clock set only, unless a test asks for probes
    FakeClock clock;
    FakeLink link;
    FakeFiles files;
    std::vector<std::string> statuses;
    std::unique_ptr<WatchPolicy> watch;
    std::int64_t version = 0;
};

TEST_F(WatchPolicyTest, ReconnectsOnABackoffAndResendsTheUnchangedFile) {
    Make();
    WriteData("1 1 A");
    ASSERT_TRUE(RunUntil(1500));
    // The sign goes away: the next version gets no reply and the port cannot be opened again.
    link.SendResult = kComNoReply;
    link.OpenResult = 1;
    WriteData("1 1 B");
    ASSERT_TRUE(RunUntil(95000));
    EXPECT_FALSE(watch->Connected());
    EXPECT_FALSE(link.IsOpen);
    // Lost at 2 s; probes 2, 4, 8, 16, 30, 30 s apart.
    EXPECT_EQ(link.Times("open"),
              (std::vector<std::int64_t>{0, 4000, 8000, 16000, 32000, 62000, 92000}));
    EXPECT_EQ(link.Times("send B"), (std::vector<std::int64_t>{2000}));

    // Back: the probe sets the clock and the unchanged version B goes out at once.
    link.SendResult = 0;
    link.OpenResult = 0;
    ASSERT_TRUE(RunUntil(130000));
    EXPECT_TRUE(watch->Connected());
    EXPECT_EQ(link.CallsFrom(95000), (std::vector<std::string>{"open", "clock", "send B"}));
    EXPECT_EQ(link.Times("send B").back(), 122000);
    // Each change of state reported once, the failed probes not at all.
    EXPECT_EQ(Count(kWatchStatusLost), 1u);
    EXPECT_EQ(Count(kWatchStatusBack), 1u);

    // The hour counts from the probe's clock set.
    ASSERT_TRUE(RunUntil(122000 + 3600000));
    EXPECT_EQ(link.Times("clock"), (std::vector<std::int64_t>{0, 122000, 3722000}));

    // A second loss starts the backoff from 2 s again; leaving while lost sends nothing.
    link.SendResult = kComNoReply;
    WriteData("1 1 C");
    const std::int64_t lostAt = clock.Now + 1000;
    ASSERT_TRUE(RunUntil(lostAt + 2000));
    EXPECT_EQ(link.Times("open").back(), lostAt + 2000);
    link.Calls.clear();
    watch->Leave();
    EXPECT_TRUE(link.Times("send blank").empty());
    EXPECT_FALSE(link.IsOpen);
}

TEST_F(WatchPolicyTest, OnlyANoReplyLosesTheSign) {
    struct Case {
        const char* Name;
        bool HourlyClock; // the failure comes at the hourly clock set, else at a send
        int Result;
        bool ExitOnLoss;
        bool Lost;
    };
    const Case cases[] = {
        {"send refused", false, kComRefused, false, false},
        {"send without reply", false, kComNoReply, false, true},
        {"clock refused", true, kComRefused, false, false},
        {"clock without reply", true, kComNoReply, false, true},
        {"send without reply, exit", false, kComNoReply, true, true},
        {"clock without reply, exit", true, kComNoReply, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        link.Calls.clear();
        link.ClockResult = link.SendResult = 0;
        clock.Now = 0;
        statuses.clear();
        Make(c.ExitOnLoss);
        WriteData(std::string("1 1 ") + c.Name);
        (c.HourlyClock ? link.ClockResult : link.SendResult) = c.Result;
        const std::int64_t failAt = c.HourlyClock ? 3600000 : 1000;
        const bool kept = RunUntil(failAt + 60000);
        EXPECT_EQ(kept, !(c.Lost && c.ExitOnLoss));
        EXPECT_EQ(link.IsOpen, !c.Lost);
        EXPECT_EQ(watch->Connected(), !c.Lost);
        // Lost without --exit-on-loss: probing; with it: never opened again, nothing blanked.
        const std::size_t opens = link.Times("open").size();
        EXPECT_EQ(opens > 1, c.Lost && !c.ExitOnLoss);
        if (!c.Lost) {
            // The failure is the mode's own: its error status, the port kept.
            EXPECT_EQ(Count(c.HourlyClock ? kStatusClockError : kStatusSendError), 1u);
        }
        if (c.ExitOnLoss) {
            EXPECT_TRUE(link.Times("send blank").empty());
            EXPECT_EQ(Count(kWatchStatusLostExit), 1u);
        }
    }
}

TEST_F(WatchPolicyTest, SkipsWhatIsNoRegularFileWithOneStatus) {
    Make();
    const std::string skipped = std::string(kWatchStatusNotRegular) + data;
    // A FIFO: never read (no such file exists here, so a read would report an error).
    files.Stamps[data] = FileStamp{true, 1, 0, false};
    ASSERT_TRUE(RunUntil(10000));
    EXPECT_EQ(statuses.back(), skipped);
    EXPECT_EQ(Count(skipped), 1u);
    EXPECT_EQ(Count(kStatusReadError), 0u);
    // Replaced by a regular file: sent; back to a FIFO: reported again.
    WriteData("1 1 R");
    ASSERT_TRUE(RunUntil(20000));
    files.Stamps[data] = FileStamp{true, 99, 0, false};
    ASSERT_TRUE(RunUntil(30000));
    EXPECT_EQ(link.Times("send R").size(), 1u);
    EXPECT_EQ(Count(skipped), 2u);
    EXPECT_EQ(Count(kStatusReadError), 0u);
}

TEST_F(WatchPolicyTest, ClockSetsProbeOnMinuteStarts) {
    struct Case {
        std::int64_t ProbeMs;    // 0: the hourly set only
        int StartSecond;         // the local second at which the watcher starts
        std::int64_t FirstSetMs; // the first set after the start's own
        std::int64_t EveryMs;    // then one set this often
    };
    const Case cases[] = {
        {60000, 37, 23000, 60000},      // the start's late set corrected at the next minute
        {60000, 1, 59000, 60000},       // a start within a minute's first seconds
        {90000, 5, 115000, 120000},     // due at second 30: waits for the minute's start
        {0, 50, 3550000, 3600000},      // hourly, still on a minute start
        {7200000, 0, 3600000, 3600000}, // a probe rarer than the hourly set
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.ProbeMs) + " ms probe, start at second " +
                     std::to_string(c.StartSecond));
        link.Calls.clear();
        clock.Now = 0;
        clock.WallFollows = true;
        clock.WallAtZeroMs = 10 * 3600000 + 15 * 60000 + c.StartSecond * 1000;
        probeEveryMs = c.ProbeMs;
        Make();
        ASSERT_TRUE(RunUntil(std::int64_t{3} * 3600000));
        const std::vector<std::int64_t> sets = link.Times("clock");
        ASSERT_GE(sets.size(), 3u);
        EXPECT_EQ(sets[0], 0);
        EXPECT_EQ(sets[1], c.FirstSetMs);
        for (std::size_t i = 2; i < sets.size(); ++i) {
            EXPECT_EQ(sets[i] - sets[i - 1], c.EveryMs) << "set " << i;
        }
        for (std::size_t i = 1; i < sets.size(); ++i) {
            EXPECT_LE((sets[i] + clock.WallAtZeroMs) / 1000 % 60, kClockSetLastSecond)
                << "set " << i;
        }
        EXPECT_TRUE(statuses.empty() || statuses.back() != kStatusClockError);
    }
}

TEST_F(WatchPolicyTest, ALostSignIsNoticedByTheNextProbe) {
    probeEveryMs = 60000;
    Make();
    WriteData("1 1 A");
    // Refused sets keep the sign (it answers) and are reported once, not every minute.
    link.ClockResult = kComRefused;
    ASSERT_TRUE(RunUntil(200000));
    EXPECT_TRUE(watch->Connected());
    EXPECT_EQ(link.Times("clock"), (std::vector<std::int64_t>{0, 60000, 120000, 180000}));
    EXPECT_EQ(Count(kStatusClockError), 1u);

    // The sign goes away with the data file unchanged: only the probe can tell.
    link.ClockResult = kComNoReply;
    link.OpenResult = 1;
    ASSERT_TRUE(RunUntil(265000));
    EXPECT_EQ(Count(kWatchStatusLost), 1u);
    EXPECT_EQ(link.Times("clock").back(), 240000);
    EXPECT_EQ(link.Times("open"), (std::vector<std::int64_t>{0, 242000, 246000, 254000}));
}

// What the watcher says about the data file: each state once, with the reason, and a file
// that could not be opened is read again until it can be, although its status did not change.
TEST_F(WatchPolicyTest, ReportsTheDataFileStatesAndReadsAgainAfterAFailedOpen) {
    Make();
    statuses.clear();
    const std::string missing = kWatchStatusMissing + data + " (No such file or directory)";
    const std::string noAccess = kWatchStatusMissing + data + " (Permission denied)";
    const std::string unreadable = kWatchStatusUnreadable + data + " (No such file or directory)";
    const std::string back = kWatchStatusFileBack + data;
    FileStamp gone;
    gone.Error = std::make_error_code(std::errc::no_such_file_or_directory);
    files.Stamps[data] = gone;
    ASSERT_TRUE(RunUntil(5000));
    EXPECT_EQ(statuses, (std::vector<std::string>{missing}));

    // Its status says it is there, but it cannot be opened (nothing is on the disk).
    statuses.clear();
    files.Stamps[data] = FileStamp{true, ++version, 5, true};
    ASSERT_TRUE(RunUntil(10000));
    EXPECT_EQ(statuses, (std::vector<std::string>{unreadable, kStatusReadError}));

    // Readable now, with the same status: read again and sent.
    statuses.clear();
    dir.Write("dane.txt", "1 1 A");
    ASSERT_TRUE(RunUntil(15000));
    EXPECT_EQ(link.Times("send A"), (std::vector<std::int64_t>{11000}));
    EXPECT_EQ(statuses, (std::vector<std::string>{back, kStatusSending, kStatusOk}));

    // Gone for another reason, then back unchanged: reported, not sent again.
    statuses.clear();
    const FileStamp kept = files.Stamps[data];
    gone.Error = std::make_error_code(std::errc::permission_denied);
    files.Stamps[data] = gone;
    ASSERT_TRUE(RunUntil(20000));
    files.Stamps[data] = kept;
    ASSERT_TRUE(RunUntil(25000));
    EXPECT_EQ(statuses, (std::vector<std::string>{noAccess, back}));
    EXPECT_EQ(link.Times("send A").size(), 1u);

    // A line that does not parse is not read again until the file changes.
    statuses.clear();
    WriteData("9 1 A");
    ASSERT_TRUE(RunUntil(30000));
    EXPECT_EQ(statuses, (std::vector<std::string>{kStatusReadError}));
}

} // namespace

// The operator's choice of a data file (the window's "Wybierz plik") while the sign answers,
// after it stops answering, and while it is lost; and a leave from inside the loss's status.
TEST_F(WatchPolicyTest, AChosenFileFollowsTheLineState) {
    Make();
    const std::string other = dir.File("inny.txt");
    dir.Write("inny.txt", "1 1 C");
    files.Stamps[other] = FileStamp{true, 1, 5, true};
    watch->ChooseFile(other);
    EXPECT_EQ(link.CallsFrom(0).back(), "send C");

    link.SendResult = kComNoReply;
    link.OpenResult = 1;
    watch->ChooseFile(other); // no reply: lost, port closed
    EXPECT_FALSE(watch->Connected());
    EXPECT_FALSE(link.IsOpen);
    EXPECT_EQ(Count(kWatchStatusLost), 1u);
    WriteData("1 1 D");
    link.Calls.clear();
    watch->ChooseFile(data); // lost: only the name changes
    EXPECT_TRUE(link.Calls.empty());
    link.SendResult = 0;
    link.OpenResult = 0;
    ASSERT_TRUE(RunUntil(clock.Now + 2000));
    EXPECT_EQ(link.CallsFrom(0), (std::vector<std::string>{"open", "clock", "send D"}));

    // Left while the loss is being shown: the backoff does not start, nothing probes later.
    watch = std::make_unique<WatchPolicy>(
        link, files, clock,
        [this](const std::string& s) {
            if (s == kWatchStatusLost) {
                watch->Leave();
            }
        },
        WatchTiming{});
    ASSERT_EQ(watch->Start("COM3", 380), 0);
    link.SendResult = kComNoReply;
    link.Calls.clear();
    watch->ChooseFile(other);
    EXPECT_FALSE(watch->Running());
    EXPECT_EQ(link.Times("close").size(), 1u); // the leave's, none after it
    link.Calls.clear();
    clock.Now += 10000;
    EXPECT_TRUE(watch->Step());
    EXPECT_TRUE(link.Calls.empty());
}
