// The frame codec, both ends of it, without any line: the encoder, the decoders of requests
// (the sign's end) and of replies, and ComProtocol's use of them on the computer's end.

#include "comm/tests/CommTestSupport.h"

#include <gtest/gtest.h>

#include <array>
#include <memory>

namespace {

// The object is a few kilobytes; keep it off the test's stack frame in loops.
std::unique_ptr<ComProtocol> NewProtocol(FakeLine& line) {
    return std::make_unique<ComProtocol>(line, line);
}

class FrameCodec : public ::testing::Test {
protected:
    FakeLine line;
    ComProtocol protocol{line, line};
};

// --- Known frames through both ends -------------------------------------------------------

// Frames written out by hand, independent of the codec. Each goes through the codec's encoder
// and the decoder of its kind, and through ComProtocol's own end of it (requests from the
// computer are assembled, replies are received).
struct KnownFrame {
    const char* Name;
    framecodec::FrameKind Kind;
    std::uint16_t Source;
    std::uint16_t Destination;
    std::uint8_t Code;
    Bytes Payload;
    Bytes Line;
};

TEST_F(FrameCodec, KnownFramesRoundTripThroughEncoderAndDecoder) {
    using framecodec::FrameKind;
    const KnownFrame frames[] = {
        {"request: show slot 1, empty payload, trailer 00",
         FrameKind::Request,
         0,
         380,
         0x16,
         {},
         {0xFF, 0x00, 0x00, 0x01, 0x7C, 0x16, 0x00, 0x00, 0x88, 0x00}},
        {"request: payload F3 41 escaped, trailer is the payload's XOR",
         FrameKind::Request,
         0,
         380,
         0x01,
         {0xF3, 0x41},
         {0xFF, 0x00, 0x00, 0x01, 0x7C, 0x01, 0x00, 0x02, 0x9D, 0xF0, 0x03, 0x41, 0xB2}},
        {"request: header checksum 0xFE is escaped",
         FrameKind::Request,
         0,
         380,
         0x60,
         {},
         {0xFF, 0x00, 0x00, 0x01, 0x7C, 0x60, 0x00, 0x00, 0xF0, 0x0E, 0x00}},
        {"reply: done, empty payload, trailer is the header checksum",
         FrameKind::Reply,
         380,
         0,
         0x80,
         {},
         {0xFF, 0x01, 0x7C, 0x00, 0x00, 0x80, 0x00, 0x00, 0x1E, 0x1E}},
        {"reply: payload 01 F2, trailer is header checksum XOR payload",
         FrameKind::Reply,
         380,
         0,
         0x80,
         {0x01, 0xF2},
         {0xFF, 0x01, 0x7C, 0x00, 0x00, 0x80, 0x00, 0x02, 0x1C, 0x01, 0xF0, 0x02,
          0x1C ^ 0x01 ^ 0xF2}},
        {"reply: refused from 0xFFFF, source escaped",
         FrameKind::Reply,
         0xFFFF,
         0,
         0x81,
         {},
         {0xFF, 0xF0, 0x0F, 0xF0, 0x0F, 0x00, 0x00, 0x81, 0x00, 0x00, 0x62, 0x62}},
    };
    for (const KnownFrame& f : frames) {
        SCOPED_TRACE(f.Name);
        Bytes encoded(framecodec::MaxFrameSize(f.Payload.size()));
        framecodec::FrameEncoder encoder(encoded);
        encoded.resize(encoder.Encode(f.Kind, f.Source, f.Destination, f.Code, f.Payload));
        EXPECT_EQ(encoded, f.Line);

        auto decoder = f.Kind == FrameKind::Request
                           ? framecodec::FrameDecoder::ForRequests(f.Destination)
                           : framecodec::FrameDecoder::ForReplies();
        for (std::size_t i = 0; i < f.Line.size(); ++i) {
            // Only the last byte completes the frame.
            EXPECT_EQ(decoder.Feed(f.Line[i]), i + 1 == f.Line.size()) << "byte " << i;
        }
        EXPECT_EQ(decoder.Source(), f.Source);
        EXPECT_EQ(decoder.Code(), f.Code);
        EXPECT_EQ(Bytes(decoder.Payload().begin(), decoder.Payload().end()), f.Payload);

        auto p = NewProtocol(line);
        if (f.Kind == FrameKind::Request) {
            ASSERT_EQ(p->AssembleFrame(f.Destination, f.Code, f.Payload.data(),
                                       static_cast<std::uint32_t>(f.Payload.size())),
                      0);
            EXPECT_EQ(TransmittedFrame(*p), f.Line);
        } else {
            Feed(*p, f.Line);
            EXPECT_TRUE(p->ReplyComplete());
            EXPECT_EQ(p->ReplySource(), f.Source);
            EXPECT_EQ(p->ReplyCode(), f.Code);
            EXPECT_EQ(ReceivedPayload(*p), f.Payload);
        }
    }
}

// The same line bytes through both kinds of decoder: they differ only in the rules of their
// kind. The request decoder listens on address 0 here so that the destination does not decide.
TEST_F(FrameCodec, DecoderKindsDifferOnlyInTheirRules) {
    struct Case {
        const char* Name;
        Bytes Line;
        bool ReplyCompletes;
        bool RequestCompletes;
    } cases[] = {
        {"empty payload, trailer 00",
         {0xFF, 0x01, 0x7C, 0x00, 0x00, 0x80, 0x00, 0x00, 0x1E, 0x00},
         true,
         true},
        {"empty payload, any other trailer: tested only in a request",
         {0xFF, 0x01, 0x7C, 0x00, 0x00, 0x80, 0x00, 0x00, 0x1E, 0x55},
         true,
         false},
        {"payload 42 with the reply trailer",
         {0xFF, 0x01, 0x7C, 0x00, 0x00, 0x80, 0x00, 0x01, 0x1F, 0x42, 0x1F ^ 0x42},
         true,
         false},
        {"payload 42 with the request trailer",
         {0xFF, 0x01, 0x7C, 0x00, 0x00, 0x80, 0x00, 0x01, 0x1F, 0x42, 0x42},
         false,
         true},
        {"escape byte then 0xFF while idle starts only a reply",
         {0xF0, 0xFF, 0x01, 0x7C, 0x00, 0x00, 0x80, 0x00, 0x00, 0x1E, 0x00},
         true,
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        auto reply = framecodec::FrameDecoder::ForReplies();
        auto request = framecodec::FrameDecoder::ForRequests(0);
        bool replyDone = false;
        bool requestDone = false;
        for (std::uint8_t b : c.Line) {
            replyDone = reply.Feed(b) || replyDone;
            requestDone = request.Feed(b) || requestDone;
        }
        EXPECT_EQ(replyDone, c.ReplyCompletes);
        EXPECT_EQ(requestDone, c.RequestCompletes);
    }
}

// --- Encoder -------------------------------------------------------------------------------

TEST_F(FrameCodec, RequestHeadersOfTheCommands) {
    const Bytes message(1024, 0x20);
    const Bytes clock(6, 0x01);
    struct Case {
        std::uint8_t Command;
        const Bytes* Payload;
        Bytes Header;
    } cases[] = {
        {0x01, &message, {0xFF, 0x00, 0x00, 0x01, 0x7C, 0x01, 0x04, 0x00, 0x9B}},
        {0x15, &message, {0xFF, 0x00, 0x00, 0x01, 0x7C, 0x15, 0x04, 0x00, 0x8F}},
        {0x11, &clock, {0xFF, 0x00, 0x00, 0x01, 0x7C, 0x11, 0x00, 0x06, 0x89}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.Command));
        ASSERT_EQ(protocol.AssembleFrame(380, c.Command, c.Payload->data(),
                                         static_cast<std::uint32_t>(c.Payload->size())),
                  0);
        const Bytes frame = TransmittedFrame(protocol);
        ASSERT_GE(frame.size(), c.Header.size());
        EXPECT_EQ(Bytes(frame.begin(), frame.begin() + 9), c.Header);
        // No escapes in these payloads: header, payload, trailer.
        EXPECT_EQ(frame.size(), 9 + c.Payload->size() + 1);
    }
}

TEST_F(FrameCodec, EveryHighValueInThePayloadIsEscapedAndNothingBelow) {
    for (int v = 0xE0; v <= 0xFF; ++v) {
        SCOPED_TRACE(v);
        const Bytes payload = {static_cast<std::uint8_t>(v)};
        ASSERT_EQ(protocol.AssembleFrame(380, 0x16, payload.data(), 1), 0);
        const Bytes frame = TransmittedFrame(protocol);
        // Payload and trailer (which equals the single payload byte) both go out the same way.
        const Bytes expected = v >= 0xF0 ? Bytes{0xF0, static_cast<std::uint8_t>(v - 0xF0)}
                                         : Bytes{static_cast<std::uint8_t>(v)};
        ASSERT_EQ(frame.size(), 9 + 2 * expected.size());
        EXPECT_EQ(Bytes(frame.begin() + 9, frame.begin() + 9 + static_cast<long>(expected.size())),
                  expected);
        EXPECT_EQ(Bytes(frame.end() - static_cast<long>(expected.size()), frame.end()), expected);
    }
}

TEST_F(FrameCodec, WorstCaseFrameFitsAndKeepsEveryByte) {
    // Destination, command and payload all 0xFF: almost every byte after the start is escaped.
    const Bytes payload(1024, 0xFF);
    ASSERT_EQ(protocol.AssembleFrame(0xFFFF, 0xFF, payload.data(), 1024), 0);
    const Bytes frame = TransmittedFrame(protocol);
    ASSERT_LE(frame.size(), kTransmitCapacity);

    Bytes plain = {0xFF, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0x04, 0x00};
    plain.push_back(static_cast<std::uint8_t>(0xE3 ^ 0xFF ^ 0xFF ^ 0xFF ^ 0x04));
    plain.insert(plain.end(), payload.begin(), payload.end());
    plain.push_back(0x00); // 1024 x 0xFF XOR to 0
    EXPECT_EQ(Unescape(frame), plain);
    EXPECT_EQ(std::count(frame.begin() + 1, frame.end(), 0xFF), 0);
}

TEST_F(FrameCodec, TransmitBufferNeverOverflows) {
    const Bytes payload(1024, 0xFF);
    ASSERT_EQ(protocol.AssembleFrame(0xFFFF, 0xFF, payload.data(), 1024), 0);
    for (int i = 0; i < 200; ++i) {
        protocol.PutByte(0xFF);
    }
    EXPECT_LE(protocol.TransmitLength(), kTransmitCapacity);

    const Bytes tooLong(1025, 0x00);
    EXPECT_EQ(protocol.AssembleFrame(380, 0x15, tooLong.data(), 1025), 1);
    EXPECT_EQ(protocol.TransmitLength(), 0u);
}

TEST_F(FrameCodec, WrongTrailerChangesOnlyTheTrailer) {
    const Bytes payload = {0x01, 0xF2};
    Bytes right(framecodec::MaxFrameSize(payload.size()));
    right.resize(framecodec::EncodeReply(380, 0x80, payload, right));
    Bytes wrong(framecodec::MaxFrameSize(payload.size()));
    wrong.resize(framecodec::EncodeReply(380, 0x80, payload, wrong, framecodec::Trailer::Wrong));
    EXPECT_EQ(Bytes(wrong.begin(), wrong.end() - 1), Bytes(right.begin(), right.end() - 1));
    EXPECT_NE(wrong.back(), right.back());
}

TEST_F(FrameCodec, EncodersRefuseTooSmallBuffers) {
    std::array<std::uint8_t, 12> small{};
    const Bytes payload(2, 0xFF);
    EXPECT_EQ(framecodec::EncodeReply(380, 0x80, payload, small), 0u);
    std::array<std::uint8_t, framecodec::MaxFrameSize(2)> enough{};
    EXPECT_GT(framecodec::EncodeRequest(380, 0x01, payload, enough), 0u);
}

TEST_F(FrameCodec, HeaderDecoderForTraces) {
    FrameHeader h;
    const Bytes escapedChecksum = {0xFF, 0x00, 0x00, 0x01, 0x7C, 0x60,
                                   0x00, 0x00, 0xF0, 0x0E, 0x00};
    ASSERT_TRUE(DecodeFrameHeader(escapedChecksum.data(), escapedChecksum.size(), h));
    EXPECT_EQ(h.Source, 0);
    EXPECT_EQ(h.Destination, 380);
    EXPECT_EQ(h.Code, 0x60);
    EXPECT_EQ(h.Length, 0);
    EXPECT_EQ(h.Checksum, 0xFE);
    EXPECT_TRUE(h.ChecksumOk);

    const Bytes reply = EncodeReply(0x1234, 0, 0x81, Bytes(300, 0x00));
    ASSERT_TRUE(DecodeFrameHeader(reply.data(), reply.size(), h));
    EXPECT_EQ(h.Source, 0x1234);
    EXPECT_EQ(h.Code, 0x81);
    EXPECT_EQ(h.Length, 300);
    EXPECT_TRUE(h.ChecksumOk);

    Bytes corrupt = reply;
    corrupt[5] ^= 0x01;
    ASSERT_TRUE(DecodeFrameHeader(corrupt.data(), corrupt.size(), h));
    EXPECT_FALSE(h.ChecksumOk);

    EXPECT_FALSE(DecodeFrameHeader(escapedChecksum.data(), 9, h)); // ends inside the escape
    EXPECT_FALSE(DecodeFrameHeader(escapedChecksum.data() + 1, 10, h));
    const Bytes restarted = {0xFF, 0x00, 0x00, 0xFF, 0x00, 0x00, 0x01, 0x7C, 0x16, 0x00, 0x00};
    EXPECT_FALSE(DecodeFrameHeader(restarted.data(), restarted.size(), h));
}

// --- Decoder -------------------------------------------------------------------------------

TEST_F(FrameCodec, KnownEmptyReplyCompletesWhateverItsLastByte) {
    const Bytes known = {0xFF, 0x01, 0x7C, 0x00, 0x00, 0x80, 0x00, 0x00, 0x1E};
    const Bytes helper = DoneReply();
    ASSERT_EQ(Bytes(helper.begin(), helper.end() - 1), known); // pins the helper
    // 0xF0 and 0xFF are not data bytes on the line; every other value ends the frame.
    for (int last = 0x00; last < 0xF0; ++last) {
        SCOPED_TRACE(last);
        auto p = NewProtocol(line);
        Feed(*p, known);
        EXPECT_FALSE(p->ReplyComplete());
        p->ReceiveByte(static_cast<std::uint8_t>(last));
        EXPECT_TRUE(p->ReplyComplete());
        EXPECT_EQ(p->ReplyCode(), 0x80);
        EXPECT_EQ(p->ReplySource(), 380);
        EXPECT_EQ(p->ReceivedCount(), 0u);
        EXPECT_EQ(p->ReceiveState(), kRxIdle);
    }
}

TEST_F(FrameCodec, ReplyWithEscapedPayloadIsStored) {
    Bytes payload;
    for (int v = 0xE8; v <= 0xFF; ++v) {
        payload.push_back(static_cast<std::uint8_t>(v));
    }
    payload.push_back(0x00);
    const Bytes reply = EncodeReply(380, 0, 0x80, payload);
    Feed(protocol, Bytes{0x00, 0x12, 0xF0, 0x80}); // noise before the first start byte
    Feed(protocol, reply);
    EXPECT_TRUE(protocol.ReplyComplete());
    EXPECT_EQ(ReceivedPayload(protocol), payload);
}

// A full-size payload holding every byte value crosses the line both ways: ComProtocol's request
// is the codec's and the sign's decoder takes it whole; the sign's reply arrives whole.
TEST_F(FrameCodec, FullSizePayloadOfEveryByteValueCrossesTheLineBothWays) {
    Bytes payload(1024);
    for (std::size_t i = 0; i < payload.size(); ++i) {
        payload[i] = static_cast<std::uint8_t>(0xFF - i % 256);
    }
    ASSERT_EQ(protocol.AssembleFrame(380, 0x15, payload.data(), 1024), 0);
    const Bytes request = TransmittedFrame(protocol);
    Bytes encoded(framecodec::MaxFrameSize(payload.size()));
    encoded.resize(framecodec::EncodeRequest(380, 0x15, payload, encoded));
    EXPECT_EQ(request, encoded);
    auto sign = framecodec::FrameDecoder::ForRequests(380);
    for (std::size_t i = 0; i < request.size(); ++i) {
        ASSERT_EQ(sign.Feed(request[i]), i + 1 == request.size()) << "byte " << i;
    }
    EXPECT_EQ(sign.Code(), 0x15);
    EXPECT_EQ(Bytes(sign.Payload().begin(), sign.Payload().end()), payload);

    Feed(protocol, EncodeReply(380, 0, 0x80, payload));
    EXPECT_TRUE(protocol.ReplyComplete());
    EXPECT_EQ(ReceivedPayload(protocol), payload);
}

TEST_F(FrameCodec, RequestDecoderTakesOnlyFramesForItsOwnAddress) {
    const Bytes clock = {9, 6, 29, 14, 5, 0};
    Bytes request(framecodec::MaxFrameSize(clock.size()));
    request.resize(framecodec::EncodeRequest(0x1234, 0x11, clock, request));
    for (const std::uint16_t address : {380, 0x1235, 0x0034, 0x1234}) {
        SCOPED_TRACE(address);
        auto sign = framecodec::FrameDecoder::ForRequests(address);
        bool completed = false;
        for (std::uint8_t b : request) {
            completed = sign.Feed(b) || completed;
        }
        EXPECT_EQ(completed, address == 0x1234);
    }
}

TEST_F(FrameCodec, ReplyNotAddressedToTheComputerIsAbandonedAtItsDestination) {
    struct Case {
        std::uint16_t Destination;
        std::size_t AbandonedAfter; // bytes fed, start byte included
    } cases[] = {{0x0100, 4}, {0x0001, 5}, {0x017C, 4}, {0xFFFF, 5}};
    // 0xFFFF goes out as F0 0F F0 0F: its first escaped byte is the fifth on the line.
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Destination);
        auto p = NewProtocol(line);
        const Bytes reply = EncodeReply(380, c.Destination, 0x80, {});
        Feed(*p, Bytes(reply.begin(), reply.begin() + static_cast<long>(c.AbandonedAfter - 1)));
        EXPECT_NE(p->ReceiveState(), kRxIdle);
        p->ReceiveByte(reply[c.AbandonedAfter - 1]);
        EXPECT_EQ(p->ReceiveState(), kRxIdle);
        Feed(*p, Bytes(reply.begin() + static_cast<long>(c.AbandonedAfter), reply.end()));
        p->ReceiveByte(0x00);
        EXPECT_FALSE(p->ReplyComplete());
    }
}

