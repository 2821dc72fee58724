// Transactions and device commands of ComProtocol over a scripted line with a fake clock.

#include "comm/tests/CommTestSupport.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class Transaction : public ::testing::Test {
protected:
    std::int64_t Elapsed() const { return line.now - line.writeTime; }

    FakeLine line;
    ComProtocol protocol{line, line};
};

TEST_F(Transaction, NoReplyGivesUpAfterExactly51Polls) {
    EXPECT_EQ(protocol.RunMessageSlot(380, 1), kComNoReply);
    EXPECT_EQ(line.writes, 1);
    EXPECT_EQ(line.reads, 51);
    EXPECT_EQ(protocol.LastPollCount(), 51);
    EXPECT_EQ(Elapsed(), 5100);
}

TEST_F(Transaction, ReplyCountsOnlyUntilTheLastPoll) {
    struct Case {
        std::int64_t Delay;
        int Result;
        std::int64_t Elapsed; // when the transaction ended
        int Polls;
    } cases[] = {
        {0, kComOk, 0, 1},             // already there: taken at once
        {30, kComOk, 30, 1},           // woken by the bytes, not by the 100 ms poll
        {100, kComOk, 100, 1},         // exactly at the first poll
        {101, kComOk, 101, 2},         //
        {2550, kComOk, 2550, 26},      //
        {5099, kComOk, 5099, 51},      //
        {5100, kComOk, 5100, 51},      // complete by the 51st poll counts
        {5101, kComNoReply, 5100, 51}, // later does not
        {5200, kComNoReply, 5100, 51},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Delay);
        FakeLine fresh;
        ComProtocol p(fresh, fresh);
        fresh.ReplyAfter(c.Delay, DoneReply());
        fresh.ReplyAfter(c.Delay, {0x00}); // the trailer byte of the empty reply
        EXPECT_EQ(p.RunMessageSlot(380, 2), c.Result);
        EXPECT_EQ(fresh.now - fresh.writeTime, c.Elapsed);
        EXPECT_EQ(p.LastPollCount(), c.Polls);
    }
}

TEST_F(Transaction, ReplySplitAtEveryPointIsAssembledAcrossReads) {
    const Bytes payload = {0x11, 0xF3, 0x22, 0xFF, 0xEF};
    const Bytes reply = EncodeReply(380, 0, 0x80, payload);
    for (std::size_t cut = 1; cut < reply.size(); ++cut) {
        SCOPED_TRACE(cut);
        FakeLine fresh;
        ComProtocol p(fresh, fresh);
        fresh.ReplyAfter(40, Bytes(reply.begin(), reply.begin() + static_cast<long>(cut)));
        fresh.ReplyAfter(260, Bytes(reply.begin() + static_cast<long>(cut), reply.end()));
        EXPECT_EQ(p.Transact(380, 0x16, nullptr, 0), kComOk);
        EXPECT_EQ(fresh.now - fresh.writeTime, 260);
        EXPECT_EQ(ReceivedPayload(p), payload);
    }
}

TEST_F(Transaction, ReplyTrickledByteByByteCompletes) {
    const Bytes reply = EncodeReply(380, 0, 0x80, {0x01, 0x02, 0x03});
    for (std::size_t i = 0; i < reply.size(); ++i) {
        line.ReplyAfter(static_cast<std::int64_t>(15 * i), {reply[i]});
    }
    EXPECT_EQ(protocol.Transact(380, 0x16, nullptr, 0), kComOk);
    EXPECT_EQ(Elapsed(), static_cast<std::int64_t>(15 * (reply.size() - 1)));
}

TEST_F(Transaction, ReplyCodeDecidesBetweenDoneAndRefused) {
    struct Case {
        std::uint8_t Code;
        int Result;
    } cases[] = {{0x80, kComOk}, {0x81, kComRefused}, {0x00, kComRefused}, {0xFF, kComRefused}};
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.Code));
        FakeLine fresh;
        ComProtocol p(fresh, fresh);
        fresh.ReplyAfter(200, EncodeReply(380, 0, c.Code, {0x01}));
        EXPECT_EQ(p.RunMessageSlot(380, 3), c.Result);
    }
}

TEST_F(Transaction, GarbledReplyIsNoReply) {
    Bytes reply = EncodeReply(380, 0, 0x80, {0x01, 0x02});
    reply.back() ^= 0x10;
    line.ReplyAfter(200, reply);
    EXPECT_EQ(protocol.RunMessageSlot(380, 1), kComNoReply);
    EXPECT_EQ(Elapsed(), 5100);
}

