#pragma once
// File synchronisation mode: the sign follows the first line of a data file written by other
// software. Each polling step checks the file's status; when the file changed, its first line is
// turned into a message buffer and sent to the sign's slot 9 (the current message). Leaving the
// mode blanks that message and closes the port.
//
// This unit holds the whole behaviour of the mode without any window: the editor's
// synchronisation window and the `ledsign watch` command both drive a CAutoSync. The serial link
// and the file status are interfaces so that the mode can be run against fakes.
//
// Text encoding: status texts are UTF-8 std::strings. They are user-interface texts (shown by a
// Qt window, printed by a terminal tool), not message content, so they do not travel in code page
// 1250. File names are UTF-8 and are passed through untouched. The data line is code page 1250,
// whose bytes 0x80-0xFF (the national letters) reach the message buffer unchanged, unless the
// line is UTF-8 that code page 1250 can spell (see ParseDataBytes), which is converted: most
// programs that write such files today write UTF-8.

#include "autosync/FileStamp.h"
#include "format/SignFormat.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <system_error>
#include <utility>

constexpr std::size_t kSyncMessageSize = signformat::kMessageBytes;
constexpr std::size_t kSyncTypeIndex = signformat::kTypeIndex;
constexpr std::size_t kSyncCellEnd = 1022;              // cells occupy bytes below this index
constexpr std::size_t kMaxSyncCells = kSyncCellEnd / 2; // 511
constexpr std::size_t kMaxDataLine = 8190; // longest first line taken from the data file
constexpr int kSyncSlot = signformat::kCurrentSlot;
constexpr std::uint16_t kSyncDefaultAddress = signformat::kDefaultSignAddress;
inline constexpr const char* kDefaultDataFile = "dane.txt";
inline constexpr std::size_t kMaxSettingsLine = 254; // bytes taken from the settings line

using SyncMessage = std::array<std::uint8_t, kSyncMessageSize>;

// Result codes of ParseDataFile / ParseDataBytes.
enum ParseDataResult : int {
    kParseOk = 0,           // buffer built
    kParseCannotOpen = 1,   // data file cannot be opened
    kParseTooShort = 2,     // first line shorter than 3 bytes (also an empty file)
    kParseBadType = 3,      // byte 0 is neither '0' nor '1'
    kParseBadSeparator = 4, // byte 1 is not a space
    kParseBadFont = 5,      // byte 2 is not a digit '1'..'5'
};

// Status texts of the mode (UTF-8). The port error is kStatusPortError + port + " !".
inline constexpr const char* kStatusStarting = "Uruchamiam tryb synchronizacji z plikiem";
inline constexpr const char* kStatusPortError = "Nie mogę otworzyć portu ";
inline constexpr const char* kStatusSyncingClock = "Synchronizuję czas w linijce";
inline constexpr const char* kStatusClockError = "Nie moge zsynchronizowac czasu w linijce!";
inline constexpr const char* kStatusReadError = "Błąd podczas odczytu pliku komunikatu!";
inline constexpr const char* kStatusSending = "Wysyłam komunikat";
inline constexpr const char* kStatusOk = "OK";
inline constexpr const char* kStatusSendError = "Błąd podczas wysyłania komunikatu!";

// The first line of the data file as a text-mode read gives it, from the file's raw bytes: a
// CR LF pair reads as one LF on every platform (a lone CR stays), the line ends after the first
// LF (which stays part of it) or after kMaxDataLine bytes, whichever comes first. Writes the
// line into `line` and returns its length.
std::size_t ExtractDataLine(std::span<const std::uint8_t> raw,
                            std::array<std::uint8_t, kMaxDataLine>& line);

// Builds the message buffer from the first line `line` (already extracted):
//   byte 0 '0' -> static (type 1), '1' -> scrolling (type 0); byte 1 a space; byte 2 the font
//   digit '1'..'5'; byte 3 skipped unchecked; bytes 4.. one cell each (font, byte), at most 511
//   cells, bytes below 0x20 (the line feed included) turned into spaces, all others unchanged.
// `buffer` is cleared first and on success holds the cells, zeros after them and the type in
// byte 1023; `messageType` receives the type as soon as byte 0 is valid. Returns a
// ParseDataResult (never kParseCannotOpen).
[[nodiscard]] int ParseDataLine(std::span<const std::uint8_t> line, SyncMessage& buffer,
                                int& messageType);

