#pragma once
// What the file synchronisation mode knows about the data file between two checks: whether it
// exists, its last-write time at the file system's full resolution and its size. Comparing both
// the nanosecond time and the size catches two writes within the same second, which a
// whole-second comparison would miss.

#include <cstdint>
#include <string>

struct FileStamp {
    bool Exists = false;
    std::int64_t MtimeNs = 0; // last-write time, nanoseconds since 1970-01-01 UTC
    std::int64_t Size = 0;    // bytes
    // A plain file of data. False for a FIFO, a device, a socket or a folder: opening those can
    // block or read something that is no data file, so a caller that must never hang skips them.
    bool Regular = false;
};

// Source of file status; the mode asks it once per polling step. Tests substitute their own.
class FileStatusProvider {
public:
    virtual ~FileStatusProvider() = default;
    // Status of the file `name` (a path in the platform's narrow encoding, resolved against the
    // current directory when relative). A file whose status cannot be read (missing, no access)
    // gives Exists = false and the other fields 0.
    virtual FileStamp Stat(const std::string& name) = 0;
};

// Status of a file as the operating system reports it: st_mtim (Linux), st_mtimespec (macOS)
// or the last-write FILETIME (Windows). Implemented once per platform.
FileStamp StatFileStamp(const std::string& name);

// The provider used outside tests: StatFileStamp.
class SystemFileStatus final : public FileStatusProvider {
public:
    FileStamp Stat(const std::string& name) override { return StatFileStamp(name); }
};
