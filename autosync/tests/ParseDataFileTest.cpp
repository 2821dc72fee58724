// The data file's first line turned into a message buffer: result codes, cell rules, line ends.

#include "autosync/Unitautosync.h"
#include "autosync/tests/TempDir.h"
#include "preview/Utf8Files.h"

#include <gtest/gtest.h>

#include <span>
#include <string>
#include <vector>

namespace {

struct Parsed {
    int Result = -1;
    SyncMessage Buffer{};
    int Type = -1;
};

Parsed Parse(const std::string& bytes) {
    Parsed p;
    p.Buffer.fill(0xEE); // stale content that the parse must clear
    p.Result =
        ParseDataBytes(std::span<const std::uint8_t>(
                           reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()),
                       p.Buffer, p.Type);
    return p;
}

// The character codes of the cells, up to the first attribute 0; each cell's attribute must be
// the expected font.
std::string Cells(const SyncMessage& buffer, int font) {
    std::string text;
    for (std::size_t i = 0; i + 1 < kSyncCellEnd && buffer[i] != 0; i += 2) {
        EXPECT_EQ(buffer[i], font) << "attribute of cell " << i / 2;
        text.push_back(static_cast<char>(buffer[i + 1]));
    }
    return text;
}

TEST(ParseDataBytes, ResultCodes) {
    struct Case {
        const char* Name;
        std::string Bytes;
        int Result;
    };
    const std::vector<Case> cases = {
        {"empty", "", kParseTooShort},
        {"two bytes", "1 ", kParseTooShort},
        {"two bytes and LF", "1\n", kParseTooShort},
        {"two bytes and CR LF", "1\r\n", kParseTooShort},
        {"type 2", "2 4 Tekst\n", kParseBadType},
        {"type letter", "a 4 Tekst\n", kParseBadType},
        {"hyphen for the space", "1-4 Tekst\n", kParseBadSeparator},
        {"tab for the space", "1\t4 Tekst\n", kParseBadSeparator},
        {"font 0", "1 0 Tekst\n", kParseBadFont},
        {"font 6", "1 6 Tekst\n", kParseBadFont},
        {"font letter", "0 x Tekst\n", kParseBadFont},
        {"three bytes", "1 4", kParseOk},
        {"font 1 static", "0 1 A", kParseOk},
        {"font 5 scrolling", "1 5 A", kParseOk},
    };
    for (const Case& c : cases) {
        const Parsed p = Parse(c.Bytes);
        EXPECT_EQ(p.Result, c.Result) << c.Name;
        if (c.Result != kParseOk) {
            // A failed parse leaves nothing of a stale message behind.
            EXPECT_EQ(p.Buffer, SyncMessage{}) << c.Name;
        }
    }
}

TEST(ParseDataBytes, TypeByte) {
    const Parsed scrolling = Parse("1 4 A");
    EXPECT_EQ(scrolling.Type, 0);
    EXPECT_EQ(scrolling.Buffer[kSyncTypeIndex], 0);
    const Parsed fixed = Parse("0 4 A");
    EXPECT_EQ(fixed.Type, 1);
    EXPECT_EQ(fixed.Buffer[kSyncTypeIndex], 1);
    // The type is taken as soon as byte 0 is read, even when a later byte is wrong.
    EXPECT_EQ(Parse("0-4 A").Type, 1);
}

TEST(ParseDataBytes, WorkedExample) {
    const Parsed p = Parse("1 4 Temperatura 21C\n");
    ASSERT_EQ(p.Result, kParseOk);
    EXPECT_EQ(p.Type, 0);
    EXPECT_EQ(Cells(p.Buffer, 4), "Temperatura 21C ");
    // The cell after the last one is the end mark, and nothing else is set but the type.
    EXPECT_EQ(p.Buffer[32], 0);
    EXPECT_EQ(p.Buffer[33], 0);
    for (std::size_t i = 32; i < kSyncMessageSize; ++i) {
        ASSERT_EQ(p.Buffer[i], 0) << i;
    }
}

TEST(ParseDataBytes, CellRules) {
    struct Case {
        const char* Name;
        std::string Bytes;
        std::string Cells;
    };
    const std::vector<Case> cases = {
        {"three bytes", "1 4", ""},
        {"three bytes and LF", "1 4\n", ""},
        {"three bytes and CR LF", "1 4\r\n", ""},
        {"space and LF", "1 4 \n", " "},
        {"no line end, no trailing space", "1 4 AB", "AB"},
        {"line end gives a space", "1 4 AB\n", "AB "},
        {"CR LF counts as one LF", "1 4 AB\r\n", "AB "},
        {"lone CR becomes a space", "1 4 A\rB\n", "A B "},
        {"CR at the end of the file", "1 4 A\r", "A "},
        {"letter in byte 3 skipped", "1 4xAB\n", "AB "},
        {"tab becomes a space", "1 4 A\tB", "A B"},
        {"control bytes become spaces", std::string("1 4 \x01\x1f\x7f", 7), "  \x7f"},
        {"NUL becomes a space", std::string("1 4 A\0B", 7), "A B"},
        {"only the first line", "1 4 A\n1 4 B\n", "A "},
        {"national letters kept", "1 4 \xb9\xea\x9c\xa5\xb3\xbf\x9f\xf3\xe6",
         "\xb9\xea\x9c\xa5\xb3\xbf\x9f\xf3\xe6"},
        {"high bytes kept", "1 4 \x80\xff", "\x80\xff"},
    };
    for (const Case& c : cases) {
        const Parsed p = Parse(c.Bytes);
        ASSERT_EQ(p.Result, kParseOk) << c.Name;
        EXPECT_EQ(Cells(p.Buffer, 4), c.Cells) << c.Name;
    }
}

TEST(ParseDataBytes, LongTextGivesExactly511Cells) {
    std::string text;
    for (int i = 0; i < 600; ++i) {
        text.push_back(static_cast<char>('A' + i % 26));
    }
    for (const char* type : {"0", "1"}) {
        const Parsed p = Parse(std::string(type) + " 3-" + text + "\n");
        ASSERT_EQ(p.Result, kParseOk);
        const std::string cells = Cells(p.Buffer, 3);
        EXPECT_EQ(cells.size(), kMaxSyncCells);
        EXPECT_EQ(cells, text.substr(0, kMaxSyncCells));
        EXPECT_EQ(p.Buffer[1020], 3); // last cell
        EXPECT_EQ(p.Buffer[1021], static_cast<std::uint8_t>(text[510]));
        EXPECT_EQ(p.Buffer[1022], 0); // cells never reach the byte before the type
        EXPECT_EQ(p.Buffer[kSyncTypeIndex], type[0] == '0' ? 1 : 0);
    }
}

TEST(ParseDataBytes, ClearsAPreviousMessage) {
    SyncMessage buffer{};
    int type = 0;
    const std::string longLine = "0 2 " + std::string(400, 'x');
    ASSERT_EQ(
        ParseDataBytes(std::span<const std::uint8_t>(
                           reinterpret_cast<const std::uint8_t*>(longLine.data()), longLine.size()),
                       buffer, type),
        kParseOk);
    const std::string shortLine = "1 2 y";
    ASSERT_EQ(ParseDataBytes(
                  std::span<const std::uint8_t>(
                      reinterpret_cast<const std::uint8_t*>(shortLine.data()), shortLine.size()),
                  buffer, type),
              kParseOk);
    EXPECT_EQ(Cells(buffer, 2), "y");
    EXPECT_EQ(buffer[kSyncTypeIndex], 0);
}

// Which first lines are UTF-8 to convert and which are code page 1250 already. "PODRÓŻ PÓŁ
// CENY" in code page 1250 is valid UTF-8 by chance (D3 AF, D3 A3 decode to Cyrillic letters
// that code page 1250 lacks), so it must stay as it is; the same text in UTF-8 is converted.
TEST(ParseDataBytes, Utf8LinesBecomeCodePage1250WhenItSpellsThem) {
    struct Case {
        const char* Name;
        std::string Text;  // the data line after "1 1 "
        std::string Cells; // the character codes sent
    };
    const std::string bom = "\xEF\xBB\xBF";
    const std::string ogonki = "\xC4\x85\xC4\x99\xC5\x82\xC5\x84\xC5\xBA"; // ąęłńź in UTF-8
    const std::vector<Case> cases = {
        {"code page 1250 that is valid UTF-8 stays", "PODR\xD3\xAF P\xD3\xA3 CENY",
         "PODR\xD3\xAF P\xD3\xA3 CENY"},
        {"the same text in UTF-8 is converted", "PODR\xC3\x93\xC5\xBB P\xC3\x93\xC5\x81 CENY",
         "PODR\xD3\xAF P\xD3\xA3 CENY"},
        {"Polish letters in UTF-8", ogonki, "\xB9\xEA\xB3\xF1\x9F"},
        {"the euro sign and quotes",
         "\xE2\x82\xAC \xE2\x80\x9E"
         "a\xE2\x80\x9D",
         "\x80 \x84"
         "a\x94"},
        {"code page 1250 that is no UTF-8 stays", "\xB9\xEA\xB3", "\xB9\xEA\xB3"},
        {"one letter code page 1250 lacks keeps the line's bytes", "\xC4\x85\xC3\xB1",
         "\xC4\x85\xC3\xB1"},
        {"a C1 control is no code page 1250 letter", "\xC2\x85", "\xC2\x85"},
        {"ASCII is ASCII", "plain", "plain"},
    };
    for (const Case& c : cases) {
        for (const bool withBom : {false, true}) {
            SCOPED_TRACE(std::string(c.Name) + (withBom ? ", after a byte order mark" : ""));
            const Parsed p = Parse((withBom ? bom : "") + "1 1 " + c.Text);
            ASSERT_EQ(p.Result, kParseOk);
            EXPECT_EQ(Cells(p.Buffer, 1), c.Cells);
        }
    }
    // A line cut at the length limit inside a character is judged on its whole characters.
    std::string longLine = "1 1 x";
    for (int i = 0; i < 4200; ++i) {
        longLine += "\xC4\x85";
    }
    const Parsed cut = Parse(longLine);
    ASSERT_EQ(cut.Result, kParseOk);
    std::string expected(kMaxSyncCells, '\xB9');
    expected[0] = 'x';
    EXPECT_EQ(Cells(cut.Buffer, 1), expected);
}

TEST(ExtractDataLine, LengthLimitAndLineEnds) {
    struct Case {
        const char* Name;
        std::string Raw;
        std::size_t Length;
        int LastByte; // -1: not checked
    };
    const std::string a8189(8189, 'a');
    const std::string a8190(8190, 'a');
    const std::vector<Case> cases = {
        {"no line end, long", std::string(9000, 'a'), kMaxDataLine, 'a'},
        {"LF is the last byte taken", a8189 + "\nrest", kMaxDataLine, '\n'},
        {"CR LF read as the last LF", a8189 + "\r\nrest", kMaxDataLine, '\n'},
        {"line full before its CR LF", a8190 + "\r\n", kMaxDataLine, 'a'},
        {"CR kept when the line is full", a8189 + "\rx", kMaxDataLine, '\r'},
        {"stops after the first LF", "ab\ncd\n", 3, '\n'},
        {"CR LF CR LF", "ab\r\n\r\n", 3, '\n'},
        {"CR CR LF", "ab\r\r\n", 4, '\n'},
    };
    std::array<std::uint8_t, kMaxDataLine> line{};
    for (const Case& c : cases) {
        const std::size_t n =
            ExtractDataLine(std::span<const std::uint8_t>(
                                reinterpret_cast<const std::uint8_t*>(c.Raw.data()), c.Raw.size()),
                            line);
        ASSERT_EQ(n, c.Length) << c.Name;
        EXPECT_EQ(line[n - 1], c.LastByte) << c.Name;
    }
}

TEST(ParseDataFile, ReadsTheFileFirstLine) {
    TempDir dir;
    SyncMessage buffer{};
    int type = -1;
    const std::string crlf = dir.Write("crlf.txt", "0 5 Cze\x9c\xe6\r\ndruga linia\r\n");
    ASSERT_EQ(ParseDataFile(crlf, buffer, type), kParseOk);
    EXPECT_EQ(type, 1);
    EXPECT_EQ(Cells(buffer, 5), "Cze\x9c\xe6 ");

    // A first line far longer than the read window still parses, with 511 cells.
    const std::string big = dir.Write("big.txt", "1 1 " + std::string(20000, 'z') + "\n");
    ASSERT_EQ(ParseDataFile(big, buffer, type), kParseOk);
    EXPECT_EQ(Cells(buffer, 1), std::string(kMaxSyncCells, 'z'));

    const std::string empty = dir.Write("empty.txt", "");
    EXPECT_EQ(ParseDataFile(empty, buffer, type), kParseTooShort);

    // Names are UTF-8 on every platform, also where the system's narrow calls are not.
    const std::string polish = dir.File("zażółć \xF0\x9F\x98\x80.txt");
    test_files::WriteText(Utf8ToPath(polish), "0 4 Hi\n");
    ASSERT_EQ(ParseDataFile(polish, buffer, type), kParseOk);
    EXPECT_EQ(Cells(buffer, 4), "Hi ");
}

TEST(ParseDataFile, MissingFileClearsTheBuffer) {
    TempDir dir;
    SyncMessage buffer;
    buffer.fill(0x41);
    int type = 0;
    EXPECT_EQ(ParseDataFile(dir.File("nie-ma.txt"), buffer, type), kParseCannotOpen);
    EXPECT_EQ(buffer, SyncMessage{});
}

} // namespace