TEST_F(Transaction, DamagedReplyWithoutAValidOneIsReportedAsDamaged) {
    const Bytes good = EncodeReply(380, 0, 0x80, {0x01, 0x02});
    Bytes badTrailer = good;
    badTrailer.back() ^= 0x10;
    Bytes badHeader = good;
    badHeader[8] ^= 0x01; // the header checksum (nothing before it is escaped)
    const Bytes tooLong = EncodeReply(380, 0, 0x80, Bytes(1025, 0x20));
    const Bytes begun(good.begin(), good.begin() + 7);
    Bytes cut = begun;
    const Bytes elsewhere = EncodeReply(380, 5, 0x80, {}); // to another address: not ours
    cut.insert(cut.end(), elsewhere.begin(), elsewhere.end());
    Bytes damagedThenGood = badTrailer;
    damagedThenGood.insert(damagedThenGood.end(), good.begin(), good.end());
    struct Case {
        Bytes Reply;
        int Result;
        std::string Reason;
    } cases[] = {
        {badTrailer, kComNoReply, "a reply arrived damaged (checksum)"},
        {badHeader, kComNoReply, "a reply arrived damaged (checksum)"},
        {tooLong, kComNoReply, "a reply arrived damaged (length over 1024 bytes)"},
        {cut, kComNoReply, "a reply arrived damaged (incomplete)"},
        {begun, kComNoReply, "a reply arrived damaged (incomplete)"},
        {elsewhere, kComNoReply, "timed out: no reply after about 5.1 s"},
        {damagedThenGood, kComOk, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Reason);
        FakeLine fresh;
        ComProtocol p(fresh, fresh);
        fresh.ReplyAfter(200, c.Reply);
        EXPECT_EQ(p.RunMessageSlot(380, 1), c.Result);
        EXPECT_EQ(DescribeLineError(p.LastError(), LineErrorLanguage::English), c.Reason);
        EXPECT_EQ(DescribeSystemError(p.LastError()), ""); // the system had no part in it
        // A valid reply may still follow a damaged one, so the whole polling time is waited.
        EXPECT_EQ(fresh.now - fresh.writeTime, c.Result == kComOk ? 200 : 5100);
    }
}

TEST_F(Transaction, FailedWriteEndsTheTransactionAtOnceWithItsReason) {
    struct Case {
        int Written;
        LineError Reason; // the line's
        std::string Said;
    } cases[] = {
        {0, LineFailure(LineErrorKind::TimedOut, "the write stalled"),
         "timed out: the write stalled"},
        {4, SystemFailure(LineErrorKind::LineLost, 5, "Input/output error"),
         "line lost: the device hung up or was removed"},
        {3, LineError{}, "failed: only 3 of 10 bytes of the request were written"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Said);
        FakeLine fresh;
        ComProtocol p(fresh, fresh);
        fresh.FailWrites(c.Written, c.Reason);
        fresh.ReplyAfter(100, DoneReply());
        const std::int64_t start = fresh.now;
        EXPECT_EQ(p.RunMessageSlot(380, 1), kComNoReply);
        EXPECT_EQ(DescribeLineError(p.LastError(), LineErrorLanguage::English), c.Said);
        EXPECT_EQ(p.LastError().SystemCode, c.Reason.SystemCode);
        EXPECT_EQ(fresh.now, start);
        EXPECT_EQ(p.LastPollCount(), 0);
    }
}

TEST_F(Transaction, RestOfTheCompletingReadIsDiscarded) {
    Bytes both = DoneReply();
    both.push_back(0x00);
    const Bytes refused = EncodeReply(380, 0, 0x81, {0x05});
    both.insert(both.end(), refused.begin(), refused.end());
    line.ReplyAfter(100, both);
    EXPECT_EQ(protocol.RunMessageSlot(380, 1), kComOk);
    EXPECT_EQ(protocol.ReplyCode(), 0x80);
    // The refusal behind the reply was read with it and dropped; it cannot answer the next
    // request.
    EXPECT_EQ(protocol.RunMessageSlot(380, 1), kComNoReply);
}

TEST_F(Transaction, FrameBegunBeforeTheRequestCannotAnswerIt) {
    // The sign answers only a request it has whole, so the rest of a frame that began in the
    // last transaction is no reply to the next one, however well it fits.
    const Bytes reply = EncodeReply(380, 0, 0x80, {0x01, 0x02, 0x03});
    line.ReplyAfter(5000, Bytes(reply.begin(), reply.begin() + 6));
    EXPECT_EQ(protocol.RunMessageSlot(380, 1), kComNoReply);
    line.ReplyAfter(50, Bytes(reply.begin() + 6, reply.end()));
    EXPECT_EQ(protocol.RunMessageSlot(380, 1), kComNoReply);
    EXPECT_EQ(protocol.LastError().Kind, LineErrorKind::TimedOut);
}

