#include "messages/FileLoad.h"

#include "preview/Utf8Files.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>

namespace fs = std::filesystem;

std::string DescribeLoadProblem(const LoadReport& report) {
    switch (report.Problem) {
    case LoadProblem::None:
        return "no problem";
    case LoadProblem::NotRegularFile:
        return "it is not a regular file";
    case LoadProblem::Empty:
        return "it is empty";
    case LoadProblem::CannotOpen:
    case LoadProblem::ReadError:
        break;
    }
    const std::string prefix = report.Problem == LoadProblem::ReadError ? "read error: " : "";
    return prefix + (report.Error ? report.Error.message() : std::string("unknown error"));
}

std::size_t ReadFileStart(const char* fileName, std::span<std::uint8_t> buffer,
                          LoadReport& report) {
    report = LoadReport{};
    if (fileName == nullptr || *fileName == '\0') {
        report.Problem = LoadProblem::CannotOpen;
        report.Error = std::make_error_code(std::errc::invalid_argument);
        return 0;
    }
    // Checked before opening: opening a pipe would block until someone writes to it, and a
    // device such as /dev/zero would supply bytes that are no message.
    std::error_code error;
    const fs::directory_entry entry(Utf8ToPath(fileName), error);
    if (error || !entry.exists(error)) {
        report.Problem = LoadProblem::CannotOpen;
        report.Error = error ? error : std::make_error_code(std::errc::no_such_file_or_directory);
        return 0;
    }
    if (!entry.is_regular_file(error)) {
        report.Problem = LoadProblem::NotRegularFile;
        return 0;
    }
    std::FILE* file = OpenUtf8File(fileName, "rb");
    if (file == nullptr) {
        report.Problem = LoadProblem::CannotOpen;
        report.Error = std::error_code(errno, std::generic_category());
        return 0;
    }
    errno = 0;
    const std::size_t count = std::fread(buffer.data(), 1, buffer.size(), file);
    const bool failed = std::ferror(file) != 0;
    const int readErrno = errno;
    std::fclose(file);
    if (failed) {
        report.Problem = LoadProblem::ReadError;
        report.Error = std::error_code(readErrno != 0 ? readErrno : EIO, std::generic_category());
        return 0;
    }
    if (count == 0) {
        report.Problem = LoadProblem::Empty;
        return 0;
    }
    // The length as the file stands now; a file that could not be measured has at least the
    // bytes just read.
    const std::uintmax_t size = fs::file_size(Utf8ToPath(fileName), error);
    report.FileSize = error ? count : size;
    return count;
}
