// Editing, cursor and selection rules of the message container on a headless grid.

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using test_support::BoundMessage;
using test_support::Bytes;
using test_support::DataOf;

namespace {

using Log = std::vector<std::string>;

// Fills all 500 cells with distinct cells: cell k = (1 + k % 5, k & 0xFF).
void FillAllCells(CLEDMessageCon& message) {
    for (int k = 0; k < kMessageCells; ++k) {
        message.GetData()[std::size_t{2} * k] = static_cast<std::uint8_t>(1 + k % 5);
        message.GetData()[2 * k + 1] = static_cast<std::uint8_t>(k);
    }
}

TEST(MessageContainer, NewContainerIsEmptyScrollingFontFourAndOnlyCellZeroSelectable) {
    BoundMessage m;
    EXPECT_EQ(DataOf(m.Message), Bytes(kMessageSize, 0));
    EXPECT_EQ(m.Message.GetType(), 0);
    EXPECT_EQ(m.Message.GetFont(), 4);
    EXPECT_EQ(m.Message.GetCurrentAttribute(), 4);
    EXPECT_EQ(m.Message.GetGrid(), &m.Grid);
    const Bitmap32& cell = m.Message.GetCellBitmap();
    ASSERT_EQ(cell.Width(), 16);
    ASSERT_EQ(cell.Height(), 16);
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            ASSERT_EQ(cell.At(x, y), Rgb(0, 0, 0));
        }
    }

    bool can = false;
    m.Message.CanSelect(0, 0, can);
    EXPECT_TRUE(can);
    m.Message.CanSelect(1, 0, can);
    EXPECT_FALSE(can);
    m.Message.CanSelect(0, 1, can);
    EXPECT_FALSE(can);
    m.Grid.Click(3, 2);
    EXPECT_EQ(m.Cursor(), 0);
}

TEST(MessageContainer, TypingABGivesTwoFontFourCellsAndCursorOnCellTwo) {
    BoundMessage m;
    m.Type("AB");
    Bytes expected(kMessageSize, 0);
    expected[0] = 0x04;
    expected[1] = 0x41;
    expected[2] = 0x04;
    expected[3] = 0x42;
    EXPECT_EQ(DataOf(m.Message), expected);
    EXPECT_EQ(m.Cursor(), 2);
}

TEST(MessageContainer, KeyPressInsertsMovesThenRedrawsWithoutTakingFocus) {
    BoundMessage m;
    m.Grid.KillFocus();
    m.Type("x");
    EXPECT_EQ(m.Grid.Log(), (Log{"col 1", "invalidate"}));
    EXPECT_FALSE(m.Grid.HasFocus());
}

TEST(MessageContainer, KeyPressIgnoresBackspaceCharacterAndInsertsControlCodes) {
    BoundMessage m;
    m.Grid.TypeChar(8);
    EXPECT_EQ(DataOf(m.Message), Bytes(kMessageSize, 0));
    EXPECT_TRUE(m.Grid.Log().empty());

    const std::string codes{'\r', '\n', '\t', '\0', '\x1b', '\x7f'};
    m.Type(codes);
    EXPECT_EQ(m.Text(), codes);
    for (std::size_t i = 0; i < codes.size(); ++i) {
        EXPECT_EQ(m.Message.GetData()[2 * i], 4) << i;
    }
    EXPECT_EQ(m.Cursor(), static_cast<int>(codes.size()));
}

TEST(MessageContainer, InsertInMiddleThenBackspaceThenDelete) {
    BoundMessage m;
    m.Type("ABC");
    m.Grid.Click(1, 0);
    m.Type("X");
    EXPECT_EQ(m.Text(), "AXBC");
    EXPECT_EQ(m.Cursor(), 2);

    m.Grid.ClearLog();
    EXPECT_EQ(m.Grid.PressKey(kKeyBackspace), 0);
    EXPECT_EQ(m.Text(), "ABC");
    EXPECT_EQ(m.Cursor(), 1);
    // Remove, move, then redraw.
    EXPECT_EQ(m.Grid.Log(), (Log{"col 1", "invalidate"}));

    m.Grid.ClearLog();
    EXPECT_EQ(m.Grid.PressKey(kKeyDelete), 0);
    EXPECT_EQ(m.Text(), "AC");
    EXPECT_EQ(m.Cursor(), 1);
    EXPECT_EQ(m.Grid.Log(), (Log{"invalidate"}));
}