TEST_F(Transaction, OnlyBytesArrivingAfterTheWholeRequestCanAnswerIt) {
    const Bytes done = DoneReply();
    const Bytes refused = EncodeReply(380, 0, 0x81, {0x05});
    struct Case {
        const char* What;
        Bytes Waiting;        // on the line before the request is written
        std::int64_t Sending; // how long the request takes to go out
        std::int64_t At;      // when Reply arrives, after the write
        Bytes Reply;
        int Result;
        bool ReplyDropped;
    } cases[] = {
        {"a stale reply waits, the sign is silent", done, 0, 0, {}, kComNoReply, false},
        {"a stale reply waits, the sign refuses", done, 0, 200, refused, kComRefused, false},
        {"a reply while the request goes out", {}, 1000, 500, done, kComNoReply, true},
        {"a reply once the request has gone out", {}, 1000, 1000, done, kComOk, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        FakeLine fresh;
        ComProtocol p(fresh, fresh);
        Bytes dropped;
        p.SetTraceHook([&](TraceDirection d, const std::uint8_t* bytes, std::size_t count) {
            if (d == TraceDirection::Discarded) {
                dropped.insert(dropped.end(), bytes, bytes + count);
            }
        });
        fresh.sendingMs = c.Sending;
        fresh.Arrive(c.Waiting);
        if (!c.Reply.empty()) {
            fresh.ReplyAfter(c.At, c.Reply);
        }
        EXPECT_EQ(p.RunMessageSlot(380, 1), c.Result);
        Bytes expected = c.Waiting;
        if (c.ReplyDropped) {
            expected.insert(expected.end(), c.Reply.begin(), c.Reply.end());
        }
        EXPECT_EQ(dropped, expected); // what --trace shows as discarded
    }
}

TEST_F(Transaction, VanishedPortEndsTheTransactionAtOnce) {
    for (const bool viaRead : {false, true}) {
        SCOPED_TRACE(viaRead);
        FakeLine fresh;
        ComProtocol p(fresh, fresh);
        fresh.LoseAfter(350, viaRead);
        EXPECT_EQ(p.SyncClock(380), kComNoReply);
        EXPECT_EQ(fresh.now - fresh.writeTime, 350);
        EXPECT_EQ(p.LastPollCount(), 4);
    }
}

TEST_F(Transaction, FailuresKeepTheirKind) {
    enum class Fault { None, Silent, Refused, Lost, Stopped };
    struct Case {
        Fault How;
        int Result;
        LineErrorKind Kind;
    } cases[] = {
        {Fault::None, kComOk, LineErrorKind::None},
        {Fault::Silent, kComNoReply, LineErrorKind::TimedOut},
        {Fault::Refused, kComRefused, LineErrorKind::Refused},
        {Fault::Lost, kComNoReply, LineErrorKind::LineLost},
        {Fault::Stopped, kComNoReply, LineErrorKind::Interrupted},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.How));
        FakeLine fresh;
        ComProtocol p(fresh, fresh);
        // A stop that comes 300 ms into the transaction ends it at the next look.
        if (c.How == Fault::Stopped) {
            p.SetCancelCheck([&fresh] { return fresh.writeTime >= 0 && fresh.now >= 1300; });
        }
        if (c.How == Fault::None || c.How == Fault::Refused) {
            fresh.ReplyAfter(200, EncodeReply(380, 0, c.How == Fault::None ? 0x80 : 0x81, {1}));
        } else if (c.How == Fault::Lost) {
            fresh.LoseAfter(200);
        }
        EXPECT_EQ(p.RunMessageSlot(380, 1), c.Result);
        EXPECT_EQ(p.LastError().Kind, c.Kind);
        if (c.How == Fault::Stopped) {
            EXPECT_LE(fresh.now - fresh.writeTime, 400); // not the whole polling time
        }
    }
}

TEST_F(Transaction, SendMessageSlotMapsSlotsToCommands) {
    Bytes message(1024);
    for (std::size_t i = 0; i < message.size(); ++i) {
        message[i] = static_cast<std::uint8_t>(i % 0xE0); // nothing to escape
    }
    const std::uint8_t expected[] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x15};
    for (int slot = 1; slot <= 9; ++slot) {
        SCOPED_TRACE(slot);
        FakeLine fresh;
        ComProtocol p(fresh, fresh);
        fresh.ReplyAfter(100, DoneReply());
        fresh.ReplyAfter(100, {0x00});
        EXPECT_EQ(p.SendMessageSlot(380, slot, message.data()), kComOk);
        ASSERT_EQ(fresh.written.size(), 9 + 1024 + 1u);
        EXPECT_EQ(fresh.written[5], expected[slot - 1]);
        EXPECT_EQ(fresh.written[6], 0x04);
        EXPECT_EQ(fresh.written[7], 0x00);
        EXPECT_EQ(Bytes(fresh.written.begin() + 9, fresh.written.end() - 1), message);
    }
}

