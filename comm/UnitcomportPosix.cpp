// ComPort on POSIX systems (Linux, macOS): termios, poll and advisory locks.

#include "comm/Unitcomport.h"

#include "comm/LineStop.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sstream>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

namespace {

// How long a write may stall without progress before it gives up. A full frame (about 2 KB)
// takes 2.2 s to go out at 9600 baud, so the driver's buffer normally takes it at once.
constexpr int kWriteStallMs = 3000;

int Fd(std::intptr_t handle) {
    return static_cast<int>(handle);
}

// "COMn" (any case, n = 1..256) -> /dev/ttyS(n-1), the way Linux numbers the built-in UARTs;
// an absolute path is taken as it stands; anything else names no port.
bool MapPortName(const char* name, std::string& path) {
    if (name == nullptr || name[0] == '\0') {
        return false;
    }
    if (name[0] == '/') {
        path = name;
        return true;
    }
    if (std::strlen(name) < 4 || std::toupper(static_cast<unsigned char>(name[0])) != 'C' ||
        std::toupper(static_cast<unsigned char>(name[1])) != 'O' ||
        std::toupper(static_cast<unsigned char>(name[2])) != 'M') {
        return false;
    }
    int number = 0;
    for (const char* p = name + 3; *p != '\0'; ++p) {
        if (!std::isdigit(static_cast<unsigned char>(*p)) || number > 256) {
            return false;
        }
        number = number * 10 + (*p - '0');
    }
    if (number < 1 || number > 256) {
        return false;
    }
    path = "/dev/ttyS" + std::to_string(number - 1);
    return true;
}

void ConfigureLine(termios& tio) {
    cfmakeraw(&tio);
    tio.c_cflag &= static_cast<tcflag_t>(~(CSIZE | PARENB | CSTOPB));
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
#ifdef CRTSCTS
    tio.c_cflag &= static_cast<tcflag_t>(~CRTSCTS);
#endif
    tio.c_iflag &= static_cast<tcflag_t>(~(IXON | IXOFF | IXANY));
    // With O_NONBLOCK, VMIN=1/VTIME=0 makes a read return at once with what has arrived and
    // keeps its three outcomes apart: bytes, EAGAIN (nothing yet), 0 (hung up). VMIN=0 would
    // return 0 both for "nothing yet" and for a vanished line.
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    cfsetispeed(&tio, B9600);
    cfsetospeed(&tio, B9600);
}

// Terminals that belong to the operator rather than to a line: a sign's frame written there
// would reach a screen, and the raw settings would leave it unusable. Linux numbers them
// fixed; elsewhere only the controlling terminal is found (by its session, at open).
struct OperatorTerminal {
    unsigned Major;
    unsigned FirstMinor;
    unsigned LastMinor;
    char What[40]; // inline, so the table needs no relocation
};

// What operator's terminal the device node `path` with number `rdev` is, or null when it is
// none of them. A container's /dev/console is a pseudo-terminal bound there: known by its name.
const char* OperatorTerminalKind(const char* path, [[maybe_unused]] dev_t rdev) {
    if (std::strcmp(path, "/dev/console") == 0) {
        return "the system console";
    }
#ifdef __linux__
    static constexpr OperatorTerminal kOperatorTerminals[] = {
        {5, 0, 0, "the process's controlling terminal"}, // /dev/tty
        {5, 1, 1, "the system console"},                 // /dev/console
        {4, 0, 63, "a virtual console"},                 // /dev/tty0../dev/tty63
    };
    for (const OperatorTerminal& t : kOperatorTerminals) {
        if (major(rdev) == t.Major && minor(rdev) >= t.FirstMinor && minor(rdev) <= t.LastMinor) {
            return t.What;
        }
    }
#endif
    return nullptr;
}

LineError NotSerial(const char* what) {
    return LineFailure(LineErrorKind::NotSerial, what);
}

LineError HungUp() {
    return LineFailure(LineErrorKind::LineLost, "hung up");
}

LineError SystemError(int error, bool opening) {
    return SystemFailure(LineErrorKindFromErrno(error, opening), static_cast<std::uint32_t>(error),
                         std::strerror(error));
}

#ifdef __linux__
// "name (pid N)" of a living process, or "" when it is gone.
std::string ProcessName(long pid) {
    std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    if (!std::getline(comm, name)) {
        return {};
    }
    return name + " (pid " + std::to_string(pid) + ")";
}

// The living process that holds a whole-file lock (flock) on the file `path`, as "name (pid
// N)", or "" when none does. /proc/locks lists each lock with its owner's pid and the
// device:inode it is on.
std::string LockHolder(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return {};
    }
    char wanted[64];
    std::snprintf(wanted, sizeof wanted, "%02x:%02x:%llu", major(st.st_dev), minor(st.st_dev),
                  static_cast<unsigned long long>(st.st_ino));
    std::ifstream locks("/proc/locks");
    std::string line;
    while (std::getline(locks, line)) {
        // "1: FLOCK  ADVISORY  WRITE 1234 00:05:7 0 EOF"; waiters are marked with "->".
        if (line.find("->") != std::string::npos || line.find("FLOCK") == std::string::npos) {
            continue;
        }
        std::istringstream fields(line);
        std::string id, type, mode, access, device;
        long pid = 0;
        if (fields >> id >> type >> mode >> access >> pid >> device && device == wanted) {
            std::string holder = ProcessName(pid);
            if (!holder.empty()) {
                return holder;
            }
        }
    }
    return {};
}
#endif

