// ComPort on Windows: the communications API on a synchronous handle.

#include "comm/Unitcomport.h"

#include "comm/LineStop.h"
#include "preview/platform/WideNames.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstring>
#include <string>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace {

HANDLE Handle(std::intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

// How often a wait looks at the driver's input queue. The handle is synchronous, so there is
// no event to wait on without blocking in WaitCommEvent; 10 ms keeps a reply's delay small.
constexpr DWORD kWaitStepMs = 10;

// The name of the mark that tells other processes the port is held: one per device, whatever
// spelling the caller used ("com5", "\\.\COM5").
std::wstring HoldMarkName(const std::string& device) {
    const std::string port = device.rfind("\\\\.\\", 0) == 0 ? device.substr(4) : device;
    std::wstring name = L"Local\\ledsign-port-";
    for (const char c : port) {
        // A backslash would make the name a path in the object namespace, which does not exist.
        name +=
            c == '\\' ? L'/' : static_cast<wchar_t>(std::toupper(static_cast<unsigned char>(c)));
    }
    return name;
}

void FillLineSettings(DCB& dcb) {
    std::memset(&dcb, 0, sizeof dcb);
    dcb.DCBlength = sizeof(DCB);
    dcb.BaudRate = CBR_9600;
    dcb.fBinary = TRUE;
    dcb.fParity = FALSE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fTXContinueOnXoff = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fAbortOnError = FALSE;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
}

LineError SystemError(DWORD code) {
    return SystemFailure(LineErrorKindFromWindows(code), code, WindowsErrorText(code));
}

// The mark's record of the process that holds the port: its id, written once the mark is made.
void RecordHolder(HANDLE mark) {
    void* view = MapViewOfFile(mark, FILE_MAP_WRITE, 0, 0, sizeof(DWORD));
    if (view != nullptr) {
        const DWORD id = GetCurrentProcessId();
        std::memcpy(view, &id, sizeof id);
        UnmapViewOfFile(view);
    }
}

// "ledsign.exe (pid 1234)" for the process `id`, or "pid 1234" when its name cannot be read.
std::string ProcessName(DWORD id) {
    const std::string pid = "pid " + std::to_string(id);
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
    if (process == nullptr) {
        return pid;
    }
    wchar_t path[MAX_PATH];
    DWORD length = MAX_PATH;
    const bool named = QueryFullProcessImageNameW(process, 0, path, &length) != 0;
    CloseHandle(process);
    if (!named) {
        return pid;
    }
    const std::wstring_view image(path, length);
    const std::size_t slash = image.find_last_of(L"\\/");
    return NarrowToUtf8(slash == std::wstring_view::npos ? image : image.substr(slash + 1)) + " (" +
           pid + ")";
}

// InUse for a port whose mark exists, naming its holder when the mark has recorded one (a
// holder that has only just made the mark has not yet).
LineError HeldError(HANDLE mark) {
    LineError error = LineFailure(LineErrorKind::InUse);
    const void* view = MapViewOfFile(mark, FILE_MAP_READ, 0, 0, sizeof(DWORD));
    if (view == nullptr) {
        return error;
    }
    DWORD id = 0;
    std::memcpy(&id, view, sizeof id);
    UnmapViewOfFile(view);
    if (id == GetCurrentProcessId()) {
        error.HeldHere = true;
    } else if (id != 0) {
        error.Holder = ProcessName(id);
    }
    return error;
}

} // namespace

struct ComPort::SavedLineSettings {
    DCB Settings{};
    COMMTIMEOUTS Timeouts{};
};

ComPort::ComPort() = default;

ComPort::~ComPort() {
    Close();
}

