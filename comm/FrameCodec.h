#pragma once
// The frame codec of the sign's serial line, one for both ends: the computer (ComProtocol)
// encodes requests and decodes replies, the software sign (ledsign-emulator) decodes requests
// and encodes replies, and the trace reads the headers of both.
//
// Frame on the line (offsets before escaping, 16-bit numbers high byte first):
//   0 start 0xFF | 1 source (2) | 3 destination (2) | 5 command or reply code | 6 length N (2)
//   | 8 header checksum | 9 payload (N) | 9+N trailer
// Every byte after the start byte whose value is 0xF0..0xFF travels as 0xF0, value + 16, so an
// unescaped 0xFF always starts a frame. Checksums are XOR sums seeded with 0xE3 over unescaped
// values; the header checksum covers offsets 1..7. The trailer depends on the kind of frame:
//   request: XOR of the payload (0x00 when empty);
//   reply:   header checksum XOR the payload.
// Both come from one running sum over offsets 1..7 and the payload, into which a request, but
// not a reply, also folds its header checksum (leaving 0x00 at that point).
//
// Nothing here allocates: the encoder writes into its caller's buffer and the decoder keeps the
// payload inside itself.

#include "format/SignFormat.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace framecodec {

constexpr std::uint8_t kFrameStart = 0xFF;
constexpr std::uint8_t kFrameEscape = 0xF0;
// An escaped value travels as value + 16 (mod 256) after the escape byte.
constexpr std::uint8_t kEscapeOffset = 16;
constexpr std::uint8_t kChecksumSeed = 0xE3;
constexpr std::uint16_t kComputerAddress = 0x0000;
constexpr std::uint8_t kReplyDone = 0x80;    // reply code: the request was carried out
constexpr std::uint8_t kReplyRefused = 0x81; // the reply code the software sign refuses with
// The largest payload a decoder accepts: one message buffer.
constexpr std::size_t kMaxPayload = signformat::kMessageBytes;
// Start byte, header with its checksum (8), trailer.
constexpr std::size_t kFrameOverhead = 10;
// The most line bytes a frame with `payload` bytes can take: every byte after the start byte
// escaped.
constexpr std::size_t MaxFrameSize(std::size_t payload) {
    return 1 + 2 * (kFrameOverhead - 1 + payload);
}

// Which way a frame goes. It decides the trailer rule and, for a decoder, which frames it
// accepts.
enum class FrameKind : std::uint8_t {
    Request, // computer to sign
    Reply,   // sign to computer
};

// How an encoded frame's trailer is made.
enum class Trailer : std::uint8_t {
    Correct, // by the frame kind's rule
    Wrong,   // any other value, for peers that must send a garbled frame on purpose
};

// Step one of decoding: the line escaping undone one line byte at a time.
class Unescaper {
public:
    enum class Kind : std::uint8_t {
        Start,  // an unescaped start byte
        Escape, // an escape byte; consumed, the next byte is data
        Data,   // a data value
    };
    struct Step {
        Kind kind;
        std::uint8_t value; // the data value (Data only)
    };

    // Classifies the next line byte. A byte after an escape byte is data whatever its value,
    // 0xFF included.
    Step Take(std::uint8_t lineByte);

private:
    bool escapePending_ = false;
};

// Writes frames into a caller's buffer, which must outlive the encoder.
class FrameEncoder {
public:
    explicit FrameEncoder(std::span<std::uint8_t> out) : out_(out) {}

    // Writes a whole frame from `source` to `destination` and returns its size on the line.
    // Returns 0, with Size() 0, when the buffer is smaller than MaxFrameSize(payload.size())
    // or the payload does not fit the 16-bit length field. Payloads above kMaxPayload are
    // encoded (no decoder accepts them), so tests and fuzzers can build them.
    std::size_t Encode(FrameKind kind, std::uint16_t source, std::uint16_t destination,
                       std::uint8_t code, std::span<const std::uint8_t> payload,
                       Trailer trailer = Trailer::Correct);

    // Forgets what was written.
    void Clear() { size_ = 0; }
    // Appends `value`, escaped, after what was written and XORs it into the running checksum.
    // Returns false, writing nothing, when the buffer has no room for it (the checksum still
    // takes the value in: the frame is unusable either way).
    [[nodiscard]] bool Put(std::uint8_t value);

    std::size_t Size() const { return size_; }
    std::uint8_t Checksum() const { return checksum_; }

private:
    [[nodiscard]] bool Write(std::uint8_t value);

    std::span<std::uint8_t> out_;
    std::size_t size_ = 0;
    std::uint8_t checksum_ = 0;
};

// One-shot encoders into `out`; same result convention as FrameEncoder::Encode.
std::size_t EncodeRequest(std::uint16_t destination, std::uint8_t command,
                          std::span<const std::uint8_t> payload, std::span<std::uint8_t> out);
