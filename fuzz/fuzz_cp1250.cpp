// Arbitrary bytes through the UTF-8 to code page 1250 conversion: it must never read out of
// bounds, and whatever converts without loss must convert back to exactly the input.

#include "messages/Cp1250.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const Cp1250Conversion converted = Utf8ToCp1250(input);
    if (converted.Ok() && Cp1250ToUtf8(converted.Bytes) != input) {
        std::abort();
    }
    if (!converted.ValidUtf8 && converted.ErrorOffset >= size) {
        std::abort();
    }
    // Every byte string maps to UTF-8 that converts back to the same bytes, except the five
    // undefined bytes, which come back as U+FFFD.
    const Cp1250Conversion back = Utf8ToCp1250(Cp1250ToUtf8(input));
    if (!back.ValidUtf8) {
        std::abort();
    }
    for (std::size_t i = 0; i < size; ++i) {
        const auto b = static_cast<std::uint8_t>(input[i]);
        const bool undefined = kCp1250ToUnicode[b] == kNoCodePoint;
        if (undefined ? back.Bytes[i] != '?' : back.Bytes[i] != input[i]) {
            std::abort();
        }
    }
    return 0;
}
