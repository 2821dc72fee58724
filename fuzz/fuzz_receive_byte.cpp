// Feeds arbitrary line bytes to the reply decoder and checks what it may never do: store more
// than its buffer, leave its state table, or report a reply complete whose trailer does not
// match the header and payload it stored.

#include "comm/Unitcomprotocol.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace {

std::uint8_t ExpectedTrailer(const ComProtocol& p) {
    const std::uint32_t n = p.ReceivedCount();
    std::uint8_t sum = kChecksumSeed;
    sum ^= static_cast<std::uint8_t>(p.ReplySource() >> 8);
    sum ^= static_cast<std::uint8_t>(p.ReplySource() & 0xFF);
    sum ^= p.ReplyCode(); // destination is 0x0000 in every accepted reply
    sum ^= static_cast<std::uint8_t>(n >> 8);
    sum ^= static_cast<std::uint8_t>(n & 0xFF);
    for (std::uint32_t i = 0; i < n; ++i) {
        sum ^= p.ReceivedPayload()[i];
    }
    return sum;
}

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // A fresh decoder per input, so that the mirrored escape state below starts in step.
    const auto protocol = std::make_unique<ComProtocol>();
    ComProtocol& p = *protocol;
    bool escaped = false;
    for (std::size_t i = 0; i < size; ++i) {
        const std::uint8_t a = data[i];
        const std::uint8_t stateBefore = p.ReceiveState();
        const bool completeBefore = p.ReplyComplete();
        p.ReceiveByte(a);
        Check(p.ReceivedCount() <= kMaxPayload);
        Check(p.ReceiveState() <= kRxTrailerCheck);

        // Mirror the line unescaping to know which data value the decoder just saw.
        const bool restart = !escaped && a == kFrameStart;
        const bool consumedAsEscape = !escaped && a == kFrameEscape;
        const std::uint8_t value = escaped ? static_cast<std::uint8_t>(a - 16) : a;
        escaped = consumedAsEscape;

        const bool trailerByte = stateBefore == kRxTrailerCheck && !restart && !consumedAsEscape;
        if (!trailerByte) {
            // Only a trailer test may set the flag.
            Check(!p.ReplyComplete() || completeBefore);
            continue;
        }
        if (p.ReplyComplete()) {
            Check(p.ReceivedCount() == 0 || value == ExpectedTrailer(p));
        } else {
            Check(p.ReceivedCount() != 0 && value != ExpectedTrailer(p));
        }
    }
    return 0;
}
