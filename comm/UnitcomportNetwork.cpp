// The part of ComPort shared by every platform: network port names go to a socket line.

#include "comm/SocketLine.h"
#include "comm/Unitcomport.h"

ComPort::ComPort() = default;

int ComPort::OpenNetwork(const char* name) {
    auto line = std::make_unique<SocketLine>();
    line->SetNoteHook(note_);
    if (line->Open(name) != 0) {
        failureReason_ = line->LastError().Message;
        return 1;
    }
    failureReason_.clear();
    network_ = std::move(line);
    return 0;
}

void ComPort::SetNoteHook(LineNoteHook hook) {
    note_ = std::move(hook);
    if (network_) {
        network_->SetNoteHook(note_);
    }
}

std::string ComPort::FailureReason() const {
    return network_ ? network_->LastError().Message : failureReason_;
}
