// Message files and message-set files: exact round trips, short and long files, and saves
// that never destroy the old file.

#include "TestSupport.h"

#include "messages/AtomicFile.h"
#include "messages/MessageFiles.h"

#include <gtest/gtest.h>

#include <array>
#include <csignal>
#include <filesystem>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using test_support::BoundMessage;
using test_support::Bytes;
using test_support::DataOf;
using test_support::FillPattern;
using test_support::ReadAll;
using test_support::TempDir;
using test_support::WriteAll;

namespace {

namespace fs = std::filesystem;

Bytes Pattern(std::size_t size, std::uint8_t seed) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<std::uint8_t>(seed + i * 13 + (i >> 7));
    }
    return bytes;
}

Bytes SetBytes(const std::array<CLEDMessageCon, kMessageSetCount>& set) {
    Bytes all;
    for (const CLEDMessageCon& m : set) {
        const Bytes one = DataOf(m);
        all.insert(all.end(), one.begin(), one.end());
    }
    return all;
}

// Runs `save` in a child process whose file size limit is `limit` bytes, so that writing the
// temporary file fails part-way with a real write error. Returns the save's result.
template <typename Save> int SaveWithFileSizeLimit(rlim_t limit, Save save) {
    const pid_t child = fork();
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN); // report EFBIG instead of killing the process
        rlimit lim{limit, limit};
        setrlimit(RLIMIT_FSIZE, &lim);
        _exit(save());
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status));
    return WEXITSTATUS(status);
}

TEST(MessageFiles, SaveAndLoadKeepAll1024BytesIncludingTypeAndJunkAfterTheEnd) {
    TempDir dir;
    CLEDMessageCon original;
    FillPattern(original, 3);
    original.GetData()[10] = 0; // an end mark in the middle with bytes after it
    original.GetData()[1023] = 1;
    ASSERT_EQ(original.SaveToFile((dir / "m.kom").c_str()), 0);
    EXPECT_EQ(ReadAll(dir / "m.kom"), DataOf(original));

    CLEDMessageCon loaded;
    ASSERT_EQ(loaded.LoadFromFile((dir / "m.kom").c_str()), 0);
    EXPECT_EQ(DataOf(loaded), DataOf(original));
    EXPECT_EQ(loaded.GetType(), 1);
    EXPECT_EQ(dir.List(), (std::vector<std::string>{"m.kom"}));
}

TEST(MessageFiles, ShortFileOverwritesOnlyItsBytesAndLongFileOnlyTheFirst1024) {
    TempDir dir;
    CLEDMessageCon m;
    FillPattern(m, 9);
    m.SetType(1);
    Bytes expected = DataOf(m);

    const Bytes shortFile = Pattern(10, 0x40);
    WriteAll(dir / "short.kom", shortFile);
    ASSERT_EQ(m.LoadFromFile((dir / "short.kom").c_str()), 0);
    std::copy(shortFile.begin(), shortFile.end(), expected.begin());
    EXPECT_EQ(DataOf(m), expected);
    EXPECT_EQ(m.GetType(), 1);

    const Bytes longFile = Pattern(3000, 0x77);
    WriteAll(dir / "long.kom", longFile);
    ASSERT_EQ(m.LoadFromFile((dir / "long.kom").c_str()), 0);
    EXPECT_EQ(DataOf(m), Bytes(longFile.begin(), longFile.begin() + kMessageSize));
}

TEST(MessageFiles, MissingFileChangesNothing) {
    TempDir dir;
    BoundMessage m;
    FillPattern(m.Message, 1);
    const Bytes before = DataOf(m.Message);
    EXPECT_EQ(m.Message.LoadFromFile((dir / "none.kom").c_str()), 1);
    EXPECT_EQ(m.Message.LoadFromFile(nullptr), 1);
    EXPECT_EQ(DataOf(m.Message), before);
    EXPECT_EQ(m.Grid.InvalidateCount(), 0);
    EXPECT_EQ(m.Message.ReadFromStream(nullptr), 1);
    EXPECT_EQ(m.Message.WriteToStream(nullptr), 1);
}

