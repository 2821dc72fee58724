// The main window's send actions against ledsign-emulator over a real pseudo-terminal: what the
// sign receives, what the operator is shown, and that every path gives the port back.

#ifdef LEDSIGN_EMULATOR // the software sign exists where pseudo-terminals do

#include "comm/SendActions.h"
#include "testsupport/FastClock.h"
#include "testsupport/SendActionsTestSupport.h"
#include "testsupport/SoftwareSign.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <future>
#include <string>
#include <vector>

namespace {

using send_test::Bytes;
using send_test::DataOf;
using send_test::Log;
using send_test::ReadAll;
using tool_tests::RequestLine;
using tool_tests::Sign;

namespace fs = std::filesystem;

// The window's side with the one protocol over the real serial port.
class SendActionsOnSign : public ::testing::Test, public send_test::WindowSide {
protected:
    ComProtocol protocol;
    SendActions actions{protocol, host, messages};
};

// Bounds the wall clock: the actions run over a real pseudo-terminal to the software sign, a
// process of its own, so no injected clock can stand in. Runs alone (label "realtime"), with a
// bound far below the 5.1 s of polling it tells apart.
class SendActionsOnSignRealTime : public SendActionsOnSign {};

TEST_F(SendActionsOnSign, SendCurrentMessageStoresSlotNineAndHandsItToThePreview) {
    Sign sign(directory.Path(), {});
    ASSERT_FALSE(sign.Port().empty());
    messages[0].GetData()[kMessageTypeOffset] = kMessageStatic;
    const Bytes sent = DataOf(messages[0]);

    EXPECT_EQ(actions.SendCurrentMessage(sign.Port(), 1), SendResult::Done);

    EXPECT_EQ(sign.Log(), (std::vector<std::string>{RequestLine(0x15, 9, sent)}));
    const Log expected = {"running 0", "status Wysyłam komunikat numer 1",
                          "status Komunikat został wysłany.", "running 1",
                          "preview 1 " + std::to_string(MessageLengthForPreview(sent.data()))};
    EXPECT_EQ(log, expected);
    EXPECT_EQ(DataOf(messages[0]), Bytes(kMessageSize, 0));
    EXPECT_EQ(ReadAll(directory.Path() / "temp_msg.bin"), sent);
    EXPECT_EQ(DataOf(messages[1]), sent);
    EXPECT_EQ(host.previewMessage, sent);
    EXPECT_TRUE(tool_tests::PortFree(sign.Port()));
}

TEST_F(SendActionsOnSign, SendSetStoresEightSlotsInOrderThroughAWorkerThread) {
    Sign sign(directory.Path(), {});
    // As the window runs it: each line call on a worker thread, waited for.
    actions.SetTransactionRunner([](const std::function<int()>& call) {
        return std::async(std::launch::async, call).get();
    });

    EXPECT_EQ(actions.SendMessageSet(sign.Port()), SendResult::Done);

    std::vector<std::string> expected;
    for (int k = 1; k <= 8; ++k) {
        expected.push_back(RequestLine(k, k, DataOf(messages[static_cast<std::size_t>(k - 1)])));
    }
    EXPECT_EQ(sign.Log(), expected);
    EXPECT_EQ(log.back(), "status Zestaw komunikatów został wysłany.");
    EXPECT_TRUE(tool_tests::PortFree(sign.Port()));
}

TEST_F(SendActionsOnSignRealTime, RefusingSignStopsTheSetAtMessageOne) {
    Sign sign(directory.Path(), {"--refuse"});
    const auto start = std::chrono::steady_clock::now();

    EXPECT_EQ(actions.SendMessageSet(sign.Port()), SendResult::DeviceFailed);

    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    EXPECT_EQ(sign.Log(), (std::vector<std::string>{RequestLine(1, 1, DataOf(messages[0]))}));
    EXPECT_EQ(log, (Log{"status Wysyłam komunikat numer 1",
                        "error Nie mogę wysłać komunikatu numer 1 do linijki!"}));
    EXPECT_TRUE(tool_tests::PortFree(sign.Port()));

    // The port was given back: the next actions open it and fail only at the sign.
    log.clear();
    EXPECT_EQ(actions.ShowCurrentMessage(sign.Port(), 1), SendResult::DeviceFailed);
    EXPECT_EQ(actions.SendCurrentMessage(sign.Port(), 1), SendResult::DeviceFailed);
    EXPECT_EQ(log, (Log{"status Uruchamiam komunikat numer 1",
                        "error Nie mogę wysłać komendy do linijki!", "running 0",
                        "status Wysyłam komunikat numer 1",
                        "error Nie mogę wysłać komunikatu do linijki!"}));
    EXPECT_FALSE(fs::exists(directory.Path() / "temp_msg.bin"));
    EXPECT_TRUE(tool_tests::PortFree(sign.Port()));
}

TEST_F(SendActionsOnSign, ClockAndShowReachTheSign) {
    Sign sign(directory.Path(), {});
    const std::time_t before = std::time(nullptr);
    EXPECT_EQ(actions.SyncClock(sign.Port()), SendResult::Done);
    EXPECT_TRUE(tool_tests::PortFree(sign.Port()));
    for (const int number : {1, 8}) {
        EXPECT_EQ(actions.ShowCurrentMessage(sign.Port(), number), SendResult::Done);
        EXPECT_TRUE(tool_tests::PortFree(sign.Port()));
    }
    EXPECT_EQ(log,
              (Log{"status Uruchamiam komunikat numer 1", "status Uruchamiam komunikat numer 8"}));

    const std::vector<std::string> requests = sign.Log();
    ASSERT_EQ(requests.size(), 3u);
    // The clock: six bytes, year - 2000, month, day, hour from the local time.
    std::tm local{};
    localtime_r(&before, &local);
    char date[16];
    std::snprintf(date, sizeof date, "%02X%02X%02X", (local.tm_year + 1900 - 2000) & 0xFF,
                  local.tm_mon + 1, local.tm_mday);
    EXPECT_EQ(requests[0].rfind("cmd=11 ", 0), 0u) << requests[0];
    EXPECT_NE(requests[0].find(" len=6 data=" + std::string(date)), std::string::npos)
        << requests[0];
    EXPECT_EQ(requests[1], RequestLine(0x16, 1, {}));
    EXPECT_EQ(requests[2], RequestLine(0x1D, 8, {}));
}

TEST_F(SendActionsOnSign, PortThatCannotBeOpenedIsNamedInTheError) {
    Sign sign(directory.Path(), {});
    const std::string missing = (directory.Path() / "no-such-port").string();
    EXPECT_EQ(actions.SyncClock(missing), SendResult::PortFailed);

    // A port held by another program cannot be opened either; it stays that program's.
    ComPort other;
    ASSERT_EQ(other.Open(sign.Port().c_str()), 0);
    EXPECT_EQ(actions.ShowCurrentMessage(sign.Port(), 2), SendResult::PortFailed);
    other.Close();

    EXPECT_EQ(log, (Log{"error Nie mogę otworzyć portu " + missing + " !",
                        "status Uruchamiam komunikat numer 2",
                        "error Nie mogę otworzyć portu " + sign.Port() + " !"}));
    EXPECT_TRUE(sign.Log().empty());
    // Released by its holder, the port works for the next action.
    EXPECT_EQ(actions.ShowCurrentMessage(sign.Port(), 2), SendResult::Done);
}

TEST_F(SendActionsOnSign, SilentSignFailsAfterThePollingTimeAndGivesThePortBack) {
    Sign sign(directory.Path(), {"--silent"});
    // The polls on a fast clock: the whole polling time passes on it in a fraction of a second.
    ComPort port;
    test_clock::FastClock clock;
    ComProtocol fastProtocol(port, clock);
    SendActions fastActions{fastProtocol, host, messages};
    const std::int64_t start = clock.MonotonicMs();
    EXPECT_EQ(fastActions.SyncClock(sign.Port()), SendResult::DeviceFailed);
    EXPECT_GE(clock.MonotonicMs() - start, kPollCount * kPollPeriodMs);
    EXPECT_EQ(fastProtocol.LastPollCount(), kPollCount);
    EXPECT_EQ(log, (Log{"error Nie mogę zsynchronizować zegara w linijce świetlnej!"}));
    EXPECT_EQ(sign.Log().size(), 1u);
    EXPECT_TRUE(tool_tests::PortFree(sign.Port()));
}

} // namespace

#endif // LEDSIGN_EMULATOR
