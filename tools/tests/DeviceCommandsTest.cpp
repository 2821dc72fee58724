// ledsign's device commands against ledsign-emulator over a real pseudo-terminal.
//
// The suites named *RealTime bound the wall clock: the tool and the software sign run as processes
// on a real pseudo-terminal or socket and stop on real signals, so no injected clock can stand in.
// They run alone (label "realtime"); each bound lies far below the wait it tells apart (the
// 5.1 s of polling, a 3 s connect, a sign's delay) and far above what an idle machine needs.

#ifdef LEDSIGN_EMULATOR // the software sign exists where pseudo-terminals do

#include "autosync/Unitautosync.h"
#include "testsupport/SoftwareSign.h"

#include <algorithm>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <chrono>
#include <csignal>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using test_files::WriteAll;
using test_files::WriteText;
using tool_tests::RequestLine;
using tool_tests::RunResult;
using tool_tests::RunToCompletion;
using tool_tests::Sign;
using tool_tests::Subprocess;
using TempDir = test_files::ScratchDir;

namespace fs = std::filesystem;

namespace {

using test_files::Bytes;

// A message buffer whose bytes differ from slot to slot and cover the escaped values.
Bytes Message(int seed) {
    Bytes m(1024);
    for (std::size_t i = 0; i < m.size(); ++i) {
        m[i] = static_cast<std::uint8_t>((i * 7 + static_cast<std::size_t>(seed) * 31) % 256);
    }
    return m;
}

RunResult Ledsign(std::vector<std::string> args) {
    args.insert(args.begin(), LEDSIGN_BIN);
    return RunToCompletion(args);
}

constexpr const char* kSetpriv = "/usr/bin/setpriv";

// ledsign as a user without privileges: as it is when the tests already run as one, as nobody
// when they run as root (who passes the very checks these runs are about).
RunResult LedsignUnprivileged(std::vector<std::string> args) {
    args.insert(args.begin(), LEDSIGN_BIN);
    if (geteuid() == 0) {
        args.insert(args.begin(),
                    {kSetpriv, "--reuid=nobody", "--regid=nogroup", "--clear-groups"});
    }
    return RunToCompletion(args);
}

// Whether the terminal `port` carries the exclusive flag: 1 set, 0 clear, -1 unknown. Root
// opens past the flag and reads it; anyone else is refused by it.
int ExclusiveFlag(const std::string& port) {
    const int fd = open(port.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        return errno == EBUSY ? 1 : -1;
    }
    int exclusive = 0;
    const int got = ioctl(fd, TIOCGEXCL, &exclusive);
    close(fd);
    return got == 0 ? (exclusive != 0 ? 1 : 0) : -1;
}

// A loopback listener that never accepts. With `fill`, its queue is filled first, so that a
// further connection request is dropped as by a host gone quiet; without, connections complete
// (in the kernel) and nothing ever answers on them.
class QuietListener {
public:
    explicit QuietListener(bool fill) {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
            ::listen(fd_, fill ? 0 : 8) != 0 ||
            getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
            return;
        }
        port_ = ntohs(address.sin_port);
        for (int i = 0; fill && i < 4; ++i) {
            const int queued = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            // In progress (EINPROGRESS): it is queued or, once the queue is full, dropped.
            (void)::connect(queued, reinterpret_cast<sockaddr*>(&address), size);
            queued_.push_back(queued);
        }
    }
    ~QuietListener() {
        for (const int fd : queued_) {
            ::close(fd);
        }
        ::close(fd_);
    }
    QuietListener(const QuietListener&) = delete;
    QuietListener& operator=(const QuietListener&) = delete;

    std::string Address() const { return "127.0.0.1:" + std::to_string(port_); }

private:
    int fd_ = -1;
    int port_ = 0;
    std::vector<int> queued_;
};

struct StoppedRun {
    bool Cued = false;
    int ExitCode = -1;             // -1 when the process did not exit normally
    double Seconds = 0;            // from the signal to the end of the process
    std::vector<std::string> Said; // the lines after the cue that are not trace lines
};

