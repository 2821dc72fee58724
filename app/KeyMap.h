#pragma once
// Translation of the toolkit's key events into what the message editor understands: the
// Windows virtual-key codes of the key-down handlers and code page 1250 character bytes.

#include <QString>

#include <cstdint>
#include <string>
#include <string_view>

class QKeyEvent;

// Virtual-key codes the editor and the windows test for.
namespace vk {
constexpr std::uint16_t Back = 8;
constexpr std::uint16_t Tab = 9;
constexpr std::uint16_t Return = 13;
constexpr std::uint16_t Escape = 27;
constexpr std::uint16_t Prior = 33; // Page Up
constexpr std::uint16_t Next = 34;  // Page Down
constexpr std::uint16_t End = 35;
constexpr std::uint16_t Home = 36;
constexpr std::uint16_t Left = 37;
constexpr std::uint16_t Up = 38;
constexpr std::uint16_t Right = 39;
constexpr std::uint16_t Down = 40;
constexpr std::uint16_t Delete = 46;
} // namespace vk

// The virtual-key code of toolkit key `qtKey` (a Qt::Key value): letters and digits give their
// upper-case ASCII code, named keys their Windows codes; a key without a code gives 0.
std::uint16_t VirtualKeyOf(int qtKey);

// The character bytes (code page 1250) that key event `event` types, in order; empty for keys
// that type nothing. Enter gives 13 and Escape 27; Delete types nothing (the toolkit reports
// 0x7F for it, which Windows never delivers as a character).
std::string CharBytesOf(const QKeyEvent& event);

// The bytes key event `event` types into a message: CharBytesOf, except that Escape and every
// Ctrl or Alt combination type nothing, because they are commands, never text, and a cell that
// no one sees would go to the sign. Ctrl and Alt together with a printable character are typed:
// that is how Windows reports AltGr, which Polish keyboards use for their letters.
std::string TypedBytesOf(const QKeyEvent& event);

// Unicode text to code page 1250, one byte per character; a character the code page lacks
// (including one outside the Basic Multilingual Plane) becomes '?'.
std::string ToCp1250(const QString& text);

// Code page 1250 bytes to Unicode; bytes the code page leaves undefined become U+FFFD.
QString FromCp1250(std::string_view bytes);
