#pragma once
// Opening the sign's line by its port name: the one place that knows which kind of line a name
// means.
//
//   "tcp://HOST:PORT", "rfc2217://HOST:PORT"  a network line through an Ethernet serial server
//                                             (SocketLine.h), the scheme in any case;
//   anything else                             a serial port (ComPort, Unitcomport.h): "COMn",
//                                             and on POSIX systems an absolute path.

#include "comm/LineError.h"
#include "comm/Unitcomport.h"

#include <memory>

struct OpenedLine {
    std::unique_ptr<ComLine> Line; // the open line; null when the open failed
    LineError Error;               // why it failed (never kind None then); None on success
};

// Makes the line the name calls for and opens it. `notes` receives the line's notes (a network
// line's connecting and negotiating) from the start of the open on; empty drops them. A failed
// open holds nothing: the line made for it is closed and gone.
[[nodiscard]] OpenedLine OpenLine(const char* name, const LineNoteHook& notes = {});

// What a holder of lines opened by name holds while none is open: every operation fails the way
// a closed port's does (Write 0, Read -1, WaitReadable Lost, LastError Other "the port is not
// open"), and Open refuses, since lines are opened by OpenLine.
class NotOpenLine final : public ComLine {
public:
    [[nodiscard]] int Open(const char* name) override;
    int Close() override { return 0; }
    [[nodiscard]] int Write(const std::uint8_t* buffer, std::uint16_t count) override;
    [[nodiscard]] int Read(std::uint8_t* buffer, std::uint16_t capacity) override;
    [[nodiscard]] LineWait WaitReadable(int timeoutMs) override;
    void DiscardInput() override {}
    LineError LastError() const override { return error_; }

private:
    LineError error_;
};
