#include "preview/Fonts.h"

#include <fstream>
#include <system_error>

#ifndef LEDSIGN_DATA_DIR
#error "LEDSIGN_DATA_DIR must name the data directory relative to the executable's"
#endif

namespace {

// Reads at most `fontSpec.FileSize` bytes of the file at `file` into font `index`. Returns false,
// leaving the font untouched, when there is no regular file to read.
bool LoadFontFile(FontSet& fonts, int index, const FontSpec& fontSpec,
                  const std::filesystem::path& file) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(file, error)) {
        return false;
    }
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return false;
    }
    std::array<std::uint8_t, kMaxFontFileSize> bytes{};
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(fontSpec.FileSize));
    const auto got = static_cast<std::size_t>(in.gcount());
    fonts.Assign(index, std::span<const std::uint8_t>(bytes.data(), got));
    return true;
}

} // namespace

FontSearchPath DefaultFontSearchPath() {
    const std::filesystem::path executableDirectory = ExecutableDirectory();
    std::filesystem::path dataDirectory;
    if (!executableDirectory.empty()) {
        dataDirectory = (executableDirectory / LEDSIGN_DATA_DIR / "fonts").lexically_normal();
    }
    return FontSearchPath{".", executableDirectory, dataDirectory};
}

std::array<FontOrigin, kFontCount> LoadFonts(FontSet& fonts) {
    return LoadFonts(fonts, DefaultFontSearchPath());
}

std::array<FontOrigin, kFontCount> LoadFonts(FontSet& fonts, const FontSearchPath& path) {
    const std::array<std::pair<const std::filesystem::path*, FontOrigin>, 3> places = {{
        {&path.CurrentDirectory, FontOrigin::CurrentDirectory},
        {&path.ExecutableDirectory, FontOrigin::ExecutableDirectory},
        {&path.DataDirectory, FontOrigin::DataDirectory},
    }};
    std::array<FontOrigin, kFontCount> origins{};
    for (int i = 0; i < kFontCount; ++i) {
        const FontSpec& fontSpec = kFontSpecs[static_cast<std::size_t>(i)];
        origins[static_cast<std::size_t>(i)] = FontOrigin::BuiltIn;
        bool found = false;
        for (const auto& [dir, origin] : places) {
            if (!dir->empty() && LoadFontFile(fonts, i, fontSpec, *dir / fontSpec.FileName)) {
                origins[static_cast<std::size_t>(i)] = origin;
                found = true;
                break;
            }
        }
        if (!found) {
            // Drawing relies on all five fonts being present, so a missing file must not
            // leave a blank font behind.
            fonts.Assign(i, BuiltInFont(i));
        }
    }
    return origins;
}
