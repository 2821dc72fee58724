// Tests of the strip preview with synthetic fonts, so that every expected dot is known:
//   font 1 (5 x 7): every glyph is 0xF8 in rows 0..6 (a solid 5-column block);
//   font 3 (8 x 8, "code font"): glyph c has c in row 0 and nothing else, so row 0 of the strip
//          spells the characters that were placed;
//   font 4 (8 x 8): 'A' a known pattern with a blank left column, 'H' = 0x81 in every row,
//          'I' = 0x80 in every row, 'J' = 0x01 in row 3 only, 'K' = 0x80 in row 5 only;
//   font 5 (8 x 8): every glyph is 0xFF in every row (every glyph touches its neighbours).

#include "preview/StripPreview.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

constexpr std::array<std::uint8_t, 8> kGlyphA = {0x18, 0x24, 0x42, 0x42, 0x7E, 0x42, 0x42, 0x00};

FontSet MakeFonts() {
    FontSet fonts;
    std::vector<std::uint8_t> f1(1792, 0);
    for (int c = 0; c < 256; ++c) {
        for (int r = 0; r < 7; ++r) {
            f1[static_cast<std::size_t>(c) * 7 + static_cast<std::size_t>(r)] = 0xF8;
        }
    }
    fonts.Assign(0, f1);
    std::vector<std::uint8_t> f3(2048, 0);
    for (int c = 0; c < 256; ++c) {
        f3[static_cast<std::size_t>(c) * 8] = static_cast<std::uint8_t>(c);
    }
    fonts.Assign(2, f3);
    std::vector<std::uint8_t> f4(2048, 0);
    auto glyph4 = [&f4](char c, int row) -> std::uint8_t& {
        return f4[static_cast<std::size_t>(static_cast<std::uint8_t>(c)) * 8 + row];
    };
    for (int r = 0; r < 8; ++r) {
        glyph4('A', r) = kGlyphA[static_cast<std::size_t>(r)];
        glyph4('H', r) = 0x81;
        glyph4('I', r) = 0x80;
    }
    glyph4('J', 3) = 0x01;
    glyph4('K', 5) = 0x80;
    fonts.Assign(3, f4);
    fonts.Assign(4, std::vector<std::uint8_t>(2048, 0xFF));
    return fonts;
}

const FontSet& TestFonts() {
    static const FontSet fonts = MakeFonts();
    return fonts;
}

// A message buffer built from (attribute, code) cells.
struct Message {
    std::array<std::uint8_t, 1024> Data{};
    std::uint16_t Length = 0;

    Message(std::initializer_list<std::pair<int, int>> cells, std::uint8_t type = 0) {
        std::size_t i = 0;
        for (const auto& [a, c] : cells) {
            Data[i++] = static_cast<std::uint8_t>(a);
            Data[i++] = static_cast<std::uint8_t>(c);
        }
        Data[1023] = type;
        while (Length < 1024 && Data[Length] != 0) {
            ++Length;
        }
    }
};

std::string Row0Bytes(const StripBytes& strip, int from, int count) {
    std::string s;
    for (int b = from; b < from + count; ++b) {
        s += static_cast<char>(strip[static_cast<std::size_t>(b)]);
    }
    return s;
}

std::uint8_t Column(const StripBytes& strip, int c) {
    std::uint8_t bits = 0;
    for (int r = 0; r < kStripRows; ++r) {
        bits = static_cast<std::uint8_t>((bits << 1) | PixelAt(strip, static_cast<std::int16_t>(c),
                                                               static_cast<std::int16_t>(r)));
    }
    return bits;
}

class StripPreviewTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetPreview(state, TestFonts());
        ResetPreviewSettings(state);
        state.Clock = [this] { return clock_; };
    }

    // Makes one scroll step: due at once after Start, then after state.StepPeriod ticks.
    StripPreview::PassOutcome Step(StripPreview& p) {
        while (state.StepTicks.load() != 0) {
            PreviewTick(state);
        }
        return p.Pass(0, 1);
    }

    LocalDateTime clock_{2026, 3, 5, 14, 7};
    PreviewState state;
};

// ---------------------------------------------------------------------------------------------

