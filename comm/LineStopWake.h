#pragma once
// What the platform files of the stop facility provide to its shared part (LineStop.cpp):
// the wake-up that every wait taking stops includes. Both are safe in a signal handler and a
// console control handler.

// Makes the wake-up signalled, so that every wait that includes it ends; it stays signalled.
void SignalLineWake() noexcept;
// Makes the wake-up unsignalled again, for a new run in the same process.
void ClearLineWake() noexcept;
// Whether a stop request is to end the waits on the lines now.
bool StopEndsLineWaitsNow() noexcept;