// Runs `args` with stdout and stderr on one pipe, sends SIGINT `delay` after a line holding `cue`
// has come, and collects what follows.
StoppedRun StopOnCue(std::vector<std::string> args, const std::string& cue,
                     std::chrono::milliseconds delay = {}) {
    StoppedRun run;
    int out[2];
    if (tool_tests::detail::Pipe(out) != 0) {
        return run;
    }
    const pid_t pid = tool_tests::detail::Spawn(std::move(args), out[1], out[1]);
    ::close(out[1]);
    std::chrono::steady_clock::time_point signalled;
    std::string pending;
    char chunk[4096];
    for (ssize_t n; (n = ::read(out[0], chunk, sizeof chunk)) != 0;) {
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        pending.append(chunk, static_cast<std::size_t>(n));
        for (std::size_t nl; (nl = pending.find('\n')) != std::string::npos;) {
            const std::string line = pending.substr(0, nl);
            pending.erase(0, nl + 1);
            const bool trace = line.rfind("-- ", 0) == 0 || line.rfind("  ", 0) == 0 ||
                               line.rfind(">> ", 0) == 0 || line.rfind("<< ", 0) == 0;
            if (run.Cued && !trace) {
                run.Said.push_back(line);
            } else if (!run.Cued && line.find(cue) != std::string::npos) {
                run.Cued = true;
                std::this_thread::sleep_for(delay);
                signalled = std::chrono::steady_clock::now();
                kill(pid, SIGINT);
            }
        }
    }
    ::close(out[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    run.Seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - signalled).count();
    run.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

} // namespace

TEST(DeviceCommands, SendStoresEachSlotWithItsCommand) {
    TempDir dir;
    Sign sign(dir.Path());
    ASSERT_FALSE(sign.Port().empty());
    struct Case {
        std::vector<std::string> slotArgs;
        int command;
        int slot;
    };
    const Case cases[] = {
        {{}, 0x15, 9},
        {{"--slot", "9"}, 0x15, 9},
        {{"--slot", "1"}, 0x01, 1},
        {{"--slot", "5"}, 0x05, 5},
        {{"--slot", "8"}, 0x08, 8},
    };
    std::vector<std::string> expected;
    for (const Case& c : cases) {
        const Bytes message = Message(c.slot + static_cast<int>(expected.size()));
        const std::string file = dir / ("m" + std::to_string(expected.size()) + ".kom");
        WriteAll(file, message);
        std::vector<std::string> args = {"send", "--port", sign.Port()};
        args.insert(args.end(), c.slotArgs.begin(), c.slotArgs.end());
        args.push_back(file);
        const RunResult r = Ledsign(args);
        EXPECT_EQ(r.ExitCode, 0) << r.Out << r.Err;
        EXPECT_NE(r.Out.find("slot " + std::to_string(c.slot)), std::string::npos) << r.Out;
        expected.push_back(RequestLine(c.command, c.slot, message));
    }
    EXPECT_EQ(sign.Log(), expected);
}

TEST(DeviceCommands, ShortMessageFileIsPaddedWithZeros) {
    TempDir dir;
    Sign sign(dir.Path());
    const Bytes part = {0x04, 'A', 0x14, 0xFF, 0x00};
    WriteAll(dir / "short.kom", part);
    const RunResult r = Ledsign({"send", "--port", sign.Port(), dir / "short.kom"});
    EXPECT_EQ(r.ExitCode, 0) << r.Out << r.Err;
    EXPECT_NE(r.Err.find("warning: '" + dir / "short.kom" + "' holds 5 bytes"), std::string::npos)
        << r.Err;
    EXPECT_EQ(r.Out.find("warning"), std::string::npos) << r.Out;
    Bytes expected(1024, 0);
    std::copy(part.begin(), part.end(), expected.begin());
    EXPECT_EQ(sign.Log(), std::vector<std::string>{RequestLine(0x15, 9, expected)});
}

TEST(DeviceCommands, SendSetStoresEightSlotsInOrder) {
    TempDir dir;
    Sign sign(dir.Path());
    Bytes set;
    std::vector<std::string> expected;
    for (int slot = 1; slot <= 8; ++slot) {
        const Bytes m = Message(100 + slot);
        set.insert(set.end(), m.begin(), m.end());
        expected.push_back(RequestLine(slot, slot, m));
    }
    WriteAll(dir / "set.kzb", set);
    const RunResult r = Ledsign({"send-set", "--port", sign.Port(), dir / "set.kzb"});
    EXPECT_EQ(r.ExitCode, 0) << r.Out << r.Err;
    EXPECT_EQ(sign.Log(), expected);
}

TEST(DeviceCommands, SendSetRefusesAFileThatIsNotASetUnlessAllowed) {
    TempDir dir;
    Sign sign(dir.Path());
    // A message file given by mistake, a stray byte, one byte short, one too many.
    for (const std::size_t size :
         {std::size_t{1024}, std::size_t{1}, std::size_t{8191}, std::size_t{8193}}) {
        const std::string file = dir / ("s" + std::to_string(size) + ".kzb");
        WriteAll(file, Bytes(size, 0x41));
        const RunResult r = Ledsign({"send-set", "--port", sign.Port(), file});
        EXPECT_EQ(r.ExitCode, 1) << size;
        EXPECT_EQ(r.Err, "ledsign send-set: '" + file + "' is " + std::to_string(size) +
                             (size == 1 ? " byte" : " bytes") +
                             "; a message-set file is 8192 bytes; nothing was sent "
                             "(--allow-short sends it anyway)\n");
        EXPECT_EQ(r.Out, "") << size;
    }
    EXPECT_TRUE(sign.Log().empty());
    // Asked for, a message file fills slot 1 and blanks slots 2 to 8, with a warning.
    const Bytes message = Message(7);
    WriteAll(dir / "m.kom", message);
    const RunResult r =
        Ledsign({"send-set", "--allow-short", "--port", sign.Port(), dir / "m.kom"});
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_NE(r.Err.find("warning: '" + dir / "m.kom" + "' holds 1024 bytes"), std::string::npos)
        << r.Err;
    std::vector<std::string> expected = {RequestLine(1, 1, message)};
    for (int slot = 2; slot <= 8; ++slot) {
        expected.push_back(RequestLine(slot, slot, Bytes(1024, 0)));
    }
    EXPECT_EQ(sign.Log(), expected);
}

TEST(DeviceCommands, SendSetStopsAtTheFirstFailureAndNamesIt) {
    TempDir dir;
    Sign sign(dir.Path(), {"--refuse"});
    WriteAll(dir / "set.kzb", Bytes(8192, 0x41));
    const RunResult r = Ledsign({"send-set", "--port", sign.Port(), dir / "set.kzb"});
    EXPECT_EQ(r.ExitCode, 8); // refused by the sign
    EXPECT_NE(r.Err.find("message 1 "), std::string::npos) << r.Err;
    EXPECT_EQ(sign.Log().size(), 1u);
}

TEST(DeviceCommands, SyncClockSendsTheLocalTime) {
    TempDir dir;
    Sign sign(dir.Path());
    auto payload = [] {
        const std::time_t now = std::time(nullptr);
        std::tm t{};
        localtime_r(&now, &t);
        return RequestLine(
            0x11, 0,
            {static_cast<std::uint8_t>(t.tm_year - 100), static_cast<std::uint8_t>(t.tm_mon + 1),
             static_cast<std::uint8_t>(t.tm_mday), static_cast<std::uint8_t>(t.tm_hour),
             static_cast<std::uint8_t>(t.tm_min), 0});
    };
    const std::string before = payload();
    const RunResult r = Ledsign({"sync-clock", "--port", sign.Port()});
    const std::string after = payload();
    EXPECT_EQ(r.ExitCode, 0) << r.Out << r.Err;
    const std::vector<std::string> log = sign.Log();
    ASSERT_EQ(log.size(), 1u);
    // The sixth byte is sent as 0; a minute may turn during the run.
    EXPECT_TRUE(log[0] == before || log[0] == after) << log[0];
}

TEST(DeviceCommands, ShowSelectsEachSlot) {
    TempDir dir;
    Sign sign(dir.Path());
    std::vector<std::string> expected;
    for (int slot : {1, 4, 9}) {
        const RunResult r = Ledsign({"show", "--port", sign.Port(), std::to_string(slot)});
        EXPECT_EQ(r.ExitCode, 0) << r.Out << r.Err;
        expected.push_back(RequestLine(0x15 + slot, slot, {}));
    }
    EXPECT_EQ(sign.Log(), expected);
}

TEST(DeviceCommandsRealTime, RepliesThatStillCountAsDone) {
    // Each reply arrives whole in the end: split into single bytes, after junk, after a delay.
    TempDir dir;
    for (const auto& options : std::vector<std::vector<std::string>>{{"--split"},
                                                                     {"--noise"},
                                                                     {"--noise", "--split"},
                                                                     {"--delay", "400"},
                                                                     {"--line-rate"}}) {
        Sign sign(dir.Path(), options, "sign-" + options[0].substr(2));
        const RunResult r = Ledsign({"show", "--port", sign.Port(), "2"});
        EXPECT_EQ(r.ExitCode, 0) << options[0] << ": " << r.Out << r.Err;
        EXPECT_EQ(sign.Log().size(), 1u) << options[0];
        if (options[0] == "--delay") {
            EXPECT_GE(r.Seconds, 0.4); // the sign's delay did come between
        }
    }
}

TEST(DeviceCommandsRealTime, RefusedRequestFailsAtOnce) {
    TempDir dir;
    Sign sign(dir.Path(), {"--refuse"});
    const RunResult r = Ledsign({"show", "--port", sign.Port(), "1"});
    EXPECT_EQ(r.ExitCode, 8);
    EXPECT_NE(r.Err.find("refused showing slot 1: refused by the sign"), std::string::npos)
        << r.Err;
    EXPECT_TRUE(r.Out.empty()) << r.Out;
    EXPECT_LT(r.Seconds, 3.0); // not the 5.1 s of polling
}

TEST(DeviceCommandsRealTime, MissingOrInvalidRepliesFailAfterTheWholePollingTime) {
    // Three slow cases, run side by side: each takes the full 51 polls (about 5.1 s).
    TempDir dir;
    struct Case {
        std::vector<std::string> options;
        std::vector<std::string> address;
        std::string said;
    };
    const Case cases[] = {
        {{"--silent"}, {}, "no reply from sign 380 on "},
        // A valid reply could still follow a damaged one, so it too waits the whole time.
        {{"--garble"}, {}, "bad reply from sign 380 on "},
        // A request for another sign gets no answer.
        {{}, {"--address", "381"}, "no reply from sign 381 on "},
    };
    std::vector<std::unique_ptr<Sign>> signs;
    std::vector<std::future<RunResult>> runs;
    for (const Case& c : cases) {
        signs.push_back(
            std::make_unique<Sign>(dir.Path(), c.options, "s" + std::to_string(signs.size())));
        std::vector<std::string> args = {"show", "--port", signs.back()->Port(), "3"};
        args.insert(args.end(), c.address.begin(), c.address.end());
        runs.push_back(std::async(std::launch::async, Ledsign, args));
    }
    for (std::size_t i = 0; i < runs.size(); ++i) {
        const RunResult r = runs[i].get();
        EXPECT_EQ(r.ExitCode, 7) << i << r.Out << r.Err; // no answer
        EXPECT_NE(r.Err.find(cases[i].said), std::string::npos) << i << r.Err;
        EXPECT_NE(r.Err.find(i == 1 ? "a reply arrived damaged (checksum)"
                                    : "timed out: no reply after about 5.1 s"),
                  std::string::npos)
            << i << r.Err;
        EXPECT_GE(r.Seconds, 5.0) << i;
        EXPECT_LT(r.Seconds, 10.0) << i;
    }
    // The silent and garbling signs did get their request; the other sign never saw one.
    EXPECT_EQ(signs[0]->Log().size(), 1u);
    EXPECT_EQ(signs[1]->Log().size(), 1u);
    EXPECT_TRUE(signs[2]->Log().empty());
}

TEST(DeviceCommands, AddressOptionReachesAnotherSign) {
    TempDir dir;
    Sign sign(dir.Path(), {"--address", "4660"});
    const RunResult r = Ledsign({"show", "--port", sign.Port(), "--address", "4660", "7"});
    EXPECT_EQ(r.ExitCode, 0) << r.Out << r.Err;
    EXPECT_EQ(sign.Log(), std::vector<std::string>{RequestLine(0x1C, 7, {})});
}

TEST(DeviceCommandsRealTime, PortHeldByAnotherCommandCannotBeOpened) {
    TempDir dir;
    const std::string link = dir / "ttySIGN";
    Sign sign(dir.Path(), {"--delay", "3000", "--link", link});
    ASSERT_EQ(fs::read_symlink(link).string(), sign.Port());
    auto holder = std::async(std::launch::async, Ledsign,
                             std::vector<std::string>{"show", "--port", sign.Port(), "1"});
    // Wait until the holder's request has reached the sign, so it surely holds the port.
    for (int i = 0; i < 200 && sign.Log().empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    for (const std::string& name : {sign.Port(), link}) {
        const RunResult second = Ledsign({"show", "--port", name, "2"});
        EXPECT_EQ(second.ExitCode, 5) << name; // in use
        // Named from the lock the holder took, root or not.
        EXPECT_NE(second.Err.find("cannot open port " + name + ": in use by ledsign (pid"),
                  std::string::npos)
            << second.Err;
        EXPECT_LT(second.Seconds, 2.0); // without waiting for the holder's 3 s
    }
    const RunResult first = holder.get();
    EXPECT_EQ(first.ExitCode, 0) << first.Out << first.Err;
    EXPECT_EQ(sign.Log().size(), 1u);
    // Once the holder is done, the port is free again.
    EXPECT_EQ(Ledsign({"show", "--port", link, "2"}).ExitCode, 0);
}

TEST(DeviceCommands, PortsThatCannotBeUsedFailWithoutWriting) {
    TempDir dir;
    WriteAll(dir / "regular", {});
    WriteAll(dir / "m.kom", Message(1));
    const struct {
        std::string Port;
        std::string Reason;
        int Exit;
    } cases[] = {
        {dir / "regular", "not a serial line", 6},
        {dir / "missing", "not found", 3},
        {"/dev/null", "not a serial line", 6},
    };
    for (const auto& [port, reason, exit] : cases) {
        const RunResult r = Ledsign({"send", "--port", port, dir / "m.kom"});
        EXPECT_EQ(r.ExitCode, exit) << port;
        EXPECT_EQ(r.Err,
                  std::string("cannot open port ").append(port).append(": ").append(reason) + "\n");
        EXPECT_TRUE(r.Out.empty()) << r.Out;
    }
    EXPECT_EQ(fs::file_size(dir / "regular"), 0u);
    EXPECT_FALSE(fs::exists(dir / "missing"));
}

TEST(DeviceCommandsRealTime, SignVanishingMidTransactionFailsAtOnce) {
    TempDir dir;
    Sign sign(dir.Path(), {"--silent"});
    WriteAll(dir / "m.kom", Message(2));
    auto run = std::async(std::launch::async, Ledsign,
                          std::vector<std::string>{"send", "--port", sign.Port(), dir / "m.kom"});
    for (int i = 0; i < 200 && sign.Log().empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_EQ(sign.Log().size(), 1u);
    const auto killed = std::chrono::steady_clock::now();
    sign.Process().Kill();
    const RunResult r = run.get();
    const double afterKill =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - killed).count();
    EXPECT_EQ(r.ExitCode, 7); // line lost: no answer
    EXPECT_NE(r.Err.find("no reply from sign 380 on " + sign.Port() +
                         " to message for slot 9: " + "line lost"),
              std::string::npos)
        << r.Err;
    EXPECT_LT(afterKill, 2.0); // not the rest of the 5.1 s of polling
}

TEST(DeviceCommandsRealTime, ReplyLeftByAVanishedClientDoesNotAnswerTheNextOne) {
    TempDir dir;
    Sign sign(dir.Path(), {"--delay", "300"});
    {
        Subprocess gone({LEDSIGN_BIN, "show", "--port", sign.Port(), "1"});
        for (int i = 0; i < 200 && sign.Log().empty(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        gone.Terminate(); // a client killed outright is the next test's
    }
    // The sign answers the stopped client into the line after 300 ms.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const RunResult r = Ledsign({"show", "--port", sign.Port(), "2"});
    EXPECT_EQ(r.ExitCode, 0) << r.Out << r.Err;
    // Its own reply comes only after the sign's 300 ms; the stale one would come at once.
    EXPECT_GE(r.Seconds, 0.3);
    EXPECT_EQ(sign.Log().size(), 2u);
}

TEST(DeviceCommandsRealTime, StopSignalEndsTheTransactionAndFreesTheLine) {
    TempDir dir;
    Sign sign(dir.Path(), {"--silent"});
    std::size_t requests = 0;
    for (const int sig : {SIGINT, SIGTERM, SIGHUP}) {
        Subprocess show({LEDSIGN_BIN, "show", "--port", sign.Port(), "1"});
        ASSERT_TRUE(sign.WaitForLines(++requests)) << sig;
        const auto start = std::chrono::steady_clock::now();
        kill(show.Pid(), sig);
        const int status = show.Wait();
        // Well before the 5.1 s the silent sign would otherwise cost.
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3)) << sig;
        ASSERT_TRUE(WIFEXITED(status)) << sig; // not ended by the signal itself
        EXPECT_EQ(WEXITSTATUS(status), 1) << sig;
        EXPECT_EQ(ExclusiveFlag(sign.Port()), 0) << sig;
    }
}

TEST(DeviceCommandsRealTime, StopSignalEndsEveryNetworkWaitAtOnceWithOneLine) {
    TempDir dir;
    WriteAll(dir / "m.kom", Message(3));
    const QuietListener unreachable(true);
    const QuietListener silent(false);
    const struct Case {
        std::string Port;
        const char* Cue; // the trace line after which the command waits
    } cases[] = {
        {"tcp://" + unreachable.Address(), "-- connecting to"},
        {"rfc2217://" + unreachable.Address(), "-- connecting to"},
        {"rfc2217://" + silent.Address(), "-- telnet: sent WILL BINARY"},
        {"tcp://" + silent.Address(), ">> sent"},
    };
    for (const Case& c : cases) {
        const StoppedRun run =
            StopOnCue({LEDSIGN_BIN, "send", "--trace", "--port", c.Port, dir / "m.kom"}, c.Cue);
        ASSERT_TRUE(run.Cued) << c.Port;
        std::printf("%s %s: ended %.3f s after SIGINT\n", c.Port.c_str(), c.Cue, run.Seconds);
        // Within 0.3 s on an idle machine (a few ms), against the 3 s a connect or negotiation
        // may take. The margin is for a loaded machine and for ThreadSanitizer, whose runtime
        // sleeps 1 s at exit while another thread (the detached name lookup) still lives.
        EXPECT_LT(run.Seconds, 2.0) << c.Port;
        EXPECT_EQ(run.ExitCode, 1) << c.Port;
        EXPECT_EQ(run.Said,
                  std::vector<std::string>{"stopped by a signal; port " + c.Port + " closed"})
            << c.Port;
    }
}

// The watch finishes a transaction after a stop, to blank the sign, but not the opening of the
// port: there is nothing to blank yet.
TEST(WatchRealTime, StopWhileOpeningTheLineEndsAtOnceWithoutALine) {
    TempDir dir;
    WriteText(dir / "dane.txt", "1 4 Nigdy\n");
    const QuietListener unreachable(true);
    const QuietListener silent(false);
    const std::string ports[] = {
        "tcp://" + unreachable.Address(),     // the connect waits
        "rfc2217://" + unreachable.Address(), // the connect waits
        "rfc2217://" + silent.Address(),      // the Telnet negotiation waits
    };
    for (const std::string& port : ports) {
        // The start's status comes just before the open; 0.3 s later the open waits.
        const StoppedRun run = StopOnCue({LEDSIGN_BIN, "watch", "--port", port, dir / "dane.txt"},
                                         kStatusStarting, std::chrono::milliseconds(300));
        ASSERT_TRUE(run.Cued) << port;
        std::printf("watch %s: ended %.3f s after SIGINT\n", port.c_str(), run.Seconds);
        EXPECT_LT(run.Seconds, 2.0) << port; // against the 3 s of a connect or negotiation
        EXPECT_EQ(run.ExitCode, 0) << port;  // as any stop of the watch
        EXPECT_EQ(run.Said, std::vector<std::string>{}) << port; // no port error
    }
}

TEST(DeviceCommands, UnprivilegedOpenSaysWhyItFailed) {
    if (geteuid() == 0 && access(kSetpriv, X_OK) != 0) {
        GTEST_SKIP() << "no setpriv to drop root";
    }
    TempDir dir;
    Sign sign(dir.Path(), {"--silent"});
    const std::string& port = sign.Port();
    // A client killed outright cannot clear the exclusive flag, and a pseudo-terminal keeps it
    // while the sign serves it.
    {
        Subprocess killed({LEDSIGN_BIN, "show", "--port", port, "1"});
        ASSERT_TRUE(sign.WaitForLines(1));
        killed.Kill();
    }
    const bool root = geteuid() == 0;
    struct Case {
        mode_t Mode; // of the terminal; root's is opened by nobody, nobody's by its owner
        std::string Reason;
        int Exit;
    } const cases[] = {
        {0666,
         "in use: the line is held exclusively, probably by a program that was killed; "
         "re-plug the adapter or restart the program serving it",
         5},
        {root ? 0600u : 0000u,
         "permission denied: add yourself to the group that owns the "
         "device, usually dialout, then log in again",
         4},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(chmod(port.c_str(), c.Mode), 0);
        const RunResult r = LedsignUnprivileged({"show", "--port", port, "2"});
        EXPECT_EQ(r.ExitCode, c.Exit) << r.Err;
        EXPECT_EQ(r.Err, "cannot open port " + port + ": " + c.Reason + "\n");
    }
    chmod(port.c_str(), 0600);
    EXPECT_EQ(sign.Log().size(), 1u);
}

TEST(DeviceCommands, SignServesClientsThatOpenAndCloseRepeatedly) {
    TempDir dir;
    Sign sign(dir.Path());
    for (int i = 0; i < 12; ++i) {
        const RunResult r = Ledsign({"show", "--port", sign.Port(), std::to_string(i % 9 + 1)});
        ASSERT_EQ(r.ExitCode, 0) << i << r.Out << r.Err;
        ASSERT_LT(r.Seconds, 1.0) << i;
    }
    EXPECT_EQ(sign.Log().size(), 12u);
}

TEST(DeviceCommands, LinkIsReplacedAndRemovedAtExit) {
    TempDir dir;
    const std::string link = dir / "ttyLED";
    fs::create_symlink("/dev/pts/no-such-terminal", link); // left by an earlier run
    {
        Sign sign(dir.Path(), {"--link", link});
        ASSERT_TRUE(fs::is_symlink(link));
        EXPECT_EQ(fs::read_symlink(link).string(), sign.Port());
        EXPECT_EQ(Ledsign({"show", "--port", link, "1"}).ExitCode, 0);
        const int status = sign.Process().Terminate();
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
    EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
}

TEST(DeviceCommands, LinkNeverReplacesWhatIsNoSymbolicLink) {
    TempDir dir;
    WriteAll(dir / "file", {'k', 'e', 'e', 'p'});
    fs::create_directory(dir / "folder");
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    struct Case {
        std::string Path;
        std::string Kind;
    };
    std::vector<Case> cases = {
        {dir / "file", "a regular file"},
        {dir / "folder", "a folder"},
        {dir / "fifo", "a FIFO"},
    };
    // A device node as a real serial device would be (the null device's numbers), where this
    // user may make one.
    if (mknod((dir / "device").c_str(), S_IFCHR | 0600, makedev(1, 3)) == 0) {
        cases.push_back({dir / "device", "a character device"});
    }
    for (const Case& c : cases) {
        struct stat before {};
        ASSERT_EQ(lstat(c.Path.c_str(), &before), 0) << c.Path;
        // An emulator that took the path would run until killed.
        const RunResult r = RunToCompletion({LEDSIGN_EMULATOR, "--quiet", "--link", c.Path},
                                            std::chrono::seconds(5));
        EXPECT_EQ(r.ExitCode, 2) << c.Path << r.Out;
        EXPECT_EQ(r.Err, "ledsign-emulator: --link " + c.Path + ": it is " + c.Kind +
                             ", not a symbolic link; left untouched\n");
        struct stat after {};
        ASSERT_EQ(lstat(c.Path.c_str(), &after), 0) << c.Path;
        EXPECT_EQ(after.st_ino, before.st_ino) << c.Path;
        EXPECT_EQ(after.st_mode, before.st_mode) << c.Path;
    }
    EXPECT_EQ(test_files::ReadText(dir / "file"), "keep");
    // Nothing left beside them either: the temporary link is gone.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()),
              static_cast<std::ptrdiff_t>(cases.size()));
}

TEST(DeviceCommands, BadUsageAndUnreadableFiles) {
    TempDir dir;
    Sign sign(dir.Path());
    WriteAll(dir / "m.kom", Message(3));
    const std::string m = dir / "m.kom";
    const std::string& p = sign.Port();
    struct Case {
        std::vector<std::string> args;
        int exitCode;
    };
    const Case cases[] = {
        {{"send", m}, 2},           // no port
        {{"send", "--port", p}, 2}, // no file
        {{"send", "--port", p, "--slot", "0", m}, 2},
        {{"send", "--port", p, "--slot", "10", m}, 2},
        {{"send", "--port", p, "--address", "70000", m}, 2},
        {{"send", "--port", p, "--bogus", m}, 2},
        {{"send-set", "--port", p}, 2},
        {{"send", "--port", p, "--allow-short", m}, 2}, // an option of send-set only
        {{"show", "--port", p}, 2},
        {{"show", "--port", p, "0"}, 2},
        {{"show", "--port", p, "10"}, 2},
        {{"show", "--port", p, "x"}, 2},
        {{"sync-clock", "--port", p, "1"}, 2},
        {{"ports", "x"}, 2},
        {{"send", "--port", p, dir / "missing.kom"}, 1},
        {{"send-set", "--port", p, dir / "missing.kzb"}, 1},
        // Not message files: nothing may be sent in their place.
        {{"send", "--port", p, dir.Path().string()}, 1},
        {{"send-set", "--port", p, dir.Path().string()}, 1},
        {{"send", "--port", p, dir / "empty.kom"}, 1},
        {{"send-set", "--port", p, dir / "empty.kzb"}, 1},
        {{"send", "--port", p, "/dev/null"}, 1},
        {{"send-set", "--port", p, "/dev/zero"}, 1},
    };
    WriteAll(dir / "empty.kom", Bytes{});
    WriteAll(dir / "empty.kzb", Bytes{});
    for (const Case& c : cases) {
        const RunResult r = Ledsign(c.args);
        std::string joined;
        for (const std::string& a : c.args) {
            joined += a + " ";
        }
        EXPECT_EQ(r.ExitCode, c.exitCode) << joined << r.Out << r.Err;
        if (c.exitCode == 2 && c.args[0] != "ports") {
            // One reason per bad command line, not a second one that follows from the first.
            EXPECT_EQ(std::count(r.Err.begin(), r.Err.end(), '\n'), 1) << joined << r.Err;
        }
        if (c.exitCode == 1) {
            EXPECT_EQ(r.Out, "") << joined; // stdout carries results only
            EXPECT_NE(r.Err.find("cannot read '" + c.args.back() + "'"), std::string::npos)
                << joined << r.Err;
        }
    }
    // None of them reached the sign.
    EXPECT_TRUE(sign.Log().empty());
}

TEST(DeviceCommands, TraceShowsBothFramesWithTheirHeaders) {
    TempDir dir;
    Sign sign(dir.Path());
    const RunResult r = Ledsign({"show", "--port", sign.Port(), "--trace", "1"});
    EXPECT_EQ(r.ExitCode, 0);
    EXPECT_NE(r.Err.find("FF 00 00 01 7C 16 00 00 88 00"), std::string::npos) << r.Err;
    EXPECT_NE(r.Err.find("FF 01 7C 00 00 80 00 00 1E"), std::string::npos) << r.Err;
    EXPECT_NE(r.Err.find("destination 380 (0x017C), code 0x16"), std::string::npos) << r.Err;
    EXPECT_NE(r.Err.find("source 380 (0x017C), destination 0 (0x0000), code 0x80"),
              std::string::npos)
        << r.Err;
    // Without --trace, stderr stays empty.
    EXPECT_TRUE(Ledsign({"show", "--port", sign.Port(), "1"}).Err.empty());
}

TEST(DeviceCommands, PortsListsWithoutFailing) {
    const RunResult r = Ledsign({"ports"});
    EXPECT_EQ(r.ExitCode, 0);
    EXPECT_FALSE(r.Out.empty());
}

#endif // LEDSIGN_EMULATOR