TEST_F(StripPreviewTest, PixelAtReadsBitsAndGivesZeroOutsideTheBuffer) {
    state.StripBuffer[0] = 0x80;      // (0, 0)
    state.StripBuffer[10 + 7] = 0x01; // (63, 1)
    state.StripBuffer[79] = 0xFF;     // (72..79, 7)
    struct Case {
        int x, y, lit;
    };
    for (const Case c : {Case{0, 0, 1}, Case{1, 0, 0}, Case{63, 1, 1}, Case{79, 7, 1},
                         Case{-1, 0, 0}, Case{0, -1, 0}, Case{-8, 1, 0}, Case{-1, -1, 0},
                         Case{80, 7, 0}, Case{0, 8, 0}, Case{-32768, 0, 0}}) {
        EXPECT_EQ(PixelAt(state.StripBuffer, static_cast<std::int16_t>(c.x),
                          static_cast<std::int16_t>(c.y)),
                  c.lit)
            << c.x << "," << c.y;
    }
}

TEST_F(StripPreviewTest, PlaceGlyphClearsTheFontWidthThenOrsTheWholeRowByte) {
    StripBytes buffer;
    buffer.fill(0xFF);
    std::int16_t x = 3;
    std::int16_t y = 0;
    // Font 4 'J': only row 3 has a dot (its last column); 8 columns cleared in rows 0..7.
    PlaceGlyph(state.FontTable, buffer, 3, x, y, false, 'J');
    EXPECT_EQ(x, 11);
    for (int r = 0; r < 8; ++r) {
        for (int c = 0; c < 16; ++c) {
            const int expected = (c < 3 || c > 10) ? 1 : (r == 3 && c == 10);
            EXPECT_EQ(PixelAt(buffer, static_cast<std::int16_t>(c), static_cast<std::int16_t>(r)),
                      expected)
                << c << "," << r;
        }
    }
    // Font 1 clears 5 columns in 7 rows; row 7 is untouched.
    buffer.fill(0);
    buffer[0] = 0x04; // column 5 lit: outside the 5 cleared columns, kept
    x = 0;
    PlaceGlyph(state.FontTable, buffer, 0, x, y, false, 'x');
    EXPECT_EQ(x, 5);
    EXPECT_EQ(buffer[0], 0xFC);
    EXPECT_EQ(buffer[70], 0x00);
}

TEST_F(StripPreviewTest, PlaceGlyphWritesNothingOutsideTheBuffer) {
    struct Case {
        int x, y;
    };
    for (const Case c :
         {Case{76, 0}, Case{79, 3}, Case{80, 0}, Case{-4, 0}, Case{0, 5}, Case{-7, 7}}) {
        StripBytes buffer{};
        std::int16_t x = static_cast<std::int16_t>(c.x);
        std::int16_t y = static_cast<std::int16_t>(c.y);
        PlaceGlyph(state.FontTable, buffer, 4, x, y, false, 'Z'); // a solid 8 x 8 block
        EXPECT_EQ(x, c.x + 8);
        EXPECT_EQ(y, c.y);
        for (int row = 0; row < kStripRows; ++row) {
            for (int col = 0; col < kStripColumns; ++col) {
                const bool inside = col >= c.x && col < c.x + 8 && row >= c.y && row < c.y + 8;
                EXPECT_EQ(
                    PixelAt(buffer, static_cast<std::int16_t>(col), static_cast<std::int16_t>(row)),
                    inside ? 1 : 0)
                    << "glyph at " << c.x << "," << c.y << " dot " << col << "," << row;
            }
        }
    }
}

TEST_F(StripPreviewTest, EmptyFontEntryDrawsNothingAndDoesNotAdvance) {
    for (int index : {5, 9, 15, 21}) {
        StripBytes buffer{};
        std::int16_t x = 10;
        std::int16_t y = 0;
        PlaceGlyph(state.FontTable, buffer, index, x, y, true, 'A');
        EXPECT_EQ(x, 10);
        EXPECT_EQ(buffer, StripBytes{});
    }
}

TEST_F(StripPreviewTest, StaticKerningGivesTouchingGlyphsOneBlankColumn) {
    struct Case {
        char first, second;
        int secondColumn;
    };
    for (const Case c : {Case{'H', 'H', 9}, Case{'A', 'A', 8}, Case{'H', 'A', 8}, Case{'I', 'H', 8},
                         Case{'J', 'H', 9}, Case{'J', 'K', 8}, Case{'H', 'I', 9}}) {
        ClearStrip(state);
        Message m({{0x04, c.first}, {0x04, c.second}, {0x03, 'Q'}});
        std::int16_t x = 0;
        std::int16_t y = 0;
        EXPECT_EQ(LayoutStatic(state, state.StripBuffer, x, y, m.Data), 0);
        // The code-font 'Q' (0x51) follows the second glyph directly (its left column is blank).
        EXPECT_EQ(x, c.secondColumn + 16) << c.first << c.second;
    }
}

