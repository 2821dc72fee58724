// The send actions of the main window over a scripted sign: the order of texts, errors and line
// calls on every path, the slots and payloads sent, the hand-over to the preview, the runner.

#include "comm/SendActions.h"
#include "comm/tests/CommTestSupport.h"
#include "messages/HeadlessGrid.h"
#include "testsupport/SendActionsTestSupport.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <future>
#include <stdexcept>
#include <thread>

namespace {

using send_test::DataOf;
using send_test::FillPattern;
using send_test::Log;
using send_test::ReadAll;

namespace fs = std::filesystem;

enum class Answer { Done, Refused, Silent };

std::string Hex2(int value) {
    char text[4];
    std::snprintf(text, sizeof text, "%02X", value & 0xFF);
    return text;
}

// A sign on a line: answers each request as scripted (by request number, Done beyond the
// script), logs "open <name>", "send <command hex> <payload length>" and "close" into the log it
// shares with the host. Opening a line already open fails and leaves it open, as ComPort does.
// Time moves only while the protocol waits, so a silent sign costs no real time.
class ScriptedSign final : public ComLine, public ComClock {
public:
    struct Request {
        int Command = 0;
        Bytes Payload;
    };

    explicit ScriptedSign(Log& log) : log_(log) {}

    int Open(const char* name) override {
        Note("open " + std::string(name));
        if (refuseOpen || open) {
            return 1;
        }
        open = true;
        return 0;
    }
    int Close() override {
        Note("close");
        handOverExistedAtClose = fs::exists(kHandOverFileName);
        open = false;
        return 0;
    }
    int Write(const std::uint8_t* buffer, std::uint16_t count) override {
        Note("");
        if (!open) {
            return 0;
        }
        const Bytes plain = Unescape(Bytes(buffer, buffer + count));
        Request request;
        request.Command = plain.at(5);
        const std::size_t length = (std::size_t{plain.at(6)} << 8) | plain.at(7);
        request.Payload.assign(plain.begin() + 9, plain.begin() + 9 + static_cast<long>(length));
        log_.push_back("send " + Hex2(request.Command) + " " + std::to_string(length));
        const std::size_t index = requests.size();
        requests.push_back(request);
        const Answer answer = index < answers.size() ? answers[index] : Answer::Done;
        if (answer == Answer::Done) {
            pending_ = DoneReply();
        } else if (answer == Answer::Refused) {
            pending_ = EncodeReply(380, 0, 0x81, {});
        }
        return count;
    }
    int Read(std::uint8_t* buffer, std::uint16_t capacity) override {
        Note("");
        if (!open) {
            return -1;
        }
        const std::size_t take = std::min<std::size_t>(capacity, pending_.size());
        std::copy_n(pending_.begin(), take, buffer);
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<long>(take));
        return static_cast<int>(take);
    }
    LineWait WaitReadable(int timeoutMs) override {
        Note("");
        if (!pending_.empty()) {
            return LineWait::Readable;
        }
        now += timeoutMs;
        return LineWait::TimedOut;
    }
    void DiscardInput() override {
        Note("");
        pending_.clear();
    }
    std::int64_t MonotonicMs() override { return now; }
    ComDateTime LocalTime() override { return local; }

    std::vector<Answer> answers;
    bool refuseOpen = false;
    bool open = false;
    bool handOverExistedAtClose = false;
    std::vector<Request> requests;
    std::int64_t now = 5000;
    ComDateTime local{2026, 12, 7, 13, 45, 30};
    // Called with every line call (for the thread checks).
    std::function<void()> onLineCall;

private:
    void Note(const std::string& entry) {
        if (onLineCall) {
            onLineCall();
        }
        if (!entry.empty()) {
            log_.push_back(entry);
        }
    }

    Log& log_;
    Bytes pending_;
};

class SendActionsTest : public ::testing::Test, public send_test::WindowSide {
protected:
    // Message 1 as a real edited message: "Ab" in font 4, then the rest of the buffer zero.
    void TypeShortMessage(std::uint8_t type) {
        std::fill_n(messages[0].GetData(), kMessageSize, std::uint8_t{0});
        messages[0].GetData()[0] = 4;
        messages[0].GetData()[1] = 'A';
        messages[0].GetData()[2] = 4;
        messages[0].GetData()[3] = 'b';
        messages[0].GetData()[kMessageTypeOffset] = type;
    }