// The whole parse of a data file's contents: a UTF-8 byte order mark at the start is dropped,
// ExtractDataLine takes the first line, the line is converted to code page 1250 when it is
// UTF-8 (below), and ParseDataLine builds the buffer.
// The line counts as UTF-8 only when it is valid UTF-8, holds at least one non-ASCII
// character and every character it decodes to exists in code page 1250; any other line is
// code page 1250 bytes already. The last condition keeps code page 1250 text that happens to
// be valid UTF-8 (such as "PODRÓŻ" whose bytes D3 AF decode to a Cyrillic letter) as it is.
// A line cut at kMaxDataLine bytes is judged without a character that the cut split.
[[nodiscard]] int ParseDataBytes(std::span<const std::uint8_t> raw, SyncMessage& buffer,
                                 int& messageType);

// Parses the data file `name`: clears `buffer`, reads the start of the file (binary read) and
// parses it as ParseDataBytes does. Returns kParseCannotOpen, with the system's reason in
// `error`, when the file cannot be opened or read; else as ParseDataLine (`error` cleared).
[[nodiscard]] int ParseDataFile(const std::string& name, SyncMessage& buffer, int& messageType,
                                std::error_code& error);
[[nodiscard]] int ParseDataFile(const std::string& name, SyncMessage& buffer, int& messageType);

// The data file version seen at the last check that found a change. Known = false means
// "nothing seen yet": any existing file then counts as changed.
struct FileVersion {
    bool Known = false;
    std::int64_t MtimeNs = 0;
    std::int64_t Size = 0;
    std::uint64_t Device = 0;
    std::uint64_t FileId = 0;
    std::int64_t ChangeNs = 0;
};

// True when `stamp` (an existing file's status) differs from `last` in last-write time, size,
// identity (device and file id) or change time; `last` then becomes the stamp's version.
[[nodiscard]] bool VersionChanged(const FileStamp& stamp, FileVersion& last);

// True when the file `name` exists and VersionChanged says it differs from `last`, which is
// then replaced by the file's current version. A file whose status cannot be read gives false
// and leaves `last` unchanged.
[[nodiscard]] bool FileChanged(FileStatusProvider& files, const std::string& name,
                               FileVersion& last);

// What the latest polling step found at the data file's name.
enum class DataFileState {
    Unknown,     // not looked at since the mode was created or another file was chosen
    Readable,    // opened and read (whether or not its first line parsed)
    Missing,     // its status cannot be read: no such file, no access, a link to nothing
    NotRegular,  // a FIFO, a device or a folder, skipped unopened (SetSkipIrregularFiles)
    NotReadable, // it exists, but opening or reading it failed
};

// Told each change of the data file's state with the system's reason ("" when there is none):
// every change into Missing, NotRegular or NotReadable (also a change of reason within one of
// them), and Readable only when it follows one of those.
using DataFileObserver = std::function<void(DataFileState state, const std::string& reason)>;

// Settings file "as.cfg" in the start directory: one line, the data file name.
// Path of the settings file: startDirectory, the platform's separator (backslash on
// Windows, '/' elsewhere) unless it already ends in one, then "as.cfg".
std::string SyncSettingsPath(const std::string& startDirectory);

// Bytes 0x00-0x20 removed from both ends.
std::string TrimControl(const std::string& text);

// Reads the settings file: the first line, at most kMaxSettingsLine bytes, trimmed; an empty
// result gives "dane.txt". Returns 0 and sets `dataFileName` when the file was read; returns 1
// and leaves `dataFileName` unchanged when it cannot be opened.
[[nodiscard]] int LoadSyncSettings(const std::string& startDirectory, std::string& dataFileName);

// Creates or truncates the settings file and writes the trimmed `dataFileName` and one LF
// (binary, no CR). Returns 0 when written, 1 when it cannot be created or written.
[[nodiscard]] int SaveSyncSettings(const std::string& startDirectory,
                                   const std::string& dataFileName);

// The serial link as the mode uses it. Results: 0 success, nonzero failure. SyncClock and
// SendMessageSlot require an open link and block until the sign answers or the transaction
// gives up; they neither open nor close it.
class SignLink {
public:
    virtual ~SignLink() = default;
    [[nodiscard]] virtual int Open(const std::string& portName) = 0;
    virtual int Close() = 0;
    [[nodiscard]] virtual int SyncClock(std::uint16_t address) = 0;
    [[nodiscard]] virtual int SendMessageSlot(std::uint16_t address, int slot,
                                              const std::uint8_t* message) = 0;
};

// The file synchronisation mode. States: Idle (port not held) and Running (port open, clock
// set, polling on). The driver (a window or a command-line loop) calls StartSync, then
// TimerSynchroTimer once per interval, ChooseFile when the operator picks a file, and
// LeaveSync / FormClose to stop. Every status text goes to the status callback, which may
// process pending events and so run any of these operations nested inside another one; each
// operation stays safe under such nesting (see the contracts).
class CAutoSync {
public:
    using StatusFn = std::function<void(const std::string&)>;

