// Where LoadFonts finds the font files and how it treats files of the wrong size.

#include "preview/Fonts.h"
#include "preview/Utf8Files.h"
#include "testsupport/ScratchFiles.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::vector<std::uint8_t> Bytes(const FontSet& fonts, int index) {
    const std::uint8_t* data = fonts.Data(index);
    return {data, data + kFontSpecs[static_cast<std::size_t>(index)].FileSize};
}

std::vector<std::uint8_t> BuiltIn(int index) {
    const auto span = BuiltInFont(index);
    return {span.begin(), span.end()};
}

// Three scratch directories standing in for the current, executable and data directories.
class FontSearch : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = scratch_.Path();
        for (const char* dir : {"cur", "exe", "data"}) {
            fs::create_directories(Dir(dir));
        }
        path_ = FontSearchPath{Dir("cur"), Dir("exe"), Dir("data")};
    }

    // The stand-in directory `name`. Its Polish letters are in no Western ANSI code page, so a
    // narrow file call on Windows fails to find anything in it.
    fs::path Dir(const char* name) const { return root_ / Utf8ToPath(std::string(name) + " żółw"); }

    // A full-size file for font `index` whose every byte is `fill`.
    void PutFont(const char* dir, int index, std::uint8_t fill) {
        const FontSpec& fontSpec = kFontSpecs[static_cast<std::size_t>(index)];
        test_files::WriteAll(Dir(dir) / fontSpec.FileName,
                             std::vector<std::uint8_t>(fontSpec.FileSize, fill));
    }

    test_files::ScratchDir scratch_{"ledsign-fonts-"};
    fs::path root_;
    FontSearchPath path_;
    FontSet fonts_;
};

TEST_F(FontSearch, EarlierDirectoriesWinAndTheBuiltInCopyIsTheLastResort) {
    struct Case {
        bool cur, exe, data;
        FontOrigin origin;
        std::uint8_t fill; // 0 for the built-in copy
    };
    const Case cases[] = {
        {true, true, true, FontOrigin::CurrentDirectory, 0x11},
        {true, false, true, FontOrigin::CurrentDirectory, 0x11},
        {false, true, true, FontOrigin::ExecutableDirectory, 0x22},
        {false, true, false, FontOrigin::ExecutableDirectory, 0x22},
        {false, false, true, FontOrigin::DataDirectory, 0x33},
        {false, false, false, FontOrigin::BuiltIn, 0},
    };
    for (const Case& c : cases) {
        for (const char* dir : {"cur", "exe", "data"}) {
            fs::remove_all(Dir(dir));
            fs::create_directories(Dir(dir));
        }
        for (int i = 0; i < kFontCount; ++i) {
            if (c.cur) {
                PutFont("cur", i, 0x11);
            }
            if (c.exe) {
                PutFont("exe", i, 0x22);
            }
            if (c.data) {
                PutFont("data", i, 0x33);
            }
        }
        const auto origins = LoadFonts(fonts_, path_).Origins;
        for (int i = 0; i < kFontCount; ++i) {
            SCOPED_TRACE(testing::Message() << "font " << i << " case " << &c - cases);
            EXPECT_EQ(origins[static_cast<std::size_t>(i)], c.origin);
            const auto expected =
                c.fill ? std::vector<std::uint8_t>(kFontSpecs[static_cast<std::size_t>(i)].FileSize,
                                                   c.fill)
                       : BuiltIn(i);
            EXPECT_EQ(Bytes(fonts_, i), expected);
        }
    }
}

TEST_F(FontSearch, EachFontIsSearchedForOnItsOwn) {
    PutFont("data", 0, 0x33);
    PutFont("exe", 2, 0x22);
    PutFont("cur", 4, 0x11);
    const auto origins = LoadFonts(fonts_, path_).Origins;
    const std::array<FontOrigin, kFontCount> expected = {
        FontOrigin::DataDirectory, FontOrigin::BuiltIn, FontOrigin::ExecutableDirectory,
        FontOrigin::BuiltIn, FontOrigin::CurrentDirectory};
    EXPECT_EQ(origins, expected);
    EXPECT_EQ(Bytes(fonts_, 1), BuiltIn(1));
    EXPECT_EQ(Bytes(fonts_, 3), BuiltIn(3));
    EXPECT_EQ(Bytes(fonts_, 4), std::vector<std::uint8_t>(2048, 0x11));
}

TEST_F(FontSearch, EmptyPathsAreSkippedAndDirectoriesDoNotCountAsFiles) {
    PutFont("exe", 0, 0x22);
    fs::create_directories(Dir("cur") / kFontSpecs[0].FileName);
    auto origins = LoadFonts(fonts_, path_).Origins;
    EXPECT_EQ(origins[0], FontOrigin::ExecutableDirectory);

    origins = LoadFonts(fonts_, FontSearchPath{{}, {}, Dir("exe")}).Origins;
    EXPECT_EQ(origins[0], FontOrigin::DataDirectory);
    EXPECT_EQ(origins[1], FontOrigin::BuiltIn);
}

