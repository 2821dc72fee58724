#pragma once
// The `key = value` files of ledsign: the watch configuration and the signs file. One entry a
// line; blank lines and lines starting with '#' are skipped; a value runs to the end of its line
// (blanks inside it are kept, so file names may have spaces) and blanks around keys and values
// are dropped, a CR left by a Windows editor too. Where sections are allowed, `[NAME]` starts
// one. The file goes through the shared loader: a regular file only (a FIFO or a device is
// refused unopened), at most 64 KiB, a UTF-8 name on every platform.

#include <string>
#include <vector>

namespace ledsign_tool {

struct KeyValueEntry {
    int Line = 0;
    std::string Section; // the section it is in; for a section's own line, its name
    std::string Key;     // empty on a section's own line
    std::string Value;
};

// What is wrong with a file, told as "FILE:LINE: reason", or "cannot read the KIND FILE:
// reason" when it cannot be read at all.
struct FileProblem {
    std::string Path;
    int Line = 0; // 0: the file as a whole
    std::string Reason;

    std::string Describe(const char* kind) const;
};

// Reads `path`. True with `entries` in file order; false with `problem` filled. A line that is
// no entry (nor, with `sections`, a section header) is a problem, and so is an empty value.
bool ReadKeyValueFile(const std::string& path, bool sections, std::vector<KeyValueEntry>& entries,
                      FileProblem& problem);

} // namespace ledsign_tool
