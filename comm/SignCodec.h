#pragma once
// The sign's side of the frame codec: decodes request frames addressed to one sign and encodes
// that sign's reply frames. The computer's side lives in ComProtocol; this class is its peer,
// used by the software sign (ledsign-emulator) and by tests that need to check what went out on
// the line.
//
// Frame (before escaping): FF, source (2), destination (2), code, length N (2), header
// checksum, N payload bytes, trailer. 16-bit numbers high byte first. Every byte after the
// start byte whose value is 0xF0..0xFF goes out as F0, value + 16. Both checksums are XOR sums
// seeded with 0xE3. The two directions use different trailer rules:
//   request trailer = XOR of the payload bytes (0x00 for an empty payload);
//   reply trailer   = header checksum XOR the payload bytes.

#include <cstddef>
#include <cstdint>
#include <span>

namespace signcodec {

constexpr std::uint8_t kStartByte = 0xFF;
constexpr std::uint8_t kEscapeByte = 0xF0;
constexpr std::uint8_t kChecksumSeed = 0xE3;
constexpr std::uint16_t kHostAddress = 0x0000;
constexpr std::uint8_t kReplyDone = 0x80;
constexpr std::uint8_t kReplyRefused = 0x81;
// The largest payload a request can carry: one message buffer.
constexpr std::size_t kMaxRequestPayload = 1024;
// An escaped frame: start byte plus at most two line bytes for each of the others.
constexpr std::size_t MaxFrameSize(std::size_t payload) {
    return 1 + 2 * (9 + payload);
}

// Request decoder of one sign. Feed it the line bytes one at a time; Feed returns true when a
// complete request addressed to this sign has passed both checksums, and the request's fields
// then stay readable until the next Feed call. Everything else (bytes before a start byte,
// requests for other addresses, bad header checksums, bad trailers, payloads longer than
// kMaxRequestPayload) is dropped silently and the decoder waits for the next start byte. An
// unescaped 0xFF always starts a new frame; a byte after an escape byte is data, whatever its
// value. No allocation: the payload lives inside the object.
class RequestDecoder {
public:
    explicit RequestDecoder(std::uint16_t ownAddress) : address_(ownAddress) {}

    bool Feed(std::uint8_t lineByte);

    std::uint16_t Address() const { return address_; }
    // Fields of the request that Feed last completed.
    std::uint16_t Source() const { return source_; }
    std::uint8_t Command() const { return command_; }
    std::span<const std::uint8_t> Payload() const { return {payload_, received_}; }

private:
    enum class State : std::uint8_t {
        Idle,
        SourceHigh,
        SourceLow,
        DestHigh,
        DestLow,
        Code,
        LengthHigh,
        LengthLow,
        HeaderCheck,
        Payload,
        TrailerCheck,
    };
    bool Step(std::uint8_t b);

    std::uint16_t address_;
    State state_ = State::Idle;
    bool escapePending_ = false;
    std::uint8_t headerSum_ = 0;
    std::uint8_t payloadSum_ = 0;
    std::uint16_t source_ = 0;
    std::uint16_t destination_ = 0;
    std::uint8_t command_ = 0;
    std::size_t length_ = 0;
    std::size_t received_ = 0;
    std::uint8_t payload_[kMaxRequestPayload] = {};
};

// How a reply's trailer is made.
enum class Trailer {
    Correct, // header checksum XOR the payload bytes
    Wrong,   // any other value: the client's trailer test must fail when the payload is not empty
};

// Encodes a reply frame from `source` to the computer (0x0000) with reply `code` and `payload`
// into `out`. Returns the number of line bytes written, or 0 when `out` is smaller than
// MaxFrameSize(payload.size()) or the payload exceeds 65535 bytes (nothing usable written).
std::size_t EncodeReply(std::uint16_t source, std::uint8_t code,
                        std::span<const std::uint8_t> payload, std::span<std::uint8_t> out,
                        Trailer trailer = Trailer::Correct);

// Encodes a request frame exactly as the computer does (request trailer rule) for tests and
// tools that need to play the computer's part. Same result convention as EncodeReply.
std::size_t EncodeRequest(std::uint16_t destination, std::uint8_t command,
                          std::span<const std::uint8_t> payload, std::span<std::uint8_t> out);

} // namespace signcodec
