#pragma once
// One-line settings files in the start directory: a bounded first-line read with trimming, and
// a write of one line with a single line feed. Raw bytes in both directions (no line-end
// translation), so the file is the same on every system.

#include <optional>
#include <string>
#include <string_view>

// The longest line read; longer lines are cut to their first kSettingLineMax bytes.
constexpr std::size_t kSettingLineMax = 254;

// `text` without its leading and trailing bytes 0x00..0x20.
std::string TrimControl(std::string_view text);

// `directory` joined with `fileName` by the platform's separator ('\' on Windows, '/'
// elsewhere); an empty directory gives the bare name.
std::string JoinStartDirectory(const std::string& directory, const char* fileName);

// The trimmed first line of `path` (at most kSettingLineMax bytes, through the first line
// feed); an empty file or blank line gives "". std::nullopt when the file cannot be opened.
std::optional<std::string> ReadSettingLine(const std::string& path);

// Creates or truncates `path` and writes TrimControl(`value`) followed by one byte 10. False
// when the file cannot be created or fully written.
bool WriteSettingLine(const std::string& path, std::string_view value);
