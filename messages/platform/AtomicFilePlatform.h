#pragma once
// The operating-system side of AtomicFileWriter; one implementation file per platform.

#include <cstdio>
#include <string>

namespace atomic_file_platform {

// What a save to `target` must replace.
struct Target {
    std::string Path;        // the file to replace: `target`, or a symbolic link's destination
    bool Replaceable = true; // false: it exists but is not a regular file (write in place)
};

Target Resolve(const std::string& target);

// Creates a new, exclusive temporary file in the directory of `target` and opens it for binary
// writing; stores its name in `tempName`. An existing target's permissions are carried over.
// nullptr when it cannot be created.
std::FILE* CreateTemp(const std::string& target, std::string& tempName);

// Forces the written bytes of the (already flushed) stream to the disk. false on error.
bool SyncToDisk(std::FILE* file);

// Renames `from` over `to`, replacing `to` if it exists, and makes the rename durable as far as
// the platform allows. false when the rename failed (`to` is then unchanged).
bool ReplaceWith(const std::string& from, const std::string& to);

void Remove(const std::string& name);

} // namespace atomic_file_platform
