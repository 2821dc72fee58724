#include "messages/Cp1250.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr char32_t X = kNoCodePoint;

constexpr std::array<char32_t, 128> kUpperHalf = {
    0x20AC, X,      0x201A, X,      0x201E, 0x2026, 0x2020, 0x2021, // 80
    X,      0x2030, 0x0160, 0x2039, 0x015A, 0x0164, 0x017D, 0x0179, // 88
    X,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 90
    X,      0x2122, 0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A, // 98
    0x00A0, 0x02C7, 0x02D8, 0x0141, 0x00A4, 0x0104, 0x00A6, 0x00A7, // A0
    0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B, // A8
    0x00B0, 0x00B1, 0x02DB, 0x0142, 0x00B4, 0x00B5, 0x00B6, 0x00B7, // B0
    0x00B8, 0x0105, 0x015F, 0x00BB, 0x013D, 0x02DD, 0x013E, 0x017C, // B8
    0x0154, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7, // C0
    0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E, // C8
    0x0110, 0x0143, 0x0147, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x00D7, // D0
    0x0158, 0x016E, 0x00DA, 0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF, // D8
    0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7, // E0
    0x010D, 0x00E9, 0x0119, 0x00EB, 0x011B, 0x00ED, 0x00EE, 0x010F, // E8
    0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7, // F0
    0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9, // F8
};

constexpr std::array<char32_t, 256> MakeTable() {
    std::array<char32_t, 256> table{};
    for (std::size_t i = 0; i < 128; ++i) {
        table[i] = static_cast<char32_t>(i); // the lower half is ASCII
        table[i + 128] = kUpperHalf[i];
    }
    return table;
}

} // namespace

const std::array<char32_t, 256> kCp1250ToUnicode = MakeTable();

std::optional<std::uint8_t> UnicodeToCp1250(char32_t cp) {
    if (cp < 0x80) {
        return static_cast<std::uint8_t>(cp);
    }
    if (cp == kNoCodePoint) {
        return std::nullopt;
    }
    const auto* begin = kUpperHalf.data();
    const auto* end = begin + kUpperHalf.size();
    const auto* found = std::find(begin, end, cp);
    if (found == end) {
        return std::nullopt;
    }
    return static_cast<std::uint8_t>(0x80 + (found - begin));
}

std::string EncodeUtf8(char32_t cp) {
    std::string out;
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        if (cp >= 0xD800 && cp <= 0xDFFF) {
            return out;
        }
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp <= 0x10FFFF) {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
    return out;
}

std::string Cp1250ToUtf8(std::uint8_t byte) {
    const char32_t cp = kCp1250ToUnicode[byte];
    return EncodeUtf8(cp == kNoCodePoint ? U'\uFFFD' : cp);
}

std::string Cp1250ToUtf8(std::string_view bytes) {
    std::string out;
    for (const char c : bytes) {
        out += Cp1250ToUtf8(static_cast<std::uint8_t>(c));
    }
    return out;
}

Cp1250Conversion Utf8ToCp1250(std::string_view utf8) {
    Cp1250Conversion result;
    std::size_t i = 0;
    while (i < utf8.size()) {
        const auto lead = static_cast<std::uint8_t>(utf8[i]);
        std::size_t length = 0;
        char32_t cp = 0;
        char32_t minimum = 0;
        if (lead < 0x80) {
            length = 1;
            cp = lead;
        } else if ((lead & 0xE0) == 0xC0) {
            length = 2;
            cp = lead & 0x1F;
            minimum = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3;
            cp = lead & 0x0F;
            minimum = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4;
            cp = lead & 0x07;
            minimum = 0x10000;
        }
        bool valid = length != 0 && i + length <= utf8.size();
        for (std::size_t k = 1; valid && k < length; ++k) {
            const auto next = static_cast<std::uint8_t>(utf8[i + k]);
            valid = (next & 0xC0) == 0x80;
            cp = (cp << 6) | (next & 0x3F);
        }
        valid = valid && cp >= minimum && cp <= 0x10FFFF && !(cp >= 0xD800 && cp <= 0xDFFF);
        if (!valid) {
            result.ValidUtf8 = false;
            result.ErrorOffset = i;
            return result;
        }
        if (const auto byte = UnicodeToCp1250(cp)) {
            result.Bytes += static_cast<char>(*byte);
        } else {
            result.Bytes += '?';
            if (std::find(result.Missing.begin(), result.Missing.end(), cp) ==
                result.Missing.end()) {
                result.Missing.push_back(cp);
            }
        }
        i += length;
    }
    return result;
}

std::string CodePointName(char32_t cp) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "U+%04X", static_cast<unsigned>(cp));
    return buffer;
}
