// Change detection of the data file and the settings file "as.cfg".

#include "autosync/Unitautosync.h"
#include "autosync/tests/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace {

class FakeFiles final : public FileStatusProvider {
public:
    FileStamp Stat(const std::string& name) override {
        ++Queries;
        const auto it = Stamps.find(name);
        return it == Stamps.end() ? FileStamp{} : it->second;
    }
    std::map<std::string, FileStamp> Stamps;
    int Queries = 0;
};

constexpr std::int64_t kSecond = 1000000000;

TEST(FileChanged, SequenceOfVersions) {
    FakeFiles files;
    FileVersion last;
    struct Step {
        const char* Name;
        bool Exists;
        std::int64_t MtimeNs;
        std::int64_t Size;
        bool Changed;
    };
    const std::int64_t t = 1'796'000'000 * kSecond; // beyond 2026, needs 64 bits
    const std::vector<Step> steps = {
        {"missing file is silent", false, 0, 0, false},
        {"first sight counts as a change", true, t, 10, true},
        {"unchanged is not resent", true, t, 10, false},
        {"still unchanged", true, t, 10, false},
        {"second write in the same second, same size", true, t + 1, 10, true},
        {"same time, other size", true, t + 1, 11, true},
        {"file gone again", false, 0, 0, false},
        {"back unchanged after a gap", true, t + 1, 11, false},
        {"older time still differs", true, t - 5 * kSecond, 11, true},
    };
    for (const Step& s : steps) {
        if (s.Exists) {
            files.Stamps["dane.txt"] = FileStamp{true, s.MtimeNs, s.Size};
        } else {
            files.Stamps.erase("dane.txt");
        }
        const FileVersion before = last;
        EXPECT_EQ(FileChanged(files, "dane.txt", last), s.Changed) << s.Name;
        if (s.Changed) {
            EXPECT_TRUE(last.Known) << s.Name;
            EXPECT_EQ(last.MtimeNs, s.MtimeNs) << s.Name;
            EXPECT_EQ(last.Size, s.Size) << s.Name;
        } else {
            EXPECT_EQ(last.Known, before.Known) << s.Name;
            EXPECT_EQ(last.MtimeNs, before.MtimeNs) << s.Name;
            EXPECT_EQ(last.Size, before.Size) << s.Name;
        }
    }
}

TEST(FileChanged, ForgottenVersionCountsAsChanged) {
    FakeFiles files;
    files.Stamps["a.txt"] = FileStamp{true, 0, 0}; // even a time of 0 and an empty file
    FileVersion last;
    EXPECT_TRUE(FileChanged(files, "a.txt", last));
    EXPECT_FALSE(FileChanged(files, "a.txt", last));
    last = FileVersion{};
    EXPECT_TRUE(FileChanged(files, "a.txt", last));
}

TEST(StatFileStamp, RealFiles) {
    TempDir dir;
    EXPECT_FALSE(StatFileStamp(dir.File("missing.txt")).Exists);

    const std::string name = dir.Write("dane.txt", "1 4 A\n");
    const FileStamp first = StatFileStamp(name);
    ASSERT_TRUE(first.Exists);
    EXPECT_EQ(first.Size, 6);
    const auto now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                         std::chrono::system_clock::now().time_since_epoch())
                         .count();
    EXPECT_LT(std::llabs(now - first.MtimeNs), 60 * kSecond);

    // Two writes of the same size well within one second are told apart by the time alone
    // (set here rather than waited for: a file system's clock may be coarser than 30 ms).
    SystemFileStatus files;
    FileVersion last;
    ASSERT_TRUE(FileChanged(files, name, last));
    const auto written = std::filesystem::last_write_time(name);
    dir.Write("dane.txt", "1 4 B\n");
    std::filesystem::last_write_time(name, written + std::chrono::milliseconds(30));
    EXPECT_TRUE(FileChanged(files, name, last));
    EXPECT_FALSE(FileChanged(files, name, last));
    // A write that keeps the time (as some copy tools do) is still seen by its size.
    const auto mtime = std::filesystem::last_write_time(name);
    dir.Write("dane.txt", "1 4 BC\n");
    std::filesystem::last_write_time(name, mtime);
    EXPECT_TRUE(FileChanged(files, name, last));
}

// Changes that keep the last-write time and the size: another file under the name, or the
// same file rewritten with its time put back.
TEST(FileChanged, IdentityAndChangeTimeCount) {
    FakeFiles files;
    FileVersion last;
    constexpr std::int64_t t = 1'796'000'000 * kSecond;
    struct Step {
        const char* Name;
        FileStamp Stamp;
        bool Changed;
    };
    const auto stamp = [](std::uint64_t device, std::uint64_t id, std::int64_t changeNs) {
        FileStamp s{true, t, 10, true};
        s.Device = device;
        s.FileId = id;
        s.ChangeNs = changeNs;
        return s;
    };
    const std::vector<Step> steps = {
        {"first sight", stamp(1, 100, t), true},
        {"unchanged", stamp(1, 100, t), false},
        {"a new file renamed over it", stamp(1, 101, t), true},
        {"rewritten, its time put back", stamp(1, 101, t + 7), true},
        {"the same name on another device", stamp(2, 101, t + 7), true},
        {"unchanged again", stamp(2, 101, t + 7), false},
    };
    for (const Step& s : steps) {
        files.Stamps["dane.txt"] = s.Stamp;
        EXPECT_EQ(FileChanged(files, "dane.txt", last), s.Changed) << s.Name;
    }
}

