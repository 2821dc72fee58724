#pragma once
// Stop requests for the windowless synchronisation loop (a service or a job started by cron)
// and the tool's device commands: SIGINT, SIGTERM and SIGHUP on POSIX, console Ctrl+C /
// Ctrl+Break / close on Windows. The handler only records the request, as the lines' stop
// request (comm/LineStop.h: a flag plus a wake-up that stays signalled), so the program ends in
// an orderly way: the loop leaves the mode (blank message, port closed) at the end of its step,
// a device command (which lets the request end the lines' waits) ends its connect, negotiation
// or transaction at once and closes the port. Implemented once per platform.

#include <string>

// Installs the handlers (on POSIX also ignores SIGPIPE, so that a vanished reader of the status
// output does not end the process before it leaves the mode). Returns false when they cannot be
// installed. Call once, before the first WaitForStop.
[[nodiscard]] bool InstallStopHandlers();

// True once a stop was requested.
[[nodiscard]] bool StopRequested();

// Sleeps up to `seconds` (fractions allowed; <= 0 returns at once) and returns early when a stop
// arrives. Returns StopRequested() at the end.
[[nodiscard]] bool WaitForStop(double seconds);

// Called once the loop has left the mode after a stop. On Windows a console close or shutdown
// ends the process as soon as its handler returns, so the handler waits (a few seconds at
// most) for this call; elsewhere it has no effect.
void StopFinished();

// The local date and time as "YYYY-MM-DD HH:MM:SS", the stamp put before each status line.
std::string LocalTimeStamp();
