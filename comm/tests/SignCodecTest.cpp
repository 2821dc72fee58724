// The codec as the sign uses it: decoding requests addressed to it, encoding its replies.

#include "comm/FrameCodec.h"
#include "comm/Unitcomprotocol.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

using framecodec::EncodeReply;
using framecodec::EncodeRequest;
using framecodec::FrameDecoder;
using framecodec::MaxFrameSize;
using framecodec::Trailer;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Request(std::uint16_t destination, std::uint8_t command, const Bytes& payload) {
    Bytes out(MaxFrameSize(payload.size()));
    out.resize(EncodeRequest(destination, command, payload, out));
    return out;
}

Bytes Reply(std::uint16_t source, std::uint8_t code, const Bytes& payload,
            Trailer trailer = Trailer::Correct) {
    Bytes out(MaxFrameSize(payload.size()));
    out.resize(EncodeReply(source, code, payload, out, trailer));
    return out;
}

// Feeds every byte; returns how many requests completed.
int FeedAll(FrameDecoder& decoder, const Bytes& line) {
    int completed = 0;
    for (std::uint8_t b : line) {
        completed += decoder.Feed(b) ? 1 : 0;
    }
    return completed;
}

} // namespace

TEST(SignCodecTest, EveryByteValueSurvivesEscaping) {
    Bytes payload(1024);
    for (std::size_t i = 0; i < payload.size(); ++i) {
        payload[i] = static_cast<std::uint8_t>(0xFF - i % 256);
    }
    const Bytes line = Request(380, 0x15, payload);
    // On the line 0xFF is only the start byte; every F0..FF value is F0 then value + 16.
    for (std::size_t i = 1; i < line.size(); ++i) {
        ASSERT_NE(line[i], 0xFF) << i;
        if (line[i] == 0xF0) {
            ASSERT_LT(line[i + 1], 0x10);
            ++i;
        }
    }
    auto decoder = FrameDecoder::ForRequests(380);
    ASSERT_EQ(FeedAll(decoder, line), 1);
    EXPECT_EQ(Bytes(decoder.Payload().begin(), decoder.Payload().end()), payload);
}

TEST(SignCodecTest, FaultyRequestsAreDropped) {
    const Bytes good = Request(380, 0x01, {0x10, 0x20, 0x30});
    struct Case {
        const char* what;
        std::size_t index; // line byte to change
        std::uint8_t value;
    };
    const Case cases[] = {
        {"other destination", 4, 0x7D},
        {"bad header checksum", 8, 0x00},
        {"bad trailer", good.size() - 1, 0x01},
        {"payload byte changed", 10, 0x21},
        {"length changed", 7, 0x02},
    };
    for (const Case& c : cases) {
        Bytes line = good;
        line[c.index] = c.value;
        auto decoder = FrameDecoder::ForRequests(380);
        EXPECT_EQ(FeedAll(decoder, line), 0) << c.what;
        // The decoder recovers at the next start byte.
        EXPECT_EQ(FeedAll(decoder, good), 1) << c.what;
    }
}

TEST(SignCodecTest, EmptyPayloadNeedsZeroTrailer) {
    Bytes line = Request(380, 0x16, {});
    line.back() = 0x1E; // the reply rule's value, wrong for a request
    auto decoder = FrameDecoder::ForRequests(380);
    EXPECT_EQ(FeedAll(decoder, line), 0);
}

TEST(SignCodecTest, OversizedPayloadIsDroppedWithoutOverrun) {
    Bytes payload(framecodec::kMaxPayload + 1, 0x11);
    auto decoder = FrameDecoder::ForRequests(380);
    EXPECT_EQ(FeedAll(decoder, Request(380, 0x15, payload)), 0);
}

TEST(SignCodecTest, StartByteRestartsAndEscapedFFIsData) {
    const Bytes good = Request(380, 0x02, {0xEF, 0xFF});
    // Junk, then a partial frame cut by a new start byte, then the whole frame.
    Bytes line = {0x00, 0xF0, 0x13, 0x55};
    line.insert(line.end(), good.begin(), good.begin() + 6);
    line.insert(line.end(), good.begin(), good.end());
    auto decoder = FrameDecoder::ForRequests(380);
    EXPECT_EQ(FeedAll(decoder, line), 1);
    EXPECT_EQ(Bytes(decoder.Payload().begin(), decoder.Payload().end()), (Bytes{0xEF, 0xFF}));

    // F0 FF inside a frame is the value 0xEF and does not restart it.
    Bytes escaped = {0xFF, 0x00, 0x00, 0x01, 0x7C, 0x03, 0x00, 0x01, 0x9C, 0xF0, 0xFF, 0xEF};
    auto other = FrameDecoder::ForRequests(380);
    EXPECT_EQ(FeedAll(other, escaped), 1);
    EXPECT_EQ(other.Payload()[0], 0xEF);
}

