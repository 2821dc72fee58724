#pragma once
// The faint marks that show the operator where a message holds control codes. Most fonts draw
// nothing for codes below 32, yet such a cell is sent to the sign like any other; the mark is
// painted by the editor window over the cell only, never into the message or onto the strip.

#include <QRgb>

#include <cstdint>

class QPainter;
class QRect;

// The colour of every mark: dim on the black cell, still visible on the grey cursor cell.
constexpr QRgb kControlCodeMarkColour = qRgb(70, 110, 190);

// Whether a cell with character code `code` carries a mark: every code below 32.
constexpr bool HasControlCodeMark(std::uint8_t code) {
    return code < 0x20;
}

// Paints the mark of `code` into the bottom right corner of the cell at `cell` (at least
// 16 x 16 pixels): a return arrow for carriage return (13), a down arrow for line feed (10), an
// arrow to a bar for tab (9) and a dot for every other code below 32. Paints nothing for codes
// from 32 on. The painter's state is left as it was.
void DrawControlCodeMark(QPainter& painter, const QRect& cell, std::uint8_t code);
