#include "comm/OpenLine.h"

#include "comm/SocketLine.h"

OpenedLine OpenLine(const char* name, const LineNoteHook& notes) {
    std::unique_ptr<ComLine> line;
    if (IsNetworkPortName(name)) {
        line = std::make_unique<SocketLine>();
    } else {
        line = std::make_unique<ComPort>();
    }
    line->SetNoteHook(notes);
    if (line->Open(name) == 0) {
        return {std::move(line), {}};
    }
    LineError error = line->LastError();
    if (!error.Failed()) {
        error.Kind = LineErrorKind::Other; // a line that cannot tell why
    }
    return {nullptr, error};
}

int NotOpenLine::Open(const char* /*name*/) {
    error_ = PortNotOpen();
    return 1;
}

int NotOpenLine::Write(const std::uint8_t* /*buffer*/, std::uint16_t /*count*/) {
    error_ = PortNotOpen();
    return 0;
}

int NotOpenLine::Read(std::uint8_t* /*buffer*/, std::uint16_t /*capacity*/) {
    error_ = PortNotOpen();
    return -1;
}

LineWait NotOpenLine::WaitReadable(int /*timeoutMs*/) {
    error_ = PortNotOpen();
    return LineWait::Lost;
}
