#include "tools/ledsign/ConsoleText.h"

namespace ledsign_tool {

std::size_t CompleteUtf8Length(std::string_view bytes) {
    // A sequence is at most four bytes, so only the last three can start an unfinished one.
    const std::size_t size = bytes.size();
    for (std::size_t back = 1; back <= 3 && back <= size; ++back) {
        const auto byte = static_cast<unsigned char>(bytes[size - back]);
        if ((byte & 0xC0) == 0x80) {
            continue; // a continuation byte: the lead is further back
        }
        std::size_t needed = 1;
        if ((byte & 0xE0) == 0xC0) {
            needed = 2;
        } else if ((byte & 0xF0) == 0xE0) {
            needed = 3;
        } else if ((byte & 0xF8) == 0xF0) {
            needed = 4;
        }
        return needed > back ? size - back : size;
    }
    return size;
}

} // namespace ledsign_tool