TEST(MessageContainer, BackspaceOnCellZeroAndDeleteOnFirstFreeCellChangeNothing) {
    BoundMessage m;
    m.Type("ABC");
    m.Grid.Click(0, 0);
    const Bytes before = DataOf(m.Message);
    m.Grid.PressKey(kKeyBackspace);
    EXPECT_EQ(DataOf(m.Message), before);
    EXPECT_EQ(m.Cursor(), 0);

    m.Grid.Click(3, 0);
    ASSERT_EQ(m.Cursor(), 3);
    m.Grid.PressKey(kKeyDelete);
    EXPECT_EQ(DataOf(m.Message), before);
    EXPECT_EQ(m.Cursor(), 3);
}

TEST(MessageContainer, TypingThirtyTwoCharactersWrapsAndBackspaceWrapsBack) {
    BoundMessage m;
    const std::string row0 = "abcdefghijklmnopqrstuvwxyz012345";
    ASSERT_EQ(row0.size(), 32u);
    m.Type(row0);
    EXPECT_EQ(m.Grid.Col(), 0);
    EXPECT_EQ(m.Grid.Row(), 1);

    m.Grid.ClearLog();
    m.Grid.PressKey(kKeyBackspace);
    EXPECT_EQ(m.Text(), row0.substr(0, 31));
    EXPECT_EQ(m.Grid.Col(), 31);
    EXPECT_EQ(m.Grid.Row(), 0);
    // Leftwards the row is set before the column.
    EXPECT_EQ(m.Grid.Log(), (Log{"row 0", "col 31", "invalidate"}));
}

TEST(MessageContainer, RightArrowFromColumn31WithTextSetsColumnThenRow) {
    BoundMessage m;
    m.Type(std::string(40, 'q'));
    m.Grid.Click(31, 0);
    m.Grid.ClearLog();
    EXPECT_EQ(m.Grid.PressKey(kKeyRight), 0);
    EXPECT_EQ(m.Grid.Log(), (Log{"col 0", "row 1"}));
    EXPECT_EQ(m.Cursor(), 32);

    m.Grid.ClearLog();
    EXPECT_EQ(m.Grid.PressKey(kKeyLeft), 0);
    EXPECT_EQ(m.Grid.Log(), (Log{"row 0", "col 31"}));
    EXPECT_EQ(m.Cursor(), 31);
}

TEST(MessageContainer, RightArrowOnFirstFreeCell) {
    // Not in the last column: the selection check refuses the move.
    BoundMessage m;
    m.Type("AB");
    m.Grid.PressKey(kKeyRight);
    EXPECT_EQ(m.Cursor(), 2);

    // In the last column: the column step to 0 is accepted, the row step refused, so the
    // cursor lands on column 0 of the same row.
    BoundMessage last;
    last.Type(std::string(31, 'z'));
    ASSERT_EQ(last.Cursor(), 31);
    last.Grid.ClearLog();
    last.Grid.PressKey(kKeyRight);
    EXPECT_EQ(last.Grid.Col(), 0);
    EXPECT_EQ(last.Grid.Row(), 0);
    EXPECT_EQ(last.Grid.Log(), (Log{"col 0", "row 1 refused"}));
}

TEST(MessageContainer, CursorMovesReportTheEndsOfTheGrid) {
    // Without a selection check every cell may be selected, so the bounds are the grid's.
    HeadlessGrid grid;
    CLEDMessageCon message;
    message.AttachGrid(&grid);
    EXPECT_EQ(message.CursorLeft(), 1);
    EXPECT_EQ(grid.Col(), 0);
    EXPECT_EQ(grid.Row(), 0);
    EXPECT_EQ(message.CursorRight(), 0);
    EXPECT_EQ(grid.Col(), 1);

    grid.SetCell(31, 15);
    EXPECT_EQ(message.CursorRight(), 1);
    EXPECT_EQ(grid.Col(), 31);
    EXPECT_EQ(grid.Row(), 15);
    EXPECT_EQ(message.CursorLeft(), 0);
    EXPECT_EQ(grid.Col(), 30);

    grid.SetCell(0, 5);
    EXPECT_EQ(message.CursorLeft(), 0);
    EXPECT_EQ(grid.Col(), 31);
    EXPECT_EQ(grid.Row(), 4);
}

