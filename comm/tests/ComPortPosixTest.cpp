// ComPort on a real POSIX terminal: a pseudo-terminal pair stands in for the serial line.

#ifndef _WIN32

#include "comm/LineStop.h"
#include "comm/tests/CommTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

long MsSince(Clock::time_point start) {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

// The master side plays the sign; the slave path is what ComPort opens.
class PtyPair {
public:
    PtyPair() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ >= 0 && grantpt(master_) == 0 && unlockpt(master_) == 0) {
            const char* name = ptsname(master_);
            if (name != nullptr) {
                slave_ = name;
            }
        }
    }
    ~PtyPair() { CloseMaster(); }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool Ok() const { return master_ >= 0 && !slave_.empty(); }
    const std::string& SlavePath() const { return slave_; }

    void Send(const Bytes& bytes) const {
        ASSERT_EQ(::write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    // Reads until `count` bytes have come or `timeoutMs` passed.
    Bytes Receive(std::size_t count, int timeoutMs) const {
        Bytes got;
        const auto start = Clock::now();
        while (got.size() < count && MsSince(start) < timeoutMs) {
            pollfd pfd{master_, POLLIN, 0};
            if (::poll(&pfd, 1, 10) == 1 && (pfd.revents & POLLIN) != 0) {
                std::uint8_t buffer[4096];
                const ssize_t n = ::read(master_, buffer, sizeof buffer);
                if (n > 0) {
                    got.insert(got.end(), buffer, buffer + n);
                }
            }
        }
        return got;
    }
    void CloseMaster() {
        if (master_ >= 0) {
            ::close(master_);
            master_ = -1;
        }
    }

private:
    int master_ = -1;
    std::string slave_;
};

// The settings of the terminal `fd`, or a failure.
termios SettingsOf(int fd) {
    termios tio{};
    EXPECT_EQ(tcgetattr(fd, &tio), 0) << std::strerror(errno);
    return tio;
}

bool SameSettings(const termios& a, const termios& b) {
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
           a.c_lflag == b.c_lflag && std::memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0 &&
           cfgetispeed(&a) == cfgetispeed(&b) && cfgetospeed(&a) == cfgetospeed(&b);
}

class PosixPort : public ::testing::Test {
protected:
    void SetUp() override {
        if (!pty.Ok()) {
            GTEST_SKIP() << "no pseudo-terminals here";
        }
        dir = std::filesystem::temp_directory_path() /
              ("comm_tests_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir);
    }
    void TearDown() override {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }

    PtyPair pty;
    std::filesystem::path dir;
};

// The cases that bound the wall clock: the pseudo-terminal and the kernel's wake-ups are real,
// so no injected clock can stand in for them. They run alone (label "realtime"), and each bound
// lies far above what an idle machine needs and far below the wait it tells apart. The
// protocol's own timing (a reply taken the moment it is complete, a lost line ending the
// polls) is checked to the millisecond on the fake clock in TransactionTest.cpp.
class PosixPortRealTime : public PosixPort {};

TEST_F(PosixPort, OpensAPseudoTerminalWithTheSignsLineSettings) {
    ComPort port;
    ASSERT_EQ(port.Open(pty.SlavePath().c_str()), 0);
    EXPECT_TRUE(port.IsOpen());

    // Look at the settings through a second descriptor of our own (not a ComPort).
    const int fd = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        // Not root: the exclusive mode keeps even this plain open out, which is also right.
        EXPECT_EQ(errno, EBUSY);
        return;
    }
    termios tio{};
    ASSERT_EQ(tcgetattr(fd, &tio), 0);
    ::close(fd);
    EXPECT_EQ(cfgetispeed(&tio), static_cast<speed_t>(B9600));
    EXPECT_EQ(cfgetospeed(&tio), static_cast<speed_t>(B9600));
    EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB), 0u);
    EXPECT_EQ(tio.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
#ifdef CRTSCTS
    EXPECT_EQ(tio.c_cflag & CRTSCTS, 0u);
#endif
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | IXANY | ICRNL | INLCR | ISTRIP), 0u);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);
}

