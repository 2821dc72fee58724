#include "app/widgets/ControlCodeMarks.h"

#include <QColor>
#include <QLine>
#include <QPainter>
#include <QPen>
#include <QRect>

#include <array>
#include <span>

namespace {

// The strokes of each mark in a 16 x 16 cell, kept to its bottom right corner (columns 9 to
// 14, rows 10 to 14), where glyphs of the 8-dot fonts leave the most room.
constexpr std::array<QLine, 4> kReturnMark = {{
    {14, 10, 14, 13},
    {10, 13, 14, 13},
    {11, 12, 11, 14},
    {12, 11, 12, 15},
}};
constexpr std::array<QLine, 3> kLineFeedMark = {{
    {12, 10, 12, 14},
    {11, 13, 13, 13},
    {10, 12, 14, 12},
}};
constexpr std::array<QLine, 3> kTabMark = {{
    {9, 12, 13, 12},
    {12, 11, 12, 13},
    {14, 10, 14, 14},
}};
constexpr std::array<QLine, 2> kDotMark = {{
    {12, 13, 13, 13},
    {12, 14, 13, 14},
}};

std::span<const QLine> StrokesOf(std::uint8_t code) {
    switch (code) {
    case '\r':
        return kReturnMark;
    case '\n':
        return kLineFeedMark;
    case '\t':
        return kTabMark;
    default:
        return kDotMark;
    }
}

} // namespace

void DrawControlCodeMark(QPainter& painter, const QRect& cell, std::uint8_t code) {
    if (!HasControlCodeMark(code)) {
        return;
    }
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QPen(QColor(kControlCodeMarkColour), 0));
    painter.translate(cell.topLeft());
    for (const QLine& stroke : StrokesOf(code)) {
        painter.drawLine(stroke);
    }
    painter.restore();
}