TEST(MessageContainer, ArrowAndEditKeysAreConsumedOthersAreLeftToTheGrid) {
    BoundMessage m;
    m.Type("abc");
    for (std::uint16_t key : {kKeyLeft, kKeyRight, kKeyBackspace, kKeyDelete}) {
        std::uint16_t k = key;
        m.Message.KeyDown(k);
        EXPECT_EQ(k, 0) << key;
    }
    for (std::uint16_t key : {kKeyUp, kKeyDown, kKeyEnter, std::uint16_t{65}, std::uint16_t{36}}) {
        std::uint16_t k = key;
        const Bytes before = DataOf(m.Message);
        m.Message.KeyDown(k);
        EXPECT_EQ(k, key);
        EXPECT_EQ(DataOf(m.Message), before) << key;
    }
}

TEST(MessageContainer, UpAndDownObeyTheSelectionCheck) {
    BoundMessage m;
    m.Type(std::string(40, 'w')); // text length 40: cells up to index 40 selectable
    m.Grid.Click(5, 1);
    ASSERT_EQ(m.Cursor(), 37);
    EXPECT_EQ(m.Grid.PressKey(kKeyUp), kKeyUp);
    EXPECT_EQ(m.Cursor(), 5);
    m.Grid.PressKey(kKeyDown);
    EXPECT_EQ(m.Cursor(), 37);
    m.Grid.PressKey(kKeyDown); // (5,2) = 69 lies beyond the text
    EXPECT_EQ(m.Cursor(), 37);

    m.Grid.Click(10, 0);
    m.Grid.PressKey(kKeyDown); // (10,1) = 42 > 40
    EXPECT_EQ(m.Cursor(), 10);
    m.Grid.Click(8, 0);
    m.Grid.PressKey(kKeyDown); // (8,1) = 40, the first free cell
    EXPECT_EQ(m.Cursor(), 40);
}

TEST(MessageContainer, CanSelectAllowsUsedCellsAndTheFirstFreeCell) {
    struct Case {
        int Length;
        int Col;
        int Row;
        bool Expected;
    };
    const Case cases[] = {
        {3, 3, 0, true},      {3, 4, 0, false},     {3, 0, 1, false},    {3, 2, 0, true},
        {32, 0, 1, true},     {32, 1, 1, false},    {498, 18, 15, true}, {498, 19, 15, false},
        {499, 19, 15, true},  {499, 20, 15, false}, {500, 19, 15, true}, {500, 20, 15, false},
        {500, 31, 15, false},
    };
    for (const Case& c : cases) {
        BoundMessage m;
        for (int k = 0; k < c.Length; ++k) {
            m.Message.GetData()[std::size_t{2} * k] = 4;
        }
        bool can = !c.Expected;
        m.Message.CanSelect(c.Col, c.Row, can);
        EXPECT_EQ(can, c.Expected) << "length " << c.Length << " at " << c.Col << "," << c.Row;
    }
}

TEST(MessageContainer, CanSelectEndsAtTheFirstZeroAttributeEvenWithCellsAfterIt) {
    BoundMessage m;
    m.Message.GetData()[0] = 4;
    m.Message.GetData()[4] = 4; // cell 1 free, cell 2 used
    bool can = true;
    m.Message.CanSelect(2, 0, can);
    EXPECT_FALSE(can);
    m.Message.CanSelect(1, 0, can);
    EXPECT_TRUE(can);
}