TEST(MessageFiles, LoadingRedrawsButKeepsCursorAndFont) {
    TempDir dir;
    CLEDMessageCon source;
    FillPattern(source, 5);
    ASSERT_EQ(source.SaveToFile((dir / "m.kom").c_str()), 0);

    BoundMessage m;
    m.Type("abcdef");
    m.Grid.Click(2, 0);
    m.Message.SetFont(3);
    m.Grid.ClearLog();
    ASSERT_EQ(m.Message.LoadFromFile((dir / "m.kom").c_str()), 0);
    EXPECT_EQ(m.Cursor(), 2);
    EXPECT_EQ(m.Message.GetFont(), 3);
    EXPECT_EQ(m.Grid.Log(), (std::vector<std::string>{"invalidate"}));
    EXPECT_EQ(DataOf(m.Message), DataOf(source));
}

TEST(MessageFiles, SetFileHoldsTheEightMessagesInOrder) {
    TempDir dir;
    std::array<CLEDMessageCon, kMessageSetCount> set;
    for (int s = 0; s < kMessageSetCount; ++s) {
        FillPattern(set[static_cast<std::size_t>(s)], static_cast<std::uint8_t>(31 * s + 1));
    }
    ASSERT_EQ(SaveMessageSet((dir / "s.kzb").c_str(), set), 0);
    const Bytes file = ReadAll(dir / "s.kzb");
    ASSERT_EQ(file.size(), 8192u);
    EXPECT_EQ(Bytes(file.begin() + 1024, file.begin() + 2048), DataOf(set[1]));
    EXPECT_EQ(file, SetBytes(set));

    std::array<CLEDMessageCon, kMessageSetCount> loaded;
    ASSERT_EQ(LoadMessageSet((dir / "s.kzb").c_str(), loaded), 0);
    EXPECT_EQ(SetBytes(loaded), file);
    EXPECT_EQ(dir.List(), (std::vector<std::string>{"s.kzb"}));
}

TEST(MessageFiles, ShortSetFileFillsTheMessagesAsFarAsItReaches) {
    for (const std::size_t size :
         {std::size_t{1024}, std::size_t{2048 + 100}, std::size_t{0}, std::size_t{9000}}) {
        TempDir dir;
        std::array<CLEDMessageCon, kMessageSetCount> set;
        for (int s = 0; s < kMessageSetCount; ++s) {
            FillPattern(set[static_cast<std::size_t>(s)], static_cast<std::uint8_t>(17 * s));
        }
        Bytes expected = SetBytes(set);
        const Bytes file = Pattern(size, 0xC3);
        WriteAll(dir / "s.kzb", file);
        std::copy_n(file.begin(), std::min<std::size_t>(size, 8192), expected.begin());

        HeadlessGrid grid;
        set[0].AttachGrid(&grid);
        ASSERT_EQ(LoadMessageSet((dir / "s.kzb").c_str(), set), 0);
        EXPECT_EQ(SetBytes(set), expected) << size;
        EXPECT_EQ(grid.InvalidateCount(), 1) << "message 1 is redrawn";
    }
}

TEST(MessageFiles, MissingSetFileChangesNothing) {
    TempDir dir;
    std::array<CLEDMessageCon, kMessageSetCount> set;
    FillPattern(set[4], 2);
    const Bytes before = SetBytes(set);
    EXPECT_EQ(LoadMessageSet((dir / "none.kzb").c_str(), set), 1);
    EXPECT_EQ(SetBytes(set), before);
}

// --- saves that fail ---

TEST(AtomicSave, SaveWhereNoFileCanBeCreatedFailsAndCreatesNothing) {
    TempDir dir;
    WriteAll(dir / "plain", Bytes{1, 2, 3});
    CLEDMessageCon m;
    std::array<CLEDMessageCon, kMessageSetCount> set;
    // Under a regular file, in a missing directory, and onto a directory: these fail for root
    // as well.
    for (const std::string& target :
         {dir / "plain/m.kom", dir / "missing/m.kom", dir.Path().string()}) {
        EXPECT_EQ(m.SaveToFile(target.c_str()), 1) << target;
        EXPECT_EQ(SaveMessageSet(target.c_str(), set), 1) << target;
    }
    EXPECT_EQ(m.SaveToFile(nullptr), 1);
    EXPECT_EQ(m.SaveToFile(""), 1);
    EXPECT_EQ(dir.List(), (std::vector<std::string>{"plain"}));
    EXPECT_EQ(ReadAll(dir / "plain"), (Bytes{1, 2, 3}));
}

