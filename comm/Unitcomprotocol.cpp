#include "comm/Unitcomprotocol.h"

#include <chrono>
#include <cstdio>

namespace {

// Value + 16 (mod 256) for an escaped byte; the receiver subtracts it again.
constexpr std::uint8_t kEscapeOffset = 16;

bool NeedsEscape(std::uint8_t value) {
    return value >= kFrameEscape;
}

} // namespace

std::int64_t SystemComClock::MonotonicMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

ComDateTime SystemComClock::LocalTime() {
    return ReadLocalDateTime();
}

std::array<std::uint8_t, kClockPayloadSize> ClockPayload(const ComDateTime& time) {
    // The sixth byte is always 0: seconds and weekday are deliberately not sent, and a fixed
    // value keeps the frame for a given minute identical however often it is built, so a
    // trace or a test can compare it byte for byte.
    return {
        static_cast<std::uint8_t>((time.Year & 0xFF) + 48), // = (year - 2000) mod 256
        static_cast<std::uint8_t>(time.Month),
        static_cast<std::uint8_t>(time.Day),
        static_cast<std::uint8_t>(time.Hour),
        static_cast<std::uint8_t>(time.Minute),
        0,
    };
}

bool DecodeFrameHeader(const std::uint8_t* bytes, std::size_t count, FrameHeader& header) {
    if (bytes == nullptr || count == 0 || bytes[0] != kFrameStart) {
        return false;
    }
    std::array<std::uint8_t, 8> values{}; // offsets 1..8
    std::size_t got = 0;
    bool escaped = false;
    for (std::size_t i = 1; i < count && got < values.size(); ++i) {
        const std::uint8_t a = bytes[i];
        if (escaped) {
            values[got++] = static_cast<std::uint8_t>(a - kEscapeOffset);
            escaped = false;
        } else if (a == kFrameStart) {
            return false;
        } else if (a == kFrameEscape) {
            escaped = true;
        } else {
            values[got++] = a;
        }
    }
    if (got < values.size()) {
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

ComProtocol::ComProtocol() : line_(&ownPort_), clock_(&ownClock_) {}

ComProtocol::ComProtocol(ComLine& line, ComClock& clock) : line_(&line), clock_(&clock) {}

int ComProtocol::Open(const char* portName) {
    const int result = line_->Open(portName);
    lastError_ = result == 0 ? LineError{} : LineFailure(LineErrorKind::Other);
    return result;
}

LineError ComProtocol::LineFailure(LineErrorKind fallback) const {
    LineError error = line_->LastError();
    if (!error.Failed()) {
        error.Kind = fallback; // a line that cannot tell why
    }
    return error;
}

bool ComProtocol::Cancelled() {
    if (cancel_ && cancel_()) {
        lastError_ = LineError{LineErrorKind::Interrupted, 0, "stopped by a signal", {}, false};
        return true;
    }
    return false;
}

int ComProtocol::Close() {
    return line_->Close();
}

int ComProtocol::PutByte(std::uint8_t value) {
    transmitChecksum_ ^= value;
    // AssembleFrame caps the payload so that even an all-escaped frame fits; the check keeps a
    // direct caller from ever writing past the buffer.
    const std::size_t needed = NeedsEscape(value) ? 2 : 1;
    if (transmitLength_ + needed > transmitBuffer_.size()) {
        return 0;
    }
    if (needed == 2) {
        transmitBuffer_[transmitLength_++] = kFrameEscape;
        transmitBuffer_[transmitLength_++] = static_cast<std::uint8_t>(value + kEscapeOffset);
    } else {
        transmitBuffer_[transmitLength_++] = value;
    }
    return 0;
}

int ComProtocol::AssembleFrame(std::uint16_t destination, std::uint8_t command,
                               const std::uint8_t* payload, std::uint32_t length) {
    replyComplete_ = 0;
    transmitLength_ = 0;
    if (length > kMaxPayload || (length > 0 && payload == nullptr)) {
        return 1;
    }
    // The start byte is neither escaped nor summed.
    transmitBuffer_[transmitLength_++] = kFrameStart;
    transmitChecksum_ = kChecksumSeed;
    PutByte(static_cast<std::uint8_t>(kComputerAddress >> 8));
    PutByte(static_cast<std::uint8_t>(kComputerAddress & 0xFF));
    PutByte(static_cast<std::uint8_t>(destination >> 8));
    PutByte(static_cast<std::uint8_t>(destination & 0xFF));
    PutByte(command);
    PutByte(static_cast<std::uint8_t>(length >> 8));
    PutByte(static_cast<std::uint8_t>(length & 0xFF));
    // Header checksum; folding it into the running sum leaves 0x00, so the trailer below is
    // the XOR of the payload alone.
    PutByte(transmitChecksum_);
    for (std::uint32_t i = 0; i < length; ++i) {
        PutByte(payload[i]);
    }
    PutByte(transmitChecksum_);
    return 0;
}

int ComProtocol::ReceiveByte(std::uint8_t a) {
    std::uint8_t b = a;
    if (escapePending_ != 0) {
        // A byte after an escape is data, never a start or escape byte.
        b = static_cast<std::uint8_t>(a - kEscapeOffset);
        escapePending_ = 0;
    } else if (a == kFrameStart) {
        receiveState_ = kRxIdle;
    } else if (a == kFrameEscape) {
        escapePending_ = 1;
        return 0;
    }

    switch (receiveState_) {
    case kRxIdle:
        // Tested on the byte as received: in Idle an escaped 0xFF (0xF0 0xFF) starts a frame.
        if (a == kFrameStart) {
            remaining_ = 0;
            receivedCount_ = 0;
            receiveChecksum_ = kChecksumSeed;
            receiveState_ = kRxSourceHigh;
        }
        break;
    case kRxSourceHigh:
        receiveChecksum_ ^= b;
        replySource_ = static_cast<std::uint16_t>(b << 8);
        receiveState_ = kRxSourceLow;
        break;
    case kRxSourceLow:
        receiveChecksum_ ^= b;
        replySource_ = static_cast<std::uint16_t>(replySource_ | b);
        receiveState_ = kRxDestHigh;
        break;
    case kRxDestHigh:
        receiveChecksum_ ^= b;
        receiveState_ = b == 0 ? kRxDestLow : kRxIdle;
        break;
    case kRxDestLow:
        receiveChecksum_ ^= b;
        receiveState_ = b == 0 ? kRxCode : kRxIdle;
        break;
    case kRxCode:
        receiveChecksum_ ^= b;
        replyCode_ = b;
        receiveState_ = kRxLengthHigh;
        break;
    case kRxLengthHigh:
        receiveChecksum_ ^= b;
        remaining_ = static_cast<std::uint16_t>(b << 8);
        receiveState_ = kRxLengthLow;
        break;
    case kRxLengthLow:
        receiveChecksum_ ^= b;
        remaining_ = static_cast<std::uint16_t>(remaining_ | b);
        // A payload the receive buffer cannot hold is dropped here, before any of it arrives.
        receiveState_ = remaining_ > kMaxPayload ? kRxIdle : kRxHeaderCheck;
        break;
    case kRxHeaderCheck:
        if (b != receiveChecksum_) {
            receiveState_ = kRxIdle;
        } else {
            receiveState_ = remaining_ > 0 ? kRxPayload : kRxTrailerCheck;
        }
        break;
    case kRxPayload:
        receiveChecksum_ ^= b;
        if (receivedCount_ < receiveBuffer_.size()) {
            receiveBuffer_[receivedCount_++] = b;
        }
        --remaining_;
        if (remaining_ == 0) {
            receiveState_ = kRxTrailerCheck;
        }
        break;
    case kRxTrailerCheck:
        replyComplete_ = (receivedCount_ == 0 || b == receiveChecksum_) ? 1 : 0;
        receiveState_ = kRxIdle;
        break;
    default:
        receiveState_ = kRxIdle;
        break;
    }
    return 0;
}

void ComProtocol::Trace(TraceDirection direction, const std::uint8_t* bytes, std::size_t count) {
    if (trace_) {
        trace_(direction, bytes, count);
    }
}

int ComProtocol::Transact(std::uint16_t destination, std::uint8_t command,
                          const std::uint8_t* payload, std::uint32_t length) {
    lastPollCount_ = 0;
    lastError_ = LineError{};
    if (AssembleFrame(destination, command, payload, length) != 0) {
        lastError_ = LineError{LineErrorKind::Other, 0, "payload over 1024 bytes", {}, false};
        return kComNoReply;
    }
    if (Cancelled()) {
        return kComNoReply;
    }
    Trace(TraceDirection::Sent, transmitBuffer_.data(), transmitLength_);
    line_->Write(transmitBuffer_.data(), static_cast<std::uint16_t>(transmitLength_));
    const int polled = PollForReply();
    if (polled != kComOk) {
        return polled;
    }
    if (replyCode_ != kReplyDone) {
        char code[24];
        std::snprintf(code, sizeof code, "reply code 0x%02X", replyCode_);
        lastError_ = LineError{LineErrorKind::Refused, 0, code, {}, false};
        return kComRefused;
    }
    return kComOk;
}

// Poll k (1..51) ends k x 100 ms after the write. Within a poll the line is waited on, so bytes
// that arrive are decoded at once; at the end of each poll the line is read once more, which
// is the moment the fixed-interval polling would have read it. A reply is accepted the moment
// it is complete; after the 51st poll's read the transaction gives up. Returns kComOk when a
// reply is complete (the caller looks at its code), kComNoReply otherwise.
int ComProtocol::PollForReply() {
    const std::int64_t start = clock_->MonotonicMs();
    for (int poll = 1; poll <= kPollCount; ++poll) {
        lastPollCount_ = poll;
        const std::int64_t periodEnd = start + static_cast<std::int64_t>(poll) * kPollPeriodMs;
        for (;;) {
            if (Cancelled()) {
                return kComNoReply;
            }
            const std::int64_t left = periodEnd - clock_->MonotonicMs();
            const bool periodOver = left <= 0;
            if (!periodOver) {
                const LineWait waited = line_->WaitReadable(static_cast<int>(left));
                if (waited == LineWait::Lost) {
                    lastError_ = LineFailure(LineErrorKind::LineLost);
                    return kComNoReply;
                }
                if (waited == LineWait::TimedOut) {
                    continue; // the clock decides whether the poll is over
                }
            }
            const int got =
                line_->Read(readBuffer_.data(), static_cast<std::uint16_t>(readBuffer_.size()));
            if (got < 0) {
                lastError_ = LineFailure(LineErrorKind::LineLost); // no reply can come
                return kComNoReply;
            }
            if (got > 0) {
                Trace(TraceDirection::Received, readBuffer_.data(), static_cast<std::size_t>(got));
            }
            for (int i = 0; i < got; ++i) {
                ReceiveByte(readBuffer_[static_cast<std::size_t>(i)]);
                if (replyComplete_ != 0) {
                    return kComOk; // the rest of this read is discarded
                }
            }
            if (periodOver) {
                break;
            }
        }
    }
    lastError_ = LineError{LineErrorKind::TimedOut, 0, {}, {}, false};
    return kComNoReply;
}

int ComProtocol::SendMessageSlot(std::uint16_t destination, int slot, const std::uint8_t* message) {
    if (slot < 1 || slot > 9) {
        lastError_ = LineError{LineErrorKind::Other, 0, "slot outside 1..9", {}, false};
        return kComBadSlot;
    }
    const auto command = static_cast<std::uint8_t>(slot == 9 ? kCommandSlot9 : slot);
    return Transact(destination, command, message, static_cast<std::uint32_t>(kSlotMessageSize));
}

int ComProtocol::SyncClock(std::uint16_t destination) {
    const auto payload = ClockPayload(clock_->LocalTime());
    return Transact(destination, kCommandClock, payload.data(),
                    static_cast<std::uint32_t>(payload.size()));
}

int ComProtocol::RunMessageSlot(std::uint16_t destination, int slot) {
    if (slot < 1 || slot > 9) {
        lastError_ = LineError{LineErrorKind::Other, 0, "slot outside 1..9", {}, false};
        return kComBadSlot;
    }
    const auto command = static_cast<std::uint8_t>(kCommandRunSlot1 - 1 + slot);
    return Transact(destination, command, nullptr, 0);
}
