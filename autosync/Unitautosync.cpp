#include "autosync/Unitautosync.h"
#include "messages/Utf8Files.h"

#include <cstdio>
#include <utility>

namespace {

constexpr std::uint8_t kLineFeed = 0x0A;
constexpr std::uint8_t kCarriageReturn = 0x0D;
constexpr std::uint8_t kSpace = 0x20;
constexpr std::size_t kFirstCellByte = 4;

// Enough raw bytes for any first line: kMaxDataLine bytes, one more for the CR of a CR LF that
// ends the line there, one more to see whether a CR is followed by LF.
constexpr std::size_t kRawReadSize = kMaxDataLine + 2;

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
    std::array<std::uint8_t, kMaxDataLine> line;
    const std::size_t length = ExtractDataLine(raw, line);
    return ParseDataLine(std::span<const std::uint8_t>(line.data(), length), buffer, messageType);
}

int ParseDataFile(const std::string& name, SyncMessage& buffer, int& messageType) {
    buffer.fill(0);
    std::FILE* file = OpenUtf8File(name.c_str(), "rb");
    if (file == nullptr) {
        return kParseCannotOpen;
    }
    std::array<std::uint8_t, kRawReadSize> raw;
    const std::size_t got = std::fread(raw.data(), 1, raw.size(), file);
    std::fclose(file);
    return ParseDataBytes(std::span<const std::uint8_t>(raw.data(), got), buffer, messageType);
}

bool FileChanged(FileStatusProvider& files, const std::string& name, FileVersion& last) {
    const FileStamp stamp = files.Stat(name);
    if (!stamp.Exists) {
        return false;
    }
    if (last.Known && last.MtimeNs == stamp.MtimeNs && last.Size == stamp.Size) {
        return false;
    }
    last = FileVersion{true, stamp.MtimeNs, stamp.Size};
    return true;
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

void CAutoSync::TimerSynchroTimer() {
    if (state_ != State::Running) {
        return;
    }
    if (!FileChanged(files_, dataFileName_, lastFileTime_)) {
        return;
    }
    const std::uint64_t mine = ++generation_;
    if (ParseDataFile(dataFileName_) != kParseOk) {
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
    dataFileName_ = fileName;
    lastFileTime_ = FileVersion{};
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
    link_.SendMessageSlot(address_, kSyncSlot, blank.data());
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
