#include "autosync/Unitautosync.h"
#include "messages/Cp1250.h"
#include "preview/Utf8Files.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <string_view>
#include <utility>

namespace {

constexpr std::uint8_t kLineFeed = 0x0A;
constexpr std::uint8_t kCarriageReturn = 0x0D;
constexpr std::uint8_t kSpace = 0x20;
constexpr std::size_t kFirstCellByte = 4;

constexpr std::array<std::uint8_t, 3> kUtf8Bom = {0xEF, 0xBB, 0xBF};

// Enough raw bytes for any first line: a byte order mark, kMaxDataLine bytes, one more for the
// CR of a CR LF that ends the line there, one more to see whether a CR is followed by LF.
constexpr std::size_t kRawReadSize = kUtf8Bom.size() + kMaxDataLine + 2;

// Bytes of a UTF-8 sequence that its lead byte announces; 0 for a byte that cannot lead one.
std::size_t Utf8SequenceLength(std::uint8_t lead) {
    if (lead < 0x80) {
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        return 2;
    }
    if (lead >= 0xE0 && lead <= 0xEF) {
        return 3;
    }
    return lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
}

// Length of `line` without a UTF-8 sequence that its last bytes begin but do not finish.
std::size_t WithoutSplitCharacter(std::span<const std::uint8_t> line) {
    const std::size_t lookBack = std::min<std::size_t>(line.size(), 3);
    for (std::size_t back = 1; back <= lookBack; ++back) {
        const std::uint8_t byte = line[line.size() - back];
        if ((byte & 0xC0) != 0x80) { // a lead byte (or ASCII): does its sequence fit?
            return Utf8SequenceLength(byte) > back ? line.size() - back : line.size();
        }
    }
    return line.size();
}

// Rewrites a first line that is UTF-8 code page 1250 can spell into code page 1250 (see
// ParseDataBytes); returns the line's new length. `cut`: the line ended at the length limit.
std::size_t DataLineToCp1250(std::span<std::uint8_t> line, bool cut) {
    const auto nonAscii = [](std::uint8_t byte) { return byte >= 0x80; };
    if (std::none_of(line.begin(), line.end(), nonAscii)) {
        return line.size();
    }
    const std::size_t whole = cut ? WithoutSplitCharacter(line) : line.size();
    const Cp1250Conversion converted =
        Utf8ToCp1250(std::string_view(reinterpret_cast<const char*>(line.data()), whole));
    if (!converted.Ok()) {
        return line.size();
    }
    std::copy(converted.Bytes.begin(), converted.Bytes.end(), line.begin());
    return converted.Bytes.size();
}

bool IsControlOrSpace(char c) {
    return static_cast<unsigned char>(c) <= kSpace;
}

constexpr const char* kSettingsName = "as.cfg";
#ifdef _WIN32
constexpr char kSeparator = '\\';
// Windows takes either slash; Qt spells directories with '/'.
bool EndsWithSeparator(const std::string& path) {
    return !path.empty() && (path.back() == '\\' || path.back() == '/');
}
#else
constexpr char kSeparator = '/';
bool EndsWithSeparator(const std::string& path) {
    return !path.empty() && path.back() == '/';
}
#endif

} // namespace

std::size_t ExtractDataLine(std::span<const std::uint8_t> raw,
                            std::array<std::uint8_t, kMaxDataLine>& line) {
    std::size_t length = 0;
    std::size_t p = 0;
    while (p < raw.size() && length < kMaxDataLine) {
        std::uint8_t byte = raw[p++];
        if (byte == kCarriageReturn && p < raw.size() && raw[p] == kLineFeed) {
            byte = kLineFeed;
            ++p;
        }
        line[length++] = byte;
        if (byte == kLineFeed) {
            break;
        }
    }
    return length;
}

int ParseDataLine(std::span<const std::uint8_t> line, SyncMessage& buffer, int& messageType) {
    buffer.fill(0);
    if (line.size() < 3) {
        return kParseTooShort;
    }
    switch (line[0]) {
    case '0':
        messageType = 1;
        break;
    case '1':
        messageType = 0;
        break;
    default:
        return kParseBadType;
    }
    if (line[1] != kSpace) {
        return kParseBadSeparator;
    }
    const int font = line[2] - '0';
    if (font < 1 || font > 5) {
        return kParseBadFont;
    }
    std::size_t i = 0;
    for (std::size_t p = kFirstCellByte; p < line.size() && i < kSyncCellEnd; ++p, i += 2) {
        std::uint8_t byte = line[p];
        if (byte < kSpace) {
            byte = kSpace;
        }
        buffer[i] = static_cast<std::uint8_t>(font);
        buffer[i + 1] = byte;
    }
    buffer[kSyncTypeIndex] = static_cast<std::uint8_t>(messageType);
    return kParseOk;
}

