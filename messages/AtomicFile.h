#pragma once
// Replacing a file without ever destroying its old content.
//
// AtomicFileWriter opens a new temporary file beside the target; the caller writes to it and
// then calls Commit, which flushes it to the disk and renames it over the target. Until Commit
// succeeds the target is untouched; a writer destroyed without a successful Commit (or whose
// Commit failed) removes its temporary file.
//
// A target that is a symbolic link is followed, so the link stays and its destination is
// replaced. A target that exists but is not a regular file (a device, a pipe) cannot be
// replaced by renaming; it is written in place instead and every write is still checked.

#include <cstddef>
#include <cstdio>
#include <string>

class AtomicFileWriter {
public:
    AtomicFileWriter() = default;
    ~AtomicFileWriter();
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    // Creates the temporary file for `target`. Returns the open stream (binary, write-only),
    // or nullptr when it cannot be created (the directory does not exist or is not writable).
    std::FILE* Open(const char* target);

    // Flushes and closes the stream, syncs it to the disk and renames it over the target.
    // 0 = the target now holds exactly what was written, 1 = failed (a write or flush error
    // occurred, the stream was never opened, or the rename failed); the target is untouched
    // and the temporary file removed.
    int Commit();

    // The temporary file's name while it exists (for diagnostics), else empty.
    const std::string& TempName() const { return tempName_; }

private:
    void Abort();

    std::FILE* file_ = nullptr;
    std::string target_;   // the file to replace (a followed link's destination)
    std::string tempName_; // empty when writing in place
    bool inPlace_ = false;
};

// Writes `size` bytes to `target` through an AtomicFileWriter. 0 = written, 1 = failed.
int WriteFileAtomically(const char* target, const void* bytes, std::size_t size);