TEST_F(StripPreviewTest, StaticMessageWiderThanTheStripStopsAtColumn64) {
    // 'H' glyphs touch: placed at 0, 9, ..., 63; the next would start at 72.
    Message hs({{4, 'H'},
                {4, 'H'},
                {4, 'H'},
                {4, 'H'},
                {4, 'H'},
                {4, 'H'},
                {4, 'H'},
                {4, 'H'},
                {4, 'H'},
                {4, 'H'}});
    std::int16_t x = 0;
    std::int16_t y = 0;
    EXPECT_EQ(LayoutStatic(state, state.StripBuffer, x, y, hs.Data), 1);
    EXPECT_EQ(x, 71);
    for (int col = 0; col < kStripColumns; ++col) {
        const bool lit = col <= 71 && (col % 9 == 0 || col % 9 == 7);
        EXPECT_EQ(Column(state.StripBuffer, col), lit ? 0xFF : 0x00) << col;
    }
    // 'A' glyphs do not touch: the ninth starts exactly at 64 (hidden) and is placed.
    ClearStrip(state);
    Message as({{4, 'A'},
                {4, 'A'},
                {4, 'A'},
                {4, 'A'},
                {4, 'A'},
                {4, 'A'},
                {4, 'A'},
                {4, 'A'},
                {4, 'A'},
                {4, 'A'}});
    x = 0;
    EXPECT_EQ(LayoutStatic(state, state.StripBuffer, x, y, as.Data), 1);
    EXPECT_EQ(x, 72);
    for (int r = 0; r < 8; ++r) {
        EXPECT_EQ(state.StripBuffer[static_cast<std::size_t>(r * 10 + 8)],
                  kGlyphA[static_cast<std::size_t>(r)]);
        EXPECT_EQ(state.StripBuffer[static_cast<std::size_t>(r * 10 + 9)], 0);
    }
}

TEST_F(StripPreviewTest, StaticLayoutStopsAtTheEndOfABufferWithoutEndCell) {
    // 512 cells of font 6 advance nothing: reading must stop at the end of the buffer.
    std::vector<std::uint8_t> message(1024, 0x06);
    std::int16_t x = 0;
    std::int16_t y = 0;
    EXPECT_EQ(LayoutStatic(state, state.StripBuffer, x, y, message), 0);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(state.StripBuffer, StripBytes{});
}

TEST_F(StripPreviewTest, StaticTimeFieldFollowsTheClockAndDateShowsItsPlaceholder) {
    clock_ = {2026, 3, 5, 9, 40};
    Message m({{0x23, 0xFE}, {0x13, 0xFF}, {0x33, 0xFA}}, 1);
    StripPreview p(state);
    ASSERT_TRUE(p.Start(1, m.Data.data(), m.Length));
    EXPECT_TRUE(p.Static());
    auto out = p.Pass(0, 1);
    EXPECT_TRUE(out.Changed);
    EXPECT_FALSE(out.Stepped);
    // Row 0 of the code font spells the characters: the date and temperature placeholders stand
    // as they are, the time is expanded. ('0' has a blank last column, so 0xFA is not kerned.)
    EXPECT_EQ(Row0Bytes(state.StripBuffer, 0, 8), std::string("\xFE"
                                                              "09:40\xFA\0",
                                                              8));
    // Same minute: nothing changes. Next minute: the pass reports a change.
    EXPECT_FALSE(p.Pass(0, 1).Changed);
    clock_.Minute = 42;
    EXPECT_TRUE(p.Pass(0, 1).Changed);
    EXPECT_EQ(Row0Bytes(state.StripBuffer, 1, 5), "09:42");
    clock_ = {2026, 3, 5, 23, 0};
    EXPECT_TRUE(p.Pass(0, 1).Changed);
    EXPECT_EQ(Row0Bytes(state.StripBuffer, 1, 5), "23:00");
}

// Collects the characters taken by scroll steps.
struct Taken {
    std::string Placed;
    std::vector<std::pair<char, bool>> All;
    void Attach(StripPreview& p) {
        p.SetCharacterObserver([this](std::uint8_t ch, std::uint8_t, bool placed) {
            All.emplace_back(static_cast<char>(ch), placed);
            if (placed) {
                Placed += static_cast<char>(ch);
            }
        });
    }
};

