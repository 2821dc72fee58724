#pragma once
// Waiting for a blocking serial transaction without freezing the window.

#include <functional>

// Runs `call` on a worker thread and returns its result once it has finished. Meanwhile the
// calling (user-interface) thread waits in a local event loop that drops user input, under a
// busy cursor: windows repaint and timers fire, but no click or key press runs a handler.
// Timer handlers that fire during the wait must not touch what `call` uses.
// Usable as a TransactionRunner (comm/SendActions.h).
int RunWhileRepainting(const std::function<int()>& call);
