// The synchronisation mode's states and sequences against a fake link and fake file status:
// start, polling, leaving, and operations run nested inside a status (as the window's status
// update processes pending events).

#include "autosync/Unitautosync.h"
#include "autosync/tests/FakeFiles.h"
#include "autosync/tests/TempDir.h"

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {

// One log of everything the mode does, in order: link calls and statuses.
using Log = std::vector<std::string>;

class FakeLink final : public SignLink {
public:
    explicit FakeLink(Log& log) : log_(log) {}

    int Open(const std::string& portName) override {
        log_.push_back("open " + portName);
        if (OpenResult == 0) {
            IsOpen = true;
        }
        return OpenResult;
    }
    int Close() override {
        log_.push_back("close");
        IsOpen = false;
        return 0;
    }
    int SyncClock(std::uint16_t address) override {
        log_.push_back("clock " + std::to_string(address));
        EXPECT_TRUE(IsOpen) << "clock on a closed port";
        return ClockResult;
    }
    int SendMessageSlot(std::uint16_t address, int slot, const std::uint8_t* message) override {
        SyncMessage copy;
        std::copy(message, message + kSyncMessageSize, copy.begin());
        Sent.push_back(copy);
        log_.push_back("send " + std::to_string(address) + " " + std::to_string(slot) + " " +
                       Describe(copy));
        EXPECT_TRUE(IsOpen) << "send on a closed port";
        if (SendResults.empty()) {
            return 0;
        }
        const int r = SendResults.front();
        SendResults.pop_front();
        return r;
    }

    // "blank" for 1024 zero bytes, else the cells' characters and the type, e.g. "AB /0".
    static std::string Describe(const SyncMessage& m) {
        if (m == SyncMessage{}) {
            return "blank";
        }
        std::string text;
        for (std::size_t i = 0; i < kSyncCellEnd && m[i] != 0; i += 2) {
            text.push_back(static_cast<char>(m[i + 1]));
        }
        return text + "/" + std::to_string(m[kSyncTypeIndex]);
    }

    int OpenResult = 0;
    int ClockResult = 0;
    std::deque<int> SendResults;
    bool IsOpen = false;
    std::vector<SyncMessage> Sent;

private:
    Log& log_;
};

class AutoSyncMode : public ::testing::Test {
protected:
    AutoSyncMode() : link(log), sync(link, files, [this](const std::string& s) { OnStatus(s); }) {
        sync.SetDataFileName(dir.File("dane.txt"));
    }

    void OnStatus(const std::string& text) {
        log.push_back("status " + text);
        // The window's status update runs pending events; a test queues one here.
        if (nested && text == nestedOn) {
            auto action = std::move(nested);
            nested = nullptr;
            action();
        }
    }

    // Writes the data file and gives it a new version (time in ns, size from the content).
    void WriteData(const std::string& content, const std::string& name = "dane.txt") {
        const std::string full = dir.Write(name, content);
        files.Stamps[full] = FileStamp{true, ++clock, static_cast<std::int64_t>(content.size())};
    }

    void Start() {
        ASSERT_EQ(sync.StartSync("COM3"), 0);
        log.clear();
    }

    TempDir dir;
    Log log;
    FakeLink link;
    FakeFiles files;
    CAutoSync sync;
    std::int64_t clock = 1'700'000'000'000'000'000;
    std::function<void()> nested;
    std::string nestedOn;
};

TEST_F(AutoSyncMode, StartOpensPortAndSetsClock) {
    EXPECT_EQ(sync.StartSync("COM3", 380), 0);
    EXPECT_TRUE(sync.SyncActive());
    EXPECT_EQ(log, (Log{"status Uruchamiam tryb synchronizacji z plikiem", "open COM3",
                        "status Synchronizuję czas w linijce", "clock 380"}));
    // Already running: nothing is opened again.
    log.clear();
    EXPECT_EQ(sync.StartSync("COM3"), 0);
    EXPECT_TRUE(log.empty());
}

TEST_F(AutoSyncMode, PortErrorKeepsIdle) {
    link.OpenResult = 1;
    EXPECT_EQ(sync.StartSync("/dev/ttyUSB7"), 1);
    EXPECT_FALSE(sync.SyncActive());
    EXPECT_EQ(log, (Log{"status Uruchamiam tryb synchronizacji z plikiem", "open /dev/ttyUSB7",
                        "status Nie mogę otworzyć portu /dev/ttyUSB7 !"}));
    // Leaving from Idle sends nothing and closes nothing; polling does nothing.
    WriteData("1 4 A\n");
    log.clear();
    sync.TimerSynchroTimer();
    sync.LeaveSync();
    EXPECT_TRUE(log.empty());
}

TEST_F(AutoSyncMode, ClockFailureClosesThePort) {
    link.ClockResult = 1;
    EXPECT_EQ(sync.StartSync("COM3"), 1);
    EXPECT_FALSE(sync.SyncActive());
    EXPECT_FALSE(link.IsOpen);
    EXPECT_EQ(log, (Log{"status Uruchamiam tryb synchronizacji z plikiem", "open COM3",
                        "status Synchronizuję czas w linijce", "clock 380", "close",
                        "status Nie moge zsynchronizowac czasu w linijce!"}));
    WriteData("1 4 A\n");
    log.clear();
    sync.TimerSynchroTimer();
    EXPECT_TRUE(log.empty());
    // A later start that succeeds runs the mode.
    link.ClockResult = 0;
    EXPECT_EQ(sync.StartSync("COM3"), 0);
    EXPECT_TRUE(sync.SyncActive());
}

TEST_F(AutoSyncMode, PollingSendsEachNewVersionOnce) {
    Start();
    sync.TimerSynchroTimer(); // no file yet: silent
    EXPECT_TRUE(log.empty());
    EXPECT_FALSE(sync.LastFileTime().Known);

    WriteData("1 4 Temperatura 21C\n");
    sync.TimerSynchroTimer();
    EXPECT_EQ(log, (Log{"status Wysyłam komunikat", "send 380 9 Temperatura 21C /0", "status OK"}));
    log.clear();
    for (int i = 0; i < 5; ++i) {
        sync.TimerSynchroTimer();
    }
    EXPECT_TRUE(log.empty()) << "unchanged file sent again";

    WriteData("0 2 Mróz\n"); // UTF-8 in the file, code page 1250 on the sign
    sync.TimerSynchroTimer();
    EXPECT_EQ(log, (Log{"status Wysyłam komunikat", "send 380 9 Mr\xf3z /1", "status OK"}));
    ASSERT_EQ(link.Sent.size(), 2u);
    EXPECT_EQ(link.Sent[1][0], 2); // font from the line
}

TEST_F(AutoSyncMode, ThreeByteLineSendsAMessageWithoutCells) {
    Start();
    WriteData("1 4\n");
    sync.TimerSynchroTimer();
    EXPECT_EQ(log, (Log{"status Wysyłam komunikat", "send 380 9 blank", "status OK"}));
}

TEST_F(AutoSyncMode, ReadErrorIsNotRetried) {
    Start();
    for (const char* bad : {"2 4 A\n", "1-4 A\n", "1 0 A\n", "1 6 A\n", ""}) {
        WriteData(bad);
        sync.TimerSynchroTimer();
        sync.TimerSynchroTimer(); // the same failed version is not read again
        EXPECT_EQ(log, (Log{"status Błąd podczas odczytu pliku komunikatu!"})) << bad;
        log.clear();
    }
    EXPECT_TRUE(link.Sent.empty());
    WriteData("1 1 ok\n");
    sync.TimerSynchroTimer();
    EXPECT_EQ(link.Sent.size(), 1u);
}

TEST_F(AutoSyncMode, UnreadableFileIsReadErrorCode1) {
    Start();
    // The status says the file exists, but it cannot be opened.
    files.Stamps[dir.File("dane.txt")] = FileStamp{true, 5, 5};
    sync.TimerSynchroTimer();
    EXPECT_EQ(log, (Log{"status Błąd podczas odczytu pliku komunikatu!"}));
    EXPECT_EQ(sync.ParseDataFile(dir.File("dane.txt")), kParseCannotOpen);
}

// The window shares the retry: a file that could not be opened is read again at each tick,
// with its error shown once, and sent as soon as it reads.
TEST_F(AutoSyncMode, UnopenedFileIsReadAgainWithOneStatus) {
    Start();
    files.Stamps[dir.File("dane.txt")] = FileStamp{true, 5, 5};
    for (int i = 0; i < 3; ++i) {
        sync.TimerSynchroTimer();
    }
    EXPECT_EQ(log, (Log{"status Błąd podczas odczytu pliku komunikatu!"}));
    log.clear();
    dir.Write("dane.txt", "1 1 ok\n"); // the status stays as it was
    sync.TimerSynchroTimer();
    EXPECT_EQ(log, (Log{"status Wysyłam komunikat", "send 380 9 ok /0", "status OK"}));
}

TEST_F(AutoSyncMode, SendFailureKeepsTheMode) {
    Start();
    link.SendResults = {1, 2};
    WriteData("1 4 A\n");
    sync.TimerSynchroTimer();
    WriteData("1 4 B\n");
    sync.TimerSynchroTimer();
    sync.TimerSynchroTimer(); // the failed version is not retried
    EXPECT_TRUE(sync.SyncActive());
    EXPECT_TRUE(link.IsOpen);
    EXPECT_EQ(log, (Log{"status Wysyłam komunikat", "send 380 9 A /0",
                        "status Błąd podczas wysyłania komunikatu!", "status Wysyłam komunikat",
                        "send 380 9 B /0", "status Błąd podczas wysyłania komunikatu!"}));
    log.clear();
    WriteData("1 4 C\n");
    sync.TimerSynchroTimer();
    EXPECT_EQ(log.back(), "status OK");
}

TEST_F(AutoSyncMode, LeaveBlanksTheSignAndClosesThePort) {
    Start();
    WriteData("1 4 A\n");
    sync.TimerSynchroTimer();
    log.clear();
    sync.LeaveSync();
    EXPECT_EQ(log, (Log{"send 380 9 blank", "close"}));
    EXPECT_FALSE(sync.SyncActive());
    EXPECT_EQ(link.Sent.back(), SyncMessage{});
    log.clear();
    sync.LeaveSync(); // twice: nothing more
    sync.TimerSynchroTimer();
    EXPECT_TRUE(log.empty());

    // Re-entering with the file unchanged: the sign keeps the blank message.
    ASSERT_EQ(sync.StartSync("COM3"), 0);
    log.clear();
    sync.TimerSynchroTimer();
    EXPECT_TRUE(log.empty());
}

TEST_F(AutoSyncMode, LeaveInsideSendingStatusSkipsTheSend) {
    Start();
    WriteData("1 4 A\n");
    nestedOn = "Wysyłam komunikat";
    nested = [this] { sync.LeaveSync(); };
    sync.TimerSynchroTimer();
    EXPECT_EQ(log, (Log{"status Wysyłam komunikat", "send 380 9 blank", "close"}));
    EXPECT_FALSE(sync.SyncActive());
    EXPECT_FALSE(link.IsOpen);
}

TEST_F(AutoSyncMode, NestedTickInsideStatusFindsNoChange) {
    Start();
    WriteData("1 4 A\n");
    nestedOn = "Wysyłam komunikat";
    nested = [this] { sync.TimerSynchroTimer(); };
    sync.TimerSynchroTimer();
    EXPECT_EQ(log, (Log{"status Wysyłam komunikat", "send 380 9 A /0", "status OK"}));
}

TEST_F(AutoSyncMode, FileChosenInsideStatusIsSentOnce) {
    Start();
    WriteData("1 4 A\n");
    WriteData("1 4 Nowy\n", "nowy.txt");
    nestedOn = "Wysyłam komunikat";
    nested = [this] { sync.ChooseFile(dir.File("nowy.txt")); };
    sync.TimerSynchroTimer();
    // The chosen file is sent by the nested step; the interrupted step has nothing left.
    EXPECT_EQ(log, (Log{"status Wysyłam komunikat", "status Wysyłam komunikat",
                        "send 380 9 Nowy /0", "status OK"}));
}

TEST_F(AutoSyncMode, ChooseFileSendsAtOnceEvenIfOlder) {
    Start();
    WriteData("1 4 A\n");
    sync.TimerSynchroTimer();
    log.clear();
    // The chosen file is older than the one already sent.
    const std::string other = dir.Write("stary.txt", "1 4 Stary\n");
    files.Stamps[other] = FileStamp{true, 1, 10};
    sync.ChooseFile(other);
    EXPECT_EQ(sync.DataFileName(), other);
    EXPECT_EQ(log, (Log{"status Wysyłam komunikat", "send 380 9 Stary /0", "status OK"}));
    // Choosing the same file again sends it again.
    log.clear();
    sync.ChooseFile(other);
    EXPECT_EQ(log.size(), 3u);
}

TEST_F(AutoSyncMode, ChooseFileWhileIdleOnlyChangesTheName) {
    WriteData("1 4 A\n");
    sync.ChooseFile(dir.File("dane.txt"));
    EXPECT_TRUE(log.empty());
    EXPECT_FALSE(sync.LastFileTime().Known);
    // Starting afterwards sends it at the first tick.
    Start();
    sync.TimerSynchroTimer();
    EXPECT_EQ(link.Sent.size(), 1u);
}

TEST_F(AutoSyncMode, LeaveDuringStartCancelsIt) {
    nestedOn = "Synchronizuję czas w linijce";
    nested = [this] { sync.LeaveSync(); };
    EXPECT_EQ(sync.StartSync("COM3"), 1);
    EXPECT_FALSE(sync.SyncActive());
    EXPECT_FALSE(link.IsOpen);
    EXPECT_EQ(log, (Log{"status Uruchamiam tryb synchronizacji z plikiem", "open COM3",
                        "status Synchronizuję czas w linijce", "close"}));

    log.clear();
    nestedOn = "Uruchamiam tryb synchronizacji z plikiem";
    nested = [this] { sync.LeaveSync(); };
    EXPECT_EQ(sync.StartSync("COM3"), 1);
    EXPECT_EQ(log, (Log{"status Uruchamiam tryb synchronizacji z plikiem"}));

    // A start nested inside a start does nothing.
    log.clear();
    nestedOn = "Uruchamiam tryb synchronizacji z plikiem";
    nested = [this] { EXPECT_EQ(sync.StartSync("COM9"), 1); };
    EXPECT_EQ(sync.StartSync("COM3"), 0);
    EXPECT_EQ(log, (Log{"status Uruchamiam tryb synchronizacji z plikiem", "open COM3",
                        "status Synchronizuję czas w linijce", "clock 380"}));
}

TEST_F(AutoSyncMode, FormCloseLeavesTheModeAndSavesSettings) {
    Start();
    sync.ChooseFile(dir.File("wybrany.txt"));
    log.clear();
    EXPECT_EQ(sync.FormClose(dir.Str()), 0);
    EXPECT_EQ(log, (Log{"send 380 9 blank", "close"}));
    EXPECT_FALSE(sync.SyncActive());
    EXPECT_EQ(TempDir::Read(dir.File("as.cfg")), dir.File("wybrany.txt") + "\n");

    // Closing while Idle only saves.
    log.clear();
    EXPECT_EQ(sync.FormClose(dir.Str()), 0);
    EXPECT_TRUE(log.empty());
}

TEST_F(AutoSyncMode, SettingsFeedTheDataFileName) {
    CAutoSync fresh(link, files, nullptr);
    EXPECT_EQ(fresh.DataFileName(), "dane.txt");
    EXPECT_EQ(fresh.LoadSyncSettings(dir.Str()), 1);
    EXPECT_EQ(fresh.DataFileName(), "dane.txt");
    dir.Write("as.cfg", " inny.txt\r\n");
    EXPECT_EQ(fresh.LoadSyncSettings(dir.Str()), 0);
    EXPECT_EQ(fresh.DataFileName(), "inny.txt");
}

} // namespace