    // `link` and `files` are borrowed and must outlive the object.
    CAutoSync(SignLink& link, FileStatusProvider& files, StatusFn status);

    CAutoSync(const CAutoSync&) = delete;
    CAutoSync& operator=(const CAutoSync&) = delete;

    // Start sequence: status "Uruchamiam tryb synchronizacji z plikiem"; open `portName`
    // (failure: status "Nie mogę otworzyć portu <port> !", return 1); status "Synchronizuję
    // czas w linijce"; set the sign's clock at `address` (failure: status "Nie moge
    // zsynchronizowac czasu w linijce!", port closed, return 1); then Running, return 0. The
    // first polling step is the driver's next tick. Already Running: returns 0 and does
    // nothing. Called while another StartSync is in progress (nested): returns 1, no effect. A
    // LeaveSync that runs inside one of the start's statuses cancels the start: the port is
    // closed again if it was opened and 1 is returned.
    [[nodiscard]] int StartSync(const std::string& portName,
                                std::uint16_t address = kSyncDefaultAddress);

    // One polling step. Does nothing when Idle or when the data file has not changed (no
    // status). Otherwise parses it (failure: status "Błąd podczas odczytu pliku komunikatu!"),
    // shows "Wysyłam komunikat", sends the buffer to slot 9 and shows "OK" or "Błąd podczas
    // wysyłania komunikatu!". The remembered version is updated before the read, so a version
    // whose first line did not parse is not tried again. A file that could not be opened or
    // read is tried again at every step until it reads, with the error status shown only when
    // it becomes unreadable. If the mode is left, or another step starts, while "Wysyłam
    // komunikat" is being shown, this step sends nothing. Each change of the data file's state
    // goes to the observer, if one is set.
    void TimerSynchroTimer();

    // "Wybierz plik" after the operator chose `fileName`: the name becomes the data file, the
    // remembered version is forgotten and one polling step runs at once, so the chosen file is
    // sent immediately while Running (while Idle only the name changes). Another name starts
    // its state afresh (Unknown).
    void ChooseFile(const std::string& fileName);

    // "Wyjdź z trybu" (without closing any window): when Running, sends a message of 1024 zero
    // bytes to slot 9 (result ignored, no status), closes the port and becomes Idle. Cancels a
    // start or a polling step in progress. Idle: no effect on the link.
    void LeaveSync();

    // The window closes, by "Wyjdź z trybu" or its close box: LeaveSync, then SaveSyncSettings
    // into `startDirectory`. Returns the result of SaveSyncSettings.
    [[nodiscard]] int FormClose(const std::string& startDirectory);

    // Settings of the data file name (see the free functions above).
    [[nodiscard]] int LoadSyncSettings(const std::string& startDirectory);
    [[nodiscard]] int SaveSyncSettings(const std::string& startDirectory) const;

    // Parses `name` into MessageBuffer / MessageType (see the free ParseDataFile).
    [[nodiscard]] int ParseDataFile(const std::string& name);

    // `observer` (may be empty) is told the data file's state changes. The window sets none:
    // it says nothing about a missing data file.
    void SetDataFileObserver(DataFileObserver observer) { observer_ = std::move(observer); }
    // True: a data file that is no regular file is never opened (opening a FIFO blocks until a
    // writer comes), and counts as NotRegular.
    void SetSkipIrregularFiles(bool skip) { skipIrregular_ = skip; }
    DataFileState DataFile() const { return dataFileState_; }

    bool SyncActive() const { return state_ == State::Running; }
    const std::string& DataFileName() const { return dataFileName_; }
    void SetDataFileName(const std::string& name) { dataFileName_ = name; }
    const FileVersion& LastFileTime() const { return lastFileTime_; }
    const SyncMessage& MessageBuffer() const { return messageBuffer_; }
    int MessageType() const { return messageType_; }

private:
    enum class State { Idle, Starting, Running };

    void ShowStatus(const std::string& text);
    void NoteDataFile(DataFileState state, const std::string& reason);

    SignLink& link_;
    FileStatusProvider& files_;
    StatusFn status_;
    State state_ = State::Idle;
    std::uint16_t address_ = kSyncDefaultAddress;
    // Bumped by every start, leave and every polling step that found a change; an operation
    // that resumes after a status compares it with its own value to see whether something else
    // ran in between.
    std::uint64_t generation_ = 0;
    std::string dataFileName_ = kDefaultDataFile;
    FileVersion lastFileTime_;
    SyncMessage messageBuffer_{};
    int messageType_ = 0;
    DataFileObserver observer_;
    bool skipIrregular_ = false;
    DataFileState dataFileState_ = DataFileState::Unknown;
    std::string dataFileReason_;
    // The current version could not be opened or read: read it again at the next step.
    bool rereadPending_ = false;
};
