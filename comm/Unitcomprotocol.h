#pragma once
// The sign's framed request/reply protocol and its device commands, as the computer runs them.
//
// The frames themselves (layout, escaping, checksums, the receive state machine) are the
// codec's, comm/FrameCodec.h. ComProtocol builds requests with it into a fixed transmit buffer,
// decodes replies byte by byte with its reply decoder, and runs request/reply transactions over
// a ComLine. Nothing on this path allocates.

#include "comm/FrameCodec.h"
#include "comm/OpenLine.h"
#include "comm/Unitcomport.h"
#include "format/SignFormat.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <utility>

// The codec's constants and types under the names the protocol's callers use.
using framecodec::DecodeFrameHeader;
using framecodec::FrameHeader;
using framecodec::kChecksumSeed;
using framecodec::kComputerAddress;
using framecodec::kFrameEscape;
using framecodec::kFrameOverhead;
using framecodec::kFrameStart;
using framecodec::kReplyDone;
using framecodec::RxStateId;
using enum framecodec::RxStateId;
constexpr std::uint32_t kMaxPayload = framecodec::kMaxPayload;
constexpr std::uint16_t kSignAddress = signformat::kDefaultSignAddress;
// Room for the worst case: every byte after the start byte of a 1024-byte request escaped.
constexpr std::size_t kTransmitCapacity = framecodec::MaxFrameSize(framecodec::kMaxPayload);
constexpr std::size_t kSlotMessageSize = signformat::kMessageBytes;
constexpr std::size_t kClockPayloadSize = 6;

// Commands (byte 5 of a request).
constexpr std::uint8_t kCommandSlot9 = 0x15;    // store the single current message
constexpr std::uint8_t kCommandClock = 0x11;    // set the sign's clock
constexpr std::uint8_t kCommandRunSlot1 = 0x16; // show slot 1; slot k is 0x15 + k

// Results of the transaction and the commands.
constexpr int kComOk = 0;        // complete reply with code 0x80
constexpr int kComNoReply = 1;   // no complete valid reply in time, port lost, or not sent
constexpr int kComRefused = 2;   // complete reply with another code
constexpr int kComBadSlot = 100; // slot outside 1..9; nothing sent

// Reply polling: 51 polls, 100 ms apart, the first 100 ms after the write.
constexpr int kPollCount = 51;
constexpr int kPollPeriodMs = 100;

// Time as the transaction needs it. The real clock is SystemComClock; tests give a fake one
// that moves only when the fake line waits, so the 5.1 s of polling run without sleeping.
class ComClock {
public:
    virtual ~ComClock() = default;
    // Milliseconds on a clock that never goes back (not the calendar).
    virtual std::int64_t MonotonicMs() = 0;
    // Local calendar date and time, for the sign's clock.
    virtual ComDateTime LocalTime() = 0;
};

class SystemComClock final : public ComClock {
public:
    std::int64_t MonotonicMs() override;
    ComDateTime LocalTime() override;
};

// The six clock bytes sent to the sign for a local time: year - 2000 (mod 256), month, day,
// hour, minute, 0.
std::array<std::uint8_t, kClockPayloadSize> ClockPayload(const ComDateTime& time);

enum class TraceDirection {
    Sent,      // a request frame as written
    Received,  // bytes read while waiting for the reply
    Discarded, // bytes read and dropped: they arrived before the request was completely written
};
// Called with every request frame as written and every chunk of bytes read during a
// transaction (the chunks may split or join frames).
using TraceHook = std::function<void(TraceDirection, const std::uint8_t*, std::size_t)>;
// Asked during a transaction, at least every 100 ms; true ends it at once with kComNoReply and
// LastError() Interrupted. Must be safe to call on the thread that runs the transaction.
using CancelCheck = std::function<bool()>;

class ComProtocol {
public:
    // Talks over the line its Open picks by the port name (OpenLine: a serial port or a
    // network line), with the system clock.
    ComProtocol();
    // Talks over a line and clock owned by the caller, which must outlive this object.
    ComProtocol(ComLine& line, ComClock& clock);
    ComProtocol(const ComProtocol&) = delete;
    ComProtocol& operator=(const ComProtocol&) = delete;

    // Opens the port: 0 when open, 1 when not, with the line's reason in LastError(). With a
    // line of its own, OpenLine makes and opens the line the name calls for; while that line
    // is open a second Open fails (InUse, HeldHere) and leaves it open. With the caller's line,
    // ComLine::Open. The codec state is kept.
    [[nodiscard]] int Open(const char* portName);
    // Closes the line (ComLine::Close); a line of its own is let go. Always 0.
    int Close();
    // Where the line's notes (connecting, negotiating) go, for this line and every one opened
    // later; an empty hook drops them.
    void SetNoteHook(const LineNoteHook& hook);

    // Encoder: XORs `value` into the transmit checksum and appends it, escaped, to the transmit
    // buffer. Returns 0. The buffer holds a frame with a 1024-byte payload all escaped; callers
    // go through AssembleFrame, which never asks for more, and a byte without room is dropped.
    int PutByte(std::uint8_t value);
    // Builds the request frame from the computer (address 0) into the transmit buffer and
    // clears ReplyComplete. Returns 0, or 1 (transmit buffer emptied) when `length` exceeds
    // 1024 or `payload` is null with a nonzero `length`.
    [[nodiscard]] int AssembleFrame(std::uint16_t destination, std::uint8_t command,
                                    const std::uint8_t* payload, std::uint32_t length);