TEST_F(PosixPort, BytesPassBothWaysUnchanged) {
    ComPort port;
    ASSERT_EQ(port.Open(pty.SlavePath().c_str()), 0);
    Bytes all(256);
    for (int i = 0; i < 256; ++i) {
        all[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
    }
    // Every value, including CR, LF, XON, XOFF and the interrupt characters, is plain data.
    EXPECT_EQ(port.Write(all.data(), static_cast<std::uint16_t>(all.size())), 256);
    EXPECT_EQ(pty.Receive(256, 2000), all);

    pty.Send(all);
    Bytes got;
    const auto start = Clock::now();
    while (got.size() < all.size() && MsSince(start) < 2000) {
        if (port.WaitReadable(100) == LineWait::Readable) {
            std::uint8_t buffer[1024];
            const int n = port.Read(buffer, sizeof buffer);
            ASSERT_GE(n, 0);
            got.insert(got.end(), buffer, buffer + n);
        }
    }
    EXPECT_EQ(got, all);
}

TEST_F(PosixPortRealTime, ReadReturnsAtOnceWhenNothingHasArrived) {
    ComPort port;
    ASSERT_EQ(port.Open(pty.SlavePath().c_str()), 0);
    std::uint8_t buffer[16];
    const auto start = Clock::now();
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(port.Read(buffer, sizeof buffer), 0);
    }
    EXPECT_LT(MsSince(start), 500); // reads that waited even 25 ms each would take 500
    EXPECT_EQ(port.WaitReadable(30), LineWait::TimedOut);
}

TEST_F(PosixPortRealTime, WaitWakesAsSoonAsBytesArrive) {
    ComPort port;
    ASSERT_EQ(port.Open(pty.SlavePath().c_str()), 0);
    std::thread sign([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        pty.Send({0x42});
    });
    const auto start = Clock::now();
    EXPECT_EQ(port.WaitReadable(2000), LineWait::Readable);
    EXPECT_LT(MsSince(start), 1000); // not the 2 s asked for
    sign.join();
    std::uint8_t byte = 0;
    EXPECT_EQ(port.Read(&byte, 1), 1);
    EXPECT_EQ(byte, 0x42);
}

TEST_F(PosixPort, SecondOpenFailsAndTheFirstStaysUsable) {
    const std::filesystem::path link = dir / "sign-link";
    std::filesystem::create_symlink(pty.SlavePath(), link);

    ComPort first;
    ASSERT_EQ(first.Open(pty.SlavePath().c_str()), 0);
    ComPort second;
    EXPECT_EQ(second.Open(pty.SlavePath().c_str()), 1);
    EXPECT_EQ(second.Open(link.c_str()), 1); // another name for the same device
    EXPECT_FALSE(second.IsOpen());
    // The holder is named from the lock it took: this very process.
    EXPECT_EQ(second.LastError().Kind, LineErrorKind::InUse);
    EXPECT_NE(second.LastError().Holder.find("(pid " + std::to_string(::getpid()) + ")"),
              std::string::npos)
        << second.LastError().Holder;
    EXPECT_EQ(first.Open(pty.SlavePath().c_str()), 1); // already holding it
    EXPECT_EQ(first.Open(link.c_str()), 1);

    ASSERT_TRUE(first.IsOpen());
    const Bytes probe = {0x01, 0x02, 0x03};
    EXPECT_EQ(first.Write(probe.data(), 3), 3);
    EXPECT_EQ(pty.Receive(3, 1000), probe);

    EXPECT_EQ(first.Close(), 0);
    EXPECT_FALSE(first.IsOpen());
    EXPECT_EQ(first.Close(), 0); // closing twice is harmless
    EXPECT_EQ(second.Open(link.c_str()), 0);
}

TEST_F(PosixPort, ClosedPortDoesNotMoveBytes) {
    ComPort port;
    std::uint8_t buffer[4] = {};
    EXPECT_EQ(port.Write(buffer, 4), 0);
    EXPECT_EQ(port.Read(buffer, 4), -1);
    EXPECT_EQ(port.WaitReadable(10), LineWait::Lost);
}

