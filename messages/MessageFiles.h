#pragma once
// Message-set files (*.kzb): the 1024-byte buffers of the 8 messages of the set one after the
// other, message 1 first (message s at offset (s - 1) x 1024), 8192 bytes, nothing added.

#include "format/SignFormat.h"
#include "messages/Ledmessagecon.h"

#include <span>

constexpr int kMessageSetCount = signformat::kSetMessages;
constexpr int kMessageSetSize = static_cast<int>(signformat::kSetBytes);

// Reads the set file `fileName` into messages 1..8 in order. A short file fills the messages
// as far as it reaches (a message cut in the middle keeps its old bytes after the cut, later
// messages keep their contents); a longer file supplies only its first 8192 bytes. Every
// message that receives bytes redraws its bound grid. 0 = read; 1 = not loaded, and no message
// changes: `fileName` is null, cannot be opened, is not a regular file, is empty, or a read
// failed. `report`, when given, says which, or how long the loaded file was.
[[nodiscard]] int LoadMessageSet(const char* fileName,
                                 std::span<CLEDMessageCon, kMessageSetCount> messages,
                                 LoadReport* report = nullptr);

// Replaces `fileName` with the 8192 bytes of messages 1..8, written through WriteToStream to a
// temporary file beside the target that is renamed over it only when every byte reached the
// disk; on any failure the old file stays untouched. 0 = written, 1 = failed.
[[nodiscard]] int SaveMessageSet(const char* fileName,
                                 std::span<CLEDMessageCon, kMessageSetCount> messages);
