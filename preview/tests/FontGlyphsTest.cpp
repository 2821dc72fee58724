// The shipped font files: sizes, layout, coverage of code page 1250 and how the fonts draw.

#include "preview/Fonts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cctype>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace {

const std::filesystem::path kFontDir = std::filesystem::path(LEDSIGN_SOURCE_DIR) / "fonts";

std::vector<std::uint8_t> ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Loads the shipped files (the source tree's fonts folder stands in for the current
// directory) and points the font table at them.
class ShippedFonts : public ::testing::Test {
protected:
    void SetUp() override {
        origins_ = LoadFonts(fonts_, FontSearchPath{kFontDir, {}, {}}).Origins;
        InitFontTable(table_, fonts_);
    }
    const FontInfo& Entry(int fontNumber) const { return FontEntry(table_, fontNumber); }
    FontSet fonts_;
    FontInfoTable table_;
    std::array<FontOrigin, kFontCount> origins_{};
};

// Codes that must show something: every code page 1250 character except the controls, the
// five unassigned codes and the two spaces.
bool IsPrintable(int code) {
    static const std::set<int> kUnassigned = {0x81, 0x83, 0x88, 0x90, 0x98};
    return (code > 0x20 && code < 0x7F) ||
           (code >= 0x80 && code != 0xA0 && !kUnassigned.count(code));
}

// The letters of code page 1250 (ASCII letters and the accented letters above 0x80).
const std::vector<std::uint8_t>& Letters() {
    static const std::vector<std::uint8_t> letters = [] {
        std::vector<std::uint8_t> out;
        for (int c = 'A'; c <= 'Z'; ++c) {
            out.push_back(static_cast<std::uint8_t>(c));
            out.push_back(static_cast<std::uint8_t>(c + 0x20));
        }
        for (int c : {0x8A, 0x8C, 0x8D, 0x8E, 0x8F, 0x9A, 0x9C, 0x9D, 0x9E, 0x9F, 0xA3,
                      0xA5, 0xAA, 0xAF, 0xB3, 0xB5, 0xB9, 0xBA, 0xBC, 0xBE, 0xBF}) {
            out.push_back(static_cast<std::uint8_t>(c));
        }
        for (int c = 0xC0; c <= 0xFF; ++c) {
            if (c != 0xD7 && c != 0xF7 && c != 0xFF) { // x and division signs, dot above
                out.push_back(static_cast<std::uint8_t>(c));
            }
        }
        return out;
    }();
    return letters;
}

std::vector<std::uint8_t> Glyph(const FontInfo& font, std::uint8_t code) {
    const std::uint8_t* rows = GlyphRows(font, code);
    return {rows, rows + font.Height};
}

bool IsBlank(const FontInfo& font, std::uint8_t code) {
    const std::uint8_t* rows = GlyphRows(font, code);
    return std::all_of(rows, rows + font.Height, [](std::uint8_t r) { return r == 0; });
}

TEST_F(ShippedFonts, FilesHaveTheFontSizesAndAreFoundInTheFirstDirectory) {
    const std::array<std::pair<const char*, std::size_t>, kFontCount> expected = {{
        {"font5x7.fnt", 1792},
        {"font8x7wj.fnt", 1792},
        {"font8x8thin.fnt", 2048},
        {"font8x8b.fnt", 2048},
        {"font8x8atari.fnt", 2048},
    }};
    for (int i = 0; i < kFontCount; ++i) {
        const auto& [name, size] = expected[static_cast<std::size_t>(i)];
        EXPECT_STREQ(kFontSpecs[static_cast<std::size_t>(i)].FileName, name);
        EXPECT_EQ(std::filesystem::file_size(kFontDir / name), size) << name;
        EXPECT_EQ(origins_[static_cast<std::size_t>(i)], FontOrigin::CurrentDirectory) << name;
    }
}

TEST_F(ShippedFonts, GlyphLookupFindsTheFileBytesOfTheCode) {
    struct Case {
        int font;
        const char* file;
        std::uint8_t code;
        std::size_t first, last; // inclusive byte offsets in the file
    };
    const Case cases[] = {
        {1, "font5x7.fnt", 0x41, 455, 461},     {3, "font8x8thin.fnt", 0x41, 520, 527},
        {2, "font8x7wj.fnt", 0xFF, 1785, 1791}, {5, "font8x8atari.fnt", 0x00, 0, 7},
        {4, "font8x8b.fnt", 0xB9, 1480, 1487},
    };
    for (const Case& c : cases) {
        const std::vector<std::uint8_t> file = ReadFile(kFontDir / c.file);
        const std::vector<std::uint8_t> expected(file.begin() + static_cast<long>(c.first),
                                                 file.begin() + static_cast<long>(c.last) + 1);
        EXPECT_EQ(Glyph(Entry(c.font), c.code), expected) << c.file;
    }
}

TEST_F(ShippedFonts, GlyphsStayInsideTheirWidthLeavingTheLastColumnBlank) {
    // The sign puts glyphs side by side without spacing, so the last column is the gap; the
    // 5-dot font's three unused low bits must be 0 as well.
    for (int n = 1; n <= kFontCount; ++n) {
        const FontInfo& font = Entry(n);
        const std::uint8_t allowed = static_cast<std::uint8_t>(0xFF << (9 - font.Width));
        for (int code = 0; code < 256; ++code) {
            for (std::uint8_t row : Glyph(font, static_cast<std::uint8_t>(code))) {
                ASSERT_EQ(row & ~allowed & 0xFF, 0) << "font " << n << " code " << code;
            }
        }
    }
}

TEST_F(ShippedFonts, EveryPrintableCodeShowsSomethingAndSpacesAreBlank) {
    for (int n = 1; n <= kFontCount; ++n) {
        const FontInfo& font = Entry(n);
        for (int code = 0x20; code < 256; ++code) {
            EXPECT_EQ(IsBlank(font, static_cast<std::uint8_t>(code)), !IsPrintable(code))
                << "font " << n << " code " << code;
        }
        EXPECT_TRUE(IsBlank(font, 0x20));
        EXPECT_TRUE(IsBlank(font, 0xA0));
    }
}

TEST_F(ShippedFonts, LettersHaveDistinctGlyphsSoNoAccentIsLost) {
    for (int n = 1; n <= kFontCount; ++n) {
        const FontInfo& font = Entry(n);
        const auto& letters = Letters();
        for (std::size_t a = 0; a < letters.size(); ++a) {
            for (std::size_t b = a + 1; b < letters.size(); ++b) {
                EXPECT_NE(Glyph(font, letters[a]), Glyph(font, letters[b]))
                    << "font " << n << " codes " << int{letters[a]} << " and " << int{letters[b]};
            }
        }
    }
}

TEST_F(ShippedFonts, LettersSitOnTheBaselineAndOnlyDescendersUseTheBottomRow) {
    for (int n = 1; n <= kFontCount; ++n) {
        const FontInfo& font = Entry(n);
        const int bottom = font.Height - 1;
        for (char c : std::string("ABCDEFGHIKLMNOPRSTUVWXYZabcdefhiklmnorstuvwxz")) {
            const auto rows = Glyph(font, static_cast<std::uint8_t>(c));
            EXPECT_EQ(rows[static_cast<std::size_t>(bottom)], 0) << "font " << n << " " << c;
            EXPECT_NE(rows[static_cast<std::size_t>(bottom - 1)], 0) << "font " << n << " " << c;
        }
        for (char c : std::string("gpqy")) {
            EXPECT_NE(Glyph(font, static_cast<std::uint8_t>(c))[static_cast<std::size_t>(bottom)],
                      0)
                << "font " << n << " " << c;
        }
    }
}

TEST_F(ShippedFonts, TheFiveFontsLookDifferent) {
    // Pairs compared on the letters A-Z and a-z: nearly every letter must differ.
    for (int a = 1; a <= kFontCount; ++a) {
        for (int b = a + 1; b <= kFontCount; ++b) {
            int differing = 0;
            for (int c = 'A'; c <= 'z'; ++c) {
                if (std::isalpha(c) && Glyph(Entry(a), static_cast<std::uint8_t>(c)) !=
                                           Glyph(Entry(b), static_cast<std::uint8_t>(c))) {
                    ++differing;
                }
            }
            EXPECT_GE(differing, 48) << "fonts " << a << " and " << b;
        }
    }
}

TEST_F(ShippedFonts, LiveFieldPlaceholdersArePicturesOfTheirOwn) {
    // 0xFF, 0xFE and 0xFA would otherwise be the code page letters dot above, t cedilla and
    // u acute; the pictures must differ from those letters and from each other.
    for (int n = 1; n <= kFontCount; ++n) {
        const FontInfo& font = Entry(n);
        const auto clock = Glyph(font, 0xFF);
        const auto calendar = Glyph(font, 0xFE);
        const auto thermometer = Glyph(font, 0xFA);
        EXPECT_NE(clock, calendar);
        EXPECT_NE(clock, thermometer);
        EXPECT_NE(calendar, thermometer);
        int lit = 0;
        for (const auto* g : {&clock, &calendar, &thermometer}) {
            for (std::uint8_t row : *g) {
                lit += std::popcount(row);
            }
        }
        // A dot-above accent (0xFF) has 1-4 dots; each picture has many.
        EXPECT_GE(lit, 3 * 12) << "font " << n;
        EXPECT_NE(thermometer, Glyph(font, 0xDA)) << "font " << n; // capital U acute
    }
}

TEST_F(ShippedFonts, DrawFontStringAdvancesByTheFontWidthAndPaintsOnlySetBits) {
    const Pixel paper = Rgb(1, 2, 3);
    const Pixel ink = Rgb(200, 100, 50);
    const char* const text = "1] 5x7 ABCDE abcde 12345"; // 24 characters
    const int advances[kFontCount] = {120, 192, 192, 192, 192};
    for (int n = 1; n <= kFontCount; ++n) {
        const FontInfo& font = Entry(n);
        Bitmap32 alone(260, 10, paper);
        DrawFontString(font, alone, ink, 0, 1, text);
        Bitmap32 followed(260, 10, paper);
        DrawFontString(font, followed, ink, 0, 1, (std::string(text) + "W").c_str());

        int inked = 0;
        for (int y = 0; y < 10; ++y) {
            for (int x = 0; x < 260; ++x) {
                const Pixel p = alone.At(x, y);
                ASSERT_TRUE(p == paper || p == ink);
                inked += p == ink;
                if (x >= advances[n - 1]) {
                    ASSERT_EQ(p, paper) << "font " << n << " drew past its advance";
                }
                if (x < advances[n - 1]) {
                    ASSERT_EQ(followed.At(x, y), p);
                }
            }
        }
        // The appended W lands exactly at the advance.
        const auto w = Glyph(font, 'W');
        for (int row = 0; row < font.Height; ++row) {
            for (int col = 0; col < font.Width; ++col) {
                const bool set = (w[static_cast<std::size_t>(row)] & (0x80 >> col)) != 0;
                EXPECT_EQ(followed.At(advances[n - 1] + col, 1 + row), set ? ink : paper);
            }
        }
        int bits = 0;
        for (const char* p = text; *p != '\0'; ++p) {
            for (std::uint8_t row : Glyph(font, static_cast<std::uint8_t>(*p))) {
                bits += std::popcount(row);
            }
        }
        EXPECT_EQ(inked, bits) << "font " << n;
    }
}

TEST_F(ShippedFonts, DrawFontStringClipsAtTheSurfaceEdges) {
    Bitmap32 small(6, 4, Rgb(0, 0, 0));
    DrawFontString(Entry(4), small, Rgb(255, 255, 255), -3, -2, "HH");
    int lit = 0;
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 6; ++x) {
            lit += small.At(x, y) != Rgb(0, 0, 0);
        }
    }
    EXPECT_GT(lit, 0);
}

