#include "comm/SignCodec.h"

namespace signcodec {

bool RequestDecoder::Feed(std::uint8_t lineByte) {
    std::uint8_t value = lineByte;
    if (escapePending_) {
        // The byte after an escape is data whatever its value, 0xFF included.
        escapePending_ = false;
        value = static_cast<std::uint8_t>(lineByte - 16);
    } else if (lineByte == kStartByte) {
        state_ = State::SourceHigh;
        headerSum_ = kChecksumSeed;
        payloadSum_ = 0;
        received_ = 0;
        return false;
    } else if (lineByte == kEscapeByte) {
        escapePending_ = true;
        return false;
    }
    return Step(value);
}

bool RequestDecoder::Step(std::uint8_t b) {
    switch (state_) {
    case State::Idle:
        return false;
    case State::SourceHigh:
        headerSum_ ^= b;
        source_ = static_cast<std::uint16_t>(b << 8);
        state_ = State::SourceLow;
        return false;
    case State::SourceLow:
        headerSum_ ^= b;
        source_ = static_cast<std::uint16_t>(source_ | b);
        state_ = State::DestHigh;
        return false;
    case State::DestHigh:
        headerSum_ ^= b;
        destination_ = static_cast<std::uint16_t>(b << 8);
        state_ = State::DestLow;
        return false;
    case State::DestLow:
        headerSum_ ^= b;
        destination_ = static_cast<std::uint16_t>(destination_ | b);
        // Another sign's request: wait for the next start byte.
        state_ = destination_ == address_ ? State::Code : State::Idle;
        return false;
    case State::Code:
        headerSum_ ^= b;
        command_ = b;
        state_ = State::LengthHigh;
        return false;
    case State::LengthHigh:
        headerSum_ ^= b;
        length_ = static_cast<std::size_t>(b) << 8;
        state_ = State::LengthLow;
        return false;
    case State::LengthLow:
        headerSum_ ^= b;
        length_ |= b;
        state_ = State::HeaderCheck;
        return false;
    case State::HeaderCheck:
        if (b != headerSum_ || length_ > kMaxRequestPayload) {
            state_ = State::Idle;
        } else {
            state_ = length_ > 0 ? State::Payload : State::TrailerCheck;
        }
        return false;
    case State::Payload:
        payloadSum_ ^= b;
        payload_[received_++] = b;
        if (received_ == length_) {
            state_ = State::TrailerCheck;
        }
        return false;
    case State::TrailerCheck:
        state_ = State::Idle;
        return b == payloadSum_;
    }
    return false;
}

namespace {

// Appends value to out at pos, escaped; returns the new position.
std::size_t PutEscaped(std::uint8_t value, std::span<std::uint8_t> out, std::size_t pos) {
    if (value >= kEscapeByte) {
        out[pos++] = kEscapeByte;
        out[pos++] = static_cast<std::uint8_t>(value + 16);
    } else {
        out[pos++] = value;
    }
    return pos;
}

std::size_t Encode(std::uint16_t source, std::uint16_t destination, std::uint8_t code,
                   std::span<const std::uint8_t> payload, std::span<std::uint8_t> out,
                   bool replyRule, Trailer trailer) {
    if (payload.size() > 0xFFFF || out.size() < MaxFrameSize(payload.size())) {
        return 0;
    }
    const std::uint8_t header[7] = {
        static_cast<std::uint8_t>(source >> 8),
        static_cast<std::uint8_t>(source),
        static_cast<std::uint8_t>(destination >> 8),
        static_cast<std::uint8_t>(destination),
        code,
        static_cast<std::uint8_t>(payload.size() >> 8),
        static_cast<std::uint8_t>(payload.size()),
    };
    std::size_t pos = 0;
    out[pos++] = kStartByte;
    std::uint8_t headerSum = kChecksumSeed;
    for (std::uint8_t b : header) {
        headerSum ^= b;
        pos = PutEscaped(b, out, pos);
    }
    pos = PutEscaped(headerSum, out, pos);
    std::uint8_t sum = replyRule ? headerSum : 0;
    for (std::uint8_t b : payload) {
        sum ^= b;
        pos = PutEscaped(b, out, pos);
    }
    if (trailer == Trailer::Wrong) {
        sum ^= 0x5A;
    }
    return PutEscaped(sum, out, pos);
}

} // namespace

std::size_t EncodeReply(std::uint16_t source, std::uint8_t code,
                        std::span<const std::uint8_t> payload, std::span<std::uint8_t> out,
                        Trailer trailer) {
    return Encode(source, kHostAddress, code, payload, out, true, trailer);
}

std::size_t EncodeRequest(std::uint16_t destination, std::uint8_t command,
                          std::span<const std::uint8_t> payload, std::span<std::uint8_t> out) {
    return Encode(kHostAddress, destination, command, payload, out, false, Trailer::Correct);
}

} // namespace signcodec
