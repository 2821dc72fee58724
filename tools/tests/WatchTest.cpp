// The file synchronisation mode against ledsign-emulator over a real pseudo-terminal: the mode
// object driven directly through ComProtocol, and the `ledsign watch` command as a process.
//
// The suites named *RealTime bound the wall clock: `ledsign watch` runs as a process on a real
// pseudo-terminal and stops on real signals, so no injected clock can stand in.
// They run alone (label "realtime"); each bound lies far below the wait it tells apart (the
// 5.1 s of polling, a 3 s connect, a sign's delay) and far above what an idle machine needs.

#ifdef LEDSIGN_EMULATOR // the software sign exists where pseudo-terminals do

#include "autosync/ProtocolSignLink.h"
#include "autosync/Unitautosync.h"
#include "autosync/WatchPolicy.h"
#include "comm/Unitcomprotocol.h"
#include "testsupport/SoftwareSign.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include <sys/stat.h>

using test_files::WriteText;
using tool_tests::RunResult;
using tool_tests::RunToCompletion;
using tool_tests::Sign;
using tool_tests::Slot9Line;
using tool_tests::Subprocess;

namespace fs = std::filesystem;

namespace {

using TempDir = test_files::ScratchDir;
const std::string kBlankLine = Slot9Line("", 0, 0);

// The mode over the real protocol, with its statuses collected.
struct Mode {
    Mode()
        : link(protocol), sync(link, files, [this](const std::string& s) { status.push_back(s); }) {
    }
    ComProtocol protocol;
    ProtocolSignLink link;
    SystemFileStatus files;
    std::vector<std::string> status;
    CAutoSync sync;
};

TEST(SyncModeOnSign, RunsAndLeavesWithABlankMessage) {
    TempDir dir;
    Sign sign(dir.Path());
    ASSERT_FALSE(sign.Port().empty());
    Mode mode;
    mode.sync.SetDataFileName(dir / "dane.txt");
    ASSERT_EQ(mode.sync.StartSync(sign.Port()), 0);
    mode.sync.TimerSynchroTimer(); // no file yet
    WriteText(dir / "dane.txt", "1 4 Temperatura 21C\n");
    mode.sync.TimerSynchroTimer();
    mode.sync.TimerSynchroTimer(); // unchanged
    mode.sync.LeaveSync();
    EXPECT_EQ(mode.status, (std::vector<std::string>{kStatusStarting, kStatusSyncingClock,
                                                     kStatusSending, kStatusOk}));
    const std::vector<std::string> log = sign.Log();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0].rfind("cmd=11 slot=0 len=6 ", 0), 0u) << log[0];
    EXPECT_EQ(log[1], Slot9Line("Temperatura 21C ", 4, 0));
    EXPECT_EQ(log[2], kBlankLine);
    // The port was released: another program can open it now.
    ComProtocol other;
    EXPECT_EQ(other.Open(sign.Port().c_str()), 0);
}

TEST(SyncModeOnSign, PortErrorNamesThePort) {
    TempDir dir;
    Mode mode;
    const std::string port = dir / "no-such-tty";
    EXPECT_EQ(mode.sync.StartSync(port), 1);
    EXPECT_FALSE(mode.sync.SyncActive());
    EXPECT_EQ(mode.status, (std::vector<std::string>{kStatusStarting,
                                                     std::string(kStatusPortError) + port + " !"}));
}

TEST(SyncModeOnSign, RefusedClockClosesThePort) {
    TempDir dir;
    Sign sign(dir.Path(), {"--refuse"});
    Mode mode;
    EXPECT_EQ(mode.sync.StartSync(sign.Port()), 1);
    EXPECT_FALSE(mode.sync.SyncActive());
    EXPECT_EQ(mode.status.back(), kStatusClockError);
    ComProtocol other;
    EXPECT_EQ(other.Open(sign.Port().c_str()), 0) << "port still held after the clock failure";
    // Leaving from the failed start sends nothing.
    mode.sync.LeaveSync();
    EXPECT_EQ(sign.Log().size(), 1u);
}

TEST(SyncModeOnSign, LostSignKeepsTheModeRunning) {
    TempDir dir;
    Sign sign(dir.Path());
    Mode mode;
    mode.sync.SetDataFileName(dir / "dane.txt");
    ASSERT_EQ(mode.sync.StartSync(sign.Port()), 0);
    sign.Process().Kill(); // the sign goes away while the mode runs
    WriteText(dir / "dane.txt", "0 1 X\n");
    mode.sync.TimerSynchroTimer();
    EXPECT_EQ(mode.status.back(), kStatusSendError);
    EXPECT_TRUE(mode.sync.SyncActive());
    mode.sync.LeaveSync();
    EXPECT_FALSE(mode.sync.SyncActive());
}