TEST(MessageContainer, InsertCellShiftsTowardsTheEndAndDropsCell499) {
    CLEDMessageCon m;
    FillAllCells(m);
    m.GetData()[1000] = 0xAA;
    m.GetData()[1001] = 0xBB;
    m.GetData()[1023] = 1;
    const Bytes before = DataOf(m);
    m.InsertCell(3, 0x21, 0x99);

    Bytes expected = before;
    for (int k = 499; k > 3; --k) {
        expected[std::size_t{2} * k] = before[std::size_t{2} * (k - 1)];
        expected[2 * k + 1] = before[2 * (k - 1) + 1];
    }
    expected[6] = 0x21;
    expected[7] = 0x99;
    expected[1000] = 0;
    expected[1001] = 0;
    EXPECT_EQ(DataOf(m), expected);

    // At the last cell only that cell changes.
    m.InsertCell(499, 5, 0x58);
    expected[998] = 5;
    expected[999] = 0x58;
    EXPECT_EQ(DataOf(m), expected);

    // Outside the area nothing happens, not even the closing bytes.
    m.GetData()[1000] = 0x11;
    expected[1000] = 0x11;
    m.InsertCell(500, 1, 1);
    m.InsertCell(0xFFFF, 1, 1);
    EXPECT_EQ(DataOf(m), expected);
}

TEST(MessageContainer, DeleteShiftsTowardsTheStartAndEmptiesCell499) {
    for (int n : {0, 1, 250, 498, 499}) {
        const bool beforeToo = n < 499; // DeleteBefore(500) lies outside the area
        CLEDMessageCon m;
        FillAllCells(m);
        m.GetData()[1023] = 1;
        const Bytes before = DataOf(m);
        m.DeleteAt(static_cast<std::uint16_t>(n));
        Bytes expected = before;
        for (int k = n; k < 499; ++k) {
            expected[std::size_t{2} * k] = before[std::size_t{2} * (k + 1)];
            expected[2 * k + 1] = before[2 * (k + 1) + 1];
        }
        expected[998] = 0;
        expected[999] = 0;
        EXPECT_EQ(DataOf(m), expected) << "DeleteAt " << n;

        if (!beforeToo) {
            continue;
        }
        CLEDMessageCon b;
        FillAllCells(b);
        b.GetData()[1023] = 1;
        b.DeleteBefore(static_cast<std::uint16_t>(n + 1));
        EXPECT_EQ(DataOf(b), expected) << "DeleteBefore " << n + 1;
    }
}

TEST(MessageContainer, DeleteOutsideTheAreaOnlyClearsTheClosingBytes) {
    struct Case {
        bool Before;
        int N;
    };
    for (const Case c : {Case{true, 0}, Case{true, 500}, Case{true, 0xFFFF}, Case{false, 500},
                         Case{false, 0xFFFF}}) {
        CLEDMessageCon m;
        FillAllCells(m);
        m.GetData()[1000] = 0xAA;
        m.GetData()[1001] = 0xBB;
        Bytes expected = DataOf(m);
        expected[1000] = 0;
        expected[1001] = 0;
        if (c.Before) {
            m.DeleteBefore(static_cast<std::uint16_t>(c.N));
        } else {
            m.DeleteAt(static_cast<std::uint16_t>(c.N));
        }
        EXPECT_EQ(DataOf(m), expected) << c.Before << " " << c.N;
    }
}

TEST(MessageContainer, FullMessageKeepsTheCursorOnCell499AndEachInsertReplacesIt) {
    BoundMessage m;
    std::string text;
    for (int i = 0; i < 600; ++i) {
        text += static_cast<char>('a' + i % 26);
    }
    m.Type(text);
    EXPECT_EQ(m.Cursor(), 499);
    const std::string cells = m.Text();
    ASSERT_EQ(cells.size(), 500u);
    EXPECT_EQ(cells.substr(0, 499), text.substr(0, 499));
    EXPECT_EQ(cells[499], text.back());

    m.Message.InsertDateField();
    EXPECT_EQ(m.Message.GetData()[998], 0x24);
    EXPECT_EQ(m.Message.GetData()[999], 0xFE);
    EXPECT_EQ(m.Text().substr(0, 499), text.substr(0, 499));

    // Deleting from a full message empties cell 499.
    m.Grid.Click(0, 0);
    m.Grid.PressKey(kKeyDelete);
    EXPECT_EQ(m.Message.GetData()[998], 0);
    EXPECT_EQ(m.Message.GetData()[999], 0);
    EXPECT_EQ(m.Text(), text.substr(1, 498) + '\xFE');
}

