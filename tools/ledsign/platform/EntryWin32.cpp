// Windows: the narrow main() would get the arguments in the ANSI code page, losing every
// character it lacks (most of Polish under a Western code page). wmain (linked with -municode)
// gets them as UTF-16 and converts them to UTF-8 here, the one place where that happens.
//
// The tool writes UTF-8. A console shows narrow output through its code page, which some
// consoles (Wine's among them) decode wrongly even when it is UTF-8, so output that goes to a
// console is handed to it as UTF-16 (WriteConsoleW); output to a pipe or a file stays UTF-8.

#include "preview/platform/WideNames.h"
#include "tools/ledsign/ConsoleText.h"
#include "tools/ledsign/Entry.h"

#include <conio.h>
#include <cstdio>
#include <fcntl.h>
#include <io.h>
#include <string>
#include <thread>
#include <vector>

#include <windows.h>

namespace {

bool IsConsole(HANDLE handle) {
    DWORD mode = 0;
    return handle != INVALID_HANDLE_VALUE && handle != nullptr && GetConsoleMode(handle, &mode);
}

// While it lives, what the C library writes to standard output and error, where these are a
// console, goes through a pipe to a thread that converts it to UTF-16 and writes it to the
// console. Every printf, fwrite and stream of the tool is covered without changing them, and
// the order of the two streams is kept since both share one pipe. The destructor flushes both
// streams and waits until everything written has reached the console.
class ConsoleWriter {
public:
    ConsoleWriter() {
        const bool outConsole = IsConsole(GetStdHandle(STD_OUTPUT_HANDLE));
        const bool errConsole = IsConsole(GetStdHandle(STD_ERROR_HANDLE));
        if (!outConsole && !errConsole) {
            return;
        }
        HANDLE readEnd = nullptr;
        HANDLE writeEnd = nullptr;
        if (!CreatePipe(&readEnd, &writeEnd, nullptr, 0)) {
            return; // the console then gets the UTF-8 bytes as before
        }
        const int pipeFd = _open_osfhandle(reinterpret_cast<intptr_t>(writeEnd), _O_TEXT);
        if (pipeFd < 0) {
            CloseHandle(readEnd);
            CloseHandle(writeEnd);
            return;
        }
        std::fflush(stdout);
        std::fflush(stderr);
        // The console's own descriptors are kept to be put back; the C library then writes to
        // the pipe (and keeps the console handle of the thread out of its way).
        if (outConsole) {
            savedOut_ = _dup(1);
            _dup2(pipeFd, 1);
            // A pipe would make standard output fully buffered: status lines of a long `watch`
            // must reach the operator as they are printed.
            std::setvbuf(stdout, nullptr, _IONBF, 0);
        }
        if (errConsole) {
            savedErr_ = _dup(2);
            _dup2(pipeFd, 2);
        }
        _close(pipeFd);
        // The kept descriptor's handle: the one standard output had is closed by _dup2.
        console_ = reinterpret_cast<HANDLE>(_get_osfhandle(outConsole ? savedOut_ : savedErr_));
        forwarder_ = std::thread([this, readEnd] { Forward(readEnd); });
    }

    ~ConsoleWriter() {
        if (!forwarder_.joinable()) {
            return;
        }
        std::fflush(stdout);
        std::fflush(stderr);
        // Putting the console back closes the last write end of the pipe: the thread reads to
        // its end and stops.
        if (savedOut_ >= 0) {
            _dup2(savedOut_, 1);
            _close(savedOut_);
        }
        if (savedErr_ >= 0) {
            _dup2(savedErr_, 2);
            _close(savedErr_);
        }
        forwarder_.join();
    }

    ConsoleWriter(const ConsoleWriter&) = delete;
    ConsoleWriter& operator=(const ConsoleWriter&) = delete;

private:
    void Forward(HANDLE readEnd) const {
        std::string pending;
        char chunk[4096];
        DWORD got = 0;
        while (ReadFile(readEnd, chunk, sizeof chunk, &got, nullptr) && got > 0) {
            pending.append(chunk, got);
            // A character split between two writes waits for its other bytes.
            const std::size_t complete = ledsign_tool::CompleteUtf8Length(pending);
            Write(std::string_view(pending).substr(0, complete));
            pending.erase(0, complete);
        }
        Write(pending);
        CloseHandle(readEnd);
    }

    void Write(std::string_view utf8) const {
        if (utf8.empty()) {
            return;
        }
        // Not WidenUtf8: a byte that is no UTF-8 must show as U+FFFD, not drop the whole text.
        const int size = static_cast<int>(utf8.size());
        const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
        if (length <= 0) {
            return;
        }
        std::wstring wide(static_cast<std::size_t>(length), L'\0');
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, wide.data(), length);
        DWORD written = 0;
        WriteConsoleW(console_, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    }

    HANDLE console_ = nullptr;
    int savedOut_ = -1;
    int savedErr_ = -1;
    std::thread forwarder_;
};

// A program started by a double-click on ledsign.exe gets a console of its own, which closes
// as soon as it ends: without arguments the usage would flash past unread.
bool OwnsItsConsole() {
    DWORD processes[2];
    return GetConsoleProcessList(processes, 2) == 1;
}

void WaitForKey() {
    std::fputs("\nPress any key to close this window...", stderr);
    std::fflush(stderr);
    _getwch();
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> arguments;
    arguments.reserve(static_cast<std::size_t>(argc));
    for (int i = 0; i < argc; ++i) {
        arguments.push_back(NarrowToUtf8(argv[i]));
    }
    std::vector<char*> pointers;
    for (std::string& argument : arguments) {
        pointers.push_back(argument.data());
    }
    pointers.push_back(nullptr);

    int status = 0;
    {
        ConsoleWriter console;
        status = ledsign_tool::RunLedsign(argc, pointers.data());
        if (argc < 2 && OwnsItsConsole()) {
            WaitForKey();
        }
    }
    std::fflush(stdout);
    std::fflush(stderr);
    return status;
}
