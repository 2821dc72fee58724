#pragma once
// A fresh directory per test, removed with everything in it at the end, with the spellings the
// synchronisation tests use: their data files are text, read and written whole.

#include "testsupport/ScratchFiles.h"

#include <string>
#include <string_view>

class TempDir : public test_files::ScratchDir {
public:
    TempDir() : ScratchDir("autosync-test-") {}

    std::string Str() const { return Path().string(); }
    std::string File(std::string_view name) const { return *this / name; }

    // Writes `bytes` exactly (binary) to `name` in the directory; returns the full path.
    std::string Write(std::string_view name, std::string_view bytes) const {
        std::string full = File(name);
        test_files::WriteText(full, bytes);
        return full;
    }

    static std::string Read(const std::string& full) { return test_files::ReadText(full); }
};
