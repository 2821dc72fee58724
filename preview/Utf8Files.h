#pragma once
// File names in ledcore and the tools are UTF-8 strings on every platform. Windows' narrow file
// calls would read them in the ANSI code page instead (and fail on any character it lacks), so
// every file is opened, and every path is built, through these helpers.

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

// Opens the file named by UTF-8 `name` as std::fopen does with `mode` (ASCII, e.g. "rb").
// nullptr when it cannot be opened, when `name` is null, or (on Windows) not valid UTF-8.
std::FILE* OpenUtf8File(const char* name, const char* mode);

// The path that UTF-8 `name` spells, for std::filesystem calls and streams.
inline std::filesystem::path Utf8ToPath(std::string_view name) {
    return std::filesystem::path(std::u8string(name.begin(), name.end()));
}

// The UTF-8 spelling of `path`, for printing and for the char-based file operations.
inline std::string PathToUtf8(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}
