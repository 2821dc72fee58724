// Painting of grid cells: colours, the cursor background, double size, 7-row fonts, fonts
// without glyphs and where the picture lands on the grid's surface.

#include "TestSupport.h"

#include "preview/Fonts.h"

#include <gtest/gtest.h>

#include <vector>

using test_support::BoundMessage;

namespace {

constexpr Pixel kBlack = Rgb(0, 0, 0);
constexpr Pixel kGrey = Rgb(128, 128, 128);
constexpr Pixel kLight = Rgb(240, 240, 240);
constexpr Pixel kGreen = Rgb(0, 255, 0);

// Synthetic fonts: glyph c of font f has row i = c ^ (0x35 * (i + 1)) ^ (f << 4), different in
// every font, code and row.
std::uint8_t GlyphRow(int font, int code, int row) {
    return static_cast<std::uint8_t>(code ^ (0x35 * (row + 1)) ^ (font << 4));
}

class DrawCellTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        static FontSet fonts;
        for (int f = 0; f < kFontCount; ++f) {
            const auto& fontSpec = kFontSpecs[static_cast<std::size_t>(f)];
            std::vector<std::uint8_t> bytes(fontSpec.FileSize);
            for (int c = 0; c < 256; ++c) {
                for (int i = 0; i < fontSpec.Height; ++i) {
                    bytes[static_cast<std::size_t>(c) * fontSpec.Height +
                          static_cast<std::size_t>(i)] = GlyphRow(f + 1, c, i);
                }
            }
            fonts.Assign(f, bytes);
        }
        InitFontTable(Fonts(), fonts);
    }

    static FontInfoTable& Fonts() {
        static FontInfoTable table;
        return table;
    }

    void SetUp() override { BindMessageToGrid(m.Message, m.Grid, &Fonts()); }

    // What a cell holding glyph `code` of `font` must look like: glyph rows doubled, each bit
    // two pixels; pixel rows beyond the font's height stay black.
    static void ExpectGlyph(const Bitmap32& bitmap, int x0, int y0, int font, int code, Pixel fg,
                            Pixel bg) {
        const int height = kFontSpecs[static_cast<std::size_t>(font - 1)].Height;
        for (int y = 0; y < 16; ++y) {
            for (int x = 0; x < 16; ++x) {
                Pixel expected = kBlack;
                if (y < 2 * height) {
                    const bool lit = (GlyphRow(font, code, y / 2) >> (7 - x / 2)) & 1;
                    expected = lit ? fg : bg;
                }
                ASSERT_EQ(bitmap.At(x0 + x, y0 + y), expected)
                    << "font " << font << " code " << code << " pixel " << x << "," << y;
            }
        }
    }

    static void ExpectFilled(const Bitmap32& bitmap, int x0, int y0, Pixel p) {
        for (int y = 0; y < 16; ++y) {
            for (int x = 0; x < 16; ++x) {
                ASSERT_EQ(bitmap.At(x0 + x, y0 + y), p) << x << "," << y;
            }
        }
    }

    void Draw(int col, int row, GridCellState state) {
        m.Message.DrawCell(col, row, GridRect{col * 17, row * 17, col * 17 + 17, row * 17 + 17},
                           state, Fonts());
    }

    void SetCell(int index, std::uint8_t a, std::uint8_t ch) {
        m.Message.GetData()[std::size_t{2} * index] = a;
        m.Message.GetData()[2 * index + 1] = ch;
    }

    BoundMessage m;
};

TEST_F(DrawCellTest, PlainCharactersAreLightGreyInTheirOwnFont) {
    for (int font = 1; font <= 5; ++font) {
        SetCell(0, static_cast<std::uint8_t>(font), 0x41);
        Draw(0, 0, GridCellState::Normal);
        ExpectGlyph(m.Message.GetCellBitmap(), 0, 0, font, 0x41, kLight, kBlack);
    }
}

TEST_F(DrawCellTest, LiveFieldsAreGreen) {
    const std::pair<std::uint8_t, std::uint8_t> fields[] = {
        {0x14, 0xFF}, {0x22, 0xFE}, {0x33, 0xFA}, {0xF5, 0x41}};
    for (const auto& [attribute, code] : fields) {
        SetCell(0, attribute, code);
        Draw(0, 0, GridCellState::Normal);
        ExpectGlyph(m.Message.GetCellBitmap(), 0, 0, attribute & 0x0F, code, kGreen, kBlack);
    }
}

