#include "messages/MessageFiles.h"

#include "messages/AtomicFile.h"
#include "preview/Utf8Files.h"

#include <algorithm>
#include <array>
#include <cstdio>

int LoadMessageSet(const char* fileName, std::span<CLEDMessageCon, kMessageSetCount> messages,
                   LoadReport* report) {
    LoadReport local;
    LoadReport& found = report != nullptr ? *report : local;
    // The whole set is read before any message changes, so that a failed read leaves all
    // eight as they were.
    std::array<std::uint8_t, kMessageSetSize> bytes{};
    const std::size_t count = ReadFileStart(fileName, bytes, found);
    if (count == 0) {
        return 1;
    }
    // Each message takes the next 1024 bytes; a message cut by the end of the file keeps its
    // old bytes after the cut and the messages past the end keep their contents.
    for (std::size_t s = 0; s < messages.size() && s * kMessageSize < count; ++s) {
        const std::size_t start = s * kMessageSize;
        messages[s].LoadFromBytes(std::span<const std::uint8_t>(
            bytes.data() + start, std::min<std::size_t>(kMessageSize, count - start)));
    }
    return 0;
}

int SaveMessageSet(const char* fileName, std::span<CLEDMessageCon, kMessageSetCount> messages) {
    if (fileName == nullptr) {
        return 1;
    }
    AtomicFileWriter writer;
    std::FILE* file = writer.Open(fileName);
    if (file == nullptr) {
        return 1;
    }
    for (CLEDMessageCon& message : messages) {
        if (message.WriteToStream(file) != 0) {
            return 1; // the writer removes its temporary file; the old set stays
        }
    }
    return writer.Commit();
}