int ComPort::OpenDevice(const char* name) {
    if (name == nullptr || name[0] == '\0') {
        lastError_.Kind = LineErrorKind::NotFound;
        lastError_.SystemMessage = "no port name";
        return 1;
    }
    const std::string device = WindowsDeviceName(name);
    // Windows' serial drivers refuse a second open by themselves; Wine's do not, so a second
    // ledsign or editor there would share the line. The mark is taken before the port is opened
    // and an existing one means the port is held; it records its holder's process.
    HANDLE mark = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                     sizeof(DWORD), HoldMarkName(device).c_str());
    if (mark == nullptr) {
        lastError_ = SystemError(GetLastError());
        return 1;
    }
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        lastError_ = HeldError(mark);
        CloseHandle(mark);
        return 1;
    }
    RecordHolder(mark);
    const std::wstring wideDevice = WidenUtf8(device);
    if (wideDevice.empty()) {
        lastError_ = SystemError(ERROR_INVALID_NAME);
        CloseHandle(mark);
        return 1;
    }
    HANDLE handle = CreateFileW(wideDevice.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        // A COM port is opened without sharing: ERROR_ACCESS_DENIED means another program has
        // it, which LineErrorKindFromWindows reads as InUse. Windows does not say who.
        lastError_ = SystemError(GetLastError());
        CloseHandle(mark);
        return 1;
    }
    auto saved = std::make_unique<SavedLineSettings>();
    saved->Settings.DCBlength = sizeof(DCB);
    DCB dcb;
    FillLineSettings(dcb);
    // A name that opens but is no serial port (a file, NUL) has no line settings to read or
    // refuses ours; it is closed again so that no frame is ever written to it.
    if (!GetCommState(handle, &saved->Settings) || !GetCommTimeouts(handle, &saved->Timeouts) ||
        !SetCommState(handle, &dcb)) {
        lastError_ = SystemError(GetLastError());
        lastError_.Kind = LineErrorKind::NotSerial;
        CloseHandle(handle);
        CloseHandle(mark);
        return 1;
    }
    SetupComm(handle, 2048, 0);
    COMMTIMEOUTS timeouts = saved->Timeouts;
    // Interval MAXDWORD with both totals 0: a read returns at once with what the driver holds.
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = 0;
    SetCommTimeouts(handle, &timeouts);
    // Bytes that arrived before this open (a late reply to a client that has gone) belong to
    // nobody; left in the queue they would complete this session's first transaction.
    PurgeComm(handle, PURGE_RXCLEAR);
    handle_ = reinterpret_cast<std::intptr_t>(handle);
    holdMark_ = reinterpret_cast<std::intptr_t>(mark);
    saved_ = std::move(saved);
    return 0;
}

int ComPort::Close() {
    if (IsOpen()) {
        // The settings go back as found, like QSerialPort does: other programs on the port
        // expect their own.
        if (saved_) {
            SetCommState(Handle(handle_), &saved_->Settings);
            SetCommTimeouts(Handle(handle_), &saved_->Timeouts);
            saved_.reset();
        }
        CloseHandle(Handle(handle_));
        CloseHandle(Handle(holdMark_));
        holdMark_ = 0;
        // Forget the handle so that a second Close cannot close a value reused since.
        handle_ = kInvalidHandle;
    }
    return 0;
}

int ComPort::Write(const std::uint8_t* buffer, std::uint16_t count) {
    if (!IsOpen() || buffer == nullptr) {
        lastError_ = PortNotOpen();
        return 0;
    }
    DWORD written = 0;
    if (!WriteFile(Handle(handle_), buffer, count, &written, nullptr)) {
        lastError_ = SystemError(GetLastError());
        if (lastError_.Kind == LineErrorKind::Other) {
            lastError_.Kind = LineErrorKind::LineLost;
        }
    }
    return static_cast<int>(written);
}

int ComPort::Read(std::uint8_t* buffer, std::uint16_t capacity) {
    if (!IsOpen() || buffer == nullptr) {
        lastError_ = PortNotOpen();
        return -1;
    }
    DWORD got = 0;
    if (!ReadFile(Handle(handle_), buffer, capacity, &got, nullptr)) {
        // A removed adapter fails every read, with codes that vary by driver.
        lastError_ = SystemError(GetLastError());
        lastError_.Kind = LineErrorKind::LineLost;
        return -1;
    }
    return static_cast<int>(got);
}

LineWait ComPort::WaitReadable(int timeoutMs) {
    if (!IsOpen()) {
        lastError_ = PortNotOpen();
        return LineWait::Lost;
    }
    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(std::max(timeoutMs, 0));
    for (;;) {
        DWORD errors = 0;
        COMSTAT status{};
        if (!ClearCommError(Handle(handle_), &errors, &status)) {
            lastError_ = SystemError(GetLastError());
            lastError_.Kind = LineErrorKind::LineLost;
            return LineWait::Lost;
        }
        if (status.cbInQue > 0) {
            return LineWait::Readable;
        }
        if (LineWaitsStopped()) {
            lastError_ = StoppedBySignal();
            return LineWait::Stopped;
        }
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) {
            return LineWait::TimedOut;
        }
        Sleep(static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, kWaitStepMs)));
    }
}

void ComPort::DiscardInput() {
    if (IsOpen()) {
        PurgeComm(Handle(handle_), PURGE_RXCLEAR);
    }
}

int ComPort::PendingOutput() {
    DWORD errors = 0;
    COMSTAT status{};
    if (!IsOpen() || !ClearCommError(Handle(handle_), &errors, &status)) {
        return 0;
    }
    return static_cast<int>(std::min<DWORD>(status.cbOutQue, INT_MAX));
}

// ListSerialPorts: SerialPortListWin32.cpp.

ComDateTime ReadLocalDateTime() {
    SYSTEMTIME local{};
    GetLocalTime(&local);
    ComDateTime result;
    result.Year = local.wYear;
    result.Month = local.wMonth;
    result.Day = local.wDay;
    result.Hour = local.wHour;
    result.Minute = local.wMinute;
    result.Second = local.wSecond;
    return result;
}