TEST_F(FrameCodec, ReplySourceIsStoredButNotChecked) {
    Feed(protocol, EncodeReply(0x1234, 0, 0x80, {0x55}));
    EXPECT_TRUE(protocol.ReplyComplete());
    EXPECT_EQ(protocol.ReplySource(), 0x1234);
}

TEST_F(FrameCodec, BadHeaderChecksumDropsTheFrameAndLeavesTheFlag) {
    Feed(protocol, DoneReply());
    protocol.ReceiveByte(0x00);
    ASSERT_TRUE(protocol.ReplyComplete());

    Bytes bad = EncodeReply(380, 0, 0x81, {0x01, 0x02});
    bad[8] ^= 0x01; // header checksum
    Feed(protocol, Bytes(bad.begin(), bad.begin() + 9));
    EXPECT_EQ(protocol.ReceiveState(), kRxIdle);
    Feed(protocol, Bytes(bad.begin() + 9, bad.end()));
    EXPECT_TRUE(protocol.ReplyComplete()); // unchanged, as nothing completed
    EXPECT_EQ(protocol.ReceivedCount(), 0u);
}

TEST_F(FrameCodec, BadTrailerClearsTheFlag) {
    Feed(protocol, DoneReply());
    protocol.ReceiveByte(0x00);
    ASSERT_TRUE(protocol.ReplyComplete());
    Bytes bad = EncodeReply(380, 0, 0x80, {0x01, 0x02});
    bad.back() ^= 0x40;
    Feed(protocol, bad);
    EXPECT_FALSE(protocol.ReplyComplete());
    EXPECT_EQ(protocol.ReceiveState(), kRxIdle);
}