// InUse for `path`, naming the process that holds our lock on it. `exclusiveFlag` tells that
// the open was refused by the terminal's exclusive flag rather than by the lock: with no living
// lock holder that flag was left behind by a client killed before it could clear it.
LineError InUseError(const std::string& path, int error, bool exclusiveFlag) {
    LineError e = SystemError(error, true);
    e.Kind = LineErrorKind::InUse;
#ifdef __linux__
    e.Holder = LockHolder(path);
    e.StaleExclusive = exclusiveFlag && e.Holder.empty();
#else
    (void)path;
    (void)exclusiveFlag;
#endif
    return e;
}

} // namespace

struct ComPort::SavedLineSettings {
    termios Settings{};
    bool HasModemLines = false;
    int ModemLines = 0;
};

ComPort::ComPort() = default;

ComPort::~ComPort() {
    Close();
}

int ComPort::OpenDevice(const char* name) {
    std::string path;
    if (!MapPortName(name, path)) {
        lastError_.Kind = LineErrorKind::NotFound;
        lastError_.SystemMessage =
            "not a port name (COMn, an absolute path, tcp://HOST:PORT or rfc2217://HOST:PORT)";
        return 1;
    }
    // Two names for one device (a symlink, /dev/serial/by-id) must exclude each other.
    char resolved[PATH_MAX];
    if (realpath(path.c_str(), resolved) == nullptr) {
        lastError_ = SystemError(errno, true);
        return 1;
    }
    // Refused unopened: opening /dev/tty without a controlling terminal fails with a reason
    // (ENXIO) that would read as a missing device.
    if (struct stat node{}; ::stat(resolved, &node) == 0 && S_ISCHR(node.st_mode)) {
        if (const char* what = OperatorTerminalKind(resolved, node.st_rdev); what != nullptr) {
            lastError_ = NotSerial(what);
            return 1;
        }
    }
    const int fd = ::open(resolved, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        lastError_ = error == EBUSY ? InUseError(resolved, error, true) : SystemError(error, true);
        return 1;
    }
    termios tio{};
    // A name that opens but is not a serial line (a regular file, /dev/null) is refused before
    // anything could be written to it.
    if (tcgetattr(fd, &tio) != 0) {
        lastError_ = SystemError(errno, true);
        lastError_.Kind = LineErrorKind::NotSerial;
        ::close(fd);
        return 1;
    }
    // The controlling terminal under its own name (/dev/pts/3 of the operator's shell): only
    // for that terminal does the kernel tell the session it controls.
    if (tcgetsid(fd) != static_cast<pid_t>(-1)) {
        lastError_ = NotSerial("the process's controlling terminal");
        ::close(fd);
        return 1;
    }
    auto saved = std::make_unique<SavedLineSettings>();
    saved->Settings = tio;
    saved->HasModemLines = ioctl(fd, TIOCMGET, &saved->ModemLines) == 0;
    // TIOCEXCL keeps out other opens except root's; the lock keeps out every ComPort, root or
    // not. The lock goes with the descriptor, so closing it (or the process ending) frees it.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        lastError_ =
            error == EWOULDBLOCK ? InUseError(resolved, error, false) : SystemError(error, true);
        ::close(fd);
        return 1;
    }
    ioctl(fd, TIOCEXCL);
    ConfigureLine(tio);
    if (tcsetattr(fd, TCSANOW, &tio) != 0) {
        lastError_ = SystemError(errno, true);
        ioctl(fd, TIOCNXCL);
        ::close(fd);
        return 1;
    }
    // Raise DTR and RTS; a line without modem control (a pseudo-terminal) refuses, which is
    // harmless.
    int modemBits = TIOCM_DTR | TIOCM_RTS;
    ioctl(fd, TIOCMBIS, &modemBits);
    // Bytes that arrived before this open (a late reply to a client that has gone) belong to
    // nobody; left in the queue they would complete this session's first transaction.
    tcflush(fd, TCIFLUSH);
    handle_ = fd;
    saved_ = std::move(saved);
    return 0;
}

