#pragma once
// Why a line operation failed, in terms the operator can act on. Every kind of line (the serial
// port, a network socket) reports its last failure as a LineError, so the tools and windows
// word the reason the same way whatever sits behind the protocol.
//
// The integer results of the line and protocol operations (0, 1, 2, 100) stay as they are; the
// LineError is extra state that says why a nonzero result came.

#include <cstdint>
#include <string>

enum class LineErrorKind : std::uint8_t {
    None,             // no failure (yet)
    NotFound,         // the name maps to no device
    PermissionDenied, // the device exists but this user may not open it
    InUse,            // another program (or another of our own sessions) holds the line
    NotSerial,        // the name opens, but it is no serial line (a regular file, /dev/null)
    LineLost,         // the line hung up or failed while open (adapter pulled, peer gone)
    TimedOut,         // no complete valid reply within the polling time (about 5.1 s)
    Refused,          // the sign answered with a code other than "done"
    Damaged,          // a reply came but failed its checks, and no valid one followed in time
    Interrupted,      // a stop signal ended the transaction before its reply
    Other,            // any other failure; the system's message says more
};

struct LineError {
    LineErrorKind Kind = LineErrorKind::None;
    // The operating system's code (errno on POSIX, GetLastError() on Windows), or 0 when the
    // failure was not the system's (a timeout, a refusal).
    std::uint32_t SystemCode = 0;
    // The operating system's own text for SystemCode, or what else is known ("reply code
    // 0x81"); may be empty.
    std::string SystemMessage;
    // For InUse: the program that holds the line, "ledsign (pid 1234)", when the system can
    // tell; empty otherwise.
    std::string Holder;
    // For InUse: the line carries the exclusive flag, yet no living process holds our lock on
    // it - the flag was left by a client that was killed before it could clear it.
    bool StaleExclusive = false;
    // For InUse: this program itself holds the line (another of its actions has it open).
    bool HeldHere = false;
    // For a network line: the server the failure concerns, "host:port" (HostPortText); empty
    // for a serial line and for a network name that could not be read. Kept apart from the
    // SystemMessage sentence so that every wording can name the server.
    std::string Peer;

    bool Failed() const { return Kind != LineErrorKind::None; }
};

// A failure that is not the system's own: its kind, the sentence that says what is known
// ("the port is not open", "no answer from HOST:PORT") and, for a network line, the server it
// concerns (`peer`, "HOST:PORT"; empty for a serial line); SystemCode 0.
[[nodiscard]] LineError LineFailure(LineErrorKind kind, std::string message = {},
                                    std::string peer = {});

// A failure the operating system reported: its kind, the system's code and the system's own
// text for it.
[[nodiscard]] LineError SystemFailure(LineErrorKind kind, std::uint32_t code, std::string message);

// An open refused because this program already holds the line: InUse with HeldHere.
[[nodiscard]] LineError HeldByThisProgram();

// An operation on a line that is not open: Other, "the port is not open".
[[nodiscard]] LineError PortNotOpen();

// A wait or transaction that a stop request (a signal) ended: Interrupted, "stopped by a signal".
[[nodiscard]] LineError StoppedBySignal();

// What was wrong with a damaged reply (kind Damaged).
enum class ReplyDamage : std::uint8_t {
    Checksum,   // a header checksum or trailer that did not match
    Length,     // a length beyond what any reply may carry
    Incomplete, // the reply broke off: another frame began, or the rest never came
};

// The failure for a damaged reply: kind Damaged, SystemCode 0, and the damage in English words
// ("checksum") as SystemMessage, which DescribeLineError words in either language.
[[nodiscard]] LineError DamagedReply(ReplyDamage damage);

// How an errno from opening a serial line, or from moving bytes on one, reads as a kind.
// `opening` tells which: EIO at open means the device is there but not working (Other), once
// open it means the line was lost.
LineErrorKind LineErrorKindFromErrno(int error, bool opening);

// How a Windows error code reads as a kind. On a COM port ERROR_ACCESS_DENIED means that another
// program has it open (ports are opened without sharing), not missing permission. Portable, so
// that the mapping is tested on every platform.
LineErrorKind LineErrorKindFromWindows(std::uint32_t code);

// The language the operator is told the reason in. Each program chooses its own: the command
// line speaks English (scripts and their tests read it), the editor Polish like the rest of
// its user interface.
enum class LineErrorLanguage : std::uint8_t { English, Polish };

// A short name of the kind: "not found", "permission denied", "in use", ... in English;
// "nie znaleziono", "brak uprawnień", "port zajęty", ... in Polish (UTF-8).
const char* LineErrorKindName(LineErrorKind kind, LineErrorLanguage language);

// The reason as one line for the operator: the kind's name, then what helps ("add yourself to
// the group that owns the device, usually dialout, then log in again" for permission on Linux,
// the holder for InUse, "no reply after about 5.1 s" for TimedOut, "a reply arrived damaged
// (checksum)" for Damaged). Empty for None.
// Refused and Other add the SystemMessage (Polish: Other only, as the reply code means nothing
// to the operator). A NotFound, TimedOut or LineLost without a system code whose SystemMessage
// is set (a network line's "no answer from HOST:PORT") has said what happened in its own words,
// which the serial hints would misstate: in English it reads "<kind>: <SystemMessage>", in
// Polish the kind's name followed by a sentence naming the Peer ("brak odpowiedzi od
// HOST:PORT"), or the name alone without a Peer. UTF-8.
std::string DescribeLineError(const LineError& error, LineErrorLanguage language);

// The system's own view for a --trace line: "system: <message> (code N)", or empty when the
// failure carries neither code nor message, and for a damaged reply (not the system's finding).
std::string DescribeSystemError(const LineError& error);
