#pragma once
// The five bitmap fonts of the sign and the font table through which everything draws text.
//
// A font file holds 256 glyphs of `Height` bytes each, in code order; each byte is one row of
// dots, top row first, most significant bit = leftmost dot, set bit = lit dot. Only the
// leftmost `Width` bits of a row belong to the glyph.

#include "preview/Bitmap32.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <system_error>
#include <vector>

constexpr int kFontCount = 5;      // fonts 1..5
constexpr int kFontTableSize = 16; // any four-bit font number can be looked up
constexpr std::size_t kMaxFontFileSize = 2048;

// The texts are held in the entry itself rather than pointed to, so that the table needs no
// relocation and stays in read-only memory.
struct FontSpec {
    char FileName[20];    // bare file name, e.g. "font5x7.fnt"
    std::uint16_t Width;  // glyph width in dots
    std::uint16_t Height; // glyph height in rows (= bytes per glyph)
    std::size_t FileSize; // 256 x Height
    char Sample[32];      // sample text drawn on the font's button
};

// Fonts 1..5 in table order (index = font number - 1).
inline constexpr std::array<FontSpec, kFontCount> kFontSpecs = {{
    {"font5x7.fnt", 5, 7, 1792, "1] 5x7 ABCDE abcde 12345"},
    {"font8x7wj.fnt", 8, 7, 1792, "2] 8x7 ABCDE abcde 12345"},
    {"font8x8thin.fnt", 8, 8, 2048, "3] 8x8 ABCDE abcde 12345"},
    {"font8x8b.fnt", 8, 8, 2048, "4] 8x8 ABCDE abcde 12345"},
    {"font8x8atari.fnt", 8, 8, 2048, "5] 8x8 ABCDE abcde 12345"},
}};

// One entry of the font table. An empty entry has no glyphs and width and height 0.
struct FontInfo {
    const std::uint8_t* Glyphs = nullptr; // 256 x Height bytes, not owned
    std::uint16_t Width = 0;
    std::uint16_t Height = 0;
};

// Owner of the glyph data of the five fonts: fixed buffers of each font's file size.
// A buffer that was never filled, or filled from a short file, reads as 0 where no byte
// was supplied, so drawing never reads undefined memory.
class FontSet {
public:
    FontSet();

    // Copies up to the font's file size from `bytes` into font `index` (0..4); bytes the
    // span does not supply become 0. An index outside 0..4 is ignored.
    void Assign(int index, std::span<const std::uint8_t> bytes);

    // The glyph data of font `index` (0..4): kFontSpecs[index].FileSize bytes.
    const std::uint8_t* Data(int index) const {
        return buffers_[static_cast<std::size_t>(index)].data();
    }

private:
    std::array<std::array<std::uint8_t, kMaxFontFileSize>, kFontCount> buffers_{};
};

// Where LoadFonts found a font.
enum class FontOrigin {
    CurrentDirectory,    // the process's current directory (the editor's start directory)
    ExecutableDirectory, // beside the running program
    DataDirectory,       // the installed data directory
    BuiltIn,             // the copy compiled into the program
};

// A font file that was found but passed over, and why.
struct SkippedFontFile {
    enum class Reason {
        TooShort,   // holds fewer bytes than the font's size
        Unreadable, // could not be opened, examined or read
    };
    std::filesystem::path File;
    Reason Why = Reason::TooShort;
    std::size_t Size = 0;   // TooShort: the bytes the file holds
    std::size_t Needed = 0; // the font's full size
    std::error_code Error;  // Unreadable: the system's reason, when it gave one
};

// "font8x8b.fnt: 0 bytes, 2048 needed" or "font8x8b.fnt: cannot be read (Permission denied)",
// with the file's path as found, for the tools' messages.
std::string DescribeSkippedFont(const SkippedFontFile& skipped);

struct FontLoadResult {
    std::array<FontOrigin, kFontCount> Origins{}; // where each font came from
    std::vector<SkippedFontFile> Skipped;         // in search order, each file once
};

// Loads fonts 1..5 into `fonts`. Each file is looked for by its bare name in the current
// directory first, then beside the running executable, then in the installed data
// directory; when none of them has a usable copy, the copy compiled into the program is used.
// A file shorter than its font size, or one that cannot be read, is skipped (and listed in the
// result) and the search goes on; a longer file supplies only its first FileSize bytes; a
// name that is not there, or is not a regular file, counts as missing. Touches only `fonts`.
[[nodiscard]] FontLoadResult LoadFonts(FontSet& fonts);

// The three directories LoadFonts searches, in this order. An empty path is not searched.
struct FontSearchPath {
    std::filesystem::path CurrentDirectory;
    std::filesystem::path ExecutableDirectory;
    std::filesystem::path DataDirectory;
};

// The search path of the running program: ".", the directory of the executable and the
// installed data directory's "fonts" folder, found relative to the executable (in an install,
// <prefix>/bin/../share/ledsign/fonts), so that any prefix works. Both are empty when the
// platform cannot tell where the executable is.
FontSearchPath DefaultFontSearchPath();

// LoadFonts over an explicit search path (tests point it at scratch directories).
[[nodiscard]] FontLoadResult LoadFonts(FontSet& fonts, const FontSearchPath& path);

// The copy of font `index` (0..4) compiled into the program: exactly kFontSpecs[index].FileSize
// bytes; an empty span for an index outside 0..4.
std::span<const std::uint8_t> BuiltInFont(int index);

// The directory holding the running executable, or an empty path when it cannot be found.
// One implementation per platform.
std::filesystem::path ExecutableDirectory();

// A font table, indexed by font number - 1: entries 0..4 are the five fonts, 5..15 stay empty
// so that any four-bit font number can be looked up. It refers to the glyphs of a FontSet and
// owns nothing; a default table is all empty and draws nothing.
using FontInfoTable = std::array<FontInfo, kFontTableSize>;

// Fills entries 0..4 of `table` from `fonts` with the widths and heights of kFontSpecs and
// empties entries 5..15. `fonts` must outlive every later use of the table.
void InitFontTable(FontInfoTable& table, const FontSet& fonts);

// The table entry for font number n (1..5 are the fonts; 0 and 6..15 give empty entries):
// table[(n - 1) AND 15].
const FontInfo& FontEntry(const FontInfoTable& table, int fontNumber);

// The rows of glyph `code` in `font`, or nullptr for an empty entry.
const std::uint8_t* GlyphRows(const FontInfo& font, std::uint8_t code);

// Draws the zero-terminated `text` at its natural size with its top-left corner at (x, y):
// set bits paint `colour`, clear bits leave the surface untouched; each character advances
// x by font.Width. Pixels outside the surface are dropped. Returns 0.
int DrawFontString(const FontInfo& font, Bitmap32& surface, Pixel colour, int x, int y,
                   const char* text);

// Draws glyph `code` at double size into the top-left of `target` (normally 16 x 16): each
// glyph row fills two pixel rows, each of the 8 bits of a row two pixels, `fg` for a set bit and
// `bg` for a clear one, whatever the font's width. Rows from 2 x Height on are not touched;
// an empty entry draws nothing.
void DrawGlyphDouble(const FontInfo& font, std::uint8_t code, Bitmap32& target, Pixel fg, Pixel bg);
