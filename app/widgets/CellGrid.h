#pragma once
// An owner-drawn grid of equal square cells with a current cell (the cursor).
//
// The grid paints nothing in its cells itself: every cell is painted by the DrawCell callback
// over a black background. Every move of the current cell - by the mouse, by the grid's own
// navigation keys or by SetCol/SetRow - is first offered to the selection handler, and a
// refused cell leaves the cursor where it was.
//
// Keyboard: a key press is first handed to KeyDown as a virtual-key code (see KeyMap.h); when
// the callback leaves the code non-zero, the grid runs its own navigation. Home goes to column
// 0 and Ctrl+Home to the first cell; End goes to the last cell of the row that the selection
// handler accepts and Ctrl+End to the last accepted cell of the grid, so both reach the end of
// a text that stops short of the row's end. The arrows and the page keys make a single move,
// refused as a whole when the selection handler refuses its cell. The key's characters (see
// TypedBytesOf: none for Escape and for Ctrl or Alt combinations) then go to KeyPress as code
// page 1250 bytes, whether or not the key was consumed. Tab and Shift+Tab are keys of the grid
// like any other: they never move the focus away from it.

#include "messages/GridView.h"

#include <QWidget>

#include <cstdint>
#include <functional>
#include <string>

class QPainter;

class CellGrid : public QWidget, public GridView {
    Q_OBJECT
public:
    // Paints cell (col, row) into `rect` of the painter's surface; `selected` marks the
    // current cell.
    using DrawCellFn =
        std::function<void(QPainter& painter, int col, int row, const QRect& rect, bool selected)>;
    // Key down with the virtual-key code, in and out: setting it to 0 consumes the key.
    using KeyDownFn = std::function<void(std::uint16_t& key, Qt::KeyboardModifiers mods)>;
    // One character byte (code page 1250) typed while the grid has the focus.
    using KeyPressFn = std::function<void(std::uint8_t ch)>;
    using CellFn = std::function<void(int col, int row)>;

    // A grid of `cols` x `rows` cells of `cellSize` pixels, black background, cursor on (0, 0).
    CellGrid(int cols, int rows, int cellSize, QWidget* parent = nullptr);

    int CellSize() const { return cellSize_; }

    // GridView. A move outside the grid is refused; an accepted move repaints the two cells
    // concerned. CopyToSurface draws only while a paint pass is in progress (the toolkit
    // paints a widget only then); outside painting it does nothing.
    int ColCount() const override { return cols_; }
    int RowCount() const override { return rows_; }
    int Col() const override { return col_; }
    int Row() const override { return row_; }
    void SetCol(int col) override { MoveTo(col, row_); }
    void SetRow(int row) override { MoveTo(col_, row); }
    void SetCell(int col, int row) override { MoveTo(col, row); }
    void SetSelectCellHandler(SelectCellHandler handler) override {
        selectCell_ = std::move(handler);
    }
    void Invalidate() override { update(); }
    void SetFocus() override { setFocus(Qt::OtherFocusReason); }
    bool HasFocus() const override { return hasFocus(); }
    void CopyToSurface(const Bitmap32& bitmap, int x, int y) override;

    // One check for the cell (col, row); both coordinates change together or not at all.
    // Returns whether the cursor now stands there.
    bool MoveTo(int col, int row);

    // The rectangle of cell (col, row) in widget coordinates.
    QRect CellRect(int col, int row) const;
    // The cell under widget point `pos`; false when the point lies on no cell.
    bool CellAt(const QPoint& pos, int& col, int& row) const;

    void SetDrawCell(DrawCellFn fn) { drawCell_ = std::move(fn); }
    void SetKeyDown(KeyDownFn fn) { keyDown_ = std::move(fn); }
    void SetKeyPress(KeyPressFn fn) { keyPress_ = std::move(fn); }
    void SetDoubleClick(CellFn fn) { doubleClick_ = std::move(fn); }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    bool focusNextPrevChild(bool next) override;

private:
    // The grid's own navigation for a key the KeyDown callback left unconsumed.
    void Navigate(int qtKey, Qt::KeyboardModifiers mods);
    // Moves to the last accepted cell, by index row x columns + column, in [first, last];
    // nothing when none is accepted.
    void MoveToLastAccepted(int first, int last);
    void UpdateCell(int col, int row);
    bool Accepts(int col, int row) const;

    int cols_;
    int rows_;
    int cellSize_;
    int col_ = 0;
    int row_ = 0;
    QPainter* painter_ = nullptr;
    DrawCellFn drawCell_;
    SelectCellHandler selectCell_;
    KeyDownFn keyDown_;
    KeyPressFn keyPress_;
    CellFn doubleClick_;
};
