#include "tools/ledsign/KeyValueFile.h"

#include "messages/FileLoad.h"

#include <algorithm>
#include <cstdint>
#include <string_view>

namespace ledsign_tool {

namespace {

// Such a file is a few lines; the bound keeps a device or a huge file from being read.
constexpr std::size_t kMaxBytes = std::size_t{64} * 1024;

std::string TrimBlanks(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) {
        return {};
    }
    return std::string(text.substr(first, text.find_last_not_of(" \t\r") - first + 1));
}

// Parses one trimmed line that is neither blank nor a comment into `entry`; "" when it is valid,
// else the reason it is not.
std::string ParseLine(const std::string& line, bool sections, KeyValueEntry& entry) {
    if (line.find('\0') != std::string::npos) {
        return "a NUL byte in the line";
    }
    if (sections && line.front() == '[') {
        const std::string name = TrimBlanks(std::string_view(line).substr(1, line.size() - 1));
        if (line.back() != ']' || name.size() < 2) {
            return "expected '[NAME]', got '" + line + "'";
        }
        entry.Section = TrimBlanks(std::string_view(name).substr(0, name.size() - 1));
        return entry.Section.empty() ? "a section needs a name" : "";
    }
    const auto equals = line.find('=');
    if (equals == std::string::npos) {
        return "expected 'key = value', got '" + line + "'";
    }
    entry.Key = TrimBlanks(std::string_view(line).substr(0, equals));
    entry.Value = TrimBlanks(std::string_view(line).substr(equals + 1));
    if (entry.Value.empty()) {
        return "no value for '" + entry.Key + "'";
    }
    return {};
}

} // namespace

std::string FileProblem::Describe(const char* kind) const {
    if (Line == 0) {
        return std::string("cannot read the ") + kind + " " + Path + ": " + Reason;
    }
    return Path + ":" + std::to_string(Line) + ": " + Reason;
}

bool ReadKeyValueFile(const std::string& path, bool sections, std::vector<KeyValueEntry>& entries,
                      FileProblem& problem) {
    problem = {path, 0, {}};
    std::vector<std::uint8_t> bytes(kMaxBytes + 1); // one more tells an oversized file
    LoadReport report;
    const std::size_t size = ReadFileStart(path.c_str(), bytes, report);
    if (size == 0 && report.Problem != LoadProblem::Empty) {
        problem.Reason = DescribeLoadProblem(report);
        return false;
    }
    if (size > kMaxBytes) {
        problem.Reason = "it is larger than " + std::to_string(kMaxBytes / 1024) + " KiB";
        return false;
    }
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), size);
    std::string section;
    int number = 0;
    for (std::size_t begin = 0; begin < text.size();) {
        const std::size_t end = std::min(text.find('\n', begin), text.size());
        const std::string line = TrimBlanks(text.substr(begin, end - begin));
        begin = end + 1;
        ++number;
        if (line.empty() || line[0] == '#') {
            continue;
        }
        KeyValueEntry entry;
        entry.Line = number;
        entry.Section = section;
        const std::string reason = ParseLine(line, sections, entry);
        if (!reason.empty()) {
            problem = {path, number, reason};
            return false;
        }
        section = entry.Section;
        entries.push_back(std::move(entry));
    }
    return true;
}

} // namespace ledsign_tool
