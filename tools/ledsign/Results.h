#pragma once
// What a device command's run on one sign ended with, in the two forms ledsign prints: a line
// for people and a JSON object for scripts (--json, one object per line). The kind names and
// the exit statuses are part of the tool's interface: scripts, the service unit and the MQTT
// bridge rely on them.

#include "comm/LineError.h"

#include <nlohmann/json.hpp>

#include <string>

namespace ledsign_tool {

// Why a run failed, as scripts see it.
enum class ResultKind {
    Ok,
    NotFound,
    PermissionDenied,
    InUse,
    NotSerial,
    TimedOut,
    LineLost,
    Damaged,
    Refused,
    Interrupted,
    BadInput, // a file or a value that cannot be used; nothing was sent
    Other,
};

// The kind of a failed line operation.
ResultKind KindOf(LineErrorKind kind);

// "not-found", "permission-denied", "in-use", "not-a-serial-line", "timed-out", "line-lost",
// "damaged-reply", "refused", "interrupted", "bad-input", "other"; "" for Ok.
const char* KindName(ResultKind kind);

// The exit status of a failure of `kind`: 0 success, 1 other failure, 3 port not found,
// 4 permission denied, 5 port in use, 6 not a serial line, 7 no answer (timed out, line lost,
// damaged reply), 8 refused by the sign. (2 is bad usage, never a run's result.)
int ExitStatusOf(ResultKind kind);

// One sign's result.
struct SignResult {
    std::string Sign; // the name from the signs file; empty for a port given by --port
    std::string Port;
    unsigned Address = 0;
    ResultKind Kind = ResultKind::Other;
    std::string Text; // what was done, or the failure's wording
    long long Milliseconds = 0;
};

// {"sign": NAME or null, "port", "address", "ok", "error": KIND or null, "message", "ms"}.
nlohmann::json ToJson(const SignResult& result);

// Writes `object` as one line of JSON Lines on stdout and flushes it.
void PrintJsonLine(const nlohmann::json& object);

// Exit-status table for --help texts, the man page and README say the same.
extern const char* const kExitStatusHelp;

} // namespace ledsign_tool
