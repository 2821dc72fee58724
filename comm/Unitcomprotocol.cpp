#include "comm/Unitcomprotocol.h"

#include <chrono>
#include <cstdio>

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

ComProtocol::ComProtocol() : ownsLines_(true), line_(&notOpen_), clock_(&ownClock_) {}

ComProtocol::ComProtocol(ComLine& line, ComClock& clock)
    : ownsLines_(false), line_(&line), clock_(&clock) {}

int ComProtocol::Open(const char* portName) {
    if (!ownsLines_) {
        const int result = line_->Open(portName);
        lastError_ = result == 0 ? LineError{} : LineReason(LineErrorKind::Other);
        return result;
    }
    if (ownLine_) {
        lastError_ = HeldByThisProgram(); // the line held stays open and usable
        return 1;
    }
    OpenedLine opened = OpenLine(portName, notes_);
    lastError_ = opened.Error;
    if (!opened.Line) {
        return 1;
    }
    ownLine_ = std::move(opened.Line);
    line_ = ownLine_.get();
    return 0;
}

void ComProtocol::SetNoteHook(const LineNoteHook& hook) {
    notes_ = hook;
    line_->SetNoteHook(hook);
}

LineError ComProtocol::LineReason(LineErrorKind fallback) const {
    LineError error = line_->LastError();
    if (!error.Failed()) {
        error.Kind = fallback; // a line that cannot tell why
    }
    return error;
}

bool ComProtocol::Cancelled() {
    if (cancel_ && cancel_()) {
        lastError_ = StoppedBySignal();
        return true;
    }
    return false;
}

int ComProtocol::Close() {
    const int result = line_->Close();
    if (ownLine_) {
        line_ = &notOpen_;
        ownLine_.reset();
    }
    return result;
}

int ComProtocol::PutByte(std::uint8_t value) {
    // A byte without room is dropped, as the contract says; AssembleFrame never needs more.
    (void)encoder_.Put(value);
    return 0;
}

int ComProtocol::AssembleFrame(std::uint16_t destination, std::uint8_t command,
                               const std::uint8_t* payload, std::uint32_t length) {
    decoder_.ClearComplete();
    encoder_.Clear();
    if (length > kMaxPayload || (length > 0 && payload == nullptr)) {
        return 1;
    }
    encoder_.Encode(framecodec::FrameKind::Request, kComputerAddress, destination, command,
                    std::span<const std::uint8_t>(payload, length));
    return 0;
}

int ComProtocol::ReceiveByte(std::uint8_t byte) {
    (void)decoder_.Feed(byte); // callers read the outcome from ReplyComplete and ReplyCode
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
        lastError_ = LineFailure(LineErrorKind::Other, "payload over 1024 bytes");
        return kComNoReply;
    }
    if (Cancelled()) {
        return kComNoReply;
    }
    DiscardStaleInput();
    Trace(TraceDirection::Sent, transmitBuffer_.data(), encoder_.Size());
    const auto size = static_cast<std::uint16_t>(encoder_.Size());
    const int written = line_->Write(transmitBuffer_.data(), size);
    if (written != size) {
        // No reply can come to a request the sign did not get whole; the write's own reason
        // (stalled, line lost) is what the operator needs.
        lastError_ = line_->LastError();
        if (!lastError_.Failed()) {
            char text[64];
            std::snprintf(text, sizeof text, "only %d of %u bytes of the request were written",
                          written < 0 ? 0 : written, static_cast<unsigned>(size));
            lastError_ = LineFailure(LineErrorKind::Other, text);
        }
        return kComNoReply;
    }
    const int polled = PollForReply();
    if (polled != kComOk) {
        return polled;
    }
    if (decoder_.Code() != kReplyDone) {
        char code[24];
        std::snprintf(code, sizeof code, "reply code 0x%02X", decoder_.Code());
        lastError_ = LineFailure(LineErrorKind::Refused, code);
        return kComRefused;
    }
    return kComOk;
}

void ComProtocol::DiscardStaleInput() {
    // Bounded, so that a line that never stops sending cannot hold the request back; the
    // discard below drops the rest unseen.
    constexpr int kMaxStaleReads = 8;
    for (int i = 0; i < kMaxStaleReads && line_->WaitReadable(0) == LineWait::Readable; ++i) {
        const int got =
            line_->Read(readBuffer_.data(), static_cast<std::uint16_t>(readBuffer_.size()));
        if (got <= 0) {
            break; // a lost line, which the write finds out about
        }
        Trace(TraceDirection::Discarded, readBuffer_.data(), static_cast<std::size_t>(got));
    }
    line_->DiscardInput();
    decoder_.Restart();
    decoder_.ClearFault();
}

LineError ComProtocol::NoValidReply() const {
    // A frame begun after the request and still unfinished broke off as surely as one that
    // another start byte cut short.
    static constexpr struct {
        framecodec::FrameFault Fault;
        ReplyDamage Damage;
    } kDamages[] = {
        {framecodec::FrameFault::Checksum, ReplyDamage::Checksum},
        {framecodec::FrameFault::Length, ReplyDamage::Length},
        {framecodec::FrameFault::Incomplete, ReplyDamage::Incomplete},
    };
    const framecodec::FrameFault fault =
        decoder_.InOwnFrame() ? framecodec::FrameFault::Incomplete : decoder_.LastFault();
    for (const auto& d : kDamages) {
        if (d.Fault == fault) {
            return DamagedReply(d.Damage);
        }
    }
    return LineFailure(LineErrorKind::TimedOut);
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
                    lastError_ = LineReason(LineErrorKind::LineLost);
                    return kComNoReply;
                }
                if (waited == LineWait::Stopped) {
                    lastError_ = LineReason(LineErrorKind::Interrupted);
                    return kComNoReply;
                }
                if (waited == LineWait::TimedOut) {
                    continue; // the clock decides whether the poll is over
                }
            }
            const int got =
                line_->Read(readBuffer_.data(), static_cast<std::uint16_t>(readBuffer_.size()));
            if (got < 0) {
                lastError_ = LineReason(LineErrorKind::LineLost); // no reply can come
                return kComNoReply;
            }
            // Asked after the read: when part of the request is still going out, every byte
            // just read arrived before the sign could have had it whole.
            const bool beforeRequestWhole = got > 0 && line_->PendingOutput() > 0;
            if (got > 0) {
                Trace(beforeRequestWhole ? TraceDirection::Discarded : TraceDirection::Received,
                      readBuffer_.data(), static_cast<std::size_t>(got));
            }
            for (int i = 0; !beforeRequestWhole && i < got; ++i) {
                ReceiveByte(readBuffer_[static_cast<std::size_t>(i)]);
                if (decoder_.Complete()) {
                    return kComOk; // the rest of this read is discarded
                }
            }
            if (periodOver) {
                break;
            }
        }
    }
    lastError_ = NoValidReply();
    return kComNoReply;
}

int ComProtocol::SendMessageSlot(std::uint16_t destination, int slot, const std::uint8_t* message) {
    if (slot < 1 || slot > 9) {
        lastError_ = LineFailure(LineErrorKind::Other, "slot outside 1..9");
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
        lastError_ = LineFailure(LineErrorKind::Other, "slot outside 1..9");
        return kComBadSlot;
    }
    const auto command = static_cast<std::uint8_t>(kCommandRunSlot1 - 1 + slot);
    return Transact(destination, command, nullptr, 0);
}