int ParseDataBytes(std::span<const std::uint8_t> raw, SyncMessage& buffer, int& messageType) {
    if (raw.size() >= kUtf8Bom.size() &&
        std::equal(kUtf8Bom.begin(), kUtf8Bom.end(), raw.begin())) {
        raw = raw.subspan(kUtf8Bom.size());
    }
    std::array<std::uint8_t, kMaxDataLine> line;
    std::size_t length = ExtractDataLine(raw, line);
    const bool cut = length == kMaxDataLine && line[length - 1] != kLineFeed;
    length = DataLineToCp1250(std::span<std::uint8_t>(line.data(), length), cut);
    return ParseDataLine(std::span<const std::uint8_t>(line.data(), length), buffer, messageType);
}

int ParseDataFile(const std::string& name, SyncMessage& buffer, int& messageType,
                  std::error_code& error) {
    buffer.fill(0);
    error.clear();
    errno = 0;
    std::FILE* file = OpenUtf8File(name.c_str(), "rb");
    if (file == nullptr) {
        error = std::error_code(errno != 0 ? errno : ENOENT, std::generic_category());
        return kParseCannotOpen;
    }
    std::array<std::uint8_t, kRawReadSize> raw;
    errno = 0;
    const std::size_t got = std::fread(raw.data(), 1, raw.size(), file);
    const bool failed = std::ferror(file) != 0;
    const int readErrno = errno;
    std::fclose(file);
    if (failed) {
        // A folder opens on some systems and fails only here (EISDIR).
        error = std::error_code(readErrno != 0 ? readErrno : EIO, std::generic_category());
        return kParseCannotOpen;
    }
    return ParseDataBytes(std::span<const std::uint8_t>(raw.data(), got), buffer, messageType);
}

int ParseDataFile(const std::string& name, SyncMessage& buffer, int& messageType) {
    std::error_code ignored;
    return ParseDataFile(name, buffer, messageType, ignored);
}

bool VersionChanged(const FileStamp& stamp, FileVersion& last) {
    const FileVersion now{true,         stamp.MtimeNs, stamp.Size,
                          stamp.Device, stamp.FileId,  stamp.ChangeNs};
    const bool same = last.Known && last.MtimeNs == now.MtimeNs && last.Size == now.Size &&
                      last.Device == now.Device && last.FileId == now.FileId &&
                      last.ChangeNs == now.ChangeNs;
    if (same) {
        return false;
    }
    last = now;
    return true;
}

bool FileChanged(FileStatusProvider& files, const std::string& name, FileVersion& last) {
    const FileStamp stamp = files.Stat(name);
    return stamp.Exists && VersionChanged(stamp, last);
}

std::string SyncSettingsPath(const std::string& startDirectory) {
    // A root ("C:\", "/") already ends in a separator; a second one would name another path.
    std::string path = startDirectory;
    if (!EndsWithSeparator(path)) {
        path += kSeparator;
    }
    return path + kSettingsName;
}

std::string TrimControl(const std::string& text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && IsControlOrSpace(text[begin])) {
        ++begin;
    }
    while (end > begin && IsControlOrSpace(text[end - 1])) {
        --end;
    }
    return text.substr(begin, end - begin);
}

int LoadSyncSettings(const std::string& startDirectory, std::string& dataFileName) {
    std::FILE* file = OpenUtf8File(SyncSettingsPath(startDirectory).c_str(), "rb");
    if (file == nullptr) {
        return 1;
    }
    // A bounded line read: up to kMaxSettingsLine bytes, through the first LF. A NUL byte ends
    // the name, as it would end any file name.
    std::string line;
    line.reserve(kMaxSettingsLine);
    for (int c; line.size() < kMaxSettingsLine && (c = std::fgetc(file)) != EOF;) {
        line.push_back(static_cast<char>(c));
        if (c == '\n') {
            break;
        }
    }
    std::fclose(file);
    if (const std::size_t nul = line.find('\0'); nul != std::string::npos) {
        line.resize(nul);
    }
    line = TrimControl(line);
    dataFileName = line.empty() ? std::string(kDefaultDataFile) : line;
    return 0;
}

int SaveSyncSettings(const std::string& startDirectory, const std::string& dataFileName) {
    std::FILE* file = OpenUtf8File(SyncSettingsPath(startDirectory).c_str(), "wb");
    if (file == nullptr) {
        return 1;
    }
    const std::string content = TrimControl(dataFileName) + "\n";
    const bool written = std::fwrite(content.data(), 1, content.size(), file) == content.size();
    const bool closed = std::fclose(file) == 0;
    return written && closed ? 0 : 1;
}

CAutoSync::CAutoSync(SignLink& link, FileStatusProvider& files, StatusFn status)
    : link_(link), files_(files), status_(std::move(status)) {}

void CAutoSync::ShowStatus(const std::string& text) {
    if (status_) {
        status_(text);
    }
}

