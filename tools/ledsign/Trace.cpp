#include "tools/ledsign/Trace.h"

#include <cstdio>

namespace ledsign_tool {

namespace {

void PrintBytes(const std::uint8_t* bytes, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        std::fprintf(stderr, "%s%02X", i % 32 == 0 ? (i == 0 ? "  " : "\n  ") : " ", bytes[i]);
    }
    std::fputc('\n', stderr);
}

// Prints frames as they cross the line: the bytes in hex, then the header of every frame that
// starts in them.
void TraceFrames(TraceDirection direction, const std::uint8_t* bytes, std::size_t count) {
    static constexpr struct {
        TraceDirection Direction;
        const char* Heading;
        const char* Why;
    } kHeadings[] = {
        {TraceDirection::Sent, ">> sent", ""},
        {TraceDirection::Received, "<< received", ""},
        {TraceDirection::Discarded, "<< discarded",
         ", which arrived before the request had gone out and answer nothing"},
    };
    for (const auto& heading : kHeadings) {
        if (heading.Direction == direction) {
            std::fprintf(stderr, "%s %zu bytes%s\n", heading.Heading, count, heading.Why);
        }
    }
    PrintBytes(bytes, count);
    for (std::size_t i = 0; i < count; ++i) {
        FrameHeader h;
        if (bytes[i] != kFrameStart || !DecodeFrameHeader(bytes + i, count - i, h)) {
            continue;
        }
        std::fprintf(stderr,
                     "  frame: source %u (0x%04X), destination %u (0x%04X), code 0x%02X, "
                     "length %u, header checksum 0x%02X %s\n",
                     h.Source, h.Source, h.Destination, h.Destination, h.Code, h.Length, h.Checksum,
                     h.ChecksumOk ? "ok" : "BAD");
    }
}

} // namespace

void TraceProtocol(ComProtocol& protocol, std::mutex& lock, const std::string& prefix) {
    protocol.SetTraceHook(
        [&lock, prefix](TraceDirection direction, const std::uint8_t* bytes, std::size_t count) {
            const std::lock_guard<std::mutex> guard(lock);
            std::fputs(prefix.c_str(), stderr);
            TraceFrames(direction, bytes, count);
            std::fflush(stderr);
        });
    protocol.SetNoteHook([&lock, prefix](const char* note) {
        const std::lock_guard<std::mutex> guard(lock);
        std::fprintf(stderr, "%s-- %s\n", prefix.c_str(), note);
        std::fflush(stderr);
    });
}

} // namespace ledsign_tool
