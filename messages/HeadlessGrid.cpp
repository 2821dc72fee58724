#include "messages/HeadlessGrid.h"

#include "messages/Ledmessagecon.h"

#include <algorithm>
#include <utility>

namespace {
constexpr std::uint16_t kKeyEnd = 35;
constexpr std::uint16_t kKeyHome = 36;
} // namespace

HeadlessGrid::HeadlessGrid(int cols, int rows)
    : cols_(std::max(cols, 1)), rows_(std::max(rows, 1)),
      surface_(cols_ * kCellPitch, rows_ * kCellPitch, Rgb(0, 0, 0)) {}

bool HeadlessGrid::Select(int col, int row) {
    if (col < 0 || row < 0 || col >= cols_ || row >= rows_) {
        return false;
    }
    bool canSelect = true;
    if (select_) {
        select_(col, row, canSelect);
    }
    return canSelect;
}

void HeadlessGrid::MoveTo(int col, int row, const std::string& what) {
    if (col == col_ && row == row_) {
        return;
    }
    if (Select(col, row)) {
        col_ = col;
        row_ = row;
        log_.push_back(what);
    } else {
        log_.push_back(what + " refused");
    }
}

void HeadlessGrid::SetCol(int col) {
    MoveTo(col, row_, "col " + std::to_string(col));
}

void HeadlessGrid::SetRow(int row) {
    MoveTo(col_, row, "row " + std::to_string(row));
}

void HeadlessGrid::SetCell(int col, int row) {
    MoveTo(col, row, "cell " + std::to_string(col) + " " + std::to_string(row));
}

void HeadlessGrid::SetSelectCellHandler(SelectCellHandler handler) {
    select_ = std::move(handler);
}

void HeadlessGrid::Invalidate() {
    ++invalidates_;
    log_.emplace_back("invalidate");
}

void HeadlessGrid::SetFocus() {
    focused_ = true;
    log_.emplace_back("focus");
}

void HeadlessGrid::CopyToSurface(const Bitmap32& bitmap, int x, int y) {
    surface_.CopyFrom(bitmap, x, y);
    copies_.push_back({x, y});
}

std::uint16_t HeadlessGrid::PressKey(std::uint16_t key) {
    if (keyDown_) {
        keyDown_(key);
    }
    switch (key) {
    case kKeyUp:
        if (row_ > 0) {
            SetRow(row_ - 1);
        }
        break;
    case kKeyDown:
        if (row_ + 1 < rows_) {
            SetRow(row_ + 1);
        }
        break;
    case kKeyHome:
        SetCol(0);
        break;
    case kKeyEnd:
        SetCol(cols_ - 1);
        break;
    default:
        break;
    }
    return key;
}

void HeadlessGrid::TypeChar(std::uint8_t ch) {
    if (keyPress_) {
        keyPress_(ch);
    }
}

void HeadlessGrid::Paint() {
    if (!drawCell_) {
        return;
    }
    for (int r = 0; r < rows_; ++r) {
        for (int c = 0; c < cols_; ++c) {
            const GridRect rect{c * kCellPitch, r * kCellPitch, (c + 1) * kCellPitch,
                                (r + 1) * kCellPitch};
            drawCell_(c, r, rect,
                      (c == col_ && r == row_) ? GridCellState::Selected : GridCellState::Normal);
        }
    }
}

void BindMessageToGrid(CLEDMessageCon& message, HeadlessGrid& grid, const FontInfoTable* fonts) {
    message.AttachGrid(&grid);
    grid.SetSelectCellHandler(
        [&message](int col, int row, bool& canSelect) { message.CanSelect(col, row, canSelect); });
    grid.SetKeyDownHandler([&message](std::uint16_t& key) { message.KeyDown(key); });
    grid.SetKeyPressHandler([&message](std::uint8_t ch) { message.KeyPress(ch); });
    if (fonts == nullptr) {
        grid.SetDrawCellHandler({});
        return;
    }
    grid.SetDrawCellHandler(
        [&message, fonts](int col, int row, const GridRect& rect, GridCellState state) {
            message.DrawCell(col, row, rect, state, *fonts);
        });
}
