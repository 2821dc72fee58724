#pragma once
// Shared helpers of the message tests: a bound container on a headless grid, temporary
// directories and whole-file reads and writes.

#include "messages/HeadlessGrid.h"
#include "messages/Ledmessagecon.h"
#include "testsupport/ScratchFiles.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace test_support {

using test_files::Bytes;

using test_files::ReadAll;
using test_files::WriteAll;

inline Bytes DataOf(const CLEDMessageCon& message) {
    return Bytes(message.GetData(), message.GetData() + kMessageSize);
}

// A buffer with every byte set, including the type and the bytes after the cells, so that a
// file operation that drops or moves any byte shows.
inline void FillPattern(CLEDMessageCon& message, std::uint8_t seed) {
    for (int i = 0; i < kMessageSize; ++i) {
        message.GetData()[i] = static_cast<std::uint8_t>(seed + i * 7 + (i >> 8));
    }
}

using TempDir = test_files::ScratchDir;

// A container bound to a 32 x 16 headless grid that has the focus, as in the editor.
struct BoundMessage {
    HeadlessGrid Grid;
    CLEDMessageCon Message;

    BoundMessage() {
        BindMessageToGrid(Message, Grid);
        Grid.SetFocus();
        Grid.ClearLog();
    }

    void Type(std::string_view text) {
        for (const char c : text) {
            Grid.TypeChar(static_cast<std::uint8_t>(c));
        }
    }
    int Cursor() const { return Grid.Row() * Grid.ColCount() + Grid.Col(); }

    // The text of cells 0.. up to the first free cell, as character codes.
    std::string Text() const {
        std::string text;
        for (int i = 0; i < kMessageCells && Message.GetData()[std::size_t{2} * i] != 0; ++i) {
            text += static_cast<char>(Message.GetData()[2 * i + 1]);
        }
        return text;
    }
};

} // namespace test_support
