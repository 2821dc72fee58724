#pragma once
// Scratch directories and whole-file reads and writes for the test programs of every module
// (messages, autosync, comm, the tools and the windows). Each test gets a directory of its own,
// so test programs that run in parallel never see each other's files and nothing is left behind.
// Header-only and free of GoogleTest and Qt, so that any test program can include it.

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace test_files {

using Bytes = std::vector<std::uint8_t>;

// A fresh empty directory under the system's temporary directory, removed with everything in it
// when the object goes.
class ScratchDir {
public:
    // `prefix` starts the directory's name, so that one left by a killed test shows whose it is.
    // The name's random part is retried until the directory is new to this call (creating it is
    // the atomic test), so parallel test programs never share one; plain standard library, so it
    // works wherever the tests build. Throws std::filesystem::filesystem_error when no directory
    // can be made, which GoogleTest reports as the test's failure.
    explicit ScratchDir(std::string_view prefix = "ledsign-test-") {
        std::random_device random;
        const std::filesystem::path base = std::filesystem::temp_directory_path();
        do {
            path_ = base / (std::string(prefix) + std::to_string(random()));
        } while (!std::filesystem::create_directory(path_));
    }
    ~ScratchDir() {
        std::error_code ignored; // a file a test left open must not turn into a second failure
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    // The full path of `name` in the directory, as the tools and the library take paths.
    std::string operator/(std::string_view name) const { return (path_ / name).string(); }

    // Names of everything in the directory, sorted, so that a test can compare whole listings.
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

// The whole file; empty when it cannot be read (a test then fails on the contents).
inline Bytes ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::string ReadText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The file's lines without their line feeds; none when it does not exist (yet).
inline std::vector<std::string> ReadLines(const std::filesystem::path& path) {
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

// Replace the file with exactly these bytes (binary: no line-end translation on any system).
inline void WriteAll(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

inline void WriteText(const std::filesystem::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

} // namespace test_files