TEST_F(FrameCodec, StartByteInsideAFrameRestartsIt) {
    const Bytes interrupted = EncodeReply(380, 0, 0x81, {0x10, 0xF7, 0x20, 0x30});
    const Bytes payload = {0x01, 0xFE, 0x03};
    const Bytes good = EncodeReply(380, 0, 0x80, payload);
    for (std::size_t cut = 1; cut < interrupted.size(); ++cut) {
        if (interrupted[cut - 1] == 0xF0) {
            continue; // a byte after an escape is data, never a start byte
        }
        SCOPED_TRACE(cut);
        auto p = NewProtocol(line);
        Feed(*p, Bytes(interrupted.begin(), interrupted.begin() + static_cast<long>(cut)));
        Feed(*p, good);
        EXPECT_TRUE(p->ReplyComplete());
        EXPECT_EQ(p->ReplyCode(), 0x80);
        EXPECT_EQ(ReceivedPayload(*p), payload);
    }
}

TEST_F(FrameCodec, EscapedStartByteIsDataInsideAFrameButStartsOneInIdle) {
    // Inside: 0xEF sent as F0 FF instead of itself decodes to 0xEF.
    const Bytes plain = EncodeReply(380, 0, 0x80, {0xEF, 0x01});
    Bytes odd;
    for (std::size_t i = 0; i < plain.size(); ++i) {
        if (i == 9) {
            ASSERT_EQ(plain[i], 0xEF);
            odd.push_back(0xF0);
            odd.push_back(0xFF);
        } else {
            odd.push_back(plain[i]);
        }
    }
    Feed(protocol, odd);
    EXPECT_TRUE(protocol.ReplyComplete());
    EXPECT_EQ(ReceivedPayload(protocol), (Bytes{0xEF, 0x01}));

    // In Idle: F0 FF starts a frame.
    auto p = NewProtocol(line);
    p->ReceiveByte(0xF0);
    Feed(*p, EncodeReply(380, 0, 0x80, {0x42}));
    EXPECT_TRUE(p->ReplyComplete());
    EXPECT_EQ(ReceivedPayload(*p), (Bytes{0x42}));
}

