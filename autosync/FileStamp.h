#pragma once
// What the file synchronisation mode knows about the data file between two checks: whether it
// exists, which file it is, its last-write time and change time at the file system's full
// resolution, and its size. Time and size alone miss a change that keeps both (a copy that
// preserves times, a new file renamed over the old one within the timestamp granularity); the
// file's identity and its change time, which no ordinary program can set, catch those.

#include <cstdint>
#include <string>
#include <system_error>

struct FileStamp {
    bool Exists = false;
    std::int64_t MtimeNs = 0; // last-write time, nanoseconds since 1970-01-01 UTC
    std::int64_t Size = 0;    // bytes
    // A plain file of data. False for a FIFO, a device, a socket or a folder: opening those can
    // block or read something that is no data file, so a caller that must never hang skips them.
    bool Regular = false;
    // Which file the name leads to: device and inode (POSIX), volume serial number and file
    // index (Windows). 0 where the platform could not tell.
    std::uint64_t Device = 0;
    std::uint64_t FileId = 0;
    // Last change of the file's data or status (st_ctim; the NTFS change time), nanoseconds
    // since 1970-01-01 UTC; 0 where the platform could not tell.
    std::int64_t ChangeNs = 0;
    // Why the status could not be read when Exists is false (no such file, no access, a link
    // that leads nowhere).
    std::error_code Error{};
};

// Source of file status; the mode asks it once per polling step. Tests substitute their own.
class FileStatusProvider {
public:
    virtual ~FileStatusProvider() = default;
    // Status of the file `name` (a UTF-8 path, resolved against the current directory when
    // relative). A file whose status cannot be read (missing, no access) gives Exists = false,
    // the system's reason in Error and the other fields 0.
    virtual FileStamp Stat(const std::string& name) = 0;
};

// Status of a file as the operating system reports it, following symbolic links: stat()
// (POSIX) or the file's attributes and, for a regular file, its by-handle information
// (Windows). Implemented once per platform.
FileStamp StatFileStamp(const std::string& name);

// The provider used outside tests: StatFileStamp.
class SystemFileStatus final : public FileStatusProvider {
public:
    FileStamp Stat(const std::string& name) override { return StatFileStamp(name); }
};
