#pragma once
// The synchronisation mode's SignLink over the program's ComProtocol: a pass-through, so the
// mode drives the same protocol object (and port) as the rest of the program.

#include "autosync/Unitautosync.h"
#include "autosync/WatchPolicy.h"
#include "comm/Unitcomprotocol.h"

#include <string>

class ProtocolSignLink final : public SignLink {
public:
    // `protocol` is borrowed and must outlive this object.
    explicit ProtocolSignLink(ComProtocol& protocol) : protocol_(protocol) {}

    [[nodiscard]] int Open(const std::string& portName) override {
        return protocol_.Open(portName.c_str());
    }
    int Close() override { return protocol_.Close(); }
    [[nodiscard]] int SyncClock(std::uint16_t address) override {
        return protocol_.SyncClock(address);
    }
    [[nodiscard]] int SendMessageSlot(std::uint16_t address, int slot,
                                      const std::uint8_t* message) override {
        return protocol_.SendMessageSlot(address, slot, message);
    }

private:
    ComProtocol& protocol_;
};

// True when `status` is the watch's report that the sign was lost (the line hung up or the
// sign stopped answering): the port is closed then, and the protocol's last failure says why.
inline bool IsSignLostStatus(const std::string& status) {
    return status == kWatchStatusLost || status == kWatchStatusLostExit;
}

// Why the link call behind `status` failed, when `status` is one of the mode's statuses that
// report a failed link call (the port, clock and send errors) or the loss of the sign:
// DescribeLineError of the protocol's last failure in `language`. "" for every other status,
// whose reason is not the line's.
inline std::string LinkFailureReason(const std::string& status, const ComProtocol& protocol,
                                     LineErrorLanguage language) {
    const bool linkFailed = status.rfind(kStatusPortError, 0) == 0 || status == kStatusClockError ||
                            status == kStatusSendError || IsSignLostStatus(status);
    return linkFailed ? DescribeLineError(protocol.LastError(), language) : std::string();
}