// A protocol that opens its own lines holds one at a time and lets it go at Close; without one
// it fails at once, as a closed port does.
TEST_F(PosixPort, ProtocolHoldsOneLineOfItsOwnAtATime) {
    ComProtocol protocol;
    EXPECT_EQ(protocol.RunMessageSlot(380, 1), kComNoReply);
    EXPECT_EQ(protocol.LastError().SystemMessage, "the port is not open");
    ASSERT_EQ(protocol.Open(pty.SlavePath().c_str()), 0);
    EXPECT_EQ(protocol.Open(pty.SlavePath().c_str()), 1);
    EXPECT_EQ(protocol.LastError().Kind, LineErrorKind::InUse);
    EXPECT_TRUE(protocol.LastError().HeldHere);
    const Bytes probe = {0x01, 0x02, 0x03};
    EXPECT_EQ(protocol.Line().Write(probe.data(), 3), 3); // the line held is still in use
    EXPECT_EQ(pty.Receive(3, 1000), probe);
    EXPECT_EQ(protocol.Close(), 0);
    ComPort next;
    EXPECT_EQ(next.Open(pty.SlavePath().c_str()), 0);
    EXPECT_EQ(protocol.Open(pty.SlavePath().c_str()), 1);
    EXPECT_EQ(protocol.LastError().Kind, LineErrorKind::InUse);
    EXPECT_FALSE(protocol.LastError().HeldHere);
}

