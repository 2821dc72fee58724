// Tests of `ledsign preview`, run as a separate program in a scratch directory that holds
// synthetic font files (found first, in the current directory), so the expected dots are known:
//   font 3: glyph c has c in its top row only, so row 0 of the strip spells the characters;
//   font 4: 'A' a known pattern with a blank first column, 'H' = 0x81 in every row.

#include "testsupport/ScratchFiles.h"
#include "testsupport/Subprocess.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr std::array<std::uint8_t, 8> kGlyphA = {0x18, 0x24, 0x42, 0x42, 0x7E, 0x42, 0x42, 0x00};

struct ToolRun {
    int Status = -1;
    std::string Out;
};

class PreviewCommandTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = scratch_.Path();
        std::vector<std::uint8_t> f3(2048, 0), f4(2048, 0);
        for (int c = 0; c < 256; ++c) {
            f3[static_cast<std::size_t>(c) * 8] = static_cast<std::uint8_t>(c);
        }
        for (std::size_t r = 0; r < 8; ++r) {
            f4[std::size_t{'A'} * 8 + r] = kGlyphA[r];
            f4[std::size_t{'H'} * 8 + r] = 0x81;
        }
        Write("font5x7.fnt", std::vector<std::uint8_t>(1792, 0));
        Write("font8x7wj.fnt", std::vector<std::uint8_t>(1792, 0));
        Write("font8x8thin.fnt", f3);
        Write("font8x8b.fnt", f4);
        Write("font8x8atari.fnt", std::vector<std::uint8_t>(2048, 0));
    }

    void Write(const std::string& name, const std::vector<std::uint8_t>& bytes) {
        test_files::WriteAll(dir_ / name, bytes);
    }

    // A message file from (attribute, code) cells and the type byte.
    void WriteMessage(const std::string& name, std::initializer_list<std::pair<int, int>> cells,
                      int type) {
        std::vector<std::uint8_t> data(1024, 0);
        std::size_t i = 0;
        for (const auto& [a, c] : cells) {
            data[i++] = static_cast<std::uint8_t>(a);
            data[i++] = static_cast<std::uint8_t>(c);
        }
        data[1023] = static_cast<std::uint8_t>(type);
        Write(name, data);
    }

    // Runs `ledsign preview <args>`; Out is its standard output, or its error output instead
    // with `errors`.
    ToolRun Ledsign(const std::string& args, bool errors = false) {
        const std::string command = "cd '" + dir_.string() + "' && '" LEDSIGN_BIN "' preview " +
                                    args + (errors ? " 2>&1 >/dev/null" : " 2>/dev/null");
        ToolRun run;
        std::FILE* pipe = ::popen(command.c_str(), "r");
        if (pipe == nullptr) {
            return run;
        }
        std::array<char, 4096> buffer;
        std::size_t got = 0;
        while ((got = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) {
            run.Out.append(buffer.data(), got);
        }
        const int status = ::pclose(pipe);
        run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return run;
    }

    // Runs `ledsign preview <args>` in the scratch directory, output discarded, and returns the
    // process's peak resident memory in KiB (the kernel's high-water mark, VmHWM, as wait4
    // reports it), or -1 when it did not run or failed.
    long PeakResidentKiB(std::vector<std::string> args) {
        args.insert(args.begin(), {LEDSIGN_BIN, "preview"});
        std::vector<char*> argv;
        argv.reserve(args.size() + 1);
        for (std::string& a : args) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        const pid_t pid = ::fork();
        if (pid == 0) {
            const int null = ::open("/dev/null", O_WRONLY);
            if (::chdir(dir_.c_str()) != 0 || null < 0) {
                ::_exit(127);
            }
            ::dup2(null, STDOUT_FILENO);
            ::dup2(null, STDERR_FILENO);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        int status = 0;
        rusage usage{};
        if (pid < 0 || ::wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) ||
            WEXITSTATUS(status) != 0) {
            return -1;
        }
        return usage.ru_maxrss;
    }

    std::vector<std::uint8_t> ReadBytes(const std::string& name) {
        return test_files::ReadAll(dir_ / name);
    }

    test_files::ScratchDir scratch_{"ledsign_preview_"};
    fs::path dir_;
};

// The expected text of a strip whose lit dots are given per row as column sets.
std::string StripText(const std::array<std::vector<int>, 8>& lit) {
    std::string text;
    for (const auto& row : lit) {
        std::string line(64, '.');
        for (int c : row) {
            line[static_cast<std::size_t>(c)] = '#';
        }
        text += line + "\n";
    }
    return text;
}

