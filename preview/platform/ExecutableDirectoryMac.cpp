#include "preview/Fonts.h"

#include <mach-o/dyld.h>

#include <cstdint>
#include <vector>

std::filesystem::path ExecutableDirectory() {
    std::uint32_t size = 0;
    _NSGetExecutablePath(nullptr, &size); // reports the size the path needs
    std::vector<char> buffer(size + 1, '\0');
    if (_NSGetExecutablePath(buffer.data(), &size) != 0) {
        return {};
    }
    return std::filesystem::path(buffer.data()).parent_path();
}
