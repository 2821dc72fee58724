// Feeds arbitrary line bytes to the request decoder of the software sign and checks what every
// request it completes must satisfy: the payload fits the decoder's buffer, the decoder is back
// in its idle state, and the request's fields, encoded again, make a frame that a fresh decoder
// completes on its last byte with the same fields.
//
// The first two input bytes are the sign's address (high byte first), so addresses that need
// escaping are explored too; the rest is the line.

#include "comm/FrameCodec.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

using framecodec::FrameDecoder;

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

bool SameFields(const FrameDecoder& a, const FrameDecoder& b) {
    return a.Source() == b.Source() && a.Code() == b.Code() &&
           std::equal(a.Payload().begin(), a.Payload().end(), b.Payload().begin(),
                      b.Payload().end());
}

void CheckRoundTrip(const FrameDecoder& decoded) {
    std::uint8_t line[framecodec::MaxFrameSize(framecodec::kMaxPayload)];
    framecodec::FrameEncoder encoder(line);
    const std::size_t size = encoder.Encode(framecodec::FrameKind::Request, decoded.Source(),
                                            decoded.Address(), decoded.Code(), decoded.Payload());
    Check(size >= framecodec::kFrameOverhead);
    auto again = FrameDecoder::ForRequests(decoded.Address());
    for (std::size_t i = 0; i < size; ++i) {
        Check(again.Feed(line[i]) == (i + 1 == size));
    }
    Check(SameFields(decoded, again));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    const auto address = static_cast<std::uint16_t>(data[0] << 8 | data[1]);
    auto decoder = FrameDecoder::ForRequests(address);
    for (std::size_t i = 2; i < size; ++i) {
        const bool completed = decoder.Feed(data[i]);
        Check(decoder.State() <= framecodec::kRxTrailerCheck);
        Check(decoder.Payload().size() <= framecodec::kMaxPayload);
        if (completed) {
            Check(decoder.Complete());
            Check(decoder.State() == framecodec::kRxIdle);
            CheckRoundTrip(decoder);
        }
    }
    return 0;
}