    ScriptedSign sign{log};
    ComProtocol protocol{sign, sign};
    SendActions actions{protocol, host, messages};
};

// --- send the current message ---------------------------------------------------------------

TEST_F(SendActionsTest, SendCurrentMessageHandsTheSentBytesToThePreview) {
    for (const int number : {1, 3}) {
        SCOPED_TRACE(number);
        log.clear();
        sign.requests.clear();
        fs::remove(kHandOverFileName);
        TypeShortMessage(kMessageStatic);
        grid.SetCell(1, 0);
        const Bytes sent = DataOf(messages[0]);
        const Bytes otherMessages = DataOf(messages[2]);

        EXPECT_EQ(actions.SendCurrentMessage("COM3", number), SendResult::Done);

        const Log expected = {
            "running 0",
            "status Wysyłam komunikat numer " + std::to_string(number),
            "open COM3",
            "send 15 1024", // always message 1 to slot 9, whatever the number
            "status Komunikat został wysłany.",
            "close",
            "running 1",
            "preview 1 4",
        };
        EXPECT_EQ(log, expected);
        ASSERT_EQ(sign.requests.size(), 1u);
        EXPECT_EQ(sign.requests[0].Payload, sent);
        EXPECT_FALSE(sign.handOverExistedAtClose) << "the port must close before the hand-over";
        EXPECT_EQ(ReadAll(kHandOverFileName), sent);
        EXPECT_EQ(DataOf(messages[1]), sent);
        EXPECT_EQ(DataOf(messages[0]), Bytes(kMessageSize, 0));
        EXPECT_EQ(grid.Col(), 0);
        EXPECT_EQ(grid.Row(), 0);
        EXPECT_EQ(host.previewMessage, sent);
        EXPECT_EQ(host.previewStartedRunning, 1);
        EXPECT_EQ(DataOf(messages[2]), otherMessages);
        EXPECT_FALSE(sign.open);
    }
}

TEST_F(SendActionsTest, PreviewGetsTheSignedTypeByteAndTheBytesBeforeTheFirstZero) {
    struct Case {
        const char* Name;
        std::uint8_t Type;
        int ZeroAt; // first zero byte, -1 none
        std::string Preview;
    } cases[] = {
        {"scrolling", 0, 6, "preview 0 6"},
        {"static", 1, 6, "preview 1 6"},
        {"unknown type", 2, 6, "preview 2 6"},
        {"type byte read signed", 0xFF, 6, "preview -1 6"},
        {"code 0 inside a cell", 0, 3, "preview 0 3"},
        {"empty message", 0, 0, "preview 0 0"},
        {"no zero byte at all", 0x80, -1, "preview -128 1024"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        FillPattern(messages[0], 9);
        std::replace(messages[0].GetData(), messages[0].GetData() + kMessageSize, std::uint8_t{0},
                     std::uint8_t{0x20});
        if (c.ZeroAt >= 0) {
            messages[0].GetData()[c.ZeroAt] = 0;
        }
        messages[0].GetData()[kMessageTypeOffset] = c.Type;
        log.clear();
        EXPECT_EQ(actions.SendCurrentMessage("COM1", 1), SendResult::Done);
        EXPECT_EQ(log.back(), c.Preview);
    }
}

TEST_F(SendActionsTest, MessageTwoHoldsTheSentBytesWhenTheWorkFileCannotBeWritten) {
    fs::create_directory(kHandOverFileName); // neither written nor read as a file
    TypeShortMessage(kMessageScrolling);
    const Bytes sent = DataOf(messages[0]);
    ASSERT_NE(DataOf(messages[1]), sent);

    EXPECT_EQ(actions.SendCurrentMessage("COM1", 1), SendResult::Done);

    EXPECT_TRUE(fs::is_directory(kHandOverFileName));
    // Nothing else left in the current directory (no half-written work file).
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(directory.Path())) {
        names.push_back(entry.path().filename().string());
    }
    EXPECT_EQ(names, (std::vector<std::string>{kHandOverFileName}));
    EXPECT_EQ(DataOf(messages[1]), sent);
    EXPECT_EQ(DataOf(messages[0]), Bytes(kMessageSize, 0));
    EXPECT_EQ(host.previewMessage, sent);
    EXPECT_EQ(log.back(), "preview 0 4");
}

