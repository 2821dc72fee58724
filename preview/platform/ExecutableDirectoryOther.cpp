#include "preview/Fonts.h"

// Platforms without a known way to name the running executable search only the current and
// the installed data directory.
std::filesystem::path ExecutableDirectory() {
    return {};
}