TEST(SignCodecTest, AddressIsTheDecodersOwn) {
    const Bytes line = Request(0x1234, 0x11, {9, 6, 29, 14, 5, 0});
    auto sign380 = FrameDecoder::ForRequests(380);
    auto sign1234 = FrameDecoder::ForRequests(0x1234);
    EXPECT_EQ(FeedAll(sign380, line), 0);
    EXPECT_EQ(FeedAll(sign1234, line), 1);
}

TEST(SignCodecTest, WrongTrailerChangesOnlyTheTrailer) {
    const Bytes wrong = Reply(380, 0x80, {0x01, 0xF2}, Trailer::Wrong);
    const Bytes right = Reply(380, 0x80, {0x01, 0xF2});
    EXPECT_EQ(Bytes(wrong.begin(), wrong.end() - 1), Bytes(right.begin(), right.end() - 1));
    EXPECT_NE(wrong.back(), right.back());
}

TEST(SignCodecTest, EncodersRefuseTooSmallBuffers) {
    std::array<std::uint8_t, 12> small{};
    const Bytes payload(2, 0xFF);
    EXPECT_EQ(EncodeReply(380, 0x80, payload, small), 0u);
    std::array<std::uint8_t, MaxFrameSize(2)> enough{};
    EXPECT_GT(EncodeRequest(380, 0x01, payload, enough), 0u);
}

// The two sides of the line agree: what the computer's encoder sends, the sign accepts, and
// the sign's replies complete (or, garbled, fail) in the computer's decoder.
TEST(SignCodecTest, AgreesWithTheComputersProtocol) {
    Bytes message(1024);
    for (std::size_t i = 0; i < message.size(); ++i) {
        message[i] = static_cast<std::uint8_t>(255 - i);
    }
    struct Sent {
        std::uint8_t command;
        Bytes payload;
    };
    const Sent requests[] = {
        {0x15, message}, {0x03, message}, {0x11, {0x09, 0x06, 0x1D, 0x0E, 0x05, 0x00}}, {0x1E, {}}};
    for (const Sent& r : requests) {
        ComProtocol protocol;
        ASSERT_EQ(protocol.AssembleFrame(380, r.command, r.payload.data(),
                                         static_cast<std::uint32_t>(r.payload.size())),
                  0);
        const Bytes line(protocol.TransmitBuffer(),
                         protocol.TransmitBuffer() + protocol.TransmitLength());
        EXPECT_EQ(line, Request(380, r.command, r.payload)) << int(r.command);
        auto sign = FrameDecoder::ForRequests(380);
        EXPECT_EQ(FeedAll(sign, line), 1) << int(r.command);
        EXPECT_EQ(sign.Code(), r.command);
        EXPECT_EQ(Bytes(sign.Payload().begin(), sign.Payload().end()), r.payload);
    }

    struct Answer {
        std::uint8_t code;
        Bytes payload;
        Trailer trailer;
        bool complete;
    };
    const Answer answers[] = {
        {0x80, {}, Trailer::Correct, true},
        {0x81, {}, Trailer::Correct, true},
        {0x80, {0xFF, 0x00, 0xF0}, Trailer::Correct, true},
        {0x80, {0x00}, Trailer::Wrong, false},
        {0x80, {}, Trailer::Wrong, true}, // an empty reply's trailer is not tested
    };
    for (const Answer& a : answers) {
        ComProtocol protocol;
        for (std::uint8_t b : Reply(380, a.code, a.payload, a.trailer)) {
            protocol.ReceiveByte(b);
        }
        EXPECT_EQ(protocol.ReplyComplete(), a.complete) << int(a.code) << " " << a.payload.size();
        EXPECT_EQ(protocol.ReplyCode(), a.code);
        EXPECT_EQ(protocol.ReplySource(), 380);
    }
}