TEST_F(DrawCellTest, CursorCellIsGreyOnlyWhileTheGridHasFocus) {
    SetCell(0, 4, 0x52);
    ASSERT_TRUE(m.Grid.HasFocus());
    Draw(0, 0, GridCellState::Selected);
    ExpectGlyph(m.Message.GetCellBitmap(), 0, 0, 4, 0x52, kLight, kGrey);
    Draw(0, 0, GridCellState::Normal);
    ExpectGlyph(m.Message.GetCellBitmap(), 0, 0, 4, 0x52, kLight, kBlack);

    m.Grid.KillFocus();
    Draw(0, 0, GridCellState::Selected);
    ExpectGlyph(m.Message.GetCellBitmap(), 0, 0, 4, 0x52, kLight, kBlack);
}

TEST_F(DrawCellTest, EmptyCellIsBackgroundOnly) {
    Draw(3, 2, GridCellState::Selected);
    ExpectFilled(m.Message.GetCellBitmap(), 0, 0, kGrey);
    Draw(3, 2, GridCellState::Normal);
    ExpectFilled(m.Message.GetCellBitmap(), 0, 0, kBlack);
    m.Grid.KillFocus();
    Draw(3, 2, GridCellState::Selected);
    ExpectFilled(m.Message.GetCellBitmap(), 0, 0, kBlack);
}

TEST_F(DrawCellTest, SevenRowFontsLeaveTheBottomRowsBlackEvenUnderTheCursor) {
    for (int font : {1, 2}) {
        SetCell(0, static_cast<std::uint8_t>(font), 0x00);
        Draw(0, 0, GridCellState::Selected);
        const Bitmap32& cell = m.Message.GetCellBitmap();
        ExpectGlyph(cell, 0, 0, font, 0x00, kLight, kGrey);
        // The glyph has clear bits in its last row, so grey must show above the black rows.
        bool greyInRow13 = false;
        for (int x = 0; x < 16; ++x) {
            greyInRow13 = greyInRow13 || cell.At(x, 13) == kGrey;
        }
        EXPECT_TRUE(greyInRow13);
    }
}

TEST_F(DrawCellTest, FontNumbersWithoutAFontPaintAnAllBlackCell) {
    for (std::uint8_t attribute : {0x10, 0x06, 0x0F, 0x26}) {
        SetCell(0, attribute, 0x41);
        Draw(0, 0, GridCellState::Selected);
        ExpectFilled(m.Message.GetCellBitmap(), 0, 0, kBlack);
    }
}

TEST_F(DrawCellTest, CellIndexUsesThirtyTwoColumnsAndTheTailShowsTheClosingBytes) {
    SetCell(2 * 32 + 7, 3, 0x61);
    Draw(7, 2, GridCellState::Normal);
    ExpectGlyph(m.Message.GetCellBitmap(), 0, 0, 3, 0x61, kLight, kBlack);

    // Cell 511 is bytes 1022 and 1023 (the type byte is its character code).
    m.Message.GetData()[1022] = 5;
    m.Message.SetType(1);
    Draw(31, 15, GridCellState::Normal);
    ExpectGlyph(m.Message.GetCellBitmap(), 0, 0, 5, 0x01, kLight, kBlack);
}

TEST_F(DrawCellTest, PaintingTheGridCopiesEachCellToItsCornerLeavingTheGapBlack) {
    m.Type("AB");
    m.Message.InsertTimeField();
    m.Grid.Paint();
    EXPECT_EQ(m.Grid.Copies().size(), 512u);
    const Bitmap32& surface = m.Grid.Surface();
    ExpectGlyph(surface, 0, 0, 4, 'A', kLight, kBlack);
    ExpectGlyph(surface, 17, 0, 4, 'B', kLight, kBlack);
    ExpectGlyph(surface, 34, 0, 4, 0xFF, kGreen, kBlack);
    ExpectFilled(surface, 51, 0, kGrey); // the cursor on the first free cell
    ExpectFilled(surface, 68, 0, kBlack);
    for (int i = 0; i < 17 * 4; ++i) {
        EXPECT_EQ(surface.At(16, i), kBlack);
        EXPECT_EQ(surface.At(i, 16), kBlack);
    }
}

} // namespace
