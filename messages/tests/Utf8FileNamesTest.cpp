// File names are UTF-8 on every platform: a message and a set whose names hold characters outside
// any single-byte code page are saved, found under exactly that name and read back. On Windows
// this fails if any narrow (ANSI) file call is left on the path.

#include "TestSupport.h"

#include "messages/MessageFiles.h"
#include "preview/Utf8Files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using namespace test_support;
namespace fs = std::filesystem;

// The UTF-8 names of everything in `dir`, sorted.
std::vector<std::string> Utf8Listing(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) {
        names.push_back(PathToUtf8(entry.path().filename()));
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST(Utf8FileNames, MessageAndSetFilesKeepTheirNames) {
    // Polish (in code page 1250, not in 1252), Cyrillic, CJK and a character beyond the BMP.
    const std::vector<std::string> stems = {"zażółć gęślą jaźń", "сообщение", "看板",
                                            "\xF0\x9F\x98\x80", "plain"};
    for (const std::string& stem : stems) {
        SCOPED_TRACE(stem);
        TempDir dir;
        const std::string base = PathToUtf8(dir.Path()) + "/";
        const std::string messageName = base + stem + ".kom";
        const std::string setName = base + stem + ".kzb";

        CLEDMessageCon original;
        FillPattern(original, 5);
        ASSERT_EQ(original.SaveToFile(messageName.c_str()), 0);
        // Saved twice: the second save replaces an existing file of that name.
        ASSERT_EQ(original.SaveToFile(messageName.c_str()), 0);
        std::array<CLEDMessageCon, kMessageSetCount> set;
        FillPattern(set[7], 9);
        ASSERT_EQ(SaveMessageSet(setName.c_str(), set), 0);

        EXPECT_EQ(Utf8Listing(dir.Path()),
                  (std::vector<std::string>{stem + ".kom", stem + ".kzb"}));
        EXPECT_EQ(ReadAll(Utf8ToPath(messageName)), DataOf(original));

        CLEDMessageCon loaded;
        ASSERT_EQ(loaded.LoadFromFile(messageName.c_str()), 0);
        EXPECT_EQ(DataOf(loaded), DataOf(original));
        std::array<CLEDMessageCon, kMessageSetCount> loadedSet;
        ASSERT_EQ(LoadMessageSet(setName.c_str(), loadedSet), 0);
        EXPECT_EQ(DataOf(loadedSet[7]), DataOf(set[7]));
    }
}

} // namespace
