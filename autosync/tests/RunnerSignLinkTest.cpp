// The SignLink that hands its calls to a transaction runner: every call reaches the wrapped
// link through the runner with its arguments and result, and a call made while another one is
// in flight (from an event run during the runner's wait) never reaches the wrapped link.

#include "autosync/RunnerSignLink.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

class RecordingLink final : public SignLink {
public:
    int Open(const std::string& portName) override { return Record("open " + portName); }
    int Close() override { return Record("close"); }
    int SyncClock(std::uint16_t address) override {
        return Record("clock " + std::to_string(address));
    }
    int SendMessageSlot(std::uint16_t address, int slot, const std::uint8_t* message) override {
        return Record("send " + std::to_string(address) + " " + std::to_string(slot) + " " +
                      std::to_string(message[0]));
    }

    std::vector<std::string> Calls;
    int Result = 0;

private:
    int Record(std::string call) {
        Calls.push_back(std::move(call));
        return Result;
    }
};

TEST(RunnerSignLink, EveryCallGoesThroughTheRunnerWithItsResult) {
    RecordingLink inner;
    inner.Result = 3;
    int runs = 0;
    RunnerSignLink link(inner, [&](const std::function<int()>& call) {
        ++runs;
        EXPECT_TRUE(link.InTransaction());
        return call();
    });
    SyncMessage message{};
    message[0] = 7;
    EXPECT_EQ(link.Open("/dev/ttyS0"), 3);
    EXPECT_EQ(link.SyncClock(380), 3);
    EXPECT_EQ(link.SendMessageSlot(380, 9, message.data()), 3);
    EXPECT_EQ(link.Close(), 3);
    EXPECT_EQ(runs, 4);
    EXPECT_FALSE(link.InTransaction());
    EXPECT_EQ(inner.Calls,
              (std::vector<std::string>{"open /dev/ttyS0", "clock 380", "send 380 9 7", "close"}));
}

TEST(RunnerSignLink, WithoutRunnerCallsRunInline) {
    RecordingLink inner;
    RunnerSignLink link(inner);
    EXPECT_EQ(link.Open("COM1"), 0);
    link.SetRunner([](const std::function<int()>&) { return 9; }); // swallows the call
    EXPECT_EQ(link.Close(), 9);
    link.SetRunner({});
    EXPECT_EQ(link.Close(), 0);
    EXPECT_EQ(inner.Calls, (std::vector<std::string>{"open COM1", "close"}));
}

// A call made while the runner waits (as a timer event run by the wait would) is refused and
// the link is free again afterwards.
TEST(RunnerSignLink, CallDuringACallInFlightIsRefused) {
    RecordingLink inner;
    RunnerSignLink* self = nullptr;
    std::vector<int> nestedResults;
    RunnerSignLink link(inner, [&](const std::function<int()>& call) {
        const SyncMessage blank{};
        nestedResults.push_back(self->SendMessageSlot(380, 9, blank.data()));
        nestedResults.push_back(self->Close());
        return call();
    });
    self = &link;
    EXPECT_EQ(link.SyncClock(380), 0);
    EXPECT_EQ(nestedResults, (std::vector<int>{1, 1}));
    EXPECT_EQ(inner.Calls, std::vector<std::string>{"clock 380"});
    EXPECT_FALSE(link.InTransaction());
}

} // namespace
