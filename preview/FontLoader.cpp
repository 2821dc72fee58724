#include "preview/Fonts.h"
#include "preview/Utf8Files.h"

#include <cerrno>
#include <cstdio>
#include <optional>

#ifndef LEDSIGN_DATA_DIR
#error "LEDSIGN_DATA_DIR must name the data directory relative to the executable's"
#endif

namespace {

// The system's reason for the last failed C library call, or none when it did not set one.
std::error_code LastError() {
    return errno != 0 ? std::error_code(errno, std::generic_category()) : std::error_code();
}

// What became of one place in the search.
enum class Lookup { Missing, Loaded, Skipped };

// Reads font `index` from `file` into `fonts`. A name that is not there or is not a regular file
// is Missing; a file that cannot be read, or holds fewer than the font's size, is Skipped and
// described in `skipped`, leaving the font untouched. Only the first FileSize bytes are used.
Lookup LoadFontFile(FontSet& fonts, int index, const FontSpec& fontSpec,
                    const std::filesystem::path& file, std::optional<SkippedFontFile>& skipped) {
    SkippedFontFile reason;
    reason.File = file;
    reason.Needed = fontSpec.FileSize;
    reason.Why = SkippedFontFile::Reason::Unreadable;

    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(file, error);
    if (error && error != std::errc::no_such_file_or_directory &&
        error != std::errc::not_a_directory) {
        reason.Error = error;
        skipped = reason;
        return Lookup::Skipped;
    }
    if (!std::filesystem::is_regular_file(status)) {
        return Lookup::Missing;
    }
    errno = 0;
    std::FILE* in = OpenUtf8File(PathToUtf8(file).c_str(), "rb");
    if (in == nullptr) {
        reason.Error = LastError();
        skipped = reason;
        return Lookup::Skipped;
    }
    std::array<std::uint8_t, kMaxFontFileSize> bytes{};
    errno = 0;
    const std::size_t got = std::fread(bytes.data(), 1, fontSpec.FileSize, in);
    const bool failed = std::ferror(in) != 0;
    reason.Error = LastError();
    std::fclose(in);
    if (failed) {
        skipped = reason;
        return Lookup::Skipped;
    }
    if (got < fontSpec.FileSize) {
        // Missing glyph rows would draw as blanks: every character, or every letter past the
        // end, would vanish from the strip and the grid.
        reason.Why = SkippedFontFile::Reason::TooShort;
        reason.Size = got;
        reason.Error.clear();
        skipped = reason;
        return Lookup::Skipped;
    }
    fonts.Assign(index, std::span<const std::uint8_t>(bytes.data(), got));
    return Lookup::Loaded;
}

} // namespace

std::string DescribeSkippedFont(const SkippedFontFile& skipped) {
    std::string text = PathToUtf8(skipped.File) + ": ";
    if (skipped.Why == SkippedFontFile::Reason::TooShort) {
        text +=
            std::to_string(skipped.Size) + " bytes, " + std::to_string(skipped.Needed) + " needed";
    } else {
        text += "cannot be read";
        if (skipped.Error) {
            text += " (" + skipped.Error.message() + ")";
        }
    }
    return text;
}

FontSearchPath DefaultFontSearchPath() {
    const std::filesystem::path executableDirectory = ExecutableDirectory();
    std::filesystem::path dataDirectory;
    if (!executableDirectory.empty()) {
        dataDirectory = (executableDirectory / LEDSIGN_DATA_DIR / "fonts").lexically_normal();
    }
    return FontSearchPath{".", executableDirectory, dataDirectory};
}

FontLoadResult LoadFonts(FontSet& fonts) {
    return LoadFonts(fonts, DefaultFontSearchPath());
}

FontLoadResult LoadFonts(FontSet& fonts, const FontSearchPath& path) {
    const std::array<std::pair<const std::filesystem::path*, FontOrigin>, 3> places = {{
        {&path.CurrentDirectory, FontOrigin::CurrentDirectory},
        {&path.ExecutableDirectory, FontOrigin::ExecutableDirectory},
        {&path.DataDirectory, FontOrigin::DataDirectory},
    }};
    FontLoadResult result;
    for (int i = 0; i < kFontCount; ++i) {
        const FontSpec& fontSpec = kFontSpecs[static_cast<std::size_t>(i)];
        FontOrigin& origin = result.Origins[static_cast<std::size_t>(i)];
        origin = FontOrigin::BuiltIn;
        for (const auto& [dir, place] : places) {
            if (dir->empty()) {
                continue;
            }
            std::optional<SkippedFontFile> skipped;
            const Lookup lookup =
                LoadFontFile(fonts, i, fontSpec, *dir / fontSpec.FileName, skipped);
            if (lookup == Lookup::Loaded) {
                origin = place;
                break;
            }
            if (skipped) {
                result.Skipped.push_back(std::move(*skipped));
            }
        }
        if (origin == FontOrigin::BuiltIn) {
            // Drawing relies on all five fonts being present, so a missing file must not
            // leave a blank font behind.
            fonts.Assign(i, BuiltInFont(i));
        }
    }
    return result;
}
