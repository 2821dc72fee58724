#pragma once
// The serial port the sign hangs on.
//
// ComPort opens a port by name, puts the line into the one configuration the sign uses
// (9600 baud, 8 data bits, no parity, one stop bit, no flow control, DTR and RTS raised, raw
// binary transfer) and moves blocks of bytes in and out. It knows nothing of frames; the
// protocol layer (Unitcomprotocol.h) talks to it through the ComLine interface, so tests and
// the software sign can put their own line behind the protocol.
//
// Port names: "COM1".."COMn" on every platform (on Linux "COMn" is /dev/ttyS(n-1)); on POSIX
// systems also any absolute path (/dev/ttyUSB0, a pseudo-terminal, a symlink to a device).
// A sign behind an Ethernet serial server is reached through a network line instead
// (SocketLine.h); OpenLine (OpenLine.h) picks the kind of line by the name.

#include "comm/LineError.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

// Outcome of waiting for received bytes.
enum class LineWait {
    Readable, // at least one byte can be read now
    TimedOut, // nothing arrived within the time given
    Lost,     // the line hung up or failed (adapter pulled, peer closed): no byte will come
    Stopped,  // a stop was requested (LineStop.h): the wait ended without looking further
};

// Receives readable notes on what a line does besides moving bytes (connecting, negotiating),
// for tracing.
using LineNoteHook = std::function<void(const char* note)>;

// What the protocol layer needs of a serial line. All operations are non-throwing.
class ComLine {
public:
    virtual ~ComLine() = default;

    // Opens the named port. 0 when open, 1 when the open failed. A line that is already open
    // stays open and usable, and the call returns 1.
    [[nodiscard]] virtual int Open(const char* name) = 0;
    // Closes the line if open. Always 0.
    virtual int Close() = 0;
    // Writes `count` bytes, blocking until they are handed to the driver. Returns the number
    // written; less than `count` (possibly 0) on failure or when the line is not open.
    [[nodiscard]] virtual int Write(const std::uint8_t* buffer, std::uint16_t count) = 0;
    // Reads what has arrived, at most `capacity` bytes, without waiting. Returns the number
    // read, 0 when nothing has arrived, and -1 when the line is lost or not open.
    [[nodiscard]] virtual int Read(std::uint8_t* buffer, std::uint16_t capacity) = 0;
    // Waits up to `timeoutMs` milliseconds until a byte can be read. May return TimedOut early;
    // callers measure elapsed time themselves. Stopped when a stop request ends the lines'
    // waits (LineStop.h); lines that cannot be stopped never return it.
    [[nodiscard]] virtual LineWait WaitReadable(int timeoutMs) = 0;
    // Drops every byte that has arrived and not been read, without waiting: what a request
    // is about to be written after cannot answer it. Does nothing when the line is not open
    // or is lost (the next Write or Read reports that).
    virtual void DiscardInput() = 0;
    // How many written bytes are still on their way out (handed to the driver, not yet sent
    // on the line); 0 once all have gone, and when the line cannot tell (a network line,
    // whose server's serial side is out of sight).
    virtual int PendingOutput() { return 0; }
    // Sets where notes go; an empty hook drops them. Lines with nothing to note ignore it.
    virtual void SetNoteHook(const LineNoteHook& /*hook*/) {}
    // Why the last failed Open, Write, Read or WaitReadable failed (Kind None after a
    // successful Open). A line that cannot tell reports None; callers then fall back on a
    // kind of their own.
    virtual LineError LastError() const { return {}; }
};

// The real serial port. Exclusive: a second open of the same device, by this object, another
// ComPort or another program, fails while this one holds it. Not copyable; the destructor
// closes a port still open.
class ComPort final : public ComLine {
public:
    ComPort();
    ~ComPort() override;
    ComPort(const ComPort&) = delete;
    ComPort& operator=(const ComPort&) = delete;

    // Opens and configures the port. Returns 1 (and holds nothing new) when the name maps to no
    // device, the device is held by anyone, or it is not a serial line at all (a regular file,
    // /dev/null: the line settings are refused) - so a mistyped name never receives frames.
    // A terminal that is the operator's own is not a serial line either: the process's
    // controlling terminal (/dev/tty or its own name), /dev/console and the virtual consoles
    // are refused before anything is written or changed; pseudo-terminals that are not the
    // controlling terminal (the software sign's) are accepted.
    // LastError() then says which: NotFound, PermissionDenied, InUse (naming the holder when
    // the system can tell), NotSerial, or Other. Waits end early on a stop request
    // (LineStop.h): Interrupted.
    //
    // The line settings found at open (termios and the DTR and RTS lines on POSIX, the DCB
    // and the timeouts on Windows) are put back by Close, so a device shared with other
    // programs is left as it was found.
    //
    // On POSIX the port is held two ways: an advisory lock that keeps out every ComPort, root
    // or not, and the terminal's exclusive flag that keeps out every other non-root program,
    // which need not take the lock. The lock dies with the process; the flag is cleared by
    // Close. A process killed outright (SIGKILL) cannot clear it: a real serial device drops
    // the flag on its last close, but a pseudo-terminal keeps it while its other side is open,
    // and then only root can open it until the program serving it restarts. No scheme on
    // Linux both keeps non-cooperating programs out and survives SIGKILL, so the tools close
    // the port on SIGINT, SIGTERM and SIGHUP, and an open that meets such a left-over flag
    // says so (InUse with StaleExclusive).
    [[nodiscard]] int Open(const char* name) override;
    int Close() override;
    [[nodiscard]] int Write(const std::uint8_t* buffer, std::uint16_t count) override;
    [[nodiscard]] int Read(std::uint8_t* buffer, std::uint16_t capacity) override;
    [[nodiscard]] LineWait WaitReadable(int timeoutMs) override;
    void DiscardInput() override;
    int PendingOutput() override;
    LineError LastError() const override { return lastError_; }

    bool IsOpen() const { return handle_ != kInvalidHandle; }

private:
    // Opens and configures the named device (the platform's part of Open, the port not yet
    // open). 0 or 1 as Open, the reason in lastError_.
    [[nodiscard]] int OpenDevice(const char* name);

    // A file descriptor on POSIX, a HANDLE on Windows; -1 is invalid on both
    // (INVALID_HANDLE_VALUE is (HANDLE)-1).
    static constexpr std::intptr_t kInvalidHandle = -1;
    std::intptr_t handle_ = kInvalidHandle;
    LineError lastError_;
    // Windows only: a named object that marks the port as held by this program, so that a
    // second open fails under Wine too, whose serial devices ignore the share mode.
    [[maybe_unused]] std::intptr_t holdMark_ = 0;
    // The settings to put back at close; defined per platform.
    struct SavedLineSettings;
    std::unique_ptr<SavedLineSettings> saved_;
};

// The Windows device path for port `name`: "COMn" in any case, also with the trailing colon
// Windows itself accepts ("COM12:" is COM12), becomes "\\.\COMn", the only spelling that opens
// COM10 and above; any other name comes back unchanged. Portable, so that it is tested on every
// platform.
std::string WindowsDeviceName(std::string_view name);

// The computer's local calendar date and time, as the sign's clock wants it.
struct ComDateTime {
    int Year = 2000; // e.g. 2009
    int Month = 1;   // 1..12
    int Day = 1;     // 1..31
    int Hour = 0;    // 0..23
    int Minute = 0;  // 0..59
    int Second = 0;  // 0..59
};

// Reads the local date and time from the platform.
ComDateTime ReadLocalDateTime();
