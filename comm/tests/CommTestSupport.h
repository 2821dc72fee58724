#pragma once
// Test doubles and frame helpers for the serial link tests.

#include "comm/Unitcomprotocol.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

// Builds a reply frame as the sign sends it, written independently of the codec: escaping of
// every byte after the start byte, header checksum 0xE3 ^ offsets 1..7, trailer = header
// checksum ^ payload.
inline Bytes EncodeReply(std::uint16_t source, std::uint16_t destination, std::uint8_t code,
                         const Bytes& payload) {
    const auto length = static_cast<std::uint16_t>(payload.size());
    Bytes plain = {static_cast<std::uint8_t>(source >> 8),
                   static_cast<std::uint8_t>(source),
                   static_cast<std::uint8_t>(destination >> 8),
                   static_cast<std::uint8_t>(destination),
                   code,
                   static_cast<std::uint8_t>(length >> 8),
                   static_cast<std::uint8_t>(length)};
    std::uint8_t header = 0xE3;
    for (std::uint8_t v : plain) {
        header ^= v;
    }
    plain.push_back(header);
    std::uint8_t trailer = header;
    for (std::uint8_t v : payload) {
        plain.push_back(v);
        trailer ^= v;
    }
    plain.push_back(trailer);
    Bytes line = {0xFF};
    for (std::uint8_t v : plain) {
        if (v >= 0xF0) {
            line.push_back(0xF0);
            line.push_back(static_cast<std::uint8_t>(v + 16));
        } else {
            line.push_back(v);
        }
    }
    return line;
}

inline Bytes DoneReply(const Bytes& payload = {}) {
    return EncodeReply(380, 0, 0x80, payload);
}

// Undoes the line escaping of a frame (start byte kept as is).
inline Bytes Unescape(const Bytes& line) {
    Bytes plain;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (i > 0 && line[i] == 0xF0 && i + 1 < line.size()) {
            plain.push_back(static_cast<std::uint8_t>(line[++i] - 16));
        } else {
            plain.push_back(line[i]);
        }
    }
    return plain;
}

inline Bytes TransmittedFrame(const ComProtocol& protocol) {
    return Bytes(protocol.TransmitBuffer(), protocol.TransmitBuffer() + protocol.TransmitLength());
}

inline void Feed(ComProtocol& protocol, const Bytes& bytes) {
    for (std::uint8_t b : bytes) {
        protocol.ReceiveByte(b);
    }
}

inline Bytes ReceivedPayload(const ComProtocol& protocol) {
    return Bytes(protocol.ReceivedPayload(), protocol.ReceivedPayload() + protocol.ReceivedCount());
}

// A scripted serial line with its own clock. Time moves only when the protocol waits, so a
// transaction of 51 polls runs in no real time. Replies are scheduled relative to the next
// write; a chunk becomes readable at its time.
class FakeLine final : public ComLine, public ComClock {
public:
    struct Chunk {
        std::int64_t At; // absolute fake time once the write happened
        Bytes Data;
    };

    // `bytes` become readable `delayMs` after the next Write.
    void ReplyAfter(std::int64_t delayMs, Bytes bytes) {
        scheduled_.push_back({delayMs, std::move(bytes)});
    }
    // The line is lost `delayMs` after the next Write; `viaRead` reports it the way a hung-up
    // POSIX tty does (readable, then a failing read) instead of from the wait.
    void LoseAfter(std::int64_t delayMs, bool viaRead = false) {
        loseDelay_ = delayMs;
        loseViaRead_ = viaRead;
    }
    // `bytes` are readable now, before any request is written.
    void Arrive(Bytes bytes) { pending_.push_back({now, std::move(bytes)}); }
    // The next Writes hand over only `count` bytes and fail for `reason`.
    void FailWrites(int count, LineError reason) {
        writeLimit_ = count;
        writeError_ = std::move(reason);
    }

    int Open(const char*) override {
        ++opens;
        if (open) {
            return 1;
        }
        open = true;
        return 0;
    }
    int Close() override {
        open = false;
        return 0;
    }
    int Write(const std::uint8_t* buffer, std::uint16_t count) override {
        ++writes;
        if (writeLimit_ >= 0 && writeLimit_ < count) {
            error_ = writeError_;
            return writeLimit_;
        }
        written.assign(buffer, buffer + count);
        writeTime = now;
        for (Chunk& c : scheduled_) {
            pending_.push_back({now + c.At, std::move(c.Data)});
        }
        scheduled_.clear();
        std::stable_sort(pending_.begin(), pending_.end(),
                         [](const Chunk& a, const Chunk& b) { return a.At < b.At; });
        lostAt_ = loseDelay_ >= 0 ? now + loseDelay_ : kNever;
        loseDelay_ = -1;
        return count;
    }
    int Read(std::uint8_t* buffer, std::uint16_t capacity) override {
        ++reads;
        if (now >= lostAt_) {
            return -1;
        }
        int got = 0;
        while (!pending_.empty() && pending_.front().At <= now && got < capacity) {
            Chunk& c = pending_.front();
            const std::size_t take =
                std::min<std::size_t>(c.Data.size(), static_cast<std::size_t>(capacity - got));
            std::copy_n(c.Data.begin(), take, buffer + got);
            got += static_cast<int>(take);
            c.Data.erase(c.Data.begin(), c.Data.begin() + static_cast<std::ptrdiff_t>(take));
            if (c.Data.empty()) {
                pending_.erase(pending_.begin());
            }
        }
        return got;
    }
    LineWait WaitReadable(int timeoutMs) override {
        ++waits;
        const std::int64_t limit = now + timeoutMs;
        std::int64_t next = pending_.empty() ? kNever : pending_.front().At;
        if (lostAt_ <= limit && lostAt_ <= next) {
            now = std::max(now, lostAt_);
            return loseViaRead_ ? LineWait::Readable : LineWait::Lost;
        }
        if (next <= limit) {
            now = std::max(now, next);
            return LineWait::Readable;
        }
        now = limit;
        return LineWait::TimedOut;
    }

    void DiscardInput() override {
        ++discards;
        std::erase_if(pending_, [this](const Chunk& c) { return c.At <= now; });
    }
    // The last request is on its way out for `sendingMs` after its Write.
    int PendingOutput() override { return writeTime >= 0 && now < writeTime + sendingMs ? 1 : 0; }
    LineError LastError() const override { return error_; }

    std::int64_t MonotonicMs() override { return now; }
    ComDateTime LocalTime() override { return local; }

    static constexpr std::int64_t kNever = std::numeric_limits<std::int64_t>::max() / 2;

    bool open = false;
    int opens = 0;
    int writes = 0;
    int reads = 0;
    int waits = 0;
    int discards = 0;
    std::int64_t sendingMs = 0; // how long a written request takes to go out on the line
    std::int64_t now = 1000;    // arbitrary origin: nothing may assume the clock starts at 0
    std::int64_t writeTime = -1;
    Bytes written;
    ComDateTime local;

private:
    std::vector<Chunk> scheduled_;
    std::vector<Chunk> pending_;
    std::int64_t loseDelay_ = -1;
    bool loseViaRead_ = false;
    std::int64_t lostAt_ = kNever;
    int writeLimit_ = -1; // no limit
    LineError writeError_;
    LineError error_;
};
