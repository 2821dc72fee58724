// The socket line against scripted servers on the loopback interface: names, the Telnet
// negotiation, frames both ways whatever the read boundaries, and the failures a network
// adds (refused, silent, closed mid-reply, restarted).

#include "comm/SocketLine.h"
#include "comm/Unitcomprotocol.h"
#include "comm/tests/CommTestSupport.h"
#include "comm/tests/FakeTelnetServer.h"
#include "testsupport/FastClock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>

namespace {

using net_test::FakeTelnetServer;
using net_test::ServerConnection;
using Clock = std::chrono::steady_clock;

const Bytes kAgreeAll = {0xFF, 253, 0, 0xFF, 251, 0, 0xFF, 253, 44};

std::string Url(const char* scheme, int port) {
    return std::string(scheme) + "://127.0.0.1:" + std::to_string(port);
}

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Cases in the suites named *RealTime bound the wall clock: the socket line's connect and
// negotiation limits run on the real clock against a real server, so no injected clock stands
// in. Each bound lies far above what an idle machine needs and below the wait it tells apart.

// The request frame the protocol writes for a message full of bytes that need escaping on the
// line and doubling under Telnet.
Bytes RequestFor(const Bytes& message) {
    FakeLine unused;
    ComProtocol builder(unused, unused);
    EXPECT_EQ(builder.AssembleFrame(380, 0x15, message.data(),
                                    static_cast<std::uint32_t>(message.size())),
              0);
    return Bytes(builder.TransmitBuffer(), builder.TransmitBuffer() + builder.TransmitLength());
}

TEST(NetworkPortName, SplitsSchemeHostAndPort) {
    const struct Case {
        const char* Name;
        bool Valid;
        NetScheme Scheme;
        const char* Host;
        const char* Port;
    } cases[] = {
        {"tcp://192.168.1.20:4001", true, NetScheme::Raw, "192.168.1.20", "4001"},
        {"RFC2217://sign-server:2217", true, NetScheme::Rfc2217, "sign-server", "2217"},
        {"tcp://[::1]:4001", true, NetScheme::Raw, "::1", "4001"},
        {"tcp://::1:4001", false, {}, "", ""}, // IPv6 needs brackets
        {"tcp://host", false, {}, "", ""},
        {"tcp://host:", false, {}, "", ""},
        {"tcp://:4001", false, {}, "", ""},
        {"tcp://host:0", false, {}, "", ""},
        {"tcp://host:65536", false, {}, "", ""},
        {"tcp://host:40x1", false, {}, "", ""},
        {"tcp://[::1]4001", false, {}, "", ""},
        {"/dev/ttyS0", false, {}, "", ""},
    };
    for (const Case& c : cases) {
        NetPortName name;
        EXPECT_EQ(ParseNetworkPortName(c.Name, name), c.Valid) << c.Name;
        if (c.Valid) {
            EXPECT_EQ(name.Scheme, c.Scheme) << c.Name;
            EXPECT_EQ(name.Host, c.Host) << c.Name;
            EXPECT_EQ(name.Port, c.Port) << c.Name;
        }
    }
}

// Every split of the reply (whose start byte travels as IAC IAC) with a modem-state
// notification in the middle of it: the frame arrives exactly and the reply is taken.
TEST(SocketLine, Rfc2217FramesSurviveEveryReadBoundaryAndNotifications) {
    Bytes message(1024, 0xFF);
    std::fill(message.begin() + 512, message.end(), 0xF0);
    const Bytes request = RequestFor(message);
    const Bytes reply = DoneReply({0xFF, 0xF0, 0x00});
    Bytes line;
    for (std::uint8_t b : reply) {
        line.push_back(b);
        if (b == 0xFF) {
            line.push_back(0xFF);
        }
    }
    const Bytes notification = {0xFF, 250, 44, 107, 0x30, 0xFF, 240};
    line.insert(line.begin() + static_cast<long>(line.size() / 2), notification.begin(),
                notification.end());
    const int splits = static_cast<int>(line.size()) - 1;
    std::vector<Bytes> received;
    {
        FakeTelnetServer server([&](ServerConnection& c, int) {
            c.Send(kAgreeAll);
            for (int k = 1; k <= splits; ++k) {
                received.push_back(c.ReadData(request.size(), true));
                c.Send(Bytes(line.begin(), line.begin() + k));
                std::this_thread::sleep_for(std::chrono::milliseconds(2)); // separate reads
                c.Send(Bytes(line.begin() + k, line.end()));
            }
        });
        SocketLine socket;
        SystemComClock clock;
        ComProtocol protocol(socket, clock);
        ASSERT_EQ(protocol.Open(Url("rfc2217", server.Port()).c_str()), 0)
            << socket.LastError().SystemMessage;
        for (int k = 1; k <= splits; ++k) {
            EXPECT_EQ(protocol.SendMessageSlot(380, 9, message.data()), kComOk) << "split " << k;
        }
    } // the server's script has ended: its record is complete
    ASSERT_EQ(received.size(), static_cast<std::size_t>(splits));
    for (const Bytes& r : received) {
        EXPECT_EQ(r, request);
    }
}

TEST(SocketLineRealTime, NoFrameGoesWithoutBinaryBothWays) {
    std::size_t dataBytes = 0;
    {
        FakeTelnetServer server([&](ServerConnection& c, int) {
            c.Send({0xFF, 253, 0, 0xFF, 252, 0, 0xFF, 253, 44}); // WONT BINARY
            dataBytes = c.ReadData(1, true).size();
        });
        SocketLine socket;
        const auto start = Clock::now();
        EXPECT_EQ(socket.Open(Url("rfc2217", server.Port()).c_str()), 1);
        EXPECT_LT(SecondsSince(start), 2.0); // a refusal ends the 3 s wait at once
        EXPECT_NE(socket.LastError().SystemMessage.find("binary"), std::string::npos);
    }
    EXPECT_EQ(dataBytes, 0u);
}

TEST(SocketLineRealTime, ConnectFailuresSayWhy) {
    int freePort = 0;
    {
        FakeTelnetServer gone([](ServerConnection&, int) {}, 0);
        freePort = gone.Port();
    }
    FakeTelnetServer listening([](ServerConnection&, int) {});
    const struct Case {
        std::string Name;
        int Result;
        const char* Reason;
    } cases[] = {
        {Url("tcp", freePort), 1, "connection refused by 127.0.0.1:"},
        {"tcp://[::1]:" + std::to_string(freePort), 1, "::1"},
        {"tcp://no-such-host.invalid:4001", 1, "cannot resolve no-such-host.invalid"},
        {"tcp://host-without-port", 1, "bad network port name"},
        // localhost may resolve to ::1 first, where nothing listens: the next address is tried.
        {"tcp://localhost:" + std::to_string(listening.Port()), 0, ""},
    };
    for (const Case& c : cases) {
        SocketLine socket;
        const auto start = Clock::now();
        EXPECT_EQ(socket.Open(c.Name.c_str()), c.Result) << c.Name;
        EXPECT_LT(SecondsSince(start), 5.0) << c.Name; // the 3 s connect limit holds
        EXPECT_NE(socket.LastError().SystemMessage.find(c.Reason), std::string::npos)
            << c.Name << ": " << socket.LastError().SystemMessage;
    }
}

TEST(SocketLineRealTime, ServerThatTakesNoConnectionGivesUpAfterThreeSeconds) {
    // A listener that never accepts and whose queue is full drops further connection
    // requests, as a host that has gone quiet does.
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), size), 0);
    ASSERT_EQ(::listen(listener, 0), 0);
    ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size), 0);
    const int port = ntohs(address.sin_port);
    // Connections go into the queue until it is full; the first one that does not is the
    // case under test.
    std::vector<std::unique_ptr<SocketLine>> lines;
    double seconds = 0;
    for (int i = 0; i < 4; ++i) {
        lines.push_back(std::make_unique<SocketLine>());
        const auto start = Clock::now();
        if (lines.back()->Open(Url("tcp", port).c_str()) != 0) {
            seconds = SecondsSince(start);
            break;
        }
    }
    EXPECT_FALSE(lines.back()->IsOpen());
    EXPECT_GE(seconds, 2.9);
    EXPECT_LE(seconds, 5.0);
    EXPECT_EQ(lines.back()->LastError().SystemMessage,
              "no answer from 127.0.0.1:" + std::to_string(port));
    ::close(listener);
}