// Glyph 'A' with its first column at `first`.
std::array<std::vector<int>, 8> GlyphAAt(std::initializer_list<int> firsts) {
    std::array<std::vector<int>, 8> lit;
    for (int first : firsts) {
        for (std::size_t r = 0; r < 8; ++r) {
            for (int j = 0; j < 8; ++j) {
                if ((kGlyphA[r] & (0x80 >> j)) && first + j < 64) {
                    lit[r].push_back(first + j);
                }
            }
        }
    }
    return lit;
}

// Row 0 of the printed strip read back as 8 bytes (the code font's characters).
std::string Row0Characters(const std::string& out) {
    std::string chars;
    for (int b = 0; b < 8; ++b) {
        unsigned v = 0;
        for (int j = 0; j < 8; ++j) {
            v = (v << 1) |
                (out[static_cast<std::size_t>(b) * 8 + static_cast<std::size_t>(j)] == '#' ? 1u
                                                                                           : 0u);
        }
        chars += static_cast<char>(v);
    }
    return chars;
}

TEST_F(PreviewCommandTest, ScrollingMessagePrintsTheStripAfterTheSteps) {
    WriteMessage("a.kom", {{0x04, 'A'}}, 0);
    struct Case {
        const char* steps;
        std::initializer_list<int> firsts;
    };
    // Eight blank steps, 'A' enters at step 9 and comes again 16 steps later.
    for (const Case& c : {Case{"8", {}}, Case{"9", {63}}, Case{"16", {56}}, Case{"30", {42, 58}},
                          Case{"41", {31, 47, 63}}, Case{"", {48}}}) {
        const ToolRun run = Ledsign(std::string("a.kom") + (*c.steps ? " --steps " : "") + c.steps);
        EXPECT_EQ(run.Status, 0);
        EXPECT_EQ(run.Out, StripText(GlyphAAt(c.firsts))) << "steps " << c.steps;
    }
}

TEST_F(PreviewCommandTest, StaticMessageKernsTouchingGlyphs) {
    WriteMessage("h.kom", {{0x04, 'H'}, {0x04, 'H'}, {0x04, 'A'}}, 1);
    const ToolRun run = Ledsign("h.kom --steps 5");
    EXPECT_EQ(run.Status, 0);
    std::array<std::vector<int>, 8> lit = GlyphAAt({17});
    for (auto& row : lit) {
        row.insert(row.end(), {0, 7, 9, 16});
    }
    EXPECT_EQ(run.Out, StripText(lit));
}

TEST_F(PreviewCommandTest, LiveFieldsTakeTheGivenTime) {
    WriteMessage("d.kom", {{0x23, 0xFE}}, 0);
    WriteMessage("t.kom", {{0x13, 0xFF}, {0x03, '|'}, {0x03, '|'}, {0x03, '|'}}, 0);
    WriteMessage("s.kom", {{0x13, 0xFF}, {0x23, 0xFE}, {0x33, 0xFA}}, 1);
    struct Case {
        const char* args;
        std::string row0;
    };
    for (const Case& c : {
             // 8 blank steps and 10 characters: the last 8 stand in view.
             Case{"d.kom --steps 88 --at \"2026-03-05 14:07\"", "/03/2026"},
             Case{"d.kom --steps 88 --at \"1999-12-31 23:59\"", "/12/2099"},
             Case{"t.kom --steps 72 --at \"2026-03-05 09:41\"", "09:41|||"},
             Case{"s.kom --at \"2026-03-05 23:04\"", std::string("23:04\xFE\xFA", 7)},
         }) {
        const ToolRun run = Ledsign(c.args);
        EXPECT_EQ(run.Status, 0) << c.args;
        ASSERT_EQ(run.Out.size(), 8u * 65u) << c.args;
        std::string expected = c.row0;
        expected.resize(8, '\0');
        EXPECT_EQ(Row0Characters(run.Out), expected) << c.args;
    }
}

TEST_F(PreviewCommandTest, EmptyOrShortFilesAndUsageErrors) {
    Write("empty.kom", {});
    Write("short.kom", {0x04, 'A'}); // a short file: the rest reads as 0
    EXPECT_EQ(Ledsign("short.kom --steps 16").Out, StripText(GlyphAAt({56})));
    struct Case {
        const char* args;
        int status;
    };
    for (const Case& c :
         {Case{"missing.kom", 1}, Case{"empty.kom", 1}, Case{"", 2}, Case{"short.kom --bogus", 2},
          Case{"short.kom --steps", 2}, Case{"short.kom --steps -1", 2},
          Case{"short.kom --steps 3x", 2}, Case{"short.kom empty.kom", 2},
          Case{"short.kom --at \"2026-02-29 10:00\"", 2},
          Case{"short.kom --at \"2026-03-05 24:00\"", 2}, Case{"short.kom --at 2026-03-05", 2},
          Case{"short.kom --at \"2024-02-29 10:00\"", 0}}) {
        const ToolRun run = Ledsign(c.args);
        EXPECT_EQ(run.Status, c.status) << c.args;
        if (c.status != 0) {
            EXPECT_EQ(run.Out, "") << c.args;
        }
    }
}

