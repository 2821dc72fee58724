#pragma once
// Reading message files for the commands that take one (send, send-set, dump, preview), with
// the message container's semantics and the shared loader's checks. Kept in its own unit so
// that those commands need not see the container's headers.

#include "format/SignFormat.h"
#include "messages/FileLoad.h"

#include <array>
#include <cstdint>
#include <string>

namespace ledsign_tool {

using MessageBytes = std::array<std::uint8_t, signformat::kMessageBytes>;

// Reads a message file (*.kom) the way the editor loads one into a cleared message: up to
// 1024 bytes from its start, the rest 0. Returns false when the load fails (see
// CLEDMessageCon::LoadFromFile); `report` says why, or how long the file was.
bool ReadMessageFile(const char* path, MessageBytes& message, LoadReport& report);

// Reads a message-set file (*.kzb) into eight cleared messages, message 1 first; a short file
// fills them as far as it reaches. Returns false when the load fails (see LoadMessageSet);
// `report` says why, or how long the file was.
bool ReadMessageSetFile(const char* path, std::array<MessageBytes, 8>& messages,
                        LoadReport& report);

// The warning for a file that loaded but is not `expected` bytes long, empty when it is:
// "'NAME' holds N bytes, a KIND file holds EXPECTED; the missing bytes are VERB as 0" for a
// short file, "...; only the first EXPECTED are VERB" for a long one.
std::string FileSizeWarning(const std::string& name, const LoadReport& report,
                            std::uintmax_t expected, const char* kind, const char* verb);

} // namespace ledsign_tool
