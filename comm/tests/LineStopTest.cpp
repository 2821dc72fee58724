// Stop requests and the waits that cannot poll for them: the name lookup's.

#include "comm/LineStop.h"
#include "comm/TcpResolve.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>

namespace {

using Clock = std::chrono::steady_clock;

// Each case ends with no request left for the next one in the same process.
class LineStopRequest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(PrepareLineStop()); }
    void TearDown() override { ResetLineStop(); }
};

// The lookup's wait is a real thread's, on the steady clock: the bound tells an end at the next
// stop check from the 3 s deadline, with room for a loaded machine.
class LineStopRequestRealTime : public LineStopRequest {};

TEST_F(LineStopRequestRealTime, EndsTheWaitForALookupThatHangs) {
    EndLineWaitsOnStop(true);
    // The lookup stands for a resolver that does not answer: the signal comes while it runs,
    // and it returns only when released, long after the caller stopped waiting.
    auto release = std::make_shared<std::promise<void>>();
    std::shared_future<void> released = release->get_future().share();
    const auto start = Clock::now();
    const auto outcome = tcpresolve::Resolve<int>(
        start + std::chrono::seconds(3),
        [released](int** list) {
            RequestLineStop();
            released.wait();
            *list = nullptr;
            return 0;
        },
        [](int*) {});
    const auto waited = Clock::now() - start;
    release->set_value();
    EXPECT_EQ(outcome, nullptr);
    EXPECT_TRUE(LineWaitsStopped()); // what tells the caller it was no time-out
    EXPECT_LT(waited, std::chrono::milliseconds(2000));
}

TEST_F(LineStopRequest, LeavesTheLookupAloneWhereStopsDoNotEndLineWaits) {
    RequestLineStop();
    {
        const StopEndsLineWaits opening; // only while it lives: a watch opening its port
        EXPECT_TRUE(LineWaitsStopped());
    }
    const auto outcome = tcpresolve::Resolve<int>(
        Clock::now() + std::chrono::seconds(3),
        [](int** list) {
            *list = nullptr;
            return 7;
        },
        [](int*) {});
    ASSERT_NE(outcome, nullptr);
    EXPECT_EQ(outcome->Code, 7);
}

} // namespace