TEST_F(FrameCodec, RefusedReplyStillCompletes) {
    Feed(protocol, EncodeReply(380, 0, 0x81, {}));
    protocol.ReceiveByte(0x00);
    EXPECT_TRUE(protocol.ReplyComplete());
    EXPECT_EQ(protocol.ReplyCode(), 0x81);
}

TEST_F(FrameCodec, OversizeReplyIsDroppedWithoutStoringAByte) {
    for (const std::uint16_t length : {1025, 0x1000, 0x8000, 0xFFFF}) {
        SCOPED_TRACE(length);
        auto p = NewProtocol(line);
        // Header of an oversize reply, then far more bytes than the buffer holds.
        Bytes header = EncodeReply(380, 0, 0x80, {});
        Bytes plain = Unescape(header);
        plain[6] = static_cast<std::uint8_t>(length >> 8);
        plain[7] = static_cast<std::uint8_t>(length & 0xFF);
        plain[8] = static_cast<std::uint8_t>(0xE3 ^ plain[1] ^ plain[2] ^ plain[3] ^ plain[4] ^
                                             plain[5] ^ plain[6] ^ plain[7]);
        plain.pop_back();
        Bytes lineBytes = {0xFF};
        for (std::size_t i = 1; i < plain.size(); ++i) {
            if (plain[i] >= 0xF0) {
                lineBytes.push_back(0xF0);
                lineBytes.push_back(static_cast<std::uint8_t>(plain[i] + 16));
            } else {
                lineBytes.push_back(plain[i]);
            }
        }
        Feed(*p, lineBytes);
        EXPECT_EQ(p->ReceiveState(), kRxIdle);
        Feed(*p, Bytes(3000, 0x5A));
        EXPECT_LE(p->ReceivedCount(), kMaxPayload);
        EXPECT_FALSE(p->ReplyComplete());
        // The line recovers at the next start byte.
        Feed(*p, EncodeReply(380, 0, 0x80, {0x07}));
        EXPECT_TRUE(p->ReplyComplete());
        EXPECT_EQ(ReceivedPayload(*p), (Bytes{0x07}));
    }
}