TEST_F(Transaction, RunMessageSlotMapsSlotsToCommands) {
    for (int slot = 1; slot <= 9; ++slot) {
        SCOPED_TRACE(slot);
        FakeLine fresh;
        ComProtocol p(fresh, fresh);
        fresh.ReplyAfter(100, DoneReply());
        fresh.ReplyAfter(100, {0x00});
        EXPECT_EQ(p.RunMessageSlot(380, slot), kComOk);
        ASSERT_EQ(fresh.written.size(), 10u);
        EXPECT_EQ(fresh.written[5], 0x15 + slot);
    }
    EXPECT_EQ(protocol.RunMessageSlot(380, 1), kComNoReply); // nothing answers here
    EXPECT_EQ(line.written, (Bytes{0xFF, 0x00, 0x00, 0x01, 0x7C, 0x16, 0x00, 0x00, 0x88, 0x00}));
}

TEST_F(Transaction, SlotOutOfRangeSendsNothing) {
    const Bytes message(1024, 0x20);
    for (const int slot : {0, 10, -1, 21}) {
        SCOPED_TRACE(slot);
        EXPECT_EQ(protocol.SendMessageSlot(380, slot, message.data()), kComBadSlot);
        EXPECT_EQ(protocol.RunMessageSlot(380, slot), kComBadSlot);
    }
    EXPECT_EQ(line.writes, 0);
    EXPECT_EQ(line.reads, 0);
}

TEST_F(Transaction, OversizePayloadIsRefusedWithoutWriting) {
    const Bytes big(1025, 0x00);
    EXPECT_EQ(protocol.Transact(380, 0x15, big.data(), 1025), kComNoReply);
    EXPECT_EQ(line.writes, 0);
}

TEST_F(Transaction, SyncClockSendsTheLocalDateAndTime) {
    line.local = {2009, 6, 29, 14, 5, 37};
    line.ReplyAfter(100, DoneReply());
    line.ReplyAfter(100, {0x00});
    EXPECT_EQ(protocol.SyncClock(380), kComOk);
    const Bytes payload = {0x09, 0x06, 0x1D, 0x0E, 0x05, 0x00};
    Bytes expected = {0xFF, 0x00, 0x00, 0x01, 0x7C, 0x11, 0x00, 0x06, 0x89};
    expected.insert(expected.end(), payload.begin(), payload.end());
    expected.push_back(0x09 ^ 0x06 ^ 0x1D ^ 0x0E ^ 0x05);
    EXPECT_EQ(line.written, expected);
}

TEST(ClockPayload, YearIsCountedFrom2000ModuloAByte) {
    struct Case {
        int Year;
        std::uint8_t Byte;
    } cases[] = {{2000, 0x00}, {2009, 0x09}, {2026, 0x1A},
                 {2099, 0x63}, {2255, 0xFF}, {2256, 0x00}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Year);
        const auto payload = ClockPayload({c.Year, 12, 31, 23, 59, 59});
        EXPECT_EQ(payload[0], c.Byte);
        EXPECT_EQ(payload[1], 12);
        EXPECT_EQ(payload[2], 31);
        EXPECT_EQ(payload[3], 23);
        EXPECT_EQ(payload[4], 59);
        EXPECT_EQ(payload[5], 0); // seconds are not sent
    }
}

TEST_F(Transaction, TraceSeesTheFrameSentAndEveryChunkRead) {
    Bytes sent;
    Bytes received;
    int chunks = 0;
    protocol.SetTraceHook([&](TraceDirection d, const std::uint8_t* bytes, std::size_t count) {
        if (d == TraceDirection::Sent) {
            sent.assign(bytes, bytes + count);
        } else {
            received.insert(received.end(), bytes, bytes + count);
            ++chunks;
        }
    });
    const Bytes reply = EncodeReply(380, 0, 0x80, {0x44});
    line.ReplyAfter(20, Bytes(reply.begin(), reply.begin() + 4));
    line.ReplyAfter(120, Bytes(reply.begin() + 4, reply.end()));
    EXPECT_EQ(protocol.RunMessageSlot(380, 1), kComOk);
    EXPECT_EQ(sent, line.written);
    EXPECT_EQ(received, reply);
    EXPECT_EQ(chunks, 2);

    protocol.SetTraceHook(nullptr);
    EXPECT_EQ(protocol.RunMessageSlot(380, 1), kComNoReply);
    EXPECT_EQ(chunks, 2);
}

TEST_F(Transaction, OpenAndCloseForwardToTheLine) {
    EXPECT_EQ(protocol.Open("COM1"), 0);
    EXPECT_EQ(protocol.Open("COM1"), 1);
    EXPECT_TRUE(line.open);
    EXPECT_EQ(protocol.Close(), 0);
    EXPECT_FALSE(line.open);
    EXPECT_EQ(line.opens, 2);
}

} // namespace