TEST_F(StripPreviewTest, ScrollingFieldsExpandToTheirCharacters) {
    struct Case {
        int attribute;
        int code;
        LocalDateTime clock;
        std::string text;
    };
    for (const Case& c : {Case{0x23, 0xFE, {2026, 3, 5, 14, 7}, "05/03/2026"},
                          Case{0x23, 0xFE, {1999, 12, 31, 0, 0}, "31/12/2099"},
                          Case{0x13, 0xFF, {2026, 3, 5, 14, 7}, "14:07"},
                          Case{0x13, 0xFF, {2026, 3, 5, 0, 59}, "00:59"},
                          Case{0x33, 0xFA, {2026, 3, 5, 14, 7}, "21"}}) {
        ResetPreview(state, TestFonts());
        clock_ = c.clock;
        // The field between two plain characters; the end cell adds one more blank.
        Message m({{0x03, '<'}, {c.attribute, c.code}, {0x03, '>'}});
        StripPreview p(state);
        Taken taken;
        taken.Attach(p);
        ASSERT_TRUE(p.Start(0, m.Data.data(), m.Length));
        const int chars = static_cast<int>(c.text.size()) + 2;
        // 8 blank steps, then one character every 8 steps; 7 more bring the last to 56..63.
        for (int i = 0; i < 8 + 8 * chars; ++i) {
            Step(p);
        }
        EXPECT_EQ(taken.Placed, "<" + c.text + ">");
        // The last eight characters stand in the visible bytes of row 0.
        const std::string all = "<" + c.text + ">";
        const std::string visible =
            all.size() >= 8 ? all.substr(all.size() - 8) : std::string(8 - all.size(), '\0') + all;
        EXPECT_EQ(Row0Bytes(state.StripBuffer, 0, 8), visible);
    }
}

TEST_F(StripPreviewTest, OneCellMessageRepeatsEverySixteenSteps) {
    Message m({{0x04, 'A'}});
    StripPreview p(state);
    std::vector<int> placedAt;
    int step = 0;
    p.SetCharacterObserver([&](std::uint8_t ch, std::uint8_t, bool placed) {
        if (placed && ch == 'A') {
            placedAt.push_back(step);
        }
    });
    ASSERT_TRUE(p.Start(0, m.Data.data(), m.Length));
    for (step = 1; step <= 8; ++step) {
        Step(p);
        EXPECT_EQ(state.StripBuffer, StripBytes{}) << "step " << step;
    }
    step = 9;
    Step(p);
    // The first column of 'A' (blank) is at 63; its second column is still hidden at 64.
    EXPECT_EQ(Column(state.StripBuffer, 63), 0x00);
    std::uint8_t second = 0;
    for (int r = 0; r < 8; ++r) {
        second = static_cast<std::uint8_t>((second << 1) |
                                           ((kGlyphA[static_cast<std::size_t>(r)] >> 6) & 1));
    }
    EXPECT_EQ(Column(state.StripBuffer, 64), second);
    for (step = 10; step <= 16; ++step) {
        Step(p);
    }
    for (int r = 0; r < 8; ++r) {
        EXPECT_EQ(state.StripBuffer[static_cast<std::size_t>(r * 10 + 7)],
                  kGlyphA[static_cast<std::size_t>(r)]);
    }
    for (step = 17; step <= 60; ++step) {
        Step(p);
    }
    EXPECT_EQ(placedAt, (std::vector<int>{9, 25, 41, 57}));
    // At step 60 the copies stand at 63-51, 63-35, 63-19, 63-3 (first columns).
    for (int first : {12, 28, 44, 60}) {
        for (int r = 0; r < 8; ++r) {
            EXPECT_EQ(PixelAt(state.StripBuffer, static_cast<std::int16_t>(first + 3),
                              static_cast<std::int16_t>(r)),
                      (kGlyphA[static_cast<std::size_t>(r)] >> 4) & 1);
        }
    }
}

TEST_F(StripPreviewTest, ScrollingTouchingGlyphsGetOneBlankColumn) {
    Message m({{0x04, 'H'}, {0x04, 'H'}, {0x04, 'A'}});
    StripPreview p(state);
    Taken taken;
    taken.Attach(p);
    ASSERT_TRUE(p.Start(0, m.Data.data(), m.Length));
    for (int i = 0; i < 8 + 8 + 9 + 1; ++i) {
        Step(p);
    }
    // Step 17 blocked the second 'H' (same cell re-read at step 18); 'A' followed it directly.
    ASSERT_EQ(taken.All.size(), 4u);
    EXPECT_EQ(taken.All[1], std::make_pair('H', false));
    EXPECT_EQ(taken.All[2], std::make_pair('H', true));
    EXPECT_EQ(taken.Placed, "HHA");
    // After 26 steps the first 'H' stands at 46..53, the second at 55..62, one blank between;
    // the blank left column of 'A' is at 63.
    for (int col = 36; col < 64; ++col) {
        const bool lit = col == 46 || col == 53 || col == 55 || col == 62;
        EXPECT_EQ(Column(state.StripBuffer, col), lit ? 0xFF : 0x00) << col;
    }
}

