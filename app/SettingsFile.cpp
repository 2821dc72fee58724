#include "app/SettingsFile.h"
#include "preview/Utf8Files.h"

#include <algorithm>
#include <cstdio>

std::string TrimControl(std::string_view text) {
    const auto blank = [](char c) { return static_cast<unsigned char>(c) <= 0x20; };
    std::size_t b = 0;
    std::size_t e = text.size();
    while (b < e && blank(text[b])) {
        ++b;
    }
    while (e > b && blank(text[e - 1])) {
        --e;
    }
    return std::string(text.substr(b, e - b));
}

std::string JoinStartDirectory(const std::string& directory, const char* fileName) {
#ifdef _WIN32
    constexpr char kSeparator = '\\';
#else
    constexpr char kSeparator = '/';
#endif
    if (directory.empty()) {
        return fileName;
    }
    std::string path = directory;
    if (path.back() != kSeparator) {
        path.push_back(kSeparator);
    }
    path += fileName;
    return path;
}

std::optional<std::string> ReadSettingLine(const std::string& path) {
    std::FILE* file = OpenUtf8File(path.c_str(), "rb");
    if (file == nullptr) {
        return std::nullopt;
    }
    std::string line;
    int c = 0;
    while (line.size() < kSettingLineMax && (c = std::fgetc(file)) != EOF) {
        line.push_back(static_cast<char>(c));
        if (c == '\n') {
            break;
        }
    }
    std::fclose(file);
    // The line is text: a 0 byte ends it, as it ends a C string.
    line.resize(std::min(line.size(), line.find('\0')));
    return TrimControl(line);
}

bool WriteSettingLine(const std::string& path, std::string_view value) {
    std::FILE* file = OpenUtf8File(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    std::string line = TrimControl(value);
    line.push_back('\n');
    const bool ok = std::fwrite(line.data(), 1, line.size(), file) == line.size();
    return std::fclose(file) == 0 && ok;
}