    // Decoder: advances the reply decoder (framecodec::FrameDecoder::ForReplies) by one
    // received line byte. Returns 0; the outcome is ReplyComplete / ReplyCode. State persists
    // across calls, transactions and reopening; nothing but the next start byte resets it.
    int ReceiveByte(std::uint8_t byte);

    // One request/reply exchange on an open line: assembles the frame, drops whatever has
    // arrived unasked (and any frame the decoder had begun), writes the frame in one piece,
    // then polls for the reply 51 times, 100 ms apart from the write (a reply is taken as soon
    // as it is complete; the last chance is about 5.1 s after the write). Bytes read while the
    // line still reports part of the request on its way out are dropped too: the sign answers
    // only a whole request.
    // Frames carry no sequence number, so a late reply to an earlier, abandoned request that
    // arrives after this request went out is taken as this one's; nothing can tell them apart.
    // Returns kComOk, kComRefused, or kComNoReply (no valid reply in time, a damaged reply and
    // no valid one after it, the line was lost, the request could not be written in full, or
    // `length` exceeds 1024 and nothing was written). A failed write ends the transaction at
    // once, with the line's reason.
    [[nodiscard]] int Transact(std::uint16_t destination, std::uint8_t command,
                               const std::uint8_t* payload, std::uint32_t length);

    // Stores a 1024-byte message in slot 1..8 (commands 0x01..0x08) or 9 (command 0x15).
    // kComBadSlot for any other slot, nothing written.
    [[nodiscard]] int SendMessageSlot(std::uint16_t destination, int slot,
                                      const std::uint8_t* message);
    // Sets the sign's clock from ComClock::LocalTime (command 0x11, ClockPayload).
    [[nodiscard]] int SyncClock(std::uint16_t destination);
    // Makes the sign show slot 1..9 (commands 0x16..0x1E). kComBadSlot otherwise.
    [[nodiscard]] int RunMessageSlot(std::uint16_t destination, int slot);

    // Observes the line traffic of transactions; an empty hook turns tracing off.
    void SetTraceHook(TraceHook hook) { trace_ = std::move(hook); }
    // Lets a stop request (a signal) end a running transaction; empty: never cancelled.
    void SetCancelCheck(CancelCheck cancel) { cancel_ = std::move(cancel); }

    // Why the last Open or transaction (or command) failed: NotFound, PermissionDenied, InUse,
    // NotSerial from Open; TimedOut (kComNoReply after the whole polling time), Damaged (the
    // same, but a reply addressed to the computer came and failed its checks: DamagedReply),
    // LineLost (the line hung up), Refused (kComRefused, the reply code in SystemMessage),
    // Interrupted (the cancel check), Other (kComBadSlot, a payload too long). A write that
    // failed keeps the line's reason for it (LastPollCount() is then 0). Kind None after a
    // success.
    const LineError& LastError() const { return lastError_; }

    // Codec state, read-only.
    bool ReplyComplete() const { return decoder_.Complete(); }
    std::uint8_t ReplyCode() const { return decoder_.Code(); }
    std::uint16_t ReplySource() const { return decoder_.Source(); }
    const std::uint8_t* ReceivedPayload() const { return decoder_.Payload().data(); }
    std::uint32_t ReceivedCount() const {
        return static_cast<std::uint32_t>(decoder_.Payload().size());
    }
    std::uint8_t ReceiveState() const { return decoder_.State(); }
    const std::uint8_t* TransmitBuffer() const { return transmitBuffer_.data(); }
    std::uint32_t TransmitLength() const { return static_cast<std::uint32_t>(encoder_.Size()); }
    // Polls the last transaction began (1..51), 0 if it wrote nothing.
    int LastPollCount() const { return lastPollCount_; }

    // The line transactions go over: the caller's, or the one of its own that is open (a
    // NotOpenLine while none is).
    ComLine& Line() { return *line_; }

private:
    void Trace(TraceDirection direction, const std::uint8_t* bytes, std::size_t count);
    // Reads and drops what has arrived before a request is written, and forgets any frame
    // the decoder had begun: none of it can answer the request.
    void DiscardStaleInput();
    [[nodiscard]] int PollForReply();
    // The failure when the polling time ran out: the damage of a reply that came, else
    // TimedOut.
    LineError NoValidReply() const;
    // The line's own reason, or `fallback` when the line gives none.
    LineError LineReason(LineErrorKind fallback) const;
    // True (and LastError Interrupted) when the cancel check asks to stop.
    [[nodiscard]] bool Cancelled();

    // Lines of its own: the one OpenLine gave while it is open, else notOpen_.
    bool ownsLines_;
    std::unique_ptr<ComLine> ownLine_;
    NotOpenLine notOpen_;
    LineNoteHook notes_;
    SystemComClock ownClock_;
    ComLine* line_;
    ComClock* clock_;
    TraceHook trace_;
    CancelCheck cancel_;
    LineError lastError_;

    framecodec::FrameDecoder decoder_ = framecodec::FrameDecoder::ForReplies();
    std::array<std::uint8_t, kTransmitCapacity> transmitBuffer_{};
    framecodec::FrameEncoder encoder_{transmitBuffer_}; // writes into transmitBuffer_
    int lastPollCount_ = 0;
    std::array<std::uint8_t, kMaxPayload> readBuffer_{};
};