TEST_F(FontSearch, ShortOrUnreadableFilesAreSkippedForTheNextPlace) {
    using Reason = SkippedFontFile::Reason;
    struct Case {
        std::size_t curSize; // bytes of font 1 in "cur"; SIZE_MAX: a symbolic link to itself
        bool exe;            // a full copy in "exe"
        FontOrigin origin;
        Reason why;
    };
    constexpr std::size_t kLoop = SIZE_MAX;
    const Case cases[] = {
        {0, true, FontOrigin::ExecutableDirectory, Reason::TooShort},
        {1, true, FontOrigin::ExecutableDirectory, Reason::TooShort},
        {1791, true, FontOrigin::ExecutableDirectory, Reason::TooShort},
        {100, false, FontOrigin::BuiltIn, Reason::TooShort},
#ifndef _WIN32 // Windows (and Wine) cannot make a symbolic link to itself
        {kLoop, true, FontOrigin::ExecutableDirectory, Reason::Unreadable},
#endif
    };
    const fs::path file = Dir("cur") / kFontSpecs[0].FileName;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << &c - cases);
        fs::remove_all(Dir("exe"));
        fs::create_directories(Dir("exe"));
        fs::remove(file);
        if (c.curSize == kLoop) {
            fs::create_symlink(file, file);
        } else {
            test_files::WriteAll(file, std::vector<std::uint8_t>(c.curSize, 0xAB));
        }
        if (c.exe) {
            PutFont("exe", 0, 0x22);
        }
        const FontLoadResult result = LoadFonts(fonts_, path_);
        EXPECT_EQ(result.Origins[0], c.origin);
        EXPECT_EQ(Bytes(fonts_, 0), c.exe ? std::vector<std::uint8_t>(1792, 0x22) : BuiltIn(0));
        ASSERT_EQ(result.Skipped.size(), 1u);
        const SkippedFontFile& skipped = result.Skipped[0];
        EXPECT_EQ(skipped.File, file);
        EXPECT_EQ(skipped.Why, c.why);
        EXPECT_EQ(skipped.Needed, 1792u);
        if (c.why == Reason::TooShort) {
            EXPECT_EQ(skipped.Size, c.curSize);
            EXPECT_EQ(DescribeSkippedFont(skipped),
                      PathToUtf8(file) + ": " + std::to_string(c.curSize) + " bytes, 1792 needed");
        } else {
            EXPECT_TRUE(skipped.Error);
            EXPECT_NE(DescribeSkippedFont(skipped).find(skipped.Error.message()),
                      std::string::npos);
        }
    }
}

TEST_F(FontSearch, EveryShortCopyIsReportedBeforeTheBuiltInOneIsUsed) {
    for (const char* dir : {"cur", "exe", "data"}) {
        test_files::WriteAll(Dir(dir) / kFontSpecs[3].FileName,
                             std::vector<std::uint8_t>(2047, 0x11));
    }
    const FontLoadResult result = LoadFonts(fonts_, path_);
    EXPECT_EQ(result.Origins[3], FontOrigin::BuiltIn);
    EXPECT_EQ(Bytes(fonts_, 3), BuiltIn(3));
    ASSERT_EQ(result.Skipped.size(), 3u);
    EXPECT_EQ(result.Skipped[0].File, Dir("cur") / kFontSpecs[3].FileName);
    EXPECT_EQ(result.Skipped[2].File, Dir("data") / kFontSpecs[3].FileName);
}

TEST_F(FontSearch, ALongerFileSuppliesOnlyItsFontSize) {
    for (int i = 0; i < kFontCount; ++i) {
        const std::size_t size = kFontSpecs[static_cast<std::size_t>(i)].FileSize;
        std::vector<std::uint8_t> bytes(size + 300);
        for (std::size_t k = 0; k < bytes.size(); ++k) {
            bytes[k] = static_cast<std::uint8_t>(k * 7 + static_cast<std::size_t>(i));
        }
        test_files::WriteAll(Dir("data") / kFontSpecs[static_cast<std::size_t>(i)].FileName, bytes);
        bytes.resize(size);
        (void)LoadFonts(fonts_, path_); // what the load took is checked by the bytes it gave
        EXPECT_EQ(Bytes(fonts_, i), bytes) << kFontSpecs[static_cast<std::size_t>(i)].FileName;
    }
}

TEST_F(FontSearch, TheDefaultSearchStartsInTheCurrentDirectory) {
    PutFont("cur", 1, 0x5A);
    const fs::path before = fs::current_path();
    fs::current_path(Dir("cur"));
    const auto origins = LoadFonts(fonts_).Origins;
    fs::current_path(before);
    EXPECT_EQ(origins[1], FontOrigin::CurrentDirectory);
    EXPECT_EQ(Bytes(fonts_, 1), std::vector<std::uint8_t>(1792, 0x5A));
}

TEST(FontSearchPathDefaults, NameTheCurrentExecutableAndDataDirectories) {
    const FontSearchPath path = DefaultFontSearchPath();
    EXPECT_EQ(path.CurrentDirectory, fs::path("."));
    EXPECT_EQ(path.DataDirectory.filename(), "fonts");
    // The test program itself must be found in the executable directory.
    ASSERT_FALSE(path.ExecutableDirectory.empty());
    EXPECT_TRUE(fs::exists(path.ExecutableDirectory / LEDSIGN_TEST_PROGRAM));
    EXPECT_EQ(ExecutableDirectory(), path.ExecutableDirectory);
}

TEST(FontSetAssign, ZeroFillsBeyondTheSpanAndIgnoresBadIndexes) {
    FontSet fonts;
    const std::vector<std::uint8_t> full(4096, 0xEE);
    fonts.Assign(2, full);
    EXPECT_EQ(Bytes(fonts, 2), std::vector<std::uint8_t>(2048, 0xEE));
    const std::vector<std::uint8_t> three = {1, 2, 3};
    fonts.Assign(2, three);
    std::vector<std::uint8_t> expected(2048, 0);
    std::copy(three.begin(), three.end(), expected.begin());
    EXPECT_EQ(Bytes(fonts, 2), expected);

    fonts.Assign(-1, full);
    fonts.Assign(kFontCount, full);
    for (int i = 0; i < kFontCount; ++i) {
        if (i != 2) {
            EXPECT_EQ(Bytes(fonts, i), std::vector<std::uint8_t>(
                                           kFontSpecs[static_cast<std::size_t>(i)].FileSize, 0));
        }
    }
}

} // namespace