TEST(AtomicSave, WriteErrorPartWayLeavesTheOldFileAndNoTemporaryFile) {
    TempDir dir;
    const Bytes oldMessage = Pattern(1024, 0x11);
    const Bytes oldSet = Pattern(8192, 0x22);
    WriteAll(dir / "m.kom", oldMessage);
    WriteAll(dir / "s.kzb", oldSet);

    CLEDMessageCon m;
    FillPattern(m, 0x99);
    std::array<CLEDMessageCon, kMessageSetCount> set;
    // The temporary file may not grow beyond 500 bytes: the write fails after the first
    // 500 bytes reached it.
    EXPECT_EQ(SaveWithFileSizeLimit(500, [&] { return m.SaveToFile((dir / "m.kom").c_str()); }), 1);
    EXPECT_EQ(
        SaveWithFileSizeLimit(4096, [&] { return SaveMessageSet((dir / "s.kzb").c_str(), set); }),
        1);
    EXPECT_EQ(ReadAll(dir / "m.kom"), oldMessage);
    EXPECT_EQ(ReadAll(dir / "s.kzb"), oldSet);
    EXPECT_EQ(dir.List(), (std::vector<std::string>{"m.kom", "s.kzb"}));

    // The same saves without the limit succeed (the limit was the only obstacle).
    EXPECT_EQ(
        SaveWithFileSizeLimit(RLIM_INFINITY, [&] { return m.SaveToFile((dir / "m.kom").c_str()); }),
        0);
    EXPECT_EQ(ReadAll(dir / "m.kom"), DataOf(m));
}

TEST(AtomicSave, DeviceTargetIsWrittenInPlaceAndItsWriteErrorReported) {
    // /dev/full accepts the open and fails every write: the failure must be reported, and
    // neither the device nor a link to it may be replaced by a regular file.
    if (!fs::exists("/dev/full")) {
        GTEST_SKIP() << "no /dev/full";
    }
    TempDir dir;
    fs::create_symlink("/dev/full", dir / "link.kom");
    CLEDMessageCon m;
    std::array<CLEDMessageCon, kMessageSetCount> set;
    EXPECT_EQ(m.SaveToFile("/dev/full"), 1);
    EXPECT_EQ(m.SaveToFile((dir / "link.kom").c_str()), 1);
    EXPECT_EQ(SaveMessageSet((dir / "link.kom").c_str(), set), 1);
    EXPECT_TRUE(fs::is_symlink(dir / "link.kom"));
    EXPECT_TRUE(fs::is_character_file("/dev/full"));
    EXPECT_EQ(dir.List(), (std::vector<std::string>{"link.kom"}));
}

// --- saves that succeed ---

TEST(AtomicSave, ReplacingAFileKeepsItsPermissionsAndALinkStaysALink) {
    TempDir dir;
    WriteAll(dir / "real.kom", Pattern(1024, 1));
    ASSERT_EQ(chmod((dir / "real.kom").c_str(), 0640), 0);
    fs::create_symlink("real.kom", dir / "link.kom");

    CLEDMessageCon m;
    FillPattern(m, 0x5A);
    ASSERT_EQ(m.SaveToFile((dir / "link.kom").c_str()), 0);
    EXPECT_TRUE(fs::is_symlink(dir / "link.kom"));
    EXPECT_EQ(ReadAll(dir / "real.kom"), DataOf(m));
    struct stat info {};
    ASSERT_EQ(stat((dir / "real.kom").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);

    // A link whose destination does not exist yet creates the destination.
    fs::create_symlink("new.kom", dir / "dangling.kom");
    ASSERT_EQ(m.SaveToFile((dir / "dangling.kom").c_str()), 0);
    EXPECT_TRUE(fs::is_symlink(dir / "dangling.kom"));
    EXPECT_EQ(ReadAll(dir / "new.kom"), DataOf(m));
    EXPECT_EQ(dir.List(),
              (std::vector<std::string>{"dangling.kom", "link.kom", "new.kom", "real.kom"}));
}

TEST(AtomicSave, AbandonedWriterRemovesItsTemporaryFile) {
    TempDir dir;
    WriteAll(dir / "m.kom", Bytes{7});
    {
        AtomicFileWriter writer;
        std::FILE* file = writer.Open((dir / "m.kom").c_str());
        ASSERT_NE(file, nullptr);
        std::fputs("partial", file);
        EXPECT_EQ(dir.List().size(), 2u);
    }
    EXPECT_EQ(dir.List(), (std::vector<std::string>{"m.kom"}));
    EXPECT_EQ(ReadAll(dir / "m.kom"), Bytes{7});

    AtomicFileWriter unopened;
    EXPECT_EQ(unopened.Commit(), 1);
}

} // namespace
