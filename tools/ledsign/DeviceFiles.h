#pragma once
// Reading message files for the device commands, with the message container's semantics.
// Kept in its own unit so that the device commands need not see the container's headers.

#include <array>
#include <cstdint>

namespace ledsign_tool {

using MessageBytes = std::array<std::uint8_t, 1024>;

// Reads a message file (*.kom) the way the editor loads one into a cleared message: up to
// 1024 bytes from its start, the rest 0. Returns false when the file cannot be opened.
bool ReadMessageFile(const char* path, MessageBytes& message);

// Reads a message-set file (*.kzb) into eight cleared messages, message 1 first; a short file
// fills them as far as it reaches. Returns false when the file cannot be opened.
bool ReadMessageSetFile(const char* path, std::array<MessageBytes, 8>& messages);

} // namespace ledsign_tool