std::size_t EncodeReply(std::uint16_t source, std::uint8_t code,
                        std::span<const std::uint8_t> payload, std::span<std::uint8_t> out,
                        Trailer trailer = Trailer::Correct);

// The decoder's states, in the order the bytes of a frame arrive.
enum RxStateId : std::uint8_t {
    kRxIdle = 0,
    kRxSourceHigh = 1,
    kRxSourceLow = 2,
    kRxDestHigh = 3,
    kRxDestLow = 4,
    kRxCode = 5,
    kRxLengthHigh = 6,
    kRxLengthLow = 7,
    kRxHeaderCheck = 8,
    kRxPayload = 9,
    kRxTrailerCheck = 10,
};

// Why the decoder dropped a frame addressed to it. A frame for another address is not damaged,
// only not ours, and leaves no fault.
enum class FrameFault : std::uint8_t {
    None,
    Checksum,   // the header checksum or the trailer did not match
    Length,     // the length field announced more than kMaxPayload bytes
    Incomplete, // a start byte came before the frame was whole
};

// Decodes the frames of one kind, one line byte at a time. Both kinds share these rules:
//   - bytes before a start byte are ignored; an unescaped 0xFF restarts a frame from any state;
//   - a frame not addressed to the decoder is dropped at the destination byte that differs;
//   - a frame announcing more than kMaxPayload bytes is dropped at its length field, before
//     any payload byte is stored;
//   - a header checksum that differs drops the frame;
//   - state persists across calls until the next start byte: a frame may arrive in any number
//     of pieces.
// A dropped frame leaves Complete() as it was, and LastFault() says why it was dropped once its
// destination had been recognised as this decoder's. The rules of the kinds:
//   Reply (the computer's decoder): the destination must be 0; the trailer is not tested when
//     N is 0; an escape byte followed by 0xFF while idle starts a frame.
//   Request (a sign's decoder): the destination must be the sign's address; the trailer is
//     always tested; an escaped 0xFF while idle is data and ignored.
class FrameDecoder {
public:
    static FrameDecoder ForReplies() { return FrameDecoder(FrameKind::Reply, kComputerAddress); }
    static FrameDecoder ForRequests(std::uint16_t signAddress) {
        return FrameDecoder(FrameKind::Request, signAddress);
    }

    // Advances by one line byte. Returns true when this byte completed a frame that passed its
    // trailer test; its fields then stay readable until the next frame overwrites them.
    [[nodiscard]] bool Feed(std::uint8_t lineByte);

    // True from a passed trailer test until a failed one or ClearComplete.
    bool Complete() const { return complete_; }
    void ClearComplete() { complete_ = false; }

    // Forgets a frame in progress: the bytes that follow are ignored up to the next start byte.
    // Complete() and the fields of the last frame are kept.
    void Restart();

    // Why the last damaged frame was dropped since construction or ClearFault; None when none
    // was. Only a frame addressed to this decoder counts.
    FrameFault LastFault() const { return fault_; }
    void ClearFault() { fault_ = FrameFault::None; }
    // True while a frame addressed to this decoder has begun and not yet ended.
    bool InOwnFrame() const { return state_ > kRxDestLow; }

    // The destination this decoder accepts.
    std::uint16_t Address() const { return address_; }
    RxStateId State() const { return state_; }

    // Fields of the current or last frame, stored as they arrive.
    std::uint16_t Source() const { return source_; }
    std::uint8_t Code() const { return code_; }
    std::span<const std::uint8_t> Payload() const { return {payload_, received_}; }

private:
    FrameDecoder(FrameKind kind, std::uint16_t address) : kind_(kind), address_(address) {}
    void Advance(std::uint8_t lineByte, Unescaper::Kind kind, std::uint8_t b);
    // Drops the frame in progress for `fault`.
    void Drop(FrameFault fault);

    FrameKind kind_;
    std::uint16_t address_;
    Unescaper unescaper_;
    RxStateId state_ = kRxIdle;
    bool complete_ = false;
    FrameFault fault_ = FrameFault::None;
    std::uint16_t remaining_ = 0;
    std::uint8_t checksum_ = 0;
    std::uint16_t source_ = 0;
    std::uint8_t code_ = 0;
    std::size_t received_ = 0;
    std::uint8_t payload_[kMaxPayload] = {};
};

// Header of a frame of either kind, as the trace shows it.
struct FrameHeader {
    std::uint16_t Source = 0;
    std::uint16_t Destination = 0;
    std::uint8_t Code = 0;
    std::uint16_t Length = 0;
    std::uint8_t Checksum = 0; // header checksum as received
    bool ChecksumOk = false;   // it equals 0xE3 XOR the seven header bytes
};

// Decodes the header of the frame whose start byte is bytes[0], from its line bytes. Returns
// false when bytes[0] is not the start byte, the bytes end before the header checksum, or
// another start byte interrupts the header.
[[nodiscard]] bool DecodeFrameHeader(const std::uint8_t* bytes, std::size_t count,
                                     FrameHeader& header);

} // namespace framecodec
