#pragma once
// The sign's message format, the one definition every layer uses: the size of a message and of
// a message set, where cells and the type byte lie in a message, the live field kinds, the
// sign's default address and its message slots. Constants only, no Qt, no state.
//
// A message is a fixed 1024-byte buffer, stored in files and sent to the sign unchanged:
//   bytes 2k, 2k+1 (k = 0..499)  cell k: attribute, character code
//   bytes 1000, 1001             0, closing the cell area
//   bytes 1002..1022             0, unused
//   byte 1023                    message type: 0 scrolling, 1 static
// An attribute's low four bits are the font number (1..5), its high four bits the cell's kind.

#include <cstddef>
#include <cstdint>

namespace signformat {

inline constexpr std::size_t kMessageBytes = 1024;
// A message set (*.kzb) is the messages of slots 1..8 one after the other.
inline constexpr int kSetMessages = 8;
inline constexpr std::size_t kSetBytes = kSetMessages * kMessageBytes;

inline constexpr std::size_t kCellCount = 500;
inline constexpr std::size_t kTypeIndex = kMessageBytes - 1;
inline constexpr std::uint8_t kTypeScrolling = 0;
inline constexpr std::uint8_t kTypeStatic = 1;

// Byte positions of cell `cell` (0..kCellCount - 1).
constexpr std::size_t AttributeIndex(std::size_t cell) {
    return 2 * cell;
}
constexpr std::size_t CharacterIndex(std::size_t cell) {
    return 2 * cell + 1;
}
static_assert(CharacterIndex(kCellCount - 1) < kTypeIndex, "the cells end before the type byte");

// Cell kinds, the high four bits of an attribute: a plain character or a live field that the
// sign fills in as it shows the message.
inline constexpr int kKindShift = 4;
inline constexpr std::uint8_t kKindPlain = 0x0;
inline constexpr std::uint8_t kKindTime = 0x1;
inline constexpr std::uint8_t kKindDate = 0x2;
inline constexpr std::uint8_t kKindTemperature = 0x3;

constexpr std::uint8_t KindOf(std::uint8_t attribute) {
    return static_cast<std::uint8_t>(attribute >> kKindShift);
}
// The attribute's high bits for `kind`, to be combined with a font number.
constexpr std::uint8_t KindBits(std::uint8_t kind) {
    return static_cast<std::uint8_t>(kind << kKindShift);
}

// The character codes the editor stores in the cells of live fields.
inline constexpr std::uint8_t kTimeFieldCode = 0xFF;
inline constexpr std::uint8_t kDateFieldCode = 0xFE;
inline constexpr std::uint8_t kTemperatureFieldCode = 0xFA;

// The address a sign answers to unless it was set up otherwise (0x017C).
inline constexpr std::uint16_t kDefaultSignAddress = 380;

// Message slots: 1..8 hold the stored messages, 9 is the single current message.
inline constexpr int kFirstSlot = 1;
inline constexpr int kLastSlot = 9;
inline constexpr int kCurrentSlot = kLastSlot;

} // namespace signformat
