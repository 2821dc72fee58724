#include "comm/FrameCodec.h"

namespace framecodec {

namespace {

bool NeedsEscape(std::uint8_t value) {
    return value >= kFrameEscape;
}

std::uint8_t High(std::uint16_t value) {
    return static_cast<std::uint8_t>(value >> 8);
}

std::uint8_t Low(std::uint16_t value) {
    return static_cast<std::uint8_t>(value & 0xFF);
}

// Any value other than the right trailer would do; this one differs in several bits.
constexpr std::uint8_t kTrailerSpoiler = 0x5A;

} // namespace

Unescaper::Step Unescaper::Take(std::uint8_t lineByte) {
    if (escapePending_) {
        escapePending_ = false;
        return {Kind::Data, static_cast<std::uint8_t>(lineByte - kEscapeOffset)};
    }
    if (lineByte == kFrameStart) {
        return {Kind::Start, lineByte};
    }
    if (lineByte == kFrameEscape) {
        escapePending_ = true;
        return {Kind::Escape, lineByte};
    }
    return {Kind::Data, lineByte};
}

bool FrameEncoder::Write(std::uint8_t value) {
    const std::size_t needed = NeedsEscape(value) ? 2 : 1;
    if (size_ + needed > out_.size()) {
        return false;
    }
    if (needed == 2) {
        out_[size_++] = kFrameEscape;
        out_[size_++] = static_cast<std::uint8_t>(value + kEscapeOffset);
    } else {
        out_[size_++] = value;
    }
    return true;
}

bool FrameEncoder::Put(std::uint8_t value) {
    checksum_ ^= value;
    return Write(value);
}

std::size_t FrameEncoder::Encode(FrameKind kind, std::uint16_t source, std::uint16_t destination,
                                 std::uint8_t code, std::span<const std::uint8_t> payload,
                                 Trailer trailer) {
    size_ = 0;
    if (payload.size() > 0xFFFF || out_.size() < MaxFrameSize(payload.size())) {
        return 0;
    }
    const auto length = static_cast<std::uint16_t>(payload.size());
    // The room for the whole frame was checked above, so every byte fits: what Put and Write
    // return (false only without room) says nothing here.
    const auto put = [this](std::uint8_t value) { (void)Put(value); };
    // The start byte is neither escaped nor summed.
    out_[size_++] = kFrameStart;
    checksum_ = kChecksumSeed;
    put(High(source));
    put(Low(source));
    put(High(destination));
    put(Low(destination));
    put(code);
    put(High(length));
    put(Low(length));
    if (kind == FrameKind::Request) {
        put(checksum_);
    } else {
        (void)Write(checksum_);
    }
    for (std::uint8_t b : payload) {
        put(b);
    }
    put(trailer == Trailer::Correct ? checksum_
                                    : static_cast<std::uint8_t>(checksum_ ^ kTrailerSpoiler));
    return size_;
}

std::size_t EncodeRequest(std::uint16_t destination, std::uint8_t command,
                          std::span<const std::uint8_t> payload, std::span<std::uint8_t> out) {
    return FrameEncoder(out).Encode(FrameKind::Request, kComputerAddress, destination, command,
                                    payload);
}

std::size_t EncodeReply(std::uint16_t source, std::uint8_t code,
                        std::span<const std::uint8_t> payload, std::span<std::uint8_t> out,
                        Trailer trailer) {
    return FrameEncoder(out).Encode(FrameKind::Reply, source, kComputerAddress, code, payload,
                                    trailer);
}

bool FrameDecoder::Feed(std::uint8_t lineByte) {
    const Unescaper::Step step = unescaper_.Take(lineByte);
    if (step.kind == Unescaper::Kind::Escape) {
        return false;
    }
    if (step.kind == Unescaper::Kind::Start && state_ != kRxIdle) {
        if (InOwnFrame()) {
            Drop(FrameFault::Incomplete);
        }
        state_ = kRxIdle;
    }
    const RxStateId before = state_;
    Advance(lineByte, step.kind, step.value);
    return before == kRxTrailerCheck && complete_;
}

void FrameDecoder::Restart() {
    state_ = kRxIdle;
    unescaper_ = Unescaper();
}

void FrameDecoder::Drop(FrameFault fault) {
    fault_ = fault;
    state_ = kRxIdle;
}

void FrameDecoder::Advance(std::uint8_t lineByte, Unescaper::Kind kind, std::uint8_t b) {
    switch (state_) {
    case kRxIdle:
        // A reply decoder tests the byte as received, so that an escape byte followed by 0xFF
        // also starts a frame; a request decoder takes only an unescaped start byte.
        if (lineByte == kFrameStart &&
            (kind == Unescaper::Kind::Start || kind_ == FrameKind::Reply)) {
            remaining_ = 0;
            received_ = 0;
            checksum_ = kChecksumSeed;
            state_ = kRxSourceHigh;
        }
        break;
    case kRxSourceHigh:
        checksum_ ^= b;
        source_ = static_cast<std::uint16_t>(b << 8);
        state_ = kRxSourceLow;
        break;
    case kRxSourceLow:
        checksum_ ^= b;
        source_ = static_cast<std::uint16_t>(source_ | b);
        state_ = kRxDestHigh;
        break;
    case kRxDestHigh:
        checksum_ ^= b;
        state_ = b == High(address_) ? kRxDestLow : kRxIdle;
        break;
    case kRxDestLow:
        checksum_ ^= b;
        state_ = b == Low(address_) ? kRxCode : kRxIdle;
        break;
    case kRxCode:
        checksum_ ^= b;
        code_ = b;
        state_ = kRxLengthHigh;
        break;
    case kRxLengthHigh:
        checksum_ ^= b;
        remaining_ = static_cast<std::uint16_t>(b << 8);
        state_ = kRxLengthLow;
        break;
    case kRxLengthLow:
        checksum_ ^= b;
        remaining_ = static_cast<std::uint16_t>(remaining_ | b);
        // A payload the buffer cannot hold is dropped here, before any of it arrives.
        if (remaining_ > kMaxPayload) {
            Drop(FrameFault::Length);
        } else {
            state_ = kRxHeaderCheck;
        }
        break;
    case kRxHeaderCheck:
        if (b != checksum_) {
            Drop(FrameFault::Checksum);
            break;
        }
        if (kind_ == FrameKind::Request) {
            checksum_ ^= b; // the request trailer covers the payload alone
        }
        state_ = remaining_ > 0 ? kRxPayload : kRxTrailerCheck;
        break;
    case kRxPayload:
        checksum_ ^= b;
        if (received_ < kMaxPayload) {
            payload_[received_++] = b;
        }
        --remaining_;
        if (remaining_ == 0) {
            state_ = kRxTrailerCheck;
        }
        break;
    case kRxTrailerCheck:
        complete_ = b == checksum_ || (kind_ == FrameKind::Reply && received_ == 0);
        if (complete_) {
            state_ = kRxIdle;
        } else {
            Drop(FrameFault::Checksum);
        }
        break;
    }
}

bool DecodeFrameHeader(const std::uint8_t* bytes, std::size_t count, FrameHeader& header) {
    if (bytes == nullptr || count == 0 || bytes[0] != kFrameStart) {
        return false;
    }
    std::uint8_t values[8] = {}; // offsets 1..8
    std::size_t got = 0;
    Unescaper unescaper;
    for (std::size_t i = 1; i < count && got < sizeof values; ++i) {
        const Unescaper::Step step = unescaper.Take(bytes[i]);
        if (step.kind == Unescaper::Kind::Start) {
            return false;
        }
        if (step.kind == Unescaper::Kind::Data) {
            values[got++] = step.value;
        }
    }
    if (got < sizeof values) {
        return false;
    }
    std::uint8_t sum = kChecksumSeed;
    for (std::size_t i = 0; i < 7; ++i) {
        sum ^= values[i];
    }
    header.Source = static_cast<std::uint16_t>(values[0] << 8 | values[1]);
    header.Destination = static_cast<std::uint16_t>(values[2] << 8 | values[3]);
    header.Code = values[4];
    header.Length = static_cast<std::uint16_t>(values[5] << 8 | values[6]);
    header.Checksum = values[7];
    header.ChecksumOk = sum == values[7];
    return true;
}

} // namespace framecodec
