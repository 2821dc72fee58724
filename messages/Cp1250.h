#pragma once
// Code page 1250 (Central European), the byte encoding of message text, and its conversion to
// and from UTF-8.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The code point of each byte; kNoCodePoint for the five bytes the code page leaves
// undefined (0x81, 0x83, 0x88, 0x90, 0x98).
constexpr char32_t kNoCodePoint = 0xFFFFFFFF;
extern const std::array<char32_t, 256> kCp1250ToUnicode;

// The byte for code point `cp`, or nothing when the code page has no such character.
[[nodiscard]] std::optional<std::uint8_t> UnicodeToCp1250(char32_t cp);

// UTF-8 for one code point (nothing for a surrogate or a value above U+10FFFF).
std::string EncodeUtf8(char32_t cp);

// UTF-8 for one byte of code page 1250; an undefined byte gives U+FFFD.
std::string Cp1250ToUtf8(std::uint8_t byte);
std::string Cp1250ToUtf8(std::string_view bytes);

struct Cp1250Conversion {
    std::string Bytes;             // the text in code page 1250; '?' for each unmappable
    std::vector<char32_t> Missing; // characters the code page lacks, each once, in order
    bool ValidUtf8 = true;         // false: malformed UTF-8 (conversion stopped there)
    std::size_t ErrorOffset = 0;   // byte offset of the malformed sequence
    bool Ok() const { return ValidUtf8 && Missing.empty(); }
};

// Decodes strict UTF-8 (no overlong forms, surrogates or values above U+10FFFF) and converts
// it to code page 1250.
Cp1250Conversion Utf8ToCp1250(std::string_view utf8);

// "U+0107" style name of a code point, for error texts.
std::string CodePointName(char32_t cp);