TEST_F(PreviewCommandTest, FilesAreReadWithTheRulesAndWordsOfTheOtherCommands) {
    WriteMessage("a.kom", {{0x04, 'A'}}, 1);
    std::vector<std::uint8_t> big = ReadBytes("a.kom");
    big.resize(3000, 0x7F); // bytes beyond a message, which must not play
    Write("big.kom", big);
    Write("short.kom", {0x04, 'A', 0x00});
    Write("empty.kom", {});
    fs::create_directory(dir_ / "folder.kom");
    ASSERT_EQ(::mkfifo((dir_ / "fifo.kom").c_str(), 0600), 0);
    const std::string kNotRegular = "it is not a regular file";
    // Played, the first 1024 bytes show as the message they hold: static 'A' at the left,
    // or a scrolling 'A' where one full cycle leaves it. A refused file plays nothing.
    const std::string staticA = StripText(GlyphAAt({0}));
    const std::string scrolledA = StripText(GlyphAAt({48}));
    struct Case {
        std::string File;
        int Status;
        std::string Err; // after "ledsign preview: "
        std::string Out = {};
    };
    const Case cases[] = {
        {"missing.kom", 1, "cannot read 'missing.kom': No such file or directory"},
        {"folder.kom", 1, "cannot read 'folder.kom': " + kNotRegular},
        {"fifo.kom", 1, "cannot read 'fifo.kom': " + kNotRegular}, // not waited on
        {"/dev/zero", 1, "cannot read '/dev/zero': " + kNotRegular},
        {"empty.kom", 1, "cannot read 'empty.kom': it is empty"},
        {"big.kom", 0,
         "warning: 'big.kom' holds 3000 bytes, a message file holds 1024; only the first 1024 "
         "are played",
         staticA},
        {"short.kom", 0,
         "warning: 'short.kom' holds 3 bytes, a message file holds 1024; the missing bytes are "
         "played as 0",
         scrolledA},
    };
    for (const Case& c : cases) {
        // A reader that opened the FIFO would wait for a writer for ever: the limit ends it.
        const tool_tests::RunResult run = tool_tests::RunToCompletion(
            {"/bin/sh", "-c",
             "cd '" + dir_.string() + "' && exec '" LEDSIGN_BIN "' preview '" + c.File + "'"},
            std::chrono::seconds(5));
        EXPECT_EQ(run.ExitCode, c.Status) << c.File;
        EXPECT_EQ(run.Err, "ledsign preview: " + c.Err + "\n");
        EXPECT_EQ(run.Out, c.Out) << c.File;
    }
}

std::uint32_t BigEndian32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return (std::uint32_t{b[at]} << 24) | (std::uint32_t{b[at + 1]} << 16) |
           (std::uint32_t{b[at + 2]} << 8) | b[at + 3];
}

TEST_F(PreviewCommandTest, PngIsTheStripPicture) {
    WriteMessage("a.kom", {{0x04, 'A'}}, 0);
    const ToolRun run = Ledsign("a.kom --steps 16 --png out.png");
    ASSERT_EQ(run.Status, 0);
    EXPECT_EQ(run.Out, StripText(GlyphAAt({56})));
    const std::vector<std::uint8_t> png = ReadBytes("out.png");
    ASSERT_GT(png.size(), 33u);
    const std::vector<std::uint8_t> signature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    EXPECT_TRUE(std::equal(signature.begin(), signature.end(), png.begin()));
    EXPECT_EQ(std::string(png.begin() + 12, png.begin() + 16), "IHDR");
    EXPECT_EQ(BigEndian32(png, 16), 448u);
    EXPECT_EQ(BigEndian32(png, 20), 56u);
    EXPECT_EQ(std::string(png.end() - 8, png.end() - 4), "IEND");
}

// Walks a GIF's blocks: frame count and the delays of the graphic control extensions.
struct GifInfo {
    bool Valid = false;
    int Width = 0, Height = 0, Frames = 0;
    std::vector<int> Delays;
};