TEST_F(FrameCodec, BackToBackFramesCompleteOneAfterTheOther) {
    const Bytes first = EncodeReply(380, 0, 0x81, {0x01, 0x02});
    const Bytes second = EncodeReply(380, 0, 0x80, {0x03});
    Feed(protocol, first);
    EXPECT_TRUE(protocol.ReplyComplete());
    EXPECT_EQ(protocol.ReplyCode(), 0x81);
    EXPECT_EQ(ReceivedPayload(protocol), (Bytes{0x01, 0x02}));
    Feed(protocol, second);
    EXPECT_TRUE(protocol.ReplyComplete());
    EXPECT_EQ(protocol.ReplyCode(), 0x80);
    EXPECT_EQ(ReceivedPayload(protocol), (Bytes{0x03}));
}

TEST_F(FrameCodec, OwnRequestFedBackUsesTheReplyTrailerRule) {
    struct Case {
        std::uint8_t Command;
        Bytes Payload;
        bool Completes;
    } cases[] = {
        {0x16, {0x42}, false}, // header checksum nonzero: the two trailer rules differ
        {0xE2, {0x42}, true},  // 0xE3 ^ 0xE2 ^ 0x01 = 0: the rules agree
        {0x16, {}, true},      // empty payload: no trailer test
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.Command));
        auto p = NewProtocol(line);
        ASSERT_EQ(p->AssembleFrame(0x0000, c.Command, c.Payload.data(),
                                   static_cast<std::uint32_t>(c.Payload.size())),
                  0);
        Feed(*p, TransmittedFrame(*p));
        EXPECT_EQ(p->ReplyComplete(), c.Completes);
    }
}

