#include "preview/Fonts.h"

#include <algorithm>

FontSet::FontSet() = default;

void FontSet::Assign(int index, std::span<const std::uint8_t> bytes) {
    if (index < 0 || index >= kFontCount) {
        return;
    }
    auto& buffer = buffers_[static_cast<std::size_t>(index)];
    buffer.fill(0);
    const std::size_t size = kFontSpecs[static_cast<std::size_t>(index)].FileSize;
    std::copy_n(bytes.begin(), std::min(size, bytes.size()), buffer.begin());
}

void InitFontTable(FontInfoTable& table, const FontSet& fonts) {
    table.fill(FontInfo{});
    for (int i = 0; i < kFontCount; ++i) {
        const FontSpec& fontSpec = kFontSpecs[static_cast<std::size_t>(i)];
        table[static_cast<std::size_t>(i)] =
            FontInfo{fonts.Data(i), fontSpec.Width, fontSpec.Height};
    }
}

const FontInfo& FontEntry(const FontInfoTable& table, int fontNumber) {
    return table[static_cast<std::size_t>((fontNumber - 1) & 0x0F)];
}

const std::uint8_t* GlyphRows(const FontInfo& font, std::uint8_t code) {
    if (font.Glyphs == nullptr || font.Height == 0) {
        return nullptr;
    }
    return font.Glyphs + static_cast<std::size_t>(code) * font.Height;
}

int DrawFontString(const FontInfo& font, Bitmap32& surface, Pixel colour, int x, int y,
                   const char* text) {
    if (text == nullptr) {
        return 0;
    }
    for (const char* p = text; *p != '\0'; ++p) {
        const std::uint8_t* rows = GlyphRows(font, static_cast<std::uint8_t>(*p));
        if (rows != nullptr) {
            for (int i = 0; i < font.Height; ++i) {
                for (int j = 0; j < font.Width && j < 8; ++j) {
                    if (rows[i] & (0x80u >> j)) {
                        surface.Set(x + j, y + i, colour);
                    }
                }
            }
        }
        x += font.Width;
    }
    return 0;
}

void DrawGlyphDouble(const FontInfo& font, std::uint8_t code, Bitmap32& target, Pixel fg,
                     Pixel bg) {
    const std::uint8_t* rows = GlyphRows(font, code);
    if (rows == nullptr) {
        return;
    }
    for (int y = 0; y < 2 * font.Height; ++y) {
        const std::uint8_t bits = rows[y / 2];
        for (int bit = 0; bit < 8; ++bit) {
            const Pixel p = (bits & (0x80u >> bit)) ? fg : bg;
            target.Set(2 * bit, y, p);
            target.Set(2 * bit + 1, y, p);
        }
    }
}