TEST(MessageContainer, FieldsAndSpecialCharactersUseTheCurrentFontAndTakeFocus) {
    struct Case {
        void (CLEDMessageCon::*Insert)();
        std::uint8_t Attribute;
        std::uint8_t Code;
    };
    const Case cases[] = {
        {&CLEDMessageCon::InsertTimeField, 0x12, 0xFF},
        {&CLEDMessageCon::InsertDateField, 0x22, 0xFE},
        {&CLEDMessageCon::InsertTemperatureField, 0x32, 0xFA},
    };
    for (const Case& c : cases) {
        BoundMessage m;
        m.Type("ab");
        m.Grid.Click(1, 0);
        m.Message.SetFont(2);
        m.Grid.KillFocus();
        m.Grid.ClearLog();
        (m.Message.*c.Insert)();
        EXPECT_EQ(m.Message.GetData()[2], c.Attribute);
        EXPECT_EQ(m.Message.GetData()[3], c.Code);
        EXPECT_EQ(m.Text(), std::string("a") + static_cast<char>(c.Code) + "b");
        EXPECT_EQ(m.Cursor(), 2);
        EXPECT_EQ(m.Grid.Log(), (Log{"col 2", "invalidate", "focus"}));
    }

    BoundMessage m;
    m.Message.SetFont(5);
    m.Message.InsertSpecialChar(0xA5);
    EXPECT_EQ(m.Message.GetData()[0], 0x05);
    EXPECT_EQ(m.Message.GetData()[1], 0xA5);
    EXPECT_TRUE(m.Grid.HasFocus());
}

TEST(MessageContainer, SetFontKeepsExistingCellsAndTakesFocus) {
    BoundMessage m;
    m.Type("a");
    m.Grid.KillFocus();
    m.Message.SetFont(3);
    EXPECT_TRUE(m.Grid.HasFocus());
    EXPECT_EQ(m.Message.GetFont(), 3);
    m.Type("b");
    EXPECT_EQ(m.Message.GetData()[0], 4);
    EXPECT_EQ(m.Message.GetData()[2], 3);
    // Only the low four bits of the number count.
    m.Message.SetFont(0x31);
    EXPECT_EQ(m.Message.GetCurrentAttribute(), 0x01);
}

TEST(MessageContainer, SetTypeStoresOnlyZeroOrOne) {
    const std::pair<std::uint16_t, int> cases[] = {
        {1, 1}, {0, 0}, {2, 0}, {257, 0}, {256, 0}, {0xFFFF, 0},
    };
    CLEDMessageCon m;
    for (const auto& [value, expected] : cases) {
        m.SetType(1);
        m.SetType(value);
        EXPECT_EQ(m.GetType(), expected) << value;
        EXPECT_EQ(m.GetData()[1023], expected) << value;
    }
}

TEST(MessageContainer, ClearResetsBufferTypeFontAndCursor) {
    BoundMessage m;
    m.Message.SetFont(2);
    m.Type(std::string(45, 'k'));
    m.Message.SetType(1);
    m.Message.GetData()[1010] = 9;
    m.Grid.ClearLog();
    m.Message.Clear();
    EXPECT_EQ(DataOf(m.Message), Bytes(kMessageSize, 0));
    EXPECT_EQ(m.Message.GetType(), 0);
    EXPECT_EQ(m.Message.GetFont(), 4);
    EXPECT_EQ(m.Cursor(), 0);
    EXPECT_EQ(m.Grid.Log(), (Log{"col 0", "row 0", "invalidate"}));
}

TEST(MessageContainer, ClearBringsACursorBeyondTheTextHome) {
    // A cursor left beyond the end of a shorter text: both single steps are refused.
    BoundMessage m;
    m.Type(std::string(100, 'k'));
    m.Grid.Click(4, 3);
    for (int k = 2; k < kMessageCells; ++k) {
        m.Message.GetData()[std::size_t{2} * k] = 0;
    }
    ASSERT_EQ(m.Cursor(), 100);
    m.Message.Clear();
    EXPECT_EQ(m.Grid.Col(), 0);
    EXPECT_EQ(m.Grid.Row(), 0);
}

} // namespace