RunResult Ledsign(std::vector<std::string> args) {
    args.insert(args.begin(), LEDSIGN_BIN);
    return RunToCompletion(args);
}

TEST(Watch, FollowsTheFileAndBlanksTheSignOnSigterm) {
    TempDir dir;
    Sign sign(dir.Path());
    ASSERT_FALSE(sign.Port().empty());
    const std::string data = dir / "dane.txt";
    WriteText(data, "1 4 Raz\n");
    Subprocess watch({LEDSIGN_BIN, "watch", "--port", sign.Port(), "--interval", "0.1", data});
    ASSERT_TRUE(sign.WaitForSlot9(1));
    // Same size as before: only the time tells this version apart.
    WriteText(data, "0 3 Dwa\n");
    ASSERT_TRUE(sign.WaitForSlot9(2));
    WriteText(data, "1 5 Trzy \xb9\xea\r\n");
    ASSERT_TRUE(sign.WaitForSlot9(3));

    std::vector<std::string> lines;
    for (std::string l; lines.size() < 8 && !(l = watch.ReadLine()).empty();) {
        lines.push_back(l);
    }
    const int status = watch.Terminate();
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);

    EXPECT_EQ(sign.Slot9Log(),
              (std::vector<std::string>{Slot9Line("Raz ", 4, 0), Slot9Line("Dwa ", 3, 1),
                                        Slot9Line("Trzy \xb9\xea ", 5, 0), kBlankLine}));
    const std::regex stamped(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d (.*))");
    const std::vector<std::string> expected = {
        kStatusStarting, kStatusSyncingClock, kStatusSending, kStatusOk,
        kStatusSending,  kStatusOk,           kStatusSending, kStatusOk};
    ASSERT_EQ(lines.size(), expected.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(lines[i], m, stamped)) << lines[i];
        EXPECT_EQ(m[1].str(), expected[i]);
    }
}

TEST(WatchRealTime, StopInterruptsALongIntervalAtOnce) {
    TempDir dir;
    Sign sign(dir.Path());
    WriteText(dir / "dane.txt", "1 4 Nigdy\n");
    std::size_t requests = 0;
    for (const int sig : {SIGINT, SIGTERM, SIGHUP}) {
        Subprocess watch(
            {LEDSIGN_BIN, "watch", "--port", sign.Port(), "--interval", "30", dir / "dane.txt"});
        // The clock request shows that the start is through (the handlers come before it).
        ASSERT_TRUE(sign.WaitForLines(requests + 1)) << sig;
        const auto start = std::chrono::steady_clock::now();
        kill(watch.Pid(), sig);
        ASSERT_TRUE(sign.WaitForLines(requests + 2)) << sig;
        const int status = watch.Terminate(); // reaps it (a zombie by now or soon)
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10)) << sig;
        ASSERT_TRUE(WIFEXITED(status)) << sig;
        EXPECT_EQ(WEXITSTATUS(status), 0) << sig;
        const std::vector<std::string> log = sign.Log();
        EXPECT_EQ(log[requests].rfind("cmd=11 ", 0), 0u) << sig;
        // The first step would come only after 30 s: the sign gets the blank message only.
        EXPECT_EQ(log[requests + 1], kBlankLine) << sig;
        requests += 2;
    }
}

TEST(Watch, ReopensTheLineWhenTheSignReturnsAndResends) {
    TempDir dir;
    const std::string line = dir / "sign"; // the same name for both runs of the sign
    const std::string data = dir / "dane.txt";
    Sign first(dir.Path(), {"--link", line}, "first");
    ASSERT_FALSE(first.Port().empty());
    WriteText(data, "1 4 Raz\n");
    // No probe: the sign's log below holds only what the return sends.
    Subprocess watch(
        {LEDSIGN_BIN, "watch", "--port", line, "--interval", "0.1", "--probe-interval", "0", data});
    ASSERT_TRUE(first.WaitForSlot9(1));
    first.Process().Terminate();  // the sign's program ends: the line hangs up
    WriteText(data, "1 4 Dwa\n"); // its send finds the line lost
    Sign second(dir.Path(), {"--link", line}, "second");
    ASSERT_FALSE(second.Port().empty());
    // A probe within the backoff's first steps: clock set, then the version that was lost.
    ASSERT_TRUE(second.WaitForSlot9(1));
    bool reported = false;
    for (std::string l; !reported && !(l = watch.ReadLine()).empty();) {
        reported = l.find(kWatchStatusBack) != std::string::npos;
    }
    EXPECT_TRUE(reported);
    const int status = watch.Terminate();
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    const std::vector<std::string> log = second.Log();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0].rfind("cmd=11 ", 0), 0u) << log[0];
    EXPECT_EQ(log[1], Slot9Line("Dwa ", 4, 0));
    EXPECT_EQ(log[2], kBlankLine);
}