TEST_F(StripPreviewTest, BlockedEntryRereadsTheSameCellAndRetakesTheFieldText) {
    // A solid glyph and a time field in the solid font: every entry is blocked once.
    clock_ = {2026, 3, 5, 9, 59};
    Message m({{0x05, 'Q'}, {0x15, 0xFF}});
    StripPreview p(state);
    Taken taken;
    taken.Attach(p);
    ASSERT_TRUE(p.Start(0, m.Data.data(), m.Length));
    for (int i = 0; i < 16; ++i) {
        Step(p);
    }
    ASSERT_EQ(taken.All.size(), 1u);
    EXPECT_EQ(p.ReadPosition(), 2);
    Step(p); // blocked: the time field cell is given back
    ASSERT_EQ(taken.All.size(), 2u);
    EXPECT_EQ(taken.All[1], std::make_pair('0', false));
    EXPECT_EQ(p.ReadPosition(), 2);
    EXPECT_EQ(p.Phase(), 0);
    clock_ = {2026, 3, 5, 10, 0};
    Step(p); // re-read: the new time is taken
    ASSERT_EQ(taken.All.size(), 3u);
    EXPECT_EQ(taken.All[2], std::make_pair('1', true));
    EXPECT_EQ(p.ReadPosition(), 4);
    EXPECT_EQ(p.Phase(), 1);
    for (int i = 0; i < 40; ++i) {
        Step(p);
    }
    // Later characters are also blocked once each but keep the text taken with the cell.
    EXPECT_EQ(taken.Placed.substr(0, 6), "Q10:00");
}

TEST_F(StripPreviewTest, CellWithoutFontAddsABlankAsWideAsTheLastGlyph) {
    struct Case {
        int firstAttribute;
        int blankAttribute;
        int width;
    };
    for (const Case c : {Case{0x01, 0x40, 5}, Case{0x01, 0x06, 5}, Case{0x04, 0x0F, 8},
                         Case{0x04, 0x0B, 8}, Case{0x03, 0x10, 8}}) {
        ResetPreview(state, TestFonts());
        Message m({{c.firstAttribute, 'x'}, {c.blankAttribute, 'A'}, {0x03, 'y'}});
        StripPreview p(state);
        std::vector<int> takenAt;
        int step = 0;
        p.SetCharacterObserver([&](std::uint8_t, std::uint8_t, bool placed) {
            if (placed) {
                takenAt.push_back(step);
            }
        });
        ASSERT_TRUE(p.Start(0, m.Data.data(), m.Length));
        std::vector<StripBytes> strips;
        for (step = 1; step <= 9 + 2 * c.width + 8 * 6; ++step) {
            Step(p);
            strips.push_back(state.StripBuffer);
        }
        // Every character, the blanks included, is taken `width` steps after the one before it
        // (a time field without a font gives five blanks in a row).
        const int blanks = (c.blankAttribute >> 4) == 1 ? 5 : 1;
        ASSERT_GE(takenAt.size(), static_cast<std::size_t>(blanks + 2));
        for (int i = 0; i < blanks + 2; ++i) {
            EXPECT_EQ(takenAt[static_cast<std::size_t>(i)], 9 + i * c.width)
                << c.blankAttribute << " character " << i;
        }
        // The blank adds no dots: at its step the staging column 64 is empty.
        EXPECT_EQ(PixelAt(strips[static_cast<std::size_t>(9 + c.width - 1)], 64, 0), 0);
    }
}

TEST_F(StripPreviewTest, SevenRowFontClearsTheBottomStagingRow) {
    state.StripBuffer[7 * 10 + 9] = 0xFF; // dots waiting in row 7 of the hidden columns
    Message m({{0x01, 'x'}});
    StripPreview p(state);
    ASSERT_TRUE(p.Start(0, m.Data.data(), m.Length));
    for (int i = 0; i < 8; ++i) {
        Step(p);
    }
    EXPECT_EQ(state.StripBuffer[7 * 10 + 8], 0xFF);
    Step(p); // the 5 x 7 glyph replaces rows 0..6 of byte 8 and clears row 7
    EXPECT_EQ(Column(state.StripBuffer, 63), 0xFE);
    EXPECT_EQ(state.StripBuffer[7 * 10 + 8], 0x00);
}

