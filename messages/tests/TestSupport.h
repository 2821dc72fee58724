#pragma once
// Shared helpers of the message tests: a bound container on a headless grid, temporary
// directories and whole-file reads and writes.

#include "messages/HeadlessGrid.h"
#include "messages/Ledmessagecon.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace test_support {

using Bytes = std::vector<std::uint8_t>;

inline Bytes ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteAll(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

inline Bytes DataOf(const CLEDMessageCon& message) {
    return Bytes(message.GetData(), message.GetData() + kMessageSize);
}

// A buffer with every byte set, including the type and the bytes after the cells, so that a
// file operation that drops or moves any byte shows.
inline void FillPattern(CLEDMessageCon& message, std::uint8_t seed) {
    for (int i = 0; i < kMessageSize; ++i) {
        message.GetData()[i] = static_cast<std::uint8_t>(seed + i * 7 + (i >> 8));
    }
}

// A fresh directory under the system's temporary directory, removed with its contents.
class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "ledmsgXXXXXX").string();
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back('\0');
        const char* made = mkdtemp(buffer.data());
        EXPECT_NE(made, nullptr);
        path_ = made != nullptr ? made : "";
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    std::string operator/(std::string_view name) const { return (path_ / name).string(); }

    // Names of everything in the directory, sorted.
    std::vector<std::string> List() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(path_)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    std::filesystem::path path_;
};

// A container bound to a 32 x 16 headless grid that has the focus, as in the editor.
struct BoundMessage {
    HeadlessGrid Grid;
    CLEDMessageCon Message;

    BoundMessage() {
        BindMessageToGrid(Message, Grid);
        Grid.SetFocus();
        Grid.ClearLog();
    }

    void Type(std::string_view text) {
        for (const char c : text) {
            Grid.TypeChar(static_cast<std::uint8_t>(c));
        }
    }
    int Cursor() const { return Grid.Row() * Grid.ColCount() + Grid.Col(); }

    // The text of cells 0.. up to the first free cell, as character codes.
    std::string Text() const {
        std::string text;
        for (int i = 0; i < kMessageCells && Message.GetData()[2 * i] != 0; ++i) {
            text += static_cast<char>(Message.GetData()[2 * i + 1]);
        }
        return text;
    }
};

} // namespace test_support
