// Fuzzes the data-file parse (line extraction and buffer building) of the synchronisation mode.
// Invariants checked: a known result code, at most 511 cells (exactly the line's text bytes for
// an ASCII line, no more for one converted from UTF-8), bytes from the end of the cells
// up to 1022 zero, byte 1023 the message type, no control bytes in any cell, the font of every
// cell taken from the line.

#include "autosync/Unitautosync.h"

#include <cstdint>
#include <cstdlib>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    SyncMessage buffer;
    buffer.fill(0xA5);
    int type = -1;
    const int result = ParseDataBytes(std::span<const std::uint8_t>(data, size), buffer, type);
    if (result < kParseOk || result > kParseBadFont || result == kParseCannotOpen) {
        std::abort();
    }
    if (result != kParseOk) {
        for (std::uint8_t b : buffer) {
            if (b != 0) {
                std::abort();
            }
        }
        return 0;
    }
    if (type != 0 && type != 1) {
        std::abort();
    }
    if (buffer[kSyncTypeIndex] != type || buffer[kSyncCellEnd] != 0) {
        std::abort();
    }
    const std::uint8_t font = buffer[0];
    std::size_t cells = 0;
    std::size_t i = 0;
    for (; i < kSyncCellEnd && buffer[i] != 0; i += 2, ++cells) {
        if (buffer[i] != font || font < 1 || font > 5 || buffer[i + 1] < 0x20) {
            std::abort();
        }
    }
    if (cells > kMaxSyncCells) {
        std::abort();
    }
    for (; i < kSyncCellEnd; ++i) {
        if (buffer[i] != 0) {
            std::abort();
        }
    }
    // The number of cells follows from the line: bytes 4.. of the first line after a byte order
    // mark, at most 511; a line converted from UTF-8 gives one cell per character, so fewer.
    std::span<const std::uint8_t> raw(data, size);
    if (size >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF) {
        raw = raw.subspan(3);
    }
    std::array<std::uint8_t, kMaxDataLine> line;
    const std::size_t length = ExtractDataLine(raw, line);
    const std::size_t bytes = length > 4 ? length - 4 : 0;
    const std::size_t expected = bytes < kMaxSyncCells ? bytes : kMaxSyncCells;
    bool ascii = true;
    for (std::size_t k = 0; k < length; ++k) {
        ascii = ascii && line[k] < 0x80;
    }
    if (ascii ? cells != expected : cells > expected) {
        std::abort();
    }
    return 0;
}