TEST(Watch, ExitOnLossEndsWithOne) {
    TempDir dir;
    Sign sign(dir.Path());
    const std::string data = dir / "dane.txt";
    Subprocess watch(
        {LEDSIGN_BIN, "watch", "--port", sign.Port(), "--interval", "0.1", "--exit-on-loss", data});
    ASSERT_TRUE(sign.WaitForLines(1));
    sign.Process().Terminate();
    WriteText(data, "1 4 X\n");
    const int status = watch.Wait();
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
}

TEST(Watch, SkipsAFifoWithOneMessageAndNeverOpensIt) {
    TempDir dir;
    Sign sign(dir.Path());
    const std::string fifo = dir / "dane.fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // Dozens of polls, then a stop: an open of the FIFO would block until the stop ends it.
    const std::string script = std::string(LEDSIGN_BIN) + " watch --port '" + sign.Port() +
                               "' --interval 0.05 --probe-interval 0 '" + fifo +
                               "' & pid=$!; sleep 2; kill -TERM $pid; wait $pid";
    const RunResult r = RunToCompletion({"/bin/sh", "-c", script});
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    const std::string skipped = std::string(kWatchStatusNotRegular) + fifo + "\n";
    ASSERT_GT(r.Err.size(), 20u);
    EXPECT_EQ(r.Err.substr(20), skipped); // one stamped line, no read error
    const std::vector<std::string> log = sign.Log();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[1], kBlankLine);
}

TEST(Watch, StartFailuresExitWithOne) {
    TempDir dir;
    Sign refusing(dir.Path(), {"--refuse"});
    const std::string missing = dir / "no-such-tty";
    struct Case {
        std::string Port;
        std::string Error; // the status, then the line's reason
    };
    const std::vector<Case> cases = {
        {missing, std::string(kStatusPortError) + missing + " ! (not found)"},
        {refusing.Port(),
         std::string(kStatusClockError) + " (refused by the sign: reply code 0x81)"},
    };
    for (const Case& c : cases) {
        const RunResult r = Ledsign({"watch", "--port", c.Port, dir / "dane.txt"});
        EXPECT_EQ(r.ExitCode, 1) << c.Port;
        // Errors on stderr, time-stamped like every status; progress stays on stdout.
        ASSERT_FALSE(r.Err.empty()) << c.Port;
        EXPECT_EQ(r.Err.substr(20), c.Error + "\n") << c.Port;
        EXPECT_EQ(r.Out.find(c.Error), std::string::npos) << r.Out;
    }
}

TEST(Watch, ConfigFileSuppliesWhatTheCommandLineLeavesOut) {
    TempDir dir;
    Sign sign(dir.Path());
    ASSERT_FALSE(sign.Port().empty());
    const std::string data = dir / "dane w hali.txt"; // blanks inside a value are kept
    WriteText(data, "1 4 Raz\n");
    const std::string config = dir / "hall.conf";
    WriteText(config, "# the sign in the hall\n\n  port = " + sign.Port() +
                          "\r\ninterval=0.1\naddress = 380\ndata-file = " + data + "  \n");
    Subprocess fromFile({LEDSIGN_BIN, "watch", "--config", config});
    ASSERT_TRUE(sign.WaitForSlot9(1));
    int status = fromFile.Terminate();
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);

    // The command line wins over the file, whatever the order of the options.
    WriteText(config, "port = " + (dir / "no-such-tty") + "\ninterval = 0.1\n");
    Subprocess overridden({LEDSIGN_BIN, "watch", "--port", sign.Port(), "--config", config, data});
    ASSERT_TRUE(sign.WaitForSlot9(3));
    status = overridden.Terminate();
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(sign.Slot9Log(), (std::vector<std::string>{Slot9Line("Raz ", 4, 0), kBlankLine,
                                                         Slot9Line("Raz ", 4, 0), kBlankLine}));
}