TEST_F(FrameCodec, FrameAssemblyClearsOnlyTheCompleteFlag) {
    Feed(protocol, EncodeReply(380, 0, 0x80, {0x09, 0x08}));
    ASSERT_TRUE(protocol.ReplyComplete());
    ASSERT_EQ(protocol.AssembleFrame(380, 0x16, nullptr, 0), 0);
    EXPECT_FALSE(protocol.ReplyComplete());
    EXPECT_EQ(protocol.ReplyCode(), 0x80);
    EXPECT_EQ(ReceivedPayload(protocol), (Bytes{0x09, 0x08}));
}

TEST_F(FrameCodec, NoSingleBitFlipCompletesWithAWrongPayload) {
    const Bytes payload = {0x00, 0x31, 0xF5, 0xEF, 0x7E, 0xFF, 0x10, 0xE0, 0x08, 0x80};
    const Bytes reply = EncodeReply(380, 0, 0x80, payload);
    {
        auto control = NewProtocol(line);
        Feed(*control, reply);
        ASSERT_TRUE(control->ReplyComplete());
    }
    for (std::size_t i = 0; i < reply.size(); ++i) {
        for (int bit = 0; bit < 8; ++bit) {
            SCOPED_TRACE(testing::Message() << "byte " << i << " bit " << bit);
            Bytes flipped = reply;
            flipped[i] = static_cast<std::uint8_t>(flipped[i] ^ (1 << bit));
            auto p = NewProtocol(line);
            Feed(*p, flipped);
            Feed(*p, Bytes{0x00, 0x00}); // lets a frame lengthened by the flip end
            if (p->ReplyComplete()) {
                EXPECT_EQ(ReceivedPayload(*p), payload);
                EXPECT_EQ(p->ReplyCode(), 0x80);
            }
        }
    }
}

} // namespace