TEST(SocketLine, SilentServerTimesOutAfterTheLastPoll) {
    FakeTelnetServer server([](ServerConnection& connection, int) {
        connection.ReadData(10, false);
        connection.ReadData(1, false); // holds the connection until the client closes it
    });
    SocketLine socket;
    test_clock::FastClock clock;
    ComProtocol protocol(socket, clock);
    ASSERT_EQ(protocol.Open(Url("tcp", server.Port()).c_str()), 0);
    const std::int64_t start = clock.MonotonicMs();
    EXPECT_EQ(protocol.RunMessageSlot(380, 1), kComNoReply);
    EXPECT_GE(clock.MonotonicMs() - start, kPollCount * kPollPeriodMs);
    EXPECT_EQ(protocol.LastPollCount(), kPollCount);
    EXPECT_EQ(protocol.LastError().Kind, LineErrorKind::TimedOut);
    protocol.Close();
}

TEST(SocketLineRealTime, ServerClosedMidReplyFailsAtOnce) {
    const Bytes reply = DoneReply();
    FakeTelnetServer server([&](ServerConnection& connection, int) {
        connection.ReadData(10, false);
        connection.Send(Bytes(reply.begin(), reply.begin() + 4));
    });
    SocketLine socket;
    SystemComClock clock;
    ComProtocol protocol(socket, clock);
    ASSERT_EQ(protocol.Open(Url("tcp", server.Port()).c_str()), 0);
    const auto start = Clock::now();
    EXPECT_EQ(protocol.RunMessageSlot(380, 1), kComNoReply);
    EXPECT_LT(SecondsSince(start), 2.0); // not the 5.1 s of polling
    EXPECT_NE(socket.LastError().SystemMessage.find("lost"), std::string::npos);
}

TEST(SocketLine, NextTransactionAfterALostConnectionConnectsAgain) {
    const Bytes reply = DoneReply();
    FakeTelnetServer server(
        [&](ServerConnection& c, int index) {
            c.ReadData(10, false);
            if (index == 1) { // the server restarted: this connection answers
                c.Send(reply);
                c.ReadData(1, false); // until the client closes
            }
        },
        2);
    SocketLine socket;
    SystemComClock clock;
    ComProtocol protocol(socket, clock);
    ASSERT_EQ(protocol.Open(Url("tcp", server.Port()).c_str()), 0);
    EXPECT_EQ(protocol.RunMessageSlot(380, 1), kComNoReply);
    EXPECT_EQ(protocol.RunMessageSlot(380, 1), kComOk);
}

} // namespace
