// POSIX file names are bytes; UTF-8 names pass through unchanged.

#include "preview/Utf8Files.h"

std::FILE* OpenUtf8File(const char* name, const char* mode) {
    if (name == nullptr || mode == nullptr) {
        return nullptr;
    }
    return std::fopen(name, mode);
}