TEST_F(ShippedFonts, DrawGlyphDoublePaintsTwiceTheRowsAndLeavesTheRestAlone) {
    const Pixel untouched = Rgb(9, 9, 9);
    const Pixel fg = Rgb(0, 255, 0);
    const Pixel bg = Rgb(0, 0, 0);
    for (int n = 1; n <= kFontCount; ++n) {
        const FontInfo& font = Entry(n);
        const auto glyph = Glyph(font, 'A');
        Bitmap32 target(16, 16, untouched);
        DrawGlyphDouble(font, 'A', target, fg, bg);
        for (int y = 0; y < 16; ++y) {
            for (int x = 0; x < 16; ++x) {
                if (y >= 2 * font.Height) {
                    EXPECT_EQ(target.At(x, y), untouched) << "font " << n << " row " << y;
                    continue;
                }
                const bool set = (glyph[static_cast<std::size_t>(y / 2)] & (0x80 >> (x / 2))) != 0;
                EXPECT_EQ(target.At(x, y), set ? fg : bg)
                    << "font " << n << " at " << x << "," << y;
            }
        }
    }
}

TEST_F(ShippedFonts, FontNumbersWithoutAFontFindEmptyEntriesThatDrawNothing) {
    EXPECT_EQ(&Entry(0), &table_[15]);
    EXPECT_EQ(&Entry(16), &table_[15]);
    EXPECT_EQ(&Entry(17), &table_[0]);
    for (int n : {0, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}) {
        const FontInfo& font = Entry(n);
        EXPECT_EQ(font.Glyphs, nullptr) << n;
        EXPECT_EQ(font.Width, 0) << n;
        EXPECT_EQ(font.Height, 0) << n;
        EXPECT_EQ(GlyphRows(font, 'A'), nullptr);

        Bitmap32 surface(32, 16, Rgb(7, 7, 7));
        EXPECT_EQ(DrawFontString(font, surface, Rgb(255, 0, 0), 0, 0, "ABC"), 0);
        DrawGlyphDouble(font, 'A', surface, Rgb(255, 0, 0), Rgb(0, 0, 255));
        for (int y = 0; y < 16; ++y) {
            for (int x = 0; x < 32; ++x) {
                ASSERT_EQ(surface.At(x, y), Rgb(7, 7, 7)) << "font number " << n;
            }
        }
    }
    for (int n = 1; n <= kFontCount; ++n) {
        EXPECT_EQ(Entry(n).Glyphs, fonts_.Data(n - 1));
        EXPECT_EQ(Entry(n).Width, kFontSpecs[static_cast<std::size_t>(n - 1)].Width);
        EXPECT_EQ(Entry(n).Height, kFontSpecs[static_cast<std::size_t>(n - 1)].Height);
    }
}

TEST(BuiltInFonts, AreTheShippedFilesByteForByte) {
    for (int i = 0; i < kFontCount; ++i) {
        const FontSpec& fontSpec = kFontSpecs[static_cast<std::size_t>(i)];
        const std::vector<std::uint8_t> file = ReadFile(kFontDir / fontSpec.FileName);
        const auto builtIn = BuiltInFont(i);
        EXPECT_EQ(std::vector<std::uint8_t>(builtIn.begin(), builtIn.end()), file)
            << fontSpec.FileName;
    }
    EXPECT_TRUE(BuiltInFont(-1).empty());
    EXPECT_TRUE(BuiltInFont(kFontCount).empty());
}

} // namespace