int ComPort::Close() {
    if (IsOpen()) {
        // The settings go back as found, like QSerialPort does: a device shared with other
        // programs (a console server, a modem's getty) expects its own. TCSANOW: waiting for
        // queued output (TCSADRAIN) could stall the close on a line held by flow control.
        if (saved_) {
            tcsetattr(Fd(handle_), TCSANOW, &saved_->Settings);
            if (saved_->HasModemLines) {
                int lines = saved_->ModemLines & (TIOCM_DTR | TIOCM_RTS);
                int lowered = ~saved_->ModemLines & (TIOCM_DTR | TIOCM_RTS);
                ioctl(Fd(handle_), TIOCMBIS, &lines);
                ioctl(Fd(handle_), TIOCMBIC, &lowered);
            }
            saved_.reset();
        }
        // A pseudo-terminal keeps TIOCEXCL after its last close while its master lives, which
        // would lock every later non-root open out; drop it before letting go.
        ioctl(Fd(handle_), TIOCNXCL);
        ::close(Fd(handle_));
        // Forget the descriptor so that a second Close cannot close a number reused since.
        handle_ = kInvalidHandle;
    }
    return 0;
}

int ComPort::Write(const std::uint8_t* buffer, std::uint16_t count) {
    if (!IsOpen() || buffer == nullptr) {
        lastError_ = PortNotOpen();
        return 0;
    }
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n = ::write(Fd(handle_), buffer + done, count - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            short revents = 0;
            const LinePoll ready = PollLine(Fd(handle_), POLLOUT, kWriteStallMs, revents);
            if (ready == LinePoll::TimedOut) {
                lastError_ = LineFailure(LineErrorKind::TimedOut, "the write stalled");
                break;
            }
            if (ready == LinePoll::Stopped) {
                lastError_ = StoppedBySignal();
                break;
            }
            if (ready == LinePoll::Failed || (revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
                lastError_ = ready == LinePoll::Failed ? SystemError(errno, false) : HungUp();
                break;
            }
            continue;
        }
        lastError_ = n < 0 ? SystemError(errno, false) : HungUp();
        break;
    }
    return static_cast<int>(done);
}

int ComPort::Read(std::uint8_t* buffer, std::uint16_t capacity) {
    if (!IsOpen() || buffer == nullptr) {
        lastError_ = PortNotOpen();
        return -1;
    }
    if (capacity == 0) {
        return 0;
    }
    for (;;) {
        const ssize_t n = ::read(Fd(handle_), buffer, capacity);
        if (n > 0) {
            return static_cast<int>(n);
        }
        if (n == 0) {
            lastError_ = HungUp(); // with VMIN=1 and O_NONBLOCK, "nothing yet" is EAGAIN
            return -1;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            return 0;
        }
        lastError_ = SystemError(errno, false); // EIO, ENXIO, ENODEV: the device is gone
        return -1;
    }
}

LineWait ComPort::WaitReadable(int timeoutMs) {
    if (!IsOpen()) {
        lastError_ = PortNotOpen();
        return LineWait::Lost;
    }
    short revents = 0;
    const LinePoll ready = PollLine(Fd(handle_), POLLIN, std::max(timeoutMs, 0), revents);
    if (ready == LinePoll::Failed) {
        lastError_ = SystemError(errno, false);
        return LineWait::Lost;
    }
    if (ready == LinePoll::Stopped) {
        lastError_ = StoppedBySignal();
        return LineWait::Stopped;
    }
    if (ready == LinePoll::TimedOut) {
        return LineWait::TimedOut;
    }
    // Bytes still buffered are delivered first; Read reports the hang-up after them.
    if ((revents & POLLIN) != 0) {
        return LineWait::Readable;
    }
    lastError_ = HungUp(); // POLLHUP, POLLERR or POLLNVAL without data
    return LineWait::Lost;
}

void ComPort::DiscardInput() {
    if (IsOpen()) {
        tcflush(Fd(handle_), TCIFLUSH);
    }
}

int ComPort::PendingOutput() {
    int pending = 0;
    // A pseudo-terminal hands its bytes straight to the other side and reports 0.
    if (!IsOpen() || ioctl(Fd(handle_), TIOCOUTQ, &pending) != 0) {
        return 0;
    }
    return pending;
}

// ListSerialPorts: SerialPortListPosix.cpp.

ComDateTime ReadLocalDateTime() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    ComDateTime result;
    result.Year = local.tm_year + 1900;
    result.Month = local.tm_mon + 1;
    result.Day = local.tm_mday;
    result.Hour = local.tm_hour;
    result.Minute = local.tm_min;
    result.Second = local.tm_sec;
    return result;
}
