// Drives a message on a headless grid with arbitrary edit, cursor, font and paint operations
// and checks the invariants the editor relies on after each one: the cursor never stands
// beyond the first free cell, the text has no gaps, the closing bytes stay 0, the text grows
// and shrinks by at most one cell per operation.

#include "messages/HeadlessGrid.h"
#include "messages/Ledmessagecon.h"
#include "preview/Fonts.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

int TextLength(const CLEDMessageCon& m) {
    int n = 0;
    while (n < kMessageCells && m.GetData()[2 * n] != 0) {
        ++n;
    }
    return n;
}

void Check(bool ok) {
    if (!ok) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static FontSet fonts;
    static FontInfoTable fontTable;
    static bool fontsReady = false;
    if (!fontsReady) {
        InitFontTable(fontTable, fonts);
        fontsReady = true;
    }
    // Enough operations to fill and empty a message several times; longer inputs add nothing.
    size = std::min<std::size_t>(size, 1200);
    // One grid and message for all runs (a fresh grid's surface costs more than a run);
    // Clear brings both back to the state of a new message.
    static HeadlessGrid grid;
    static CLEDMessageCon m;
    if (m.GetGrid() == nullptr) {
        BindMessageToGrid(m, grid, &fontTable);
    }
    m.Clear();
    grid.SetFocus();
    grid.ClearLog();
    Check(grid.Col() == 0 && grid.Row() == 0 && m.GetFont() == 4 && m.GetType() == 0);

    for (std::size_t i = 0; i + 1 < size; i += 2) {
        const std::uint8_t op = data[i];
        const std::uint8_t arg = data[i + 1];
        const int before = TextLength(m);
        switch (op % 12) {
        case 0:
        case 1:
        case 2:
            grid.TypeChar(arg);
            break;
        case 3: {
            static constexpr std::uint16_t kKeys[] = {
                kKeyBackspace, kKeyLeft, kKeyRight, kKeyDelete, kKeyUp,
                kKeyDown,      35,       36,        kKeyEnter};
            grid.PressKey(kKeys[arg % (sizeof kKeys / sizeof kKeys[0])]);
            break;
        }
        case 4:
            grid.Click(arg % 32, (arg >> 5) + (op >> 4) % 2 * 8);
            break;
        case 5:
            // Font 0 would make new cells end marks; callers only choose fonts 1..15.
            m.SetFont(arg % 15 + 1);
            break;
        case 6:
            m.SetType(static_cast<std::uint16_t>(arg * 3));
            break;
        case 7:
            m.InsertTimeField();
            break;
        case 8:
            m.InsertDateField();
            break;
        case 9:
            m.InsertSpecialChar(arg);
            break;
        case 10:
            m.DrawCell(arg % 40 - 4, (op >> 4) - 2, GridRect{0, 0, 17, 17},
                       (arg & 1) ? GridCellState::Selected : GridCellState::Normal, fontTable);
            break;
        case 11:
            if (arg == 0) {
                m.Clear();
            } else {
                m.InsertTemperatureField();
            }
            break;
        }
        const int length = TextLength(m);
        const int cursor = grid.Row() * 32 + grid.Col();
        Check(cursor <= std::min(length, kMessageCells - 1));
        Check(std::abs(length - before) <= 1 || (op % 12 == 11 && arg == 0));
        Check(m.GetData()[1000] == 0 && m.GetData()[1001] == 0);
        for (int k = length; k < kMessageCells; ++k) {
            Check(m.GetData()[2 * k] == 0 && m.GetData()[2 * k + 1] == 0);
        }
        Check(m.GetType() == 0 || m.GetType() == 1);
    }
    return 0;
}
