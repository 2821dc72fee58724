// ledsign compose and dump, run as the real binary.

#include "testsupport/RunTool.h"
#include "testsupport/ScratchFiles.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using run_tool::RunTool;
using run_tool::ToolResult;
using test_files::Bytes;
using test_files::ReadAll;
using test_files::WriteAll;

class MessagesTool : public ::testing::Test {
protected:
    static ToolResult Ledsign(std::vector<std::string> args) {
        args.insert(args.begin(), LEDSIGN_BIN);
        return RunTool(args);
    }

    std::string Path(const std::string& name) const { return dir_ / name; }

    // Composes `text` with `options` into m.kom and returns the file's bytes.
    Bytes Compose(std::vector<std::string> options, const std::string& text) {
        options.insert(options.begin(), "compose");
        options.push_back("-o");
        options.push_back(Path("m.kom"));
        options.push_back(text);
        const ToolResult r = Ledsign(options);
        EXPECT_EQ(r.ExitCode, 0) << r.Err;
        return ReadAll(Path("m.kom"));
    }

    test_files::ScratchDir dir_{"ledtool-"};
};

// The cells of a message file up to the end mark, as (attribute, code) pairs.
std::vector<std::pair<int, int>> Cells(const Bytes& file) {
    std::vector<std::pair<int, int>> cells;
    for (std::size_t i = 0; i + 1 < 1000 && i + 1 < file.size() && file[i] != 0; i += 2) {
        cells.emplace_back(file[i], file[i + 1]);
    }
    return cells;
}

TEST_F(MessagesTool, ComposeTypesTextInFontFourByDefault) {
    const Bytes file = Compose({}, "AB");
    Bytes expected(1024, 0);
    expected[0] = 4;
    expected[1] = 0x41;
    expected[2] = 4;
    expected[3] = 0x42;
    EXPECT_EQ(file, expected);
}

TEST_F(MessagesTool, ComposeFieldsFontsTypeAndBraces) {
    const Bytes file =
        Compose({"--font", "2", "--static"}, "T{time}{font=1}{date}x{font=5}{temp}{{}}");
    ASSERT_EQ(file.size(), 1024u);
    EXPECT_EQ(file[1023], 1);
    using P = std::pair<int, int>;
    EXPECT_EQ(Cells(file), (std::vector<P>{{0x02, 'T'},
                                           {0x12, 0xFF},
                                           {0x21, 0xFE},
                                           {0x01, 'x'},
                                           {0x35, 0xFA},
                                           {0x05, '{'},
                                           {0x05, '}'}}));
}

TEST_F(MessagesTool, ComposeConvertsPolishLettersToCodePage1250) {
    const Bytes file = Compose({}, "Zażółć gęślą jaźń");
    const std::string expected = "Za\xBF\xF3\xB3\xE6 g\xEA\x9Cl\xB9 ja\x9F\xF1";
    const auto cells = Cells(file);
    ASSERT_EQ(cells.size(), expected.size());
    for (std::size_t i = 0; i < cells.size(); ++i) {
        EXPECT_EQ(cells[i].second, static_cast<std::uint8_t>(expected[i])) << i;
    }
    EXPECT_EQ(file[1023], 0);
}

TEST_F(MessagesTool, ComposeUsageErrorsExitTwoAndWriteNothing) {
    const std::vector<std::vector<std::string>> cases = {
        {"compose", "-o", Path("m.kom"), "a{foo}b"},
        {"compose", "-o", Path("m.kom"), "a{time"},
        {"compose", "-o", Path("m.kom"), "a}b"},
        {"compose", "-o", Path("m.kom"), "{font=6}a"},
        {"compose", "-o", Path("m.kom"), "{font=}a"},
        {"compose", "--font", "0", "-o", Path("m.kom"), "a"},
        {"compose", "--font", "-o", Path("m.kom"), "a"},
        {"compose", "--bogus", "-o", Path("m.kom"), "a"},
        {"compose", "-o", Path("m.kom"), "a", "b"},
        {"compose", "-o", Path("m.kom")},
        {"compose", "abc"},
    };
    for (const auto& args : cases) {
        const ToolResult r = Ledsign(args);
        EXPECT_EQ(r.ExitCode, 2) << args.back();
        EXPECT_FALSE(r.Err.empty()) << args.back();
        EXPECT_FALSE(fs::exists(Path("m.kom"))) << args.back();
    }
}

TEST_F(MessagesTool, ComposeNamesCharactersTheCodePageLacks) {
    const ToolResult r = Ledsign({"compose", "-o", Path("m.kom"), "Жaб"});
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_NE(r.Err.find("U+0416"), std::string::npos) << r.Err;
    EXPECT_NE(r.Err.find("U+0431"), std::string::npos) << r.Err;
    EXPECT_NE(r.Err.find("Ж"), std::string::npos) << r.Err;
    EXPECT_FALSE(fs::exists(Path("m.kom")));
}

TEST_F(MessagesTool, ComposeRefusesTextsThatDoNotFitAndKeepsTheOldFile) {
    WriteAll(Path("m.kom"), Bytes(1024, 7));
    const ToolResult r =
        Ledsign({"compose", "-o", Path("m.kom"), std::string(499, 'a') + "{date}b"});
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_EQ(ReadAll(Path("m.kom")), Bytes(1024, 7));

    // Exactly 500 cells fit.
    const Bytes file = Compose({}, std::string(499, 'a') + "{date}");
    EXPECT_EQ(file[998], 0x24);
    EXPECT_EQ(file[999], 0xFE);
    EXPECT_EQ(file[997], 'a');
}