TEST_F(SendActionsTest, OlderLongerWorkFileIsReplacedByTheSentMessage) {
    {
        std::ofstream older(kHandOverFileName, std::ios::binary);
        older << std::string(3000, '\xAA');
    }
    TypeShortMessage(kMessageStatic);
    const Bytes sent = DataOf(messages[0]);
    EXPECT_EQ(actions.SendCurrentMessage("COM1", 1), SendResult::Done);
    EXPECT_EQ(ReadAll(kHandOverFileName), sent);
    EXPECT_EQ(DataOf(messages[1]), sent);
}

TEST_F(SendActionsTest, FailedSendClosesThePortAndTouchesNothing) {
    for (const Answer answer : {Answer::Refused, Answer::Silent}) {
        SCOPED_TRACE(static_cast<int>(answer));
        log.clear();
        sign.answers = {answer};
        sign.requests.clear();
        const Bytes first = DataOf(messages[0]);
        const Bytes second = DataOf(messages[1]);

        EXPECT_EQ(actions.SendCurrentMessage("COM2", 1), SendResult::DeviceFailed);

        const Log expected = {
            "running 0",
            "status Wysyłam komunikat numer 1",
            "open COM2",
            "send 15 1024",
            "error Nie mogę wysłać komunikatu do linijki!",
            "close",
        };
        EXPECT_EQ(log, expected);
        EXPECT_EQ(DataOf(messages[0]), first);
        EXPECT_EQ(DataOf(messages[1]), second);
        EXPECT_FALSE(fs::exists(kHandOverFileName));
        EXPECT_FALSE(sign.open);
    }
}

TEST_F(SendActionsTest, UnboundMessageOneIsStillEmptiedAfterASend) {
    CLEDMessageCon unbound[kSendMessageCount];
    FillPattern(unbound[0], 4);
    const Bytes sent = DataOf(unbound[0]);
    SendActions loose(protocol, host, unbound);
    EXPECT_EQ(loose.SendCurrentMessage("COM1", 1), SendResult::Done);
    EXPECT_EQ(DataOf(unbound[0]), Bytes(kMessageSize, 0));
    EXPECT_EQ(DataOf(unbound[1]), sent);
}

// --- every action: the port cannot be opened --------------------------------------------------

TEST_F(SendActionsTest, PortThatCannotBeOpenedEndsEveryActionWithoutSendingOrClosing) {
    const std::string port = "/dev/no-such-port";
    const std::string portError = "error Nie mogę otworzyć portu /dev/no-such-port !";
    struct Case {
        const char* Name;
        std::function<SendResult()> Act;
        Log Expected;
    } cases[] = {
        {"send current",
         [&] { return actions.SendCurrentMessage(port, 2); },
         {"running 0", "status Wysyłam komunikat numer 2", "open " + port, portError}},
        {"send set", [&] { return actions.SendMessageSet(port); }, {"open " + port, portError}},
        {"sync clock", [&] { return actions.SyncClock(port); }, {"open " + port, portError}},
        {"show",
         [&] { return actions.ShowCurrentMessage(port, 5); },
         {"status Uruchamiam komunikat numer 5", "open " + port, portError}},
    };
    sign.refuseOpen = true;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        log.clear();
        std::array<Bytes, kSendMessageCount> before;
        for (int i = 0; i < kSendMessageCount; ++i) {
            before[static_cast<std::size_t>(i)] = DataOf(messages[static_cast<std::size_t>(i)]);
        }
        EXPECT_EQ(c.Act(), SendResult::PortFailed);
        EXPECT_EQ(log, c.Expected);
        EXPECT_TRUE(sign.requests.empty());
        for (int i = 0; i < kSendMessageCount; ++i) {
            EXPECT_EQ(DataOf(messages[static_cast<std::size_t>(i)]),
                      before[static_cast<std::size_t>(i)]);
        }
        EXPECT_FALSE(fs::exists(kHandOverFileName));
    }
}

// --- send the set ------------------------------------------------------------------------------

TEST_F(SendActionsTest, SendSetStoresMessagesOneToEightInTheirSlots) {
    EXPECT_EQ(actions.SendMessageSet("COM4"), SendResult::Done);
    Log expected = {"open COM4"};
    for (int k = 1; k <= 8; ++k) {
        expected.push_back("status Wysyłam komunikat numer " + std::to_string(k));
        expected.push_back("send 0" + std::to_string(k) + " 1024");
    }
    expected.push_back("close");
    expected.push_back("status Zestaw komunikatów został wysłany.");
    EXPECT_EQ(log, expected);
    ASSERT_EQ(sign.requests.size(), 8u);
    for (std::size_t k = 0; k < 8; ++k) {
        EXPECT_EQ(sign.requests[k].Payload, DataOf(messages[k])) << "message " << k + 1;
    }
    EXPECT_FALSE(fs::exists(kHandOverFileName));
}