TEST_F(StripPreviewTest, TypesOtherThanOnePlayScrollingFromTheDotsOnTheStrip) {
    for (std::int16_t type : std::initializer_list<std::int16_t>{0, 2, -1, 255, 256}) {
        ResetPreview(state, TestFonts());
        state.StripBuffer[9] = 0x01; // column 79
        Message m({{0x04, 'A'}});
        StripPreview p(state);
        ASSERT_TRUE(p.Start(type, m.Data.data(), m.Length));
        EXPECT_FALSE(p.Static()) << type;
        const auto out = p.Pass(0, 1);
        EXPECT_TRUE(out.Stepped);
        EXPECT_EQ(state.StripBuffer[9], 0x02) << type;
    }
    state.StripBuffer[0] = 0x80;
    Message m({{0x04, 'A'}}, 1);
    StripPreview p(state);
    ASSERT_TRUE(p.Start(1, m.Data.data(), m.Length));
    EXPECT_TRUE(p.Static());
    EXPECT_EQ(state.StripBuffer, StripBytes{}); // a static preview starts on a clear strip
}

TEST_F(StripPreviewTest, EmptyMessageReturnsAtOnceAndLeavesEverythingAlone) {
    state.StripBuffer[3] = 0x5A;
    state.StepTicks = 7;
    state.HoldTicks = 9;
    const StripBytes before = state.StripBuffer;
    Message m({{0x04, 'A'}});
    for (std::int16_t type : std::initializer_list<std::int16_t>{0, 1}) {
        StripPreview p(state);
        EXPECT_FALSE(p.Start(type, m.Data.data(), 0));
        EXPECT_FALSE(p.Running());
        const auto out = p.Pass(0, 1);
        EXPECT_TRUE(out.Finished);
        EXPECT_EQ(out.Result, 0);
        EXPECT_FALSE(out.Changed);
        EXPECT_EQ(state.StripBuffer, before);
        EXPECT_EQ(state.StepTicks.load(), 7u);
        EXPECT_EQ(state.HoldTicks.load(), 9u);
    }
    EXPECT_EQ(RunPreview(
                  state, 0, m.Data.data(), 0, [](bool) -> std::uint8_t { return 0; },
                  [] { return std::uint16_t{1}; }),
              0);
    EXPECT_EQ(state.StripBuffer, before);
}

TEST_F(StripPreviewTest, EscapeAndTheRunningFlagEndThePreviewWithAClearStrip) {
    struct Case {
        std::uint8_t key;
        std::uint16_t running;
        bool finished;
        int result;
    };
    for (std::int16_t type : std::initializer_list<std::int16_t>{0, 1}) {
        for (const Case c : {Case{27, 1, true, 27}, Case{27, 0, true, 27}, Case{0, 0, true, 0},
                             Case{'a', 1, false, 0}, Case{0, 2, false, 0}}) {
            ResetPreview(state, TestFonts());
            Message m({{0x05, 'Q'}}, static_cast<std::uint8_t>(type));
            StripPreview p(state);
            ASSERT_TRUE(p.Start(type, m.Data.data(), m.Length));
            for (int i = 0; i < 12; ++i) {
                Step(p);
            }
            ASSERT_NE(state.StripBuffer, StripBytes{});
            const auto out = p.Pass(c.key, c.running);
            EXPECT_EQ(out.Finished, c.finished);
            EXPECT_EQ(p.Running(), !c.finished);
            if (c.finished) {
                EXPECT_EQ(out.Result, c.result);
                EXPECT_TRUE(out.Changed);
                EXPECT_EQ(state.StripBuffer, StripBytes{});
                // Further passes repeat the result and touch nothing.
                state.StripBuffer[0] = 1;
                const auto again = p.Pass(0, 1);
                EXPECT_TRUE(again.Finished);
                EXPECT_EQ(again.Result, c.result);
                EXPECT_EQ(state.StripBuffer[0], 1);
            }
        }
    }
}

TEST_F(StripPreviewTest, StepsComeEveryStepPeriodTicks) {
    for (std::uint8_t period : {std::uint8_t{2}, std::uint8_t{1}, std::uint8_t{5}}) {
        ResetPreview(state, TestFonts());
        state.StepPeriod = period;
        Message m({{0x04, 'A'}});
        StripPreview p(state);
        ASSERT_TRUE(p.Start(0, m.Data.data(), m.Length));
        EXPECT_TRUE(p.Pass(0, 1).Stepped); // due at once
        EXPECT_EQ(state.StepTicks.load(), period);
        // Passes without ticks never step, however many.
        for (int i = 0; i < 50; ++i) {
            EXPECT_FALSE(p.Pass(0, 1).Stepped);
        }
        int steps = 0;
        for (int tick = 1; tick <= 60; ++tick) {
            PreviewTick(state);
            const auto out = p.Pass(0, 1);
            EXPECT_EQ(out.Stepped, tick % period == 0) << "tick " << tick;
            EXPECT_EQ(out.Changed, out.Stepped);
            steps += out.Stepped ? 1 : 0;
        }
        EXPECT_EQ(steps, 60 / period);
    }
}

