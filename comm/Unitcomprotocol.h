#pragma once
// The sign's framed request/reply protocol and its device commands.
//
// Frame on the line (offsets before escaping, 16-bit numbers high byte first):
//   0 start 0xFF | 1 source (2) | 3 destination (2) | 5 command or reply code | 6 length N (2)
//   | 8 header checksum | 9 payload (N) | 9+N trailer checksum
// Every byte after the start byte whose value is 0xF0..0xFF travels as 0xF0, value + 16, so
// 0xFF on the line always starts a frame. Checksums are XOR sums seeded with 0xE3, computed
// over unescaped values. A request's trailer is the XOR of its payload (0x00 when empty); a
// reply's trailer is its header checksum XOR its payload, and is not checked when N is 0.
//
// ComProtocol builds requests into a fixed transmit buffer, decodes replies byte by byte with
// a state machine into a fixed receive buffer, and runs request/reply transactions over a
// ComLine. Nothing on this path allocates.

#include "comm/Unitcomport.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <utility>

constexpr std::uint8_t kFrameStart = 0xFF;
constexpr std::uint8_t kFrameEscape = 0xF0;
constexpr std::uint8_t kChecksumSeed = 0xE3;
constexpr std::uint16_t kComputerAddress = 0x0000;
constexpr std::uint16_t kSignAddress = 380; // 0x017C
constexpr std::uint8_t kReplyDone = 0x80;   // reply code: the request was carried out
constexpr std::uint32_t kMaxPayload = 1024; // a message buffer; the largest payload
constexpr std::size_t kFrameOverhead = 10;  // start, header (8 with checksum), trailer
// Worst case: all bytes after the start byte escaped, 1 + 2 * (9 + 1024) = 2067.
constexpr std::size_t kTransmitCapacity = 2068;
constexpr std::size_t kSlotMessageSize = 1024;
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

// Receive states, in the order the bytes of a reply arrive.
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

// Header of a frame, decoded from its escaped line bytes (for tracing).
struct FrameHeader {
    std::uint16_t Source = 0;
    std::uint16_t Destination = 0;
    std::uint8_t Code = 0;
    std::uint16_t Length = 0;
    std::uint8_t Checksum = 0; // header checksum as received
    bool ChecksumOk = false;   // it equals 0xE3 XOR the seven header bytes
};

// Decodes the header of the frame whose start byte is bytes[0]. Returns false when bytes[0]
// is not the start byte, the bytes end before the header checksum, or another start byte
// interrupts the header.
bool DecodeFrameHeader(const std::uint8_t* bytes, std::size_t count, FrameHeader& header);

enum class TraceDirection { Sent, Received };
// Called with every request frame as written and every chunk of bytes read during a
// transaction (the chunks may split or join frames).
using TraceHook = std::function<void(TraceDirection, const std::uint8_t*, std::size_t)>;

class ComProtocol {
public:
    // Talks over its own ComPort with the system clock.
    ComProtocol();
    // Talks over a line and clock owned by the caller, which must outlive this object.
    ComProtocol(ComLine& line, ComClock& clock);
    ComProtocol(const ComProtocol&) = delete;
    ComProtocol& operator=(const ComProtocol&) = delete;

    // Open / close the line (ComLine::Open, ComLine::Close). The codec state is kept.
    int Open(const char* portName);
    int Close();

    // Encoder: XORs `value` into the transmit checksum and appends it, escaped, to the transmit
    // buffer. Returns 0. The buffer holds a frame with a 1024-byte payload all escaped; callers
    // go through AssembleFrame, which never asks for more.
    int PutByte(std::uint8_t value);
    // Builds the request frame from the computer (address 0) into the transmit buffer and
    // clears ReplyComplete. Returns 0, or 1 (transmit buffer emptied) when `length` exceeds
    // 1024. `payload` may be null when `length` is 0.
    int AssembleFrame(std::uint16_t destination, std::uint8_t command, const std::uint8_t* payload,
                      std::uint32_t length);

    // Decoder: advances the receive state machine by one received line byte. Returns 0; the
    // outcome is ReplyComplete / ReplyCode. A reply announcing more than 1024 payload bytes is
    // dropped at its length field. State persists across calls, transactions and reopening.
    int ReceiveByte(std::uint8_t a);

    // One request/reply exchange on an open line: assembles the frame, writes it in one piece,
    // then polls for the reply 51 times, 100 ms apart from the write (a reply is taken as soon
    // as it is complete; the last chance is about 5.1 s after the write).
    // Returns kComOk, kComRefused, or kComNoReply (no valid reply in time, the line was lost,
    // or `length` exceeds 1024 and nothing was written).
    int Transact(std::uint16_t destination, std::uint8_t command, const std::uint8_t* payload,
                 std::uint32_t length);

    // Stores a 1024-byte message in slot 1..8 (commands 0x01..0x08) or 9 (command 0x15).
    // kComBadSlot for any other slot, nothing written.
    int SendMessageSlot(std::uint16_t destination, int slot, const std::uint8_t* message);
    // Sets the sign's clock from ComClock::LocalTime (command 0x11, ClockPayload).
    int SyncClock(std::uint16_t destination);
    // Makes the sign show slot 1..9 (commands 0x16..0x1E). kComBadSlot otherwise.
    int RunMessageSlot(std::uint16_t destination, int slot);

    // Observes the line traffic of transactions; an empty hook turns tracing off.
    void SetTraceHook(TraceHook hook) { trace_ = std::move(hook); }

    // Codec state, read-only.
    bool ReplyComplete() const { return replyComplete_ != 0; }
    std::uint8_t ReplyCode() const { return replyCode_; }
    std::uint16_t ReplySource() const { return replySource_; }
    const std::uint8_t* ReceivedPayload() const { return receiveBuffer_.data(); }
    std::uint32_t ReceivedCount() const { return receivedCount_; }
    std::uint8_t ReceiveState() const { return receiveState_; }
    const std::uint8_t* TransmitBuffer() const { return transmitBuffer_.data(); }
    std::uint32_t TransmitLength() const { return transmitLength_; }
    // Polls the last transaction began (1..51), 0 if it wrote nothing.
    int LastPollCount() const { return lastPollCount_; }

    ComLine& Line() { return *line_; }

private:
    void Trace(TraceDirection direction, const std::uint8_t* bytes, std::size_t count);
    int PollForReply();

    ComPort ownPort_;
    SystemComClock ownClock_;
    ComLine* line_;
    ComClock* clock_;
    TraceHook trace_;

    std::uint8_t receiveState_ = kRxIdle;
    std::uint16_t remaining_ = 0;
    std::uint16_t escapePending_ = 0;
    std::uint16_t replyComplete_ = 0;
    std::uint16_t replySource_ = 0;
    std::uint8_t replyCode_ = 0;
    std::uint8_t transmitChecksum_ = 0;
    std::uint8_t receiveChecksum_ = 0;
    std::array<std::uint8_t, kMaxPayload> receiveBuffer_{};
    std::uint32_t receivedCount_ = 0;
    std::array<std::uint8_t, kTransmitCapacity> transmitBuffer_{};
    std::uint32_t transmitLength_ = 0;
    int lastPollCount_ = 0;
    std::array<std::uint8_t, kMaxPayload> readBuffer_{};
};