TEST_F(SendActionsTest, SendSetStopsAtTheFirstFailingMessage) {
    struct Case {
        int Failing;
        Answer How;
    } cases[] = {
        {1, Answer::Silent}, {1, Answer::Refused}, {4, Answer::Refused}, {8, Answer::Silent}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Failing);
        log.clear();
        sign.requests.clear();
        sign.answers.assign(static_cast<std::size_t>(c.Failing - 1), Answer::Done);
        sign.answers.push_back(c.How);

        EXPECT_EQ(actions.SendMessageSet("COM4"), SendResult::DeviceFailed);

        Log expected = {"open COM4"};
        for (int k = 1; k <= c.Failing; ++k) {
            expected.push_back("status Wysyłam komunikat numer " + std::to_string(k));
            expected.push_back("send 0" + std::to_string(k) + " 1024");
        }
        expected.push_back("error Nie mogę wysłać komunikatu numer " + std::to_string(c.Failing) +
                           " do linijki!");
        expected.push_back("close");
        EXPECT_EQ(log, expected);
        EXPECT_EQ(sign.requests.size(), static_cast<std::size_t>(c.Failing));
        EXPECT_FALSE(sign.open);
        // The box's secondary text says why: no reply at all, or the sign said no.
        const LineErrorKind why =
            c.How == Answer::Silent ? LineErrorKind::TimedOut : LineErrorKind::Refused;
        EXPECT_EQ(actions.LastError().Kind, why);
        ASSERT_FALSE(host.reasons.empty());
        EXPECT_EQ(host.reasons.back().rfind(LineErrorKindName(why, LineErrorLanguage::Polish), 0),
                  0u)
            << host.reasons.back();
        // ... and where: the port that was tried.
        EXPECT_TRUE(host.reasons.back().ends_with("\nPort: COM4")) << host.reasons.back();
    }
}

// --- clock and show ----------------------------------------------------------------------------

TEST_F(SendActionsTest, SyncClockSendsTheLocalTimeWithoutStatusText) {
    EXPECT_EQ(actions.SyncClock("COM1"), SendResult::Done);
    EXPECT_EQ(log, (Log{"open COM1", "send 11 6", "close"}));
    ASSERT_EQ(sign.requests.size(), 1u);
    const auto payload = ClockPayload(sign.local);
    EXPECT_EQ(sign.requests[0].Payload, Bytes(payload.begin(), payload.end()));
    EXPECT_EQ(sign.requests[0].Payload[0], 26); // 2026
    EXPECT_EQ(sign.requests[0].Payload[3], 13);
}

TEST_F(SendActionsTest, ShowRunsTheCurrentNumbersSlot) {
    for (int number = 1; number <= 8; ++number) {
        SCOPED_TRACE(number);
        log.clear();
        EXPECT_EQ(actions.ShowCurrentMessage("COM1", number), SendResult::Done);
        const Log expected = {"status Uruchamiam komunikat numer " + std::to_string(number),
                              "open COM1", "send " + Hex2(0x15 + number) + " 0", "close"};
        EXPECT_EQ(log, expected);
    }
}

TEST_F(SendActionsTest, FailedClockOrShowReportsBeforeClosing) {
    for (const Answer answer : {Answer::Refused, Answer::Silent}) {
        SCOPED_TRACE(static_cast<int>(answer));
        log.clear();
        sign.answers = {answer, answer};
        sign.requests.clear();
        EXPECT_EQ(actions.SyncClock("COM1"), SendResult::DeviceFailed);
        EXPECT_EQ(actions.ShowCurrentMessage("COM1", 1), SendResult::DeviceFailed);
        const Log expected = {
            "open COM1",
            "send 11 6",
            "error Nie mogę zsynchronizować zegara w linijce świetlnej!",
            "close",
            "status Uruchamiam komunikat numer 1",
            "open COM1",
            "send 16 0",
            "error Nie mogę wysłać komendy do linijki!",
            "close",
        };
        EXPECT_EQ(log, expected);
    }
}

// --- nesting, exceptions, the runner -----------------------------------------------------------

