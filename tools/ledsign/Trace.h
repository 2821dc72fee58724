#pragma once
// --trace of the device commands and `watch`: every frame sent and received, in hex with the
// header of each frame that starts in it, the bytes discarded before a request, and the line's
// own notes (connections, Telnet negotiation), on stderr.

#include "comm/Unitcomprotocol.h"

#include <mutex>
#include <string>

namespace ledsign_tool {

// Makes `protocol` trace onto stderr, each line after `prefix` ("[PORT] " when several ports
// trace at once, else ""); `lock` serialises the traces of protocols used in parallel and must
// outlive `protocol`'s use.
void TraceProtocol(ComProtocol& protocol, std::mutex& lock, const std::string& prefix);

} // namespace ledsign_tool
