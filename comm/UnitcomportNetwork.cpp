// The part of ComPort shared by every platform: network port names go to a socket line.

#include "comm/SocketLine.h"
#include "comm/Unitcomport.h"

int ComPort::OpenNetwork(const char* name) {
    auto line = std::make_unique<SocketLine>();
    line->SetNoteHook(note_);
    if (line->Open(name) != 0) {
        lastError_ = line->LastError();
        return 1;
    }
    lastError_ = LineError{};
    network_ = std::move(line);
    return 0;
}

LineError ComPort::LastError() const {
    return network_ ? network_->LastError() : lastError_;
}

void ComPort::SetNoteHook(const LineNoteHook& hook) {
    note_ = hook;
    if (network_) {
        network_->SetNoteHook(note_);
    }
}