TEST_F(SendActionsTest, NestedActionWhileThePortIsHeldGetsThePortErrorAndLeavesItOpen) {
    // The window lets events run inside a status text; a click there starts another action.
    bool nested = false;
    host.onStatus = [&](const std::string& text) {
        if (!nested && text == "Wysyłam komunikat numer 2") {
            nested = true;
            EXPECT_EQ(actions.SyncClock("COM4"), SendResult::PortFailed);
            EXPECT_TRUE(sign.open);
        }
    };
    EXPECT_EQ(actions.SendMessageSet("COM4"), SendResult::Done);
    EXPECT_EQ(sign.requests.size(), 8u);
    const Log around = {"status Wysyłam komunikat numer 2", "open COM4",
                        "error Nie mogę otworzyć portu COM4 !", "send 02 1024"};
    EXPECT_NE(std::search(log.begin(), log.end(), around.begin(), around.end()), log.end());
    EXPECT_EQ(std::count(log.begin(), log.end(), "close"), 1);
    EXPECT_EQ(log.back(), "status Zestaw komunikatów został wysłany.");
}

TEST_F(SendActionsTest, PortIsClosedWhenTheWindowThrowsFromACallback) {
    host.onStatus = [](const std::string& text) {
        if (text == "Wysyłam komunikat numer 3") {
            throw std::runtime_error("window gone");
        }
    };
    EXPECT_THROW((void)actions.SendMessageSet("COM1"), std::runtime_error);
    EXPECT_FALSE(sign.open);
    EXPECT_EQ(log.back(), "close");
    host.onStatus = nullptr;
    EXPECT_EQ(actions.SyncClock("COM1"), SendResult::Done); // the next action opens it again
}

TEST_F(SendActionsTest, LineCallsRunInTheRunnerAndWindowCallbacksOnTheCallingThread) {
    const std::thread::id caller = std::this_thread::get_id();
    bool insideRunner = false;
    int runs = 0;
    int lineCallsOutside = 0;
    int lineCallsOnCaller = 0;
    int callbacksInside = 0;
    actions.SetTransactionRunner([&](const std::function<int()>& call) {
        ++runs;
        insideRunner = true;
        const int result = std::async(std::launch::async, call).get();
        insideRunner = false;
        return result;
    });
    sign.onLineCall = [&] {
        lineCallsOutside += insideRunner ? 0 : 1;
        lineCallsOnCaller += std::this_thread::get_id() == caller ? 1 : 0;
    };
    host.onStatus = [&](const std::string&) {
        callbacksInside += insideRunner || std::this_thread::get_id() != caller ? 1 : 0;
    };
    host.onError = host.onStatus;

    TypeShortMessage(kMessageScrolling);
    const Bytes sent = DataOf(messages[0]);
    EXPECT_EQ(actions.SendCurrentMessage("COM1", 1), SendResult::Done);
    EXPECT_EQ(runs, 3); // open, send, close
    EXPECT_EQ(DataOf(messages[1]), sent);

    sign.answers = {Answer::Done, Answer::Refused};
    sign.requests.clear();
    EXPECT_EQ(actions.SendMessageSet("COM1"), SendResult::DeviceFailed);
    EXPECT_EQ(runs, 3 + 4); // open, slot 1, slot 2 (refused), close
    EXPECT_EQ(log.back(), "close");

    EXPECT_EQ(lineCallsOutside, 0);
    EXPECT_EQ(lineCallsOnCaller, 0);
    EXPECT_EQ(callbacksInside, 0);

    actions.SetTransactionRunner(nullptr); // back to inline
    sign.onLineCall = [&] { lineCallsOnCaller += std::this_thread::get_id() == caller ? 1 : 0; };
    EXPECT_EQ(actions.ShowCurrentMessage("COM1", 1), SendResult::Done);
    EXPECT_GT(lineCallsOnCaller, 0);
}

TEST(MessageLengthForPreview, CountsBytesBeforeTheFirstZero) {
    std::array<std::uint8_t, kMessageSize> message{};
    EXPECT_EQ(MessageLengthForPreview(message.data()), 0);
    message.fill(0x41);
    EXPECT_EQ(MessageLengthForPreview(message.data()), 1024);
    message[1023] = 0;
    EXPECT_EQ(MessageLengthForPreview(message.data()), 1023);
    message[200] = 0;
    EXPECT_EQ(MessageLengthForPreview(message.data()), 200);
}

} // namespace