int CAutoSync::StartSync(const std::string& portName, std::uint16_t address) {
    if (state_ == State::Running) {
        return 0;
    }
    if (state_ == State::Starting) {
        return 1;
    }
    state_ = State::Starting;
    const std::uint64_t mine = ++generation_;
    // A LeaveSync inside one of the statuses below bumps the generation and resets the state.
    const auto cancelled = [&] { return generation_ != mine; };

    ShowStatus(kStatusStarting);
    if (cancelled()) {
        return 1;
    }
    if (link_.Open(portName) != 0) {
        state_ = State::Idle;
        ShowStatus(kStatusPortError + portName + " !");
        return 1;
    }
    ShowStatus(kStatusSyncingClock);
    if (cancelled()) {
        // Unless a nested start took the mode over, the port opened above is ours to close.
        if (state_ == State::Idle) {
            link_.Close();
        }
        return 1;
    }
    if (link_.SyncClock(address) != 0) {
        state_ = State::Idle;
        link_.Close();
        ShowStatus(kStatusClockError);
        return 1;
    }
    address_ = address;
    state_ = State::Running;
    return 0;
}

void CAutoSync::NoteDataFile(DataFileState state, const std::string& reason) {
    if (state == dataFileState_ && reason == dataFileReason_) {
        return;
    }
    const DataFileState before = dataFileState_;
    dataFileState_ = state;
    dataFileReason_ = reason;
    const bool report = state != DataFileState::Readable || before != DataFileState::Unknown;
    if (observer_ && report) {
        observer_(state, reason);
    }
}

void CAutoSync::TimerSynchroTimer() {
    if (state_ != State::Running) {
        return;
    }
    const FileStamp stamp = files_.Stat(dataFileName_);
    if (!stamp.Exists) {
        NoteDataFile(DataFileState::Missing, stamp.Error ? stamp.Error.message() : "");
        return;
    }
    if (skipIrregular_ && !stamp.Regular) {
        NoteDataFile(DataFileState::NotRegular, "");
        return;
    }
    if (!VersionChanged(stamp, lastFileTime_) && !rereadPending_) {
        // The version read before (it is only unchanged after a read that opened it), there
        // again after a gap, say: readable, nothing to send.
        NoteDataFile(DataFileState::Readable, "");
        return;
    }
    const std::uint64_t mine = ++generation_;
    std::error_code readError;
    const int parsed = ::ParseDataFile(dataFileName_, messageBuffer_, messageType_, readError);
    if (parsed == kParseCannotOpen) {
        // Often passing (a writer holding the file, rights fixed later): read it again at the
        // next step, but show the error only when the file becomes unreadable.
        rereadPending_ = true;
        const bool firstFailure = dataFileState_ != DataFileState::NotReadable;
        NoteDataFile(DataFileState::NotReadable, readError.message());
        if (firstFailure) {
            ShowStatus(kStatusReadError);
        }
        return;
    }
    rereadPending_ = false;
    NoteDataFile(DataFileState::Readable, "");
    if (parsed != kParseOk) {
        ShowStatus(kStatusReadError);
        return;
    }
    ShowStatus(kStatusSending);
    // The status may have run a leave (port closed) or another step (buffer rebuilt, already
    // sent by that step); either way this step has nothing left to send.
    if (generation_ != mine || state_ != State::Running) {
        return;
    }
    const int result = link_.SendMessageSlot(address_, kSyncSlot, messageBuffer_.data());
    ShowStatus(result == 0 ? kStatusOk : kStatusSendError);
}

void CAutoSync::ChooseFile(const std::string& fileName) {
    if (fileName != dataFileName_) {
        dataFileState_ = DataFileState::Unknown;
        dataFileReason_.clear();
    }
    dataFileName_ = fileName;
    lastFileTime_ = FileVersion{};
    rereadPending_ = false;
    TimerSynchroTimer();
}

void CAutoSync::LeaveSync() {
    ++generation_;
    if (state_ != State::Running) {
        // A start in progress sees the new generation, closes what it opened and gives up.
        state_ = State::Idle;
        return;
    }
    state_ = State::Idle;
    const SyncMessage blank{};
    // Leaving blanks the sign as well as it can; the mode reports nothing once it is left.
    (void)link_.SendMessageSlot(address_, kSyncSlot, blank.data());
    link_.Close();
}

int CAutoSync::FormClose(const std::string& startDirectory) {
    LeaveSync();
    return SaveSyncSettings(startDirectory);
}

int CAutoSync::LoadSyncSettings(const std::string& startDirectory) {
    return ::LoadSyncSettings(startDirectory, dataFileName_);
}

int CAutoSync::SaveSyncSettings(const std::string& startDirectory) const {
    return ::SaveSyncSettings(startDirectory, dataFileName_);
}

int CAutoSync::ParseDataFile(const std::string& name) {
    return ::ParseDataFile(name, messageBuffer_, messageType_);
}