TEST_F(StripPreviewTest, TickCountsDownWithoutPassingZero) {
    state.StepTicks = 2;
    state.HoldTicks = 1;
    PreviewTick(state);
    EXPECT_EQ(state.StepTicks.load(), 1u);
    EXPECT_EQ(state.HoldTicks.load(), 0u);
    PreviewTick(state);
    PreviewTick(state);
    EXPECT_EQ(state.StepTicks.load(), 0u);
    EXPECT_EQ(state.HoldTicks.load(), 0u);
}

TEST_F(StripPreviewTest, TicksFromSeveralThreadsStopAtZero) {
    // More ticks than the counters hold, from four threads at once: every tick that finds a
    // counter above 0 takes exactly one off it, and none takes it below 0.
    state.StepTicks = 3000;
    state.HoldTicks = 5000;
    std::vector<std::thread> threads;
    threads.reserve(4);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([this] {
            for (int i = 0; i < 1000; ++i) {
                PreviewTick(state);
            }
        });
    }
    for (std::thread& t : threads) {
        t.join();
    }
    EXPECT_EQ(state.StepTicks.load(), 0u);
    EXPECT_EQ(state.HoldTicks.load(), 1000u);
}

TEST_F(StripPreviewTest, DisplayTimeTableAndStartOfHoldTime) {
    struct Case {
        std::uint8_t index;
        std::uint32_t ticks;
    };
    for (const Case c : {Case{0, 0}, Case{1, 83}, Case{2, 167}, Case{10, 833}, Case{11, 1667},
                         Case{14, 4167}, Case{15, 5000}, Case{16, 7500}, Case{255, 605000}}) {
        EXPECT_EQ(DisplayTimeTicks(c.index), c.ticks) << int{c.index};
    }
    Message m({{0x04, 'A'}});
    StripPreview p(state);
    EXPECT_TRUE(p.Start(0, m.Data.data(), m.Length));
    EXPECT_EQ(state.HoldTicks.load(), 167u);
    state.DisplayTimeIndex = 0;
    EXPECT_TRUE(p.Start(0, m.Data.data(), m.Length));
    EXPECT_EQ(state.HoldTicks.load(), 0u);
    EXPECT_TRUE(p.Start(1, m.Data.data(), m.Length));
    EXPECT_EQ(state.HoldTicks.load(), 83u); // a static message stands at least about a second
}

TEST_F(StripPreviewTest, StopAtEndEndsAfterTheDisplayTimeAtTheEndOfTheMessage) {
    state.StopAtEnd = 1;
    state.DisplayTimeIndex = 0;
    Message m({{0x04, 'A'}});
    StripPreview p(state);
    ASSERT_TRUE(p.Start(0, m.Data.data(), m.Length));
    int steps = 0;
    StripPreview::PassOutcome out;
    do {
        out = Step(p);
        ++steps;
    } while (!out.Finished && steps < 100);
    // Step 17 reads the end cell.
    EXPECT_EQ(steps, 17);
    EXPECT_EQ(out.Result, 0);
    EXPECT_EQ(state.StripBuffer, StripBytes{});

    // Static: ends once the hold time (83 ticks) has run out.
    StripPreview s(state);
    ASSERT_TRUE(s.Start(1, m.Data.data(), m.Length));
    for (int tick = 0; tick < 82; ++tick) {
        EXPECT_FALSE(s.Pass(0, 1).Finished);
        PreviewTick(state);
    }
    EXPECT_FALSE(s.Pass(0, 1).Finished);
    PreviewTick(state);
    EXPECT_TRUE(s.Pass(0, 1).Finished);
}

TEST_F(StripPreviewTest, MessageIsCopiedAndReadsStopAtTheBufferEnd) {
    // 512 cells without an end cell, given with length 1024: the read position runs to the end of
    // the buffer and wraps there.
    std::array<std::uint8_t, 1024> data;
    for (std::size_t i = 0; i < data.size(); i += 2) {
        data[i] = 0x03;
        data[i + 1] = static_cast<std::uint8_t>('a' + (i / 2) % 26);
    }
    StripPreview p(state);
    Taken taken;
    taken.Attach(p);
    ASSERT_TRUE(p.Start(0, data.data(), 1024));
    data.fill(0); // the preview plays its own copy
    bool wrapped = false;
    for (int i = 0; i < 8 * 515 && !wrapped; ++i) {
        Step(p);
        wrapped = p.AtEnd();
    }
    EXPECT_TRUE(wrapped);
    ASSERT_EQ(taken.Placed.size(), 513u);
    EXPECT_EQ(taken.Placed.substr(0, 3), "abc");
    EXPECT_EQ(taken.Placed[511], 'a' + 511 % 26);
    EXPECT_EQ(taken.Placed[512], '\0'); // the cell past the buffer reads as the end cell
}