GifInfo ParseGif(const std::vector<std::uint8_t>& b) {
    GifInfo info;
    if (b.size() < 13 || std::string(b.begin(), b.begin() + 6) != "GIF89a") {
        return info;
    }
    info.Width = b[6] | (b[7] << 8);
    info.Height = b[8] | (b[9] << 8);
    std::size_t at = 13;
    if (b[10] & 0x80) {
        at += 3u << ((b[10] & 7) + 1);
    }
    auto skipSubBlocks = [&b, &at] {
        while (at < b.size() && b[at] != 0) {
            at += b[at] + 1u;
        }
        ++at;
    };
    while (at < b.size()) {
        const std::uint8_t kind = b[at];
        if (kind == 0x3B) {
            info.Valid = at + 1 == b.size();
            return info;
        }
        if (kind == 0x21 && at + 1 < b.size()) {
            if (b[at + 1] == 0xF9 && at + 5 < b.size()) {
                info.Delays.push_back(b[at + 4] | (b[at + 5] << 8));
            }
            at += 2;
            skipSubBlocks();
        } else if (kind == 0x2C && at + 10 < b.size()) {
            ++info.Frames;
            const std::uint8_t flags = b[at + 9];
            at += 10;
            if (flags & 0x80) {
                at += 3u << ((flags & 7) + 1);
            }
            ++at; // LZW minimum code size
            skipSubBlocks();
        } else {
            return info;
        }
    }
    return info;
}

TEST_F(PreviewCommandTest, GifHoldsOneFullCycleAtTheStepRate) {
    WriteMessage("a.kom", {{0x04, 'A'}}, 0);
    WriteMessage("hh.kom", {{0x04, 'H'}, {0x04, 'H'}}, 0);
    WriteMessage("s.kom", {{0x04, 'A'}}, 1);
    struct Case {
        const char* file;
        int frames;
    };
    // 'A': 8 blank steps, 8 of 'A', 8 of the end cell's blank. "HH": the second 'H' waits one
    // step for its blank column. A static message is a single picture.
    for (const Case& c : {Case{"a.kom", 24}, Case{"hh.kom", 33}, Case{"s.kom", 1}}) {
        const ToolRun run = Ledsign(std::string(c.file) + " --gif out.gif --steps 3");
        ASSERT_EQ(run.Status, 0) << c.file;
        const GifInfo gif = ParseGif(ReadBytes("out.gif"));
        EXPECT_TRUE(gif.Valid) << c.file;
        EXPECT_EQ(gif.Width, 448);
        EXPECT_EQ(gif.Height, 56);
        EXPECT_EQ(gif.Frames, c.frames) << c.file;
        ASSERT_EQ(gif.Delays.size(), static_cast<std::size_t>(c.frames));
        int total = 0;
        for (int d : gif.Delays) {
            EXPECT_TRUE(d == 2 || d == 3) << d;
            total += d;
        }
        // 24 ms a step, rounded once over the whole animation.
        EXPECT_EQ(total, (c.frames * 24 + 5) / 10) << c.file;
    }
}

TEST_F(PreviewCommandTest, GifMemoryDoesNotGrowWithItsLength) {
    // 500 date fields in the 5-dot font: ten characters each, over 20,000 steps in one cycle.
    std::vector<std::uint8_t> dates(1024, 0);
    for (std::size_t i = 0; i < 500; ++i) {
        dates[2 * i] = 0x21;
        dates[2 * i + 1] = 0xFE;
    }
    Write("dates.kom", dates);
    WriteMessage("a.kom", {{0x04, 'A'}}, 0);
    const long shortPeak = PeakResidentKiB({"a.kom", "--gif", "short.gif"});
    const long longPeak = PeakResidentKiB({"dates.kom", "--gif", "long.gif"});
    ASSERT_GT(shortPeak, 0);
    ASSERT_GT(longPeak, 0);
    EXPECT_GT(ParseGif(ReadBytes("long.gif")).Frames, 20000);
    // Holding the frames would take about 100 KB each, over 2 GB here.
    EXPECT_LT(longPeak, shortPeak + 16L * 1024) << "short " << shortPeak << " KiB";
    std::printf("peak resident memory: short GIF %ld KiB, long GIF %ld KiB\n", shortPeak, longPeak);
}

TEST_F(PreviewCommandTest, ATruncatedFontFileIsSkippedAndNamedOnce) {
    // Glyph 'A' of font 4 would lie beyond the end of this file and so draw nothing.
    Write("font8x8b.fnt", std::vector<std::uint8_t>(100, 0xFF));
    WriteMessage("s.kom", {{0x04, 'A'}}, 1);
    const ToolRun run = Ledsign("s.kom", true);
    EXPECT_EQ(run.Out, "ledsign preview: font file skipped: ./font8x8b.fnt: 100 bytes, 2048 "
                       "needed\n");
    const ToolRun strip = Ledsign("s.kom");
    ASSERT_EQ(strip.Status, 0);
    EXPECT_NE(strip.Out.find('#'), std::string::npos) << strip.Out;
}

} // namespace
