#pragma once
// Reading the start of a message or message-set file, with the checks that keep a load from
// counting what is not a message file as one: the path must name a regular file that holds at
// least one byte and reads without error.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <system_error>

enum class LoadProblem {
    None,
    CannotOpen,     // missing, no rights, a bad name
    NotRegularFile, // a directory, a device, a pipe
    Empty,          // 0 bytes: nothing that could be a message
    ReadError,      // the system reported an error while reading
};

// What a load found besides the bytes: why it failed, or how long the file was, so that a
// caller can name the reason of a failure and warn about a file of the wrong size (which still
// loads: a short file overwrites only the bytes it holds, a long one gives its first bytes).
struct LoadReport {
    LoadProblem Problem = LoadProblem::None;
    std::error_code Error;       // the system's reason for CannotOpen and ReadError
    std::uintmax_t FileSize = 0; // the file's length when it loaded
};

// A short English description of a failed load for the command-line tools, such as
// "it is not a regular file" or "No such file or directory".
std::string DescribeLoadProblem(const LoadReport& report);

// Reads up to buffer.size() bytes from the start of `fileName` into `buffer`. Returns the
// number of bytes read, at least 1, or 0 when the load fails; `report` says which. On failure
// the contents of `buffer` are unspecified, so callers read into scratch space and copy only
// after success.
std::size_t ReadFileStart(const char* fileName, std::span<std::uint8_t> buffer, LoadReport& report);
