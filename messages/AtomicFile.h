#pragma once
// Replacing a file without ever destroying its old content, while keeping what a plain write
// keeps.
//
// AtomicFileWriter opens a new temporary file beside the target; the caller writes to it and
// then calls Commit, which flushes it to the disk and renames it over the target. Until Commit
// succeeds the target is untouched; a writer destroyed without a successful Commit (or whose
// Commit failed) removes its temporary file. The new file takes over the old one's permission
// bits, and its owner and group as far as the system lets this process give them.
//
// Cases a rename cannot serve:
// - A target that is a symbolic link is followed, so the link stays and its destination is
//   replaced (the temporary file is made beside the destination).
// - A target that exists but is not a regular file (a device, a pipe) is written in place.
// - When the folder refuses the temporary file (no right to add names to it, or the name would
//   pass the length limit) but the existing target may be written, the target is overwritten
//   in place. That is no longer atomic: a failure part-way leaves it partly written, as a plain
//   write would. Commit still checks every write, the flush and the sync.
// - An existing file that this process may not write is not replaced either: the save fails,
//   as a plain write would.

#include <cstddef>
#include <cstdio>
#include <string>

class AtomicFileWriter {
public:
    AtomicFileWriter() = default;
    ~AtomicFileWriter();
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    // Creates the temporary file for `target` (or opens the target for writing in place, see
    // above). Returns the open stream (binary, write-only), or nullptr when neither is possible
    // (the directory does not exist, neither it nor the target is writable, the target is a
    // file this process may not write).
    std::FILE* Open(const char* target);

    // Flushes the stream, syncs it to the disk, closes it and renames it over the target.
    // 0 = the target now holds exactly what was written; 1 = failed (a write, flush, sync or
    // close error occurred, the stream was never opened, or the rename failed): the target is
    // untouched, unless it was being written in place, and the temporary file removed.
    [[nodiscard]] int Commit();

    // The temporary file's name while it exists (for diagnostics), else empty.
    const std::string& TempName() const { return tempName_; }

private:
    enum class Way {
        Replace,        // a temporary file renamed over the target
        OverwriteFile,  // the existing regular file rewritten in place
        WriteOtherKind, // a device or pipe written directly
    };

    void Abort();

    std::FILE* file_ = nullptr;
    std::string target_;   // the file to replace (a followed link's destination)
    std::string tempName_; // empty when writing in place
    Way way_ = Way::Replace;
};

// Writes `size` bytes to `target` through an AtomicFileWriter. 0 = written, 1 = failed.
[[nodiscard]] int WriteFileAtomically(const char* target, const void* bytes, std::size_t size);