TEST_F(PosixPort, NamesThatAreNoSerialLineAreRefused) {
    const std::filesystem::path file = dir / "messages.kom";
    {
        std::ofstream out(file, std::ios::binary);
        out << "user data";
    }
    const std::string missing = (dir / "no-such-port").string();
    const std::string fileName = file.string();
    const std::string dirName = dir.string();
    const LineErrorKind notSerial = LineErrorKind::NotSerial;
    const LineErrorKind notFound = LineErrorKind::NotFound;
    const std::pair<const char*, LineErrorKind> cases[] = {{fileName.c_str(), notSerial},
                                                           {"/dev/null", notSerial},
                                                           {dirName.c_str(), notSerial},
                                                           {missing.c_str(), notFound},
                                                           {"", notFound},
                                                           {"ttyS0", notFound},
                                                           {"COM", notFound},
                                                           {"COM0", notFound},
                                                           {"COMx", notFound},
                                                           {"COM999", notFound},
                                                           {"relative/path", notFound}};
    for (const auto& [name, kind] : cases) {
        SCOPED_TRACE(name);
        ComPort port;
        EXPECT_EQ(port.Open(name), 1);
        EXPECT_FALSE(port.IsOpen());
        EXPECT_EQ(port.LastError().Kind, kind);
    }
    std::ifstream in(file, std::ios::binary);
    const std::string content((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(content, "user data"); // neither truncated nor written
}

TEST_F(PosixPort, LineSettingsFoundAtOpenAreRestoredAtClose) {
    // A terminal as a login or another program leaves it: canonical input with echo, output
    // processing, software flow control, another speed.
    const int fd = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(fd, 0) << std::strerror(errno);
    termios cooked = SettingsOf(fd);
    cooked.c_lflag |= ICANON | ECHO | ISIG | IEXTEN;
    cooked.c_oflag |= OPOST | ONLCR;
    cooked.c_iflag |= ICRNL | IXON;
    cfsetispeed(&cooked, B4800);
    cfsetospeed(&cooked, B4800);
    ASSERT_EQ(tcsetattr(fd, TCSANOW, &cooked), 0);
    const termios before = SettingsOf(fd);
    for (int round = 0; round < 2; ++round) { // the destructor closes like Close does
        SCOPED_TRACE(round);
        {
            ComPort port;
            ASSERT_EQ(port.Open(pty.SlavePath().c_str()), 0);
            EXPECT_FALSE(SameSettings(SettingsOf(fd), before)); // raw while the sign's
            const Bytes frame = {0x0D, 0x0A, 0x11};
            EXPECT_EQ(port.Write(frame.data(), 3), 3);
            EXPECT_EQ(pty.Receive(3, 2000), frame);
            if (round == 0) {
                port.Close();
                EXPECT_TRUE(SameSettings(SettingsOf(fd), before));
            }
        }
        EXPECT_TRUE(SameSettings(SettingsOf(fd), before));
    }
    ::close(fd);
}

TEST_F(PosixPort, OperatorTerminalsAreRefusedUntouched) {
    // The pseudo-terminal becomes the controlling terminal of a child in a session of its
    // own, so that /dev/tty exists for it; the child tries every name of an operator's
    // terminal and reports which were not refused as not serial lines, one bit each.
    const std::string slave = pty.SlavePath();
    const char* const names[] = {"/dev/tty", slave.c_str(), "/dev/console", "/dev/tty0",
                                 "/dev/tty1"};
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        int terminal = -1;
        if (::setsid() < 0 || (terminal = ::open(slave.c_str(), O_RDWR | O_NOCTTY)) < 0 ||
            ::ioctl(terminal, TIOCSCTTY, 0) != 0) {
            ::_exit(0x80);
        }
        termios before{};
        tcgetattr(terminal, &before);
        int failures = 0;
        for (std::size_t i = 0; i < std::size(names); ++i) {
            struct stat node {};
            if (i >= 2 && ::stat(names[i], &node) != 0) {
                continue; // no such device here
            }
            ComPort port;
            if (port.Open(names[i]) != 1 || port.LastError().Kind != LineErrorKind::NotSerial) {
                failures |= 1 << i;
            }
        }
        termios after{};
        tcgetattr(terminal, &after);
        ::_exit(failures | (SameSettings(before, after) ? 0 : 0x40));
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_NE(WEXITSTATUS(status), 0x80) << "cannot give the child a controlling terminal";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "bit i: names[i] accepted, 0x40: settings changed";
    EXPECT_TRUE(pty.Receive(1, 50).empty()); // nothing was written to it
    // The same pseudo-terminal is a line like any other for a process it does not control.
    ComPort port;
    EXPECT_EQ(port.Open(slave.c_str()), 0)
        << DescribeLineError(port.LastError(), LineErrorLanguage::English);
}

TEST_F(PosixPortRealTime, StopRequestEndsTheWaitWhereStopsEndLineWaits) {
    ASSERT_TRUE(PrepareLineStop());
    ComPort port;
    ASSERT_EQ(port.Open(pty.SlavePath().c_str()), 0);
    RequestLineStop();
    // The synchronisation mode's lines wait on: it blanks the sign after a stop.
    EXPECT_EQ(port.WaitReadable(20), LineWait::TimedOut);
    EndLineWaitsOnStop(true);
    const auto start = Clock::now();
    EXPECT_EQ(port.WaitReadable(5000), LineWait::Stopped);
    EXPECT_LT(MsSince(start), 2000); // not the 5 s asked for
    EXPECT_EQ(port.LastError().Kind, LineErrorKind::Interrupted);
    ResetLineStop();
    pty.Send({0x55});
    EXPECT_EQ(port.WaitReadable(2000), LineWait::Readable);
}

TEST_F(PosixPortRealTime, ReplyOnARealLineIsTakenWithoutWaitingOutThePolls) {
    ComProtocol protocol;
    ASSERT_EQ(protocol.Open(pty.SlavePath().c_str()), 0);
    std::thread sign([&] {
        const Bytes request = pty.Receive(10, 2000);
        if (request.size() == 10) {
            Bytes reply = DoneReply();
            reply.push_back(0x00);
            pty.Send(reply);
        }
    });
    const auto start = Clock::now();
    const int result = protocol.RunMessageSlot(380, 1);
    const long elapsed = MsSince(start);
    sign.join();
    EXPECT_EQ(result, kComOk);
    EXPECT_LT(elapsed, 1000); // not the 5.1 s of polling, nor a large part of it
    EXPECT_EQ(protocol.Close(), 0);
}

TEST_F(PosixPortRealTime, PeerVanishingMidTransactionFailsAtOnce) {
    ComProtocol protocol;
    ASSERT_EQ(protocol.Open(pty.SlavePath().c_str()), 0);
    std::thread sign([&] {
        pty.Receive(10, 2000);
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        pty.CloseMaster(); // like pulling the USB adapter
    });
    const auto start = Clock::now();
    const int result = protocol.RunMessageSlot(380, 1);
    const long elapsed = MsSince(start);
    sign.join();
    EXPECT_EQ(result, kComNoReply);
    EXPECT_EQ(protocol.LastError().Kind, LineErrorKind::LineLost);
    EXPECT_GE(elapsed, 100);
    EXPECT_LT(elapsed, 2500); // not the 5.1 s of a silent line
    EXPECT_EQ(protocol.Close(), 0);
}

} // namespace

#endif // _WIN32
