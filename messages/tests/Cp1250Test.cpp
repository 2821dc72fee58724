// Code page 1250 conversions.

#include "messages/Cp1250.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Cp1250, PolishLettersRoundTrip) {
    // The eighteen Polish letters and their bytes in code page 1250.
    const std::string utf8 = "ąćęłńóśźżĄĆĘŁŃÓŚŹŻ";
    const std::string bytes =
        "\xB9\xE6\xEA\xB3\xF1\xF3\x9C\x9F\xBF\xA5\xC6\xCA\xA3\xD1\xD3\x8C\x8F\xAF";
    const Cp1250Conversion converted = Utf8ToCp1250(utf8);
    EXPECT_TRUE(converted.Ok());
    EXPECT_EQ(converted.Bytes, bytes);
    EXPECT_EQ(Cp1250ToUtf8(bytes), utf8);
}

TEST(Cp1250, EveryDefinedByteRoundTripsAndTheFiveUndefinedHaveNone) {
    int undefined = 0;
    for (int b = 0; b < 256; ++b) {
        const char32_t cp = kCp1250ToUnicode[static_cast<std::size_t>(b)];
        if (cp == kNoCodePoint) {
            ++undefined;
            EXPECT_TRUE(b == 0x81 || b == 0x83 || b == 0x88 || b == 0x90 || b == 0x98) << b;
            EXPECT_EQ(Cp1250ToUtf8(static_cast<std::uint8_t>(b)), "\xEF\xBF\xBD");
            continue;
        }
        const auto back = UnicodeToCp1250(cp);
        ASSERT_TRUE(back.has_value()) << b;
        EXPECT_EQ(*back, b);
        const Cp1250Conversion converted = Utf8ToCp1250(Cp1250ToUtf8(static_cast<std::uint8_t>(b)));
        ASSERT_TRUE(converted.Ok()) << b;
        EXPECT_EQ(converted.Bytes, std::string(1, static_cast<char>(b))) << b;
    }
    EXPECT_EQ(undefined, 5);
    // A few fixed points of the table.
    EXPECT_EQ(kCp1250ToUnicode[0x80], U'\u20AC');
    EXPECT_EQ(kCp1250ToUnicode[0xA0], U'\u00A0');
    EXPECT_EQ(kCp1250ToUnicode[0xFF], U'\u02D9');
    EXPECT_EQ(kCp1250ToUnicode[0x41], U'A');
}

TEST(Cp1250, CharactersTheCodePageLacksAreReportedOnceEach) {
    const Cp1250Conversion converted = Utf8ToCp1250("a€ж😀bжñ");
    EXPECT_TRUE(converted.ValidUtf8);
    EXPECT_FALSE(converted.Ok());
    EXPECT_EQ(converted.Bytes, "a\x80??b??");
    EXPECT_EQ(converted.Missing, (std::vector<char32_t>{U'\u0436', U'\U0001F600', U'\u00F1'}));
    EXPECT_EQ(CodePointName(U'\u0436'), "U+0436");
    EXPECT_EQ(CodePointName(U'\U0001F600'), "U+1F600");
}

TEST(Cp1250, MalformedUtf8IsRejectedWithItsOffset) {
    const std::pair<std::string, std::size_t> cases[] = {
        {"ab\x80", 2},             // stray continuation byte
        {"a\xC4", 1},              // truncated sequence
        {"\xC0\x80", 0},           // overlong NUL
        {"x\xE0\x80\xAF", 1},      // overlong three-byte form
        {"\xED\xA0\x80", 0},       // surrogate
        {"ok\xF4\x90\x80\x80", 2}, // above U+10FFFF
        {"\xFF", 0},
        {"\xC4z", 0}, // continuation byte missing
    };
    for (const auto& [text, offset] : cases) {
        const Cp1250Conversion converted = Utf8ToCp1250(text);
        EXPECT_FALSE(converted.ValidUtf8) << offset;
        EXPECT_EQ(converted.ErrorOffset, offset);
    }
}

TEST(Cp1250, EncodeUtf8CoversEveryLength) {
    EXPECT_EQ(EncodeUtf8(U'A'), "A");
    EXPECT_EQ(EncodeUtf8(U'\u0142'), "ł");
    EXPECT_EQ(EncodeUtf8(U'\u20AC'), "€");
    EXPECT_EQ(EncodeUtf8(U'\U0001F600'), "😀");
    EXPECT_EQ(EncodeUtf8(0xD800), "");
    EXPECT_EQ(EncodeUtf8(0x110000), "");
}

} // namespace
