#pragma once
// Message-set files (*.kzb): the 1024-byte buffers of the 8 messages of the set one after the
// other, message 1 first (message s at offset (s - 1) x 1024), 8192 bytes, nothing added.

#include "messages/Ledmessagecon.h"

#include <span>

constexpr int kMessageSetCount = 8;
constexpr int kMessageSetSize = kMessageSetCount * kMessageSize;

// Reads the set file `fileName` into messages 1..8 in order, each through ReadFromStream.
// A short file fills the messages as far as it reaches (a message cut in the middle keeps its
// old bytes after the cut, later messages keep their contents); a longer file supplies only
// its first 8192 bytes. 0 = read, 1 = the file cannot be opened (nothing changes).
int LoadMessageSet(const char* fileName, std::span<CLEDMessageCon, kMessageSetCount> messages);

// Replaces `fileName` with the 8192 bytes of messages 1..8, written through WriteToStream to a
// temporary file beside the target that is renamed over it only when every byte reached the
// disk; on any failure the old file stays untouched. 0 = written, 1 = failed.
int SaveMessageSet(const char* fileName, std::span<CLEDMessageCon, kMessageSetCount> messages);
