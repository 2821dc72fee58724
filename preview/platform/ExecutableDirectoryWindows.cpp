#include "preview/Fonts.h"

#include <windows.h>

#include <string>
#include <vector>

std::filesystem::path ExecutableDirectory() {
    // Long paths can exceed MAX_PATH: grow the buffer until the whole name fits.
    std::vector<wchar_t> buffer(MAX_PATH); // wide: the folder may have any name
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            return {};
        }
        if (length < buffer.size()) {
            return std::filesystem::path(std::wstring(buffer.data(), length)).parent_path();
        }
        if (buffer.size() >= 32768) {
            return {};
        }
        buffer.resize(buffer.size() * 2);
    }
}
