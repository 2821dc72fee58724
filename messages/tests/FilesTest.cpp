// Message files and message-set files: exact round trips, short and long files, and saves
// that never destroy the old file.

#include "TestSupport.h"

#include "messages/AtomicFile.h"
#include "messages/MessageFiles.h"

#include <gtest/gtest.h>

#include <array>
#include <csignal>
#include <filesystem>
#include <grp.h>
#include <pwd.h>
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

// How a body run as an unprivileged user ended.
enum class Unprivileged { Passed, Failed, CannotDrop };

// Runs `body` in a child process as an unprivileged user, because root passes every permission
// check and so would hide what a save does to an ordinary user's files. Run as root, the child
// takes the uid and gid of "nobody" and no supplementary groups, after `dir` was given to it;
// otherwise the child keeps the user it has. The body's failures are reported by the child as
// it runs; the result only says whether there were any.
template <typename Body> Unprivileged AsUnprivilegedUser(const TempDir& dir, Body body) {
    constexpr int kCannotDrop = 77;
    const passwd* nobody = getpwnam("nobody");
    if (geteuid() == 0 &&
        (nobody == nullptr || chown(dir.Path().c_str(), nobody->pw_uid, nobody->pw_gid) != 0)) {
        return Unprivileged::CannotDrop;
    }
    std::fflush(stdout);
    const pid_t child = fork();
    if (child == 0) {
        if (geteuid() == 0 && (setgroups(0, nullptr) != 0 ||
                               setresgid(nobody->pw_gid, nobody->pw_gid, nobody->pw_gid) != 0 ||
                               setresuid(nobody->pw_uid, nobody->pw_uid, nobody->pw_uid) != 0)) {
            _exit(kCannotDrop);
        }
        if (geteuid() == 0 || access(dir.Path().c_str(), W_OK | X_OK) != 0) {
            _exit(kCannotDrop); // still privileged, or the scratch folder is out of reach
        }
        body();
        std::fflush(stdout);
        _exit(::testing::Test::HasFailure() ? 1 : 0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    if (WIFEXITED(status) && WEXITSTATUS(status) == kCannotDrop) {
        return Unprivileged::CannotDrop;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? Unprivileged::Passed
                                                         : Unprivileged::Failed;
}

#define EXPECT_PASSED_UNPRIVILEGED(outcome)                                                        \
    do {                                                                                           \
        const Unprivileged childOutcome = (outcome);                                               \
        if (childOutcome == Unprivileged::CannotDrop) {                                            \
            GTEST_SKIP() << "cannot run as an unprivileged user here (no user nobody, "            \
                            "setresuid refused, or the scratch folder is out of its reach)";       \
        }                                                                                          \
        EXPECT_EQ(childOutcome, Unprivileged::Passed)                                              \
            << "the unprivileged run failed (see above)";                                          \
    } while (false)

ino_t InodeOf(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 ? info.st_ino : 0;
}

mode_t ModeOf(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
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
    LoadReport report;
    ASSERT_EQ(m.LoadFromFile((dir / "short.kom").c_str(), &report), 0);
    std::copy(shortFile.begin(), shortFile.end(), expected.begin());
    EXPECT_EQ(DataOf(m), expected);
    EXPECT_EQ(m.GetType(), 1);
    EXPECT_EQ(report.FileSize, 10u); // what the tools warn about

    const Bytes longFile = Pattern(3000, 0x77);
    WriteAll(dir / "long.kom", longFile);
    ASSERT_EQ(m.LoadFromFile((dir / "long.kom").c_str(), &report), 0);
    EXPECT_EQ(DataOf(m), Bytes(longFile.begin(), longFile.begin() + kMessageSize));
    EXPECT_EQ(report.FileSize, 3000u);
}

// Loads that must fail without touching any message: what is not a message file is never
// taken for an empty or zero-filled one.
TEST(MessageFiles, WhatIsNoMessageFileDoesNotLoadAndChangesNothing) {
    TempDir dir;
    WriteAll(dir / "empty.kom", Bytes{});
    ASSERT_EQ(mkfifo((dir / "fifo.kom").c_str(), 0600), 0);
    fs::create_symlink("empty.kom", dir / "link-to-empty.kom");
    struct Case {
        std::string Path;
        LoadProblem Problem;
    };
    const Case cases[] = {
        {dir / "none.kom", LoadProblem::CannotOpen},
        {dir.Path().string(), LoadProblem::NotRegularFile},
        {dir / "fifo.kom", LoadProblem::NotRegularFile}, // and does not wait for a writer
        {"/dev/null", LoadProblem::NotRegularFile},
        {"/dev/zero", LoadProblem::NotRegularFile},
        {dir / "empty.kom", LoadProblem::Empty},
        {dir / "link-to-empty.kom", LoadProblem::Empty},
        {"", LoadProblem::CannotOpen},
    };
    for (const Case& c : cases) {
        BoundMessage m;
        FillPattern(m.Message, 1);
        std::array<CLEDMessageCon, kMessageSetCount> set;
        FillPattern(set[0], 2);
        FillPattern(set[7], 3);
        const Bytes before = DataOf(m.Message);
        const Bytes setBefore = SetBytes(set);
        LoadReport report;
        EXPECT_EQ(m.Message.LoadFromFile(c.Path.c_str(), &report), 1) << c.Path;
        EXPECT_EQ(report.Problem, c.Problem) << c.Path;
        report = {};
        EXPECT_EQ(LoadMessageSet(c.Path.c_str(), set, &report), 1) << c.Path;
        EXPECT_EQ(report.Problem, c.Problem) << c.Path;
        EXPECT_EQ(DataOf(m.Message), before) << c.Path;
        EXPECT_EQ(SetBytes(set), setBefore) << c.Path;
        EXPECT_EQ(m.Grid.InvalidateCount(), 0) << c.Path;
    }
    CLEDMessageCon m;
    std::array<CLEDMessageCon, kMessageSetCount> set;
    EXPECT_EQ(m.LoadFromFile(nullptr), 1);
    EXPECT_EQ(LoadMessageSet(nullptr, set), 1);
    EXPECT_EQ(m.ReadFromStream(nullptr), 1);
    EXPECT_EQ(m.WriteToStream(nullptr), 1);

    // A stream whose read fails (it was opened for writing only) leaves the buffer alone.
    FillPattern(m, 4);
    const Bytes before = DataOf(m);
    std::FILE* writeOnly = std::fopen((dir / "w.kom").c_str(), "wb");
    ASSERT_NE(writeOnly, nullptr);
    EXPECT_EQ(m.ReadFromStream(writeOnly), 1);
    std::fclose(writeOnly);
    EXPECT_EQ(DataOf(m), before);
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
         {std::size_t{1}, std::size_t{1024}, std::size_t{2048 + 100}, std::size_t{9000}}) {
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

TEST(AtomicSave, ReplacedFileKeepsItsPermissionBitsAndAReadOnlyFileIsNotReplaced) {
    TempDir dir;
    EXPECT_PASSED_UNPRIVILEGED(AsUnprivilegedUser(dir, [&] {
        umask(077); // must not narrow the rights of a file that already exists
        CLEDMessageCon m;
        FillPattern(m, 0x5A);
        std::array<CLEDMessageCon, kMessageSetCount> set;
        FillPattern(set[3], 0x21);
        const Bytes old = Pattern(1024, 1);
        struct Case {
            mode_t Mode;
            int Result; // a plain write could not change a file without the write bit
        };
        for (const Case c : {Case{0600, 0}, Case{0640, 0}, Case{0664, 0}, Case{0606, 0},
                             Case{0444, 1}, Case{0044, 1}}) {
            for (const bool asSet : {false, true}) {
                const std::string path = dir / "f.kom";
                WriteAll(path, old);
                ASSERT_EQ(chmod(path.c_str(), c.Mode), 0);
                const int result =
                    asSet ? SaveMessageSet(path.c_str(), set) : m.SaveToFile(path.c_str());
                EXPECT_EQ(result, c.Result) << std::oct << c.Mode << " set " << asSet;
                EXPECT_EQ(ModeOf(path), c.Mode) << std::oct << c.Mode << " set " << asSet;
                if (c.Result == 0) {
                    EXPECT_EQ(ReadAll(path), asSet ? SetBytes(set) : DataOf(m));
                } else {
                    ASSERT_EQ(chmod(path.c_str(), 0600), 0);
                    EXPECT_EQ(ReadAll(path), old);
                }
                EXPECT_EQ(dir.List(), std::vector<std::string>{"f.kom"});
                std::filesystem::remove(path);
            }
        }
    }));
}

TEST(AtomicSave, ReplacedFileKeepsItsOwnerWhereTheSystemAllows) {
    // Only a privileged process may give a file to another user.
    if (geteuid() != 0) {
        GTEST_SKIP() << "keeping another user's file owned by that user needs root";
    }
    const passwd* nobody = getpwnam("nobody");
    if (nobody == nullptr) {
        GTEST_SKIP() << "no user nobody to own the file";
    }
    TempDir dir;
    WriteAll(dir / "theirs.kom", Pattern(1024, 1));
    ASSERT_EQ(chown((dir / "theirs.kom").c_str(), nobody->pw_uid, nobody->pw_gid), 0);
    ASSERT_EQ(chmod((dir / "theirs.kom").c_str(), 04750), 0); // set-user-id survives the chown
    CLEDMessageCon m;
    FillPattern(m, 0x33);
    ASSERT_EQ(m.SaveToFile((dir / "theirs.kom").c_str()), 0);
    struct stat info {};
    ASSERT_EQ(stat((dir / "theirs.kom").c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, nobody->pw_uid);
    EXPECT_EQ(info.st_gid, nobody->pw_gid);
    EXPECT_EQ(info.st_mode & 07777, 04750u);
    EXPECT_EQ(ReadAll(dir / "theirs.kom"), DataOf(m));
}

TEST(AtomicSave, LinkedTargetStaysALinkAndItsDestinationIsReplacedBesideItself) {
    TempDir dir;
    EXPECT_PASSED_UNPRIVILEGED(AsUnprivilegedUser(dir, [&] {
        CLEDMessageCon m;
        FillPattern(m, 0x5A);
        WriteAll(dir / "real.kom", Pattern(1024, 1));
        fs::create_symlink("real.kom", dir / "link.kom");
        // A link in a folder where no file may be made, to a file in one where it may: the
        // new file is made beside the destination, so the save stays atomic.
        fs::create_directory(dir / "locked");
        fs::create_symlink("../real.kom", dir / "locked/link.kom");
        fs::create_symlink("new.kom", dir / "dangling.kom"); // creates its destination
        ASSERT_EQ(chmod((dir / "locked").c_str(), 0555), 0);
        for (const char* link : {"link.kom", "locked/link.kom", "dangling.kom"}) {
            FillPattern(m, static_cast<std::uint8_t>(m.GetData()[0] + 1));
            const ino_t before = InodeOf(dir / link);
            ASSERT_EQ(m.SaveToFile((dir / link).c_str()), 0) << link;
            EXPECT_TRUE(fs::is_symlink(dir / link)) << link;
            EXPECT_EQ(ReadAll(dir / link), DataOf(m)) << link;
            EXPECT_NE(InodeOf(dir / link), before) << link << ": replaced, not overwritten";
        }
        EXPECT_EQ(dir.List(), (std::vector<std::string>{"dangling.kom", "link.kom", "locked",
                                                        "new.kom", "real.kom"}));
        ASSERT_EQ(chmod((dir / "locked").c_str(), 0755), 0); // so the scratch folder goes
    }));
}

TEST(AtomicSave, WhereNoTemporaryFileCanBeMadeAWritableTargetIsWrittenInPlace) {
    TempDir dir;
    EXPECT_PASSED_UNPRIVILEGED(AsUnprivilegedUser(dir, [&] {
        CLEDMessageCon m;
        FillPattern(m, 0x6B);
        std::array<CLEDMessageCon, kMessageSetCount> set;
        FillPattern(set[7], 0x17);
        const std::string locked = dir / "locked";
        fs::create_directory(locked);
        const std::string longName = dir / (std::string(251, 'n') + ".kom"); // 255 bytes
        const Bytes old = Pattern(3000, 9); // longer than anything saved: cut at the new end
        struct Case {
            std::string Path;
            mode_t FileMode; // 0: no file there
            bool AsSet;
            int Result;
        };
        const Case cases[] = {
            {locked + "/m.kom", 0644, false, 0},
            {locked + "/s.kzb", 0600, true, 0},
            {longName, 0644, false, 0},
            {locked + "/ro.kom", 0444, false, 1}, // neither folder nor file may be written
            {locked + "/new.kom", 0, false, 1},   // nothing to write in place
        };
        for (const Case& c : cases) {
            ASSERT_EQ(chmod(locked.c_str(), 0755), 0);
            if (c.FileMode != 0) {
                WriteAll(c.Path, old);
                ASSERT_EQ(chmod(c.Path.c_str(), c.FileMode), 0);
            }
            ASSERT_EQ(chmod(locked.c_str(), 0555), 0);
            const ino_t before = InodeOf(c.Path);
            const int result =
                c.AsSet ? SaveMessageSet(c.Path.c_str(), set) : m.SaveToFile(c.Path.c_str());
            EXPECT_EQ(result, c.Result) << c.Path;
            EXPECT_EQ(InodeOf(c.Path), before) << c.Path;
            if (c.FileMode == 0) {
                EXPECT_FALSE(fs::exists(c.Path)) << c.Path;
            } else if (c.Result == 0) {
                EXPECT_EQ(ReadAll(c.Path), c.AsSet ? SetBytes(set) : DataOf(m)) << c.Path;
                EXPECT_EQ(ModeOf(c.Path), c.FileMode) << c.Path;
            }
        }
        // A write that fails part-way in place is reported.
        EXPECT_EQ(
            SaveWithFileSizeLimit(500, [&] { return m.SaveToFile((locked + "/m.kom").c_str()); }),
            1);
        ASSERT_EQ(chmod(locked.c_str(), 0755), 0);
        EXPECT_EQ(dir.List(), (std::vector<std::string>{"locked", std::string(251, 'n') + ".kom"}));
    }));
}

TEST(AtomicSave, TwoWritersOfOneTargetAtOnceUseTheirOwnTemporaryFiles) {
    TempDir dir;
    AtomicFileWriter first;
    AtomicFileWriter second;
    std::FILE* a = first.Open((dir / "m.kom").c_str());
    std::FILE* b = second.Open((dir / "m.kom").c_str());
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(first.TempName(), second.TempName());
    std::fputs("first", a);
    std::fputs("second", b);
    EXPECT_EQ(first.Commit(), 0);
    EXPECT_EQ(second.Commit(), 0);
    EXPECT_EQ(test_files::ReadText(dir / "m.kom"), "second");
    EXPECT_EQ(dir.List(), std::vector<std::string>{"m.kom"});
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
