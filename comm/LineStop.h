#pragma once
// Stop requests that end the waits of the lines.
//
// A command stopped by SIGINT, SIGTERM or SIGHUP (Ctrl+C, Ctrl+Break or a console close on
// Windows) must not sit out a connect, a name lookup, a Telnet negotiation, a stalled write or
// the polling time of a reply first. Its stop handler records the request here, and from then
// on every wait of ComPort, SocketLine and TcpSocket ends at once: LineWait::Stopped, or a
// failure of kind Interrupted ("stopped by a signal"). The request is process-wide and stays
// once made, so waits on every thread see it, those already waiting and those that start
// later; a signal that comes between a check and the wait that follows it is not lost, since
// the wake-up (a pipe on POSIX, a manual-reset event on Windows) stays signalled.
//
// The lines' waits end on a request only after EndLineWaitsOnStop(true): the synchronisation
// mode instead finishes its step and then needs the line to blank the sign, except while it
// opens the line (StopEndsLineWaits), when there is no sign to blank yet.

// Creates the wake-up. Not async-signal-safe: call before the handlers that request a stop are
// installed. False when the system refused the resources. Calling it again does nothing.
[[nodiscard]] bool PrepareLineStop();

// Records the request and wakes every wait. Async-signal-safe (and safe from the console
// control handler's thread on Windows). Without PrepareLineStop only the flag is set.
void RequestLineStop() noexcept;

// True once a stop was requested.
bool LineStopRequested() noexcept;

// Whether a request ends the lines' waits (off until set). Returns the setting it replaced.
bool EndLineWaitsOnStop(bool end) noexcept;

// True when a request was made and the lines' waits are to end on it.
bool LineWaitsStopped() noexcept;

// Waits up to `timeoutMs` for a stop request, whether or not it ends the lines' waits. True
// when one was made.
[[nodiscard]] bool WaitForLineStop(int timeoutMs);

// Lets the calling thread take the stop signals while this object lives, where
// TakeStopSignalsOnlyInWaits blocked them: for a wait that cannot include the wake-up (a
// condition variable's) and looks at the request itself. Does nothing on Windows.
class StopSignalsTaken {
public:
    StopSignalsTaken();
    ~StopSignalsTaken();
    StopSignalsTaken(const StopSignalsTaken&) = delete;
    StopSignalsTaken& operator=(const StopSignalsTaken&) = delete;

private:
    bool unblocked_ = false;
};

// Makes a request end the lines' waits while this object lives, then puts back the setting found:
// for a step that loses nothing when cut short (opening a line: a connect, a name lookup, a
// Telnet negotiation) in a program that otherwise lets a transaction finish after a stop. The
// setting is process-wide: only one thread may change it at a time.
class StopEndsLineWaits {
public:
    StopEndsLineWaits() noexcept : before_(EndLineWaitsOnStop(true)) {}
    ~StopEndsLineWaits() { EndLineWaitsOnStop(before_); }
    StopEndsLineWaits(const StopEndsLineWaits&) = delete;
    StopEndsLineWaits& operator=(const StopEndsLineWaits&) = delete;

private:
    bool before_;
};

// Forgets a request, empties the wake-up and turns EndLineWaitsOnStop off, for tests that
// run several cases in one process. Not async-signal-safe.
void ResetLineStop() noexcept;

// How a wait of a line ended.
enum class LinePoll {
    Ready,    // the descriptor or socket has one of the events asked for, an error or a hang-up
    TimedOut, // the time given passed
    Stopped,  // a stop was requested and the lines' waits end on it
    Failed,   // the wait itself failed; the system's error code tells why
};

#ifdef _WIN32
// The manual-reset event the request sets, for the waits that can wait on a handle; null
// before PrepareLineStop.
void* LineStopEvent() noexcept;
#else
// Blocks the stop signals (SIGINT, SIGTERM, SIGHUP) in the calling thread, and so in the
// threads it starts later, outside the waits of this file, which take them (ppoll unblocks them
// for the wait). A signal that comes between a wait's check and the wait stays pending and ends
// the wait, however late its handler runs: ThreadSanitizer runs handlers of signals that arrive
// outside a blocking call at its next intercepted call, which could be the end of that wait.
// False when the mask cannot be set.
[[nodiscard]] bool TakeStopSignalsOnlyInWaits();

// A descriptor that is readable from the request on, for the waits that poll; -1 before
// PrepareLineStop.
int LineStopDescriptor() noexcept;

// Polls `fd` for `events` up to `timeoutMs` (< 0 waits without limit), together with the stop
// wake-up when the lines' waits end on a stop; `revents` holds what poll found on `fd` (Ready).
// Signals that do not stop the line (EINTR) do not shorten the wait; Failed leaves errno.
[[nodiscard]] LinePoll PollLine(int fd, short events, int timeoutMs, short& revents);
#endif