// Every problem with a configuration exits 2 with one line that names the file, the line
// where there is one and the reason, and no usage text; nothing blocks or grows.
TEST(Watch, BadConfigurationsFailTheStart) {
    TempDir dir;
    const std::string written = dir / "watch.conf";
    const std::string fifo = dir / "watch.fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    struct Case {
        std::string Text; // written to watch.conf, unless Path names another file
        std::string Reason;
        std::string Path;
    };
    const std::vector<Case> cases = {
        {"port = /dev/null\nspeed = 9600\n", ":2: unknown key 'speed'", ""},
        {"port /dev/null\n", ":1: expected 'key = value', got 'port /dev/null'", ""},
        {"port =\n", ":1: no value for 'port'", ""},
        {"port = /dev/null\ninterval = 0\n", ":2: bad interval '0'", ""},
        {"# hall\n\nport = /dev/null\naddress = 65536\n", ":4: bad address '65536'", ""},
        {"port = /dev/null\nprobe-interval = 1.5\n", ":2: bad probe interval '1.5'", ""},
        {"interval = 1\n", ": no 'port' in the file nor --port", ""},
        {"", ": No such file or directory", dir / "missing.conf"},
        {"", ": it is not a regular file", "/dev/zero"},
        {"", ": it is not a regular file", fifo},
        {std::string(70000, '#'), ": it is larger than 64 KiB", ""},
    };
    for (const Case& c : cases) {
        const std::string config = c.Path.empty() ? written : c.Path;
        if (c.Path.empty()) {
            WriteText(config, c.Text);
        }
        const RunResult r = Ledsign({"watch", "--config", config, dir / "dane.txt"});
        EXPECT_EQ(r.ExitCode, 2) << config << c.Text;
        EXPECT_NE(r.Err.find(config + c.Reason), std::string::npos) << c.Reason << "\n" << r.Err;
        EXPECT_EQ(r.Err.find("Usage"), std::string::npos) << r.Err;
        EXPECT_EQ(std::count(r.Err.begin(), r.Err.end(), '\n'), 1) << r.Err;
        EXPECT_TRUE(r.Out.empty()) << r.Out;
    }
}

// A data file that is not there yet: said once on stderr with the reason, then followed.
TEST(Watch, ReportsAMissingDataFileOnceAndSendsItWhenItComes) {
    TempDir dir;
    Sign sign(dir.Path());
    const std::string data = dir / "dane.txt";
    const std::string script = std::string(LEDSIGN_BIN) + " watch --port '" + sign.Port() +
                               "' --interval 0.05 --probe-interval 0 '" + data +
                               "' & pid=$!; sleep 1; printf '1 4 Raz\\n' > '" + data +
                               "'; sleep 1; kill -TERM $pid; wait $pid";
    const RunResult r = RunToCompletion({"/bin/sh", "-c", script});
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    ASSERT_GT(r.Err.size(), 20u);
    EXPECT_EQ(r.Err.substr(20),
              std::string(kWatchStatusMissing) + data + " (No such file or directory)\n");
    EXPECT_NE(r.Out.find(std::string(kWatchStatusFileBack) + data), std::string::npos) << r.Out;
    EXPECT_EQ(sign.Slot9Log(), (std::vector<std::string>{Slot9Line("Raz ", 4, 0), kBlankLine}));
}

TEST(Watch, BadUsageExitsWithTwo) {
    const std::vector<std::vector<std::string>> cases = {
        {"watch"},
        {"watch", "dane.txt"},
        {"watch", "--port", "/dev/null"},
        {"watch", "--port", "/dev/null", "a.txt", "b.txt"},
        {"watch", "--port", "/dev/null", "--interval", "0", "a.txt"},
        {"watch", "--port", "/dev/null", "--interval", "-1", "a.txt"},
        {"watch", "--port", "/dev/null", "--interval", "nan", "a.txt"},
        {"watch", "--port", "/dev/null", "--interval", "1s", "a.txt"},
        {"watch", "--port", "/dev/null", "--address", "65536", "a.txt"},
        {"watch", "--port", "/dev/null", "--probe-interval", "-1", "a.txt"},
        {"watch", "--port", "/dev/null", "--probe-interval", "90s", "a.txt"},
        {"watch", "--port", "/dev/null", "--probe-interval", "86401", "a.txt"},
        {"watch", "--port", "/dev/null", "--bogus", "a.txt"},
        {"watch", "--port"},
    };
    for (const auto& args : cases) {
        const RunResult r = Ledsign(args);
        EXPECT_EQ(r.ExitCode, 2) << args.size() << " " << args.back();
        EXPECT_TRUE(r.Out.empty()) << r.Out;
    }
    EXPECT_EQ(Ledsign({"watch", "--help"}).ExitCode, 0);
}

} // namespace

#endif // LEDSIGN_EMULATOR