TEST_F(MessagesTool, ComposeIntoAnUnwritablePlaceFails) {
    WriteAll(Path("plain"), Bytes{1});
    const ToolResult r = Ledsign({"compose", "-o", Path("plain") + "/m.kom", "a"});
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_NE(r.Err.find("cannot write"), std::string::npos) << r.Err;
}

TEST_F(MessagesTool, DumpShowsTypeAndCellsUpToTheEnd) {
    Compose({"--static"}, "a{time}ł");
    const ToolResult r = Ledsign({"dump", Path("m.kom")});
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_EQ(r.Out, "message: type 1 (static), 3 cells\n"
                     "    0  font 4  char  0x61  a\n"
                     "    1  font 4  time  0xFF  ˙\n"
                     "    2  font 4  char  0xB3  ł\n");
}

TEST_F(MessagesTool, DumpOfASetShowsEachOfTheEightMessages) {
    Bytes set(8192, 0);
    for (int s = 0; s < 8; ++s) {
        set[1024 * static_cast<std::size_t>(s)] = static_cast<std::uint8_t>(1 + s % 5);
        set[1024 * static_cast<std::size_t>(s) + 1] = static_cast<std::uint8_t>('A' + s);
    }
    set[1024 + 2] = 0x21; // message 2 has a second cell, a date field in font 1
    set[1024 + 3] = 0xFE;
    set[1024 * 7 + 1023] = 1;
    WriteAll(Path("s.bin"), set);
    const ToolResult r = Ledsign({"dump", Path("s.bin")});
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_NE(r.Out.find("message 1: type 0 (scrolling), 1 cells\n    0  font 1  char  0x41  A\n"),
              std::string::npos)
        << r.Out;
    EXPECT_NE(r.Out.find("message 2: type 0 (scrolling), 2 cells\n    0  font 2  char  0x42  B\n"
                         "    1  font 1  date  0xFE  ţ\n"),
              std::string::npos)
        << r.Out;
    EXPECT_NE(r.Out.find("message 8: type 1 (static), 1 cells\n    0  font 3  char  0x48  H\n"),
              std::string::npos)
        << r.Out;
}

TEST_F(MessagesTool, DumpTreatsAShortKzbAsASet) {
    Bytes part(1024, 0);
    part[0] = 4;
    part[1] = 'Q';
    WriteAll(Path("short.kzb"), part);
    const ToolResult r = Ledsign({"dump", Path("short.kzb")});
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_NE(r.Out.find("message 8: type 0 (scrolling), 0 cells"), std::string::npos);
    EXPECT_NE(r.Out.find("message 1: type 0 (scrolling), 1 cells"), std::string::npos);
    EXPECT_NE(r.Err.find("1024 bytes"), std::string::npos) << r.Err;
}

TEST_F(MessagesTool, DumpWarnsOnStderrAboutShortAndLongFiles) {
    struct Case {
        std::string Name;
        std::size_t Size;
        std::string Warning; // empty: none
    };
    const Case cases[] = {
        {"short.kom", 10,
         "holds 10 bytes, a message file holds 1024; the missing bytes are shown as 0"},
        {"long.kom", 3000,
         "holds 3000 bytes, a message file holds 1024; only the first 1024 are shown"},
        {"long.kzb", 9000,
         "holds 9000 bytes, a message-set file holds 8192; only the first 8192 are shown"},
        {"exact.kom", 1024, ""},
    };
    for (const Case& c : cases) {
        Bytes file(c.Size, 0);
        file[0] = 4;
        file[1] = 'W';
        WriteAll(Path(c.Name), file);
        const ToolResult r = Ledsign({"dump", Path(c.Name)});
        EXPECT_EQ(r.ExitCode, 0) << c.Name << r.Err;
        EXPECT_NE(r.Out.find("1 cells"), std::string::npos) << c.Name << r.Out;
        EXPECT_EQ(r.Out.find("warning"), std::string::npos) << c.Name << r.Out;
        if (c.Warning.empty()) {
            EXPECT_EQ(r.Err, "") << c.Name;
        } else {
            EXPECT_NE(r.Err.find(c.Warning), std::string::npos) << c.Name << r.Err;
        }
    }
}

TEST_F(MessagesTool, DumpErrorsAndHelp) {
    WriteAll(Path("empty.kom"), Bytes{});
    for (const std::string& unreadable :
         {Path("none.kom"), dir_.Path().string(), Path("empty.kom"), std::string("/dev/null")}) {
        const ToolResult r = Ledsign({"dump", unreadable});
        EXPECT_EQ(r.ExitCode, 1) << unreadable;
        EXPECT_EQ(r.Out, "") << unreadable;
        EXPECT_NE(r.Err.find("cannot read '" + unreadable + "'"), std::string::npos) << r.Err;
    }
    EXPECT_EQ(Ledsign({"dump"}).ExitCode, 2);
    EXPECT_EQ(Ledsign({"dump", "a", "b"}).ExitCode, 2);
    for (const char* command : {"dump", "compose"}) {
        const ToolResult help = Ledsign({command, "--help"});
        EXPECT_EQ(help.ExitCode, 0);
        EXPECT_NE(help.Out.find(std::string("Usage: ledsign ") + command), std::string::npos);
    }
}

} // namespace