TEST(StatFileStamp, ReplacementsKeepingTimeAndSizeAreSeen) {
    TempDir dir;
    const std::string name = dir.Write("dane.txt", "1 4 A\n");
    const auto mtime = std::filesystem::last_write_time(name);
    SystemFileStatus files;
    FileVersion last;
    ASSERT_TRUE(FileChanged(files, name, last));

    // As `cp -p` or `touch -r` leave it: other bytes, the same size and time.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    dir.Write("dane.txt", "1 4 B\n");
    std::filesystem::last_write_time(name, mtime);
    EXPECT_TRUE(FileChanged(files, name, last)) << "rewritten in place";

    // A new file of the same size and time renamed over the old one.
    const std::string next = dir.Write("dane.new", "1 4 C\n");
    std::filesystem::last_write_time(next, mtime);
    std::filesystem::rename(next, name);
    EXPECT_TRUE(FileChanged(files, name, last)) << "renamed over";
    EXPECT_FALSE(FileChanged(files, name, last));
}

TEST(SyncSettings, Load) {
    struct Case {
        const char* Name;
        const char* Content; // nullptr: no file
        std::size_t Length;
        int Result;
        std::string Expected;
    };
    const std::string longName(300, 'n');
    const std::vector<Case> cases = {
        {"no file keeps the name", nullptr, 0, 1, "poprzedni.txt"},
        {"empty file", "", 0, 0, "dane.txt"},
        {"spaces only", "     ", 5, 0, "dane.txt"},
        {"line end only", "\n", 1, 0, "dane.txt"},
        {"CR LF only", "\r\n", 2, 0, "dane.txt"},
        {"plain name", "pomiar.txt\n", 11, 0, "pomiar.txt"},
        {"trimmed both ends", " \t C:\\dane\\plik 1.txt \r\n", 24, 0, "C:\\dane\\plik 1.txt"},
        {"only the first line", "a.txt\nb.txt\n", 12, 0, "a.txt"},
        {"no line end", "x.txt", 5, 0, "x.txt"},
        {"national letters", "\xbf\xf3\xb3w.txt\n", 9, 0, "\xbf\xf3\xb3w.txt"},
        {"long name cut at 254 bytes", longName.c_str(), longName.size(), 0,
         std::string(kMaxSettingsLine, 'n')},
    };
    for (const Case& c : cases) {
        TempDir dir;
        if (c.Content != nullptr) {
            dir.Write("as.cfg", std::string(c.Content, c.Length));
        }
        std::string name = "poprzedni.txt";
        EXPECT_EQ(LoadSyncSettings(dir.Str(), name), c.Result) << c.Name;
        EXPECT_EQ(name, c.Expected) << c.Name;
    }
}

TEST(SyncSettings, SaveWritesExactBytes) {
    TempDir dir;
    EXPECT_EQ(SaveSyncSettings(dir.Str(), "  /srv/dane/pomiar.txt \r\n"), 0);
    EXPECT_EQ(TempDir::Read(dir.File("as.cfg")), "/srv/dane/pomiar.txt\n");
    // Overwrites a longer old file completely.
    EXPECT_EQ(SaveSyncSettings(dir.Str(), "a"), 0);
    EXPECT_EQ(TempDir::Read(dir.File("as.cfg")), "a\n");
    // And reads back as it was saved.
    std::string name;
    EXPECT_EQ(LoadSyncSettings(dir.Str(), name), 0);
    EXPECT_EQ(name, "a");
    // A directory that does not exist: nothing written, failure reported.
    EXPECT_EQ(SaveSyncSettings(dir.File("brak"), "a"), 1);
    EXPECT_FALSE(std::filesystem::exists(dir.File("brak")));
}

TEST(SyncSettings, PathJoinsTheStartDirectory) {
#ifdef _WIN32
    EXPECT_EQ(SyncSettingsPath("C:\\prog"), "C:\\prog\\as.cfg");
    EXPECT_EQ(SyncSettingsPath("C:\\"), "C:\\as.cfg");
    EXPECT_EQ(SyncSettingsPath("C:/prog/"), "C:/prog/as.cfg");
#else
    EXPECT_EQ(SyncSettingsPath("/opt/prog"), "/opt/prog/as.cfg");
    EXPECT_EQ(SyncSettingsPath("/"), "/as.cfg");
#endif
}

} // namespace
