#pragma once
// The operating-system side of AtomicFileWriter; one implementation file per platform.

#include <cstdio>
#include <string>

namespace atomic_file_platform {

enum class TargetKind {
    Missing,     // nothing there yet: a new regular file is made
    RegularFile, // replaced by renaming a new file over it, or overwritten in place
    Other,       // a device, a pipe, a directory: can only be written in place (or not at all)
};

// What a save to `target` must write.
struct Target {
    std::string Path; // `target`, or the destination that its chain of symbolic links leads to
    TargetKind Kind = TargetKind::Missing;
};

Target Resolve(const std::string& target);

// Whether this process may change the existing file `path`, as opening it for writing would
// find. A save must not replace a file that a plain write could not change.
bool IsWritable(const std::string& path);

// Creates a new, exclusive temporary file in the directory of `target` and opens it for binary
// writing; stores its name in `tempName`. An existing target's permissions, and its owner where
// the system allows, are carried over. The name is made without any stored state (retried on a
// clash), so that writers in several threads or processes never share one. nullptr when it
// cannot be created; `folderRefused` then says whether the folder refused the new name itself
// (no right to add names to it, or the name would pass the length limit), the case in which
// writing the existing target in place is the only way left.
std::FILE* CreateTemp(const std::string& target, std::string& tempName, bool& folderRefused);

// Opens the existing regular file `path` for binary writing from its start without truncating
// it first, so that its blocks are overwritten rather than freed and allocated again. nullptr
// when it cannot be opened for writing.
std::FILE* OpenForOverwrite(const std::string& path);

// Cuts the (flushed) file at the stream's current position. false on error.
bool TruncateHere(std::FILE* file);

// Forces the written bytes of the (already flushed) stream to the disk. false on error.
bool SyncToDisk(std::FILE* file);

// Renames `from` over `to`, replacing `to` if it exists, and makes the rename durable as far as
// the platform allows. false when the rename failed (`to` is then unchanged).
bool ReplaceWith(const std::string& from, const std::string& to);

void Remove(const std::string& name);

} // namespace atomic_file_platform
