// File status, stop requests and local time for Windows.

#include "autosync/FileStamp.h"
#include "autosync/StopSignal.h"
#include "comm/LineStop.h"
#include "preview/platform/WideNames.h"

#include <cstdint>
#include <ctime>
#include <string>
#include <system_error>

#include <windows.h>

namespace {

// FILETIME counts 100 ns intervals since 1601-01-01; this many of them lie before 1970-01-01.
constexpr std::int64_t kFileTimeToUnixEpoch = 116444736000000000LL;

HANDLE g_finishedEvent = nullptr;
// Windows ends the process about 5 s after a close or shutdown event; wait a little less.
constexpr DWORD kCloseWaitMs = 4500;

BOOL WINAPI OnConsoleControl(DWORD type) {
    switch (type) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        RequestLineStop();
        // The handler runs on its own thread. For Ctrl+C / Ctrl+Break the process goes on and
        // the loop leaves the mode by itself; for a close or shutdown the process ends when the
        // handler returns, so give the loop the time to blank the sign and close the port.
        if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT && g_finishedEvent != nullptr) {
            WaitForSingleObject(g_finishedEvent, kCloseWaitMs);
        }
        return TRUE;
    default:
        return FALSE;
    }
}

} // namespace

namespace {

std::int64_t FileTimeToUnixNs(std::uint32_t high, std::uint32_t low) {
    const auto ticks = static_cast<std::int64_t>((static_cast<std::uint64_t>(high) << 32) | low);
    return (ticks - kFileTimeToUnixEpoch) * 100;
}

// Identity and change time of a regular file, which only its handle tells. The handle asks for
// attributes alone, which no writer's sharing mode refuses. False when the file cannot be
// opened so (the stamp then keeps time and size only).
bool AddHandleInformation(const std::wstring& name, FileStamp& stamp) {
    HANDLE file = CreateFileW(name.c_str(), FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    FILE_BASIC_INFO basic{};
    const bool identified = GetFileInformationByHandle(file, &info) != 0;
    const bool timed = GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof basic) != 0;
    CloseHandle(file);
    if (identified) {
        stamp.Device = info.dwVolumeSerialNumber;
        stamp.FileId = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    }
    if (timed) {
        stamp.ChangeNs = FileTimeToUnixNs(static_cast<std::uint32_t>(basic.ChangeTime.HighPart),
                                          basic.ChangeTime.LowPart);
    }
    return identified && timed;
}

} // namespace

FileStamp StatFileStamp(const std::string& name) {
    const std::wstring wide = WidenUtf8(name);
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (wide.empty() || !GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &data)) {
        FileStamp missing;
        missing.Error = std::error_code(wide.empty() ? static_cast<int>(ERROR_INVALID_NAME)
                                                     : static_cast<int>(GetLastError()),
                                        std::system_category());
        return missing;
    }
    FileStamp stamp;
    stamp.Exists = true;
    stamp.MtimeNs =
        FileTimeToUnixNs(data.ftLastWriteTime.dwHighDateTime, data.ftLastWriteTime.dwLowDateTime);
    stamp.Size = static_cast<std::int64_t>((static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) |
                                           data.nFileSizeLow);
    stamp.Regular =
        (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
    // Only a regular file is opened: opening a device or a pipe's name could act on it.
    if (stamp.Regular) {
        AddHandleInformation(wide, stamp);
    }
    return stamp;
}

bool InstallStopHandlers() {
    if (g_finishedEvent == nullptr) {
        g_finishedEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        if (g_finishedEvent == nullptr || !PrepareLineStop()) {
            return false;
        }
    }
    return SetConsoleCtrlHandler(OnConsoleControl, TRUE) != 0;
}

bool StopRequested() {
    return LineStopRequested();
}

bool WaitForStop(double seconds) {
    if (StopRequested() || !(seconds > 0)) {
        return StopRequested();
    }
    const DWORD ms = static_cast<DWORD>(seconds * 1000.0 + 0.5);
    if (HANDLE wake = LineStopEvent(); wake != nullptr) {
        WaitForSingleObject(wake, ms);
    } else {
        Sleep(ms);
    }
    return StopRequested();
}

void StopFinished() {
    if (g_finishedEvent != nullptr) {
        SetEvent(g_finishedEvent);
    }
}

std::string LocalTimeStamp() {
    const std::time_t now = std::time(nullptr);
    struct tm local {};
    localtime_s(&local, &now);
    char text[32];
    const std::size_t n = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return std::string(text, n);
}
