// The atomic save on Windows: a save whose rename over the target fails keeps the old file and
// leaves no temporary file behind.

#include "TestSupport.h"

#include "messages/MessageFiles.h"
#include "preview/Utf8Files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <string>
#include <vector>

#include <windows.h>

namespace {

using namespace test_support;
namespace fs = std::filesystem;

TEST(AtomicSaveWin32, TargetHeldByAnotherProgramKeepsItsOldBytes) {
    TempDir dir;
    const fs::path messagePath = dir.Path() / L"żółw.kom";
    const fs::path setPath = dir.Path() / L"żółw.kzb";
    const Bytes oldMessage(kMessageSize, 0x11);
    const Bytes oldSet(kMessageSetSize, 0x22);
    WriteAll(messagePath, oldMessage);
    WriteAll(setPath, oldSet);

    CLEDMessageCon message;
    FillPattern(message, 0x99);
    std::array<CLEDMessageCon, kMessageSetCount> set;
    // Opened without sharing, as an editor that locks its file does: the rename over it fails
    // after the new bytes were written to the temporary file.
    const auto hold = [](const fs::path& path) {
        return CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    };
    HANDLE heldMessage = hold(messagePath);
    HANDLE heldSet = hold(setPath);
    ASSERT_NE(heldMessage, INVALID_HANDLE_VALUE);
    ASSERT_NE(heldSet, INVALID_HANDLE_VALUE);
    EXPECT_EQ(message.SaveToFile(PathToUtf8(messagePath).c_str()), 1);
    EXPECT_EQ(SaveMessageSet(PathToUtf8(setPath).c_str(), set), 1);
    CloseHandle(heldMessage);
    CloseHandle(heldSet);

    EXPECT_EQ(ReadAll(messagePath), oldMessage);
    EXPECT_EQ(ReadAll(setPath), oldSet);
    std::vector<fs::path> names;
    for (const auto& entry : fs::directory_iterator(dir.Path())) {
        names.push_back(entry.path().filename());
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<fs::path>{L"żółw.kom", L"żółw.kzb"}));

    // Once the file is free the same save goes through.
    EXPECT_EQ(message.SaveToFile(PathToUtf8(messagePath).c_str()), 0);
    EXPECT_EQ(ReadAll(messagePath), DataOf(message));
}

} // namespace
