#include "app/widgets/CellGrid.h"

#include "app/KeyMap.h"

#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

CellGrid::CellGrid(int cols, int rows, int cellSize, QWidget* parent)
    : QWidget(parent), cols_(cols), rows_(rows), cellSize_(cellSize) {
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::IBeamCursor);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_KeyCompression, false);
}

QSize CellGrid::sizeHint() const {
    return {cols_ * cellSize_, rows_ * cellSize_};
}

QRect CellGrid::CellRect(int col, int row) const {
    return {col * cellSize_, row * cellSize_, cellSize_, cellSize_};
}

bool CellGrid::CellAt(const QPoint& pos, int& col, int& row) const {
    if (pos.x() < 0 || pos.y() < 0) {
        return false;
    }
    const int c = pos.x() / cellSize_;
    const int r = pos.y() / cellSize_;
    if (c >= cols_ || r >= rows_) {
        return false;
    }
    col = c;
    row = r;
    return true;
}

bool CellGrid::Accepts(int col, int row) const {
    if (col < 0 || row < 0 || col >= cols_ || row >= rows_) {
        return false;
    }
    bool canSelect = true;
    if (selectCell_) {
        selectCell_(col, row, canSelect);
    }
    return canSelect;
}

void CellGrid::CopyToSurface(const Bitmap32& bitmap, int x, int y) {
    if (painter_ == nullptr) {
        return;
    }
    const QImage image(reinterpret_cast<const uchar*>(bitmap.Bits()), bitmap.Width(),
                       bitmap.Height(), bitmap.Width() * 4, QImage::Format_RGB32);
    painter_->drawImage(QPoint(x, y), image);
}

bool CellGrid::MoveTo(int col, int row) {
    if (col == col_ && row == row_) {
        return true;
    }
    if (!Accepts(col, row)) {
        return false;
    }
    const int oldCol = col_;
    const int oldRow = row_;
    col_ = col;
    row_ = row;
    UpdateCell(oldCol, oldRow);
    UpdateCell(col_, row_);
    return true;
}

void CellGrid::UpdateCell(int col, int row) {
    update(CellRect(col, row));
}

void CellGrid::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.fillRect(event->rect(), Qt::black);
    if (!drawCell_) {
        return;
    }
    const QRect area = event->rect();
    const int c0 = std::max(0, area.left() / cellSize_);
    const int c1 = std::min(cols_ - 1, area.right() / cellSize_);
    const int r0 = std::max(0, area.top() / cellSize_);
    const int r1 = std::min(rows_ - 1, area.bottom() / cellSize_);
    painter_ = &painter;
    for (int r = r0; r <= r1; ++r) {
        for (int c = c0; c <= c1; ++c) {
            drawCell_(painter, c, r, CellRect(c, r), c == col_ && r == row_);
        }
    }
    painter_ = nullptr;
}

void CellGrid::mousePressEvent(QMouseEvent* event) {
    setFocus(Qt::MouseFocusReason);
    int col = 0;
    int row = 0;
    if (event->button() == Qt::LeftButton && CellAt(event->position().toPoint(), col, row)) {
        MoveTo(col, row);
    }
}

void CellGrid::mouseDoubleClickEvent(QMouseEvent* event) {
    int col = 0;
    int row = 0;
    if (event->button() != Qt::LeftButton || !CellAt(event->position().toPoint(), col, row)) {
        return;
    }
    // The second press of a double click selects like a click (the first press has normally
    // done so already); the handler then acts on the current cell, which is the previous one
    // when the selection check refused the cell under the mouse.
    MoveTo(col, row);
    if (doubleClick_) {
        doubleClick_(col_, row_);
    }
}

void CellGrid::keyPressEvent(QKeyEvent* event) {
    std::uint16_t key = VirtualKeyOf(event->key());
    if (keyDown_ && key != 0) {
        keyDown_(key, event->modifiers());
    }
    if (key != 0) {
        Navigate(event->key(), event->modifiers());
    }
    if (keyPress_) {
        for (const char ch : TypedBytesOf(*event)) {
            keyPress_(static_cast<std::uint8_t>(ch));
        }
    }
    event->accept();
}

void CellGrid::Navigate(int qtKey, Qt::KeyboardModifiers mods) {
    const bool ctrl = mods.testFlag(Qt::ControlModifier);
    switch (qtKey) {
    case Qt::Key_Left:
        MoveTo(col_ - 1, row_);
        break;
    case Qt::Key_Right:
        MoveTo(col_ + 1, row_);
        break;
    case Qt::Key_Up:
        MoveTo(col_, row_ - 1);
        break;
    case Qt::Key_Down:
        MoveTo(col_, row_ + 1);
        break;
    case Qt::Key_PageUp:
        MoveTo(col_, 0);
        break;
    case Qt::Key_PageDown:
        MoveTo(col_, rows_ - 1);
        break;
    case Qt::Key_Home:
        MoveTo(0, ctrl ? 0 : row_);
        break;
    case Qt::Key_End:
        if (ctrl) {
            MoveToLastAccepted(0, cols_ * rows_ - 1);
        } else {
            MoveToLastAccepted(row_ * cols_, row_ * cols_ + cols_ - 1);
        }
        break;
    default:
        break;
    }
}

void CellGrid::MoveToLastAccepted(int first, int last) {
    for (int index = last; index >= first; --index) {
        if (Accepts(index % cols_, index / cols_)) {
            MoveTo(index % cols_, index / cols_);
            return;
        }
    }
}

bool CellGrid::focusNextPrevChild(bool) {
    // Tab is a character of the message: the toolkit would otherwise spend it on moving the
    // focus to the next widget.
    return false;
}

void CellGrid::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    UpdateCell(col_, row_);
}

void CellGrid::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    UpdateCell(col_, row_);
}
