#include "messages/MessageFiles.h"

#include "messages/AtomicFile.h"
#include "messages/Utf8Files.h"

#include <cstdio>

int LoadMessageSet(const char* fileName, std::span<CLEDMessageCon, kMessageSetCount> messages) {
    if (fileName == nullptr) {
        return 1;
    }
    std::FILE* file = OpenUtf8File(fileName, "rb");
    if (file == nullptr) {
        return 1;
    }
    // Each message takes the next 1024 bytes; past the end of a short file the reads supply
    // nothing and the later messages keep their contents.
    for (CLEDMessageCon& message : messages) {
        message.ReadFromStream(file);
    }
    std::fclose(file);
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
