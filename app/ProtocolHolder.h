#pragma once
// Owns the window's one ComProtocol without bringing the serial headers into the window's
// translation units (their LocalDateTime and kMessageSize clash with the preview's and the
// message container's).

#include <memory>

class ComProtocol;

struct ComProtocolDeleter {
    void operator()(ComProtocol* protocol) const;
};
using ComProtocolPtr = std::unique_ptr<ComProtocol, ComProtocolDeleter>;

// A new protocol object over the platform's serial port, closed.
ComProtocolPtr MakeComProtocol();