TEST_F(StripPreviewTest, RunPreviewPassesUntilStopped) {
    Message m({{0x04, 'A'}});
    int pumps = 0;
    EXPECT_EQ(RunPreview(
                  state, 0, m.Data.data(), m.Length,
                  [&](bool) -> std::uint8_t {
                      PreviewTick(state);
                      return ++pumps == 30 ? kEscapeKey : 0;
                  },
                  [] { return std::uint16_t{1}; }),
              27);
    EXPECT_EQ(pumps, 31);
    EXPECT_EQ(state.StripBuffer, StripBytes{});
    int calls = 0;
    EXPECT_EQ(RunPreview(
                  state, 1, m.Data.data(), m.Length, [](bool) -> std::uint8_t { return 0; },
                  [&] { return static_cast<std::uint16_t>(++calls < 5 ? 1 : 0); }),
              0);
    EXPECT_EQ(calls, 5);
}

// ---------------------------------------------------------------------------------------------

TEST_F(StripPreviewTest, RenderPaintsDotsAndLeavesTheGapsUntouched) {
    constexpr Pixel kMarker = Rgb(1, 2, 3);
    Bitmap32 bitmap(kStripBitmapWidth, kStripBitmapHeight, kMarker);
    state.StripBuffer[0] = 0x80;          // (0, 0)
    state.StripBuffer[7 * 10 + 7] = 0x01; // (63, 7)
    state.StripBuffer[3 * 10 + 4] = 0x10; // (35, 3)
    state.StripBuffer[3 * 10 + 8] = 0xFF; // hidden columns are not drawn
    RenderStrip(state.StripBuffer, bitmap);
    for (int y = 0; y < kStripBitmapHeight; ++y) {
        for (int x = 0; x < kStripBitmapWidth; ++x) {
            const int c = x / 7;
            const int r = y / 7;
            Pixel expected = kMarker;
            if (x % 7 != 6 && y % 7 != 6) {
                const bool lit = (c == 0 && r == 0) || (c == 63 && r == 7) || (c == 35 && r == 3);
                expected = lit ? kLitDot : kUnlitDot;
            }
            ASSERT_EQ(bitmap.At(x, y), expected) << x << "," << y;
        }
    }
    EXPECT_EQ(kLitDot, 0xFF2F2FFFu);
    EXPECT_EQ(kUnlitDot, 0xFF2F2F2Fu);
    // A bitmap too small for the strip is left alone.
    Bitmap32 small(100, 56, kMarker);
    RenderStrip(state.StripBuffer, small);
    EXPECT_EQ(small.At(0, 0), kMarker);
}

TEST_F(StripPreviewTest, FieldTextsComeFromTheClock) {
    struct Case {
        LocalDateTime t;
        const char* time;
        const char* date;
    };
    for (const Case& c :
         {Case{{2026, 3, 5, 14, 7}, "1407", "050326"}, Case{{2000, 12, 31, 0, 0}, "0000", "311200"},
          Case{{1999, 1, 9, 23, 59}, "2359", "090199"}}) {
        clock_ = c.t;
        FieldText text;
        text.fill('x');
        TimeText(state, text);
        EXPECT_STREQ(text.data(), c.time);
        DateText(state, text);
        EXPECT_STREQ(text.data(), c.date);
    }
    FieldText text;
    TemperatureText(text);
    EXPECT_STREQ(text.data(), "21");
}

TEST_F(StripPreviewTest, ResetClearsStripAndCounters) {
    state.StripBuffer.fill(0xAA);
    state.StepTicks = 5;
    state.HoldTicks = 6;
    ResetPreview(state, TestFonts());
    EXPECT_EQ(state.StripBuffer, StripBytes{});
    EXPECT_EQ(state.StepTicks.load(), 0u);
    EXPECT_EQ(state.HoldTicks.load(), 0u);
    EXPECT_EQ(FontEntry(state.FontTable, 4).Width, 8);
    EXPECT_EQ(FontEntry(state.FontTable, 1).Height, 7);
    EXPECT_EQ(FontEntry(state.FontTable, 6).Glyphs, nullptr);
}

} // namespace
