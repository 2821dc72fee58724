#pragma once
// An owner-drawn grid of equal square cells with a current cell (the cursor).
//
// The grid paints nothing in its cells itself: every cell is painted by the DrawCell callback
// over a black background. Every move of the current cell - by the mouse, by the grid's own
// navigation keys or by SetCol/SetRow - is first offered to the SelectCell callback, and a
// refused cell leaves the cursor where it was.
//
// Keyboard: a key press is first handed to KeyDown as a virtual-key code (see KeyMap.h); when
// the callback leaves the code non-zero, the grid runs its own navigation (arrows, Home, End,
// Page Up, Page Down; Ctrl+Home/Ctrl+End go to the first/last cell). The key's character, if it
// has one, then goes to KeyPress as code page 1250 bytes, whether or not the key was consumed.

#include <QWidget>

#include <cstdint>
#include <functional>
#include <string>

class QPainter;

class CellGrid : public QWidget {
    Q_OBJECT
public:
    // Paints cell (col, row) into `rect` of the painter's surface; `selected` marks the
    // current cell.
    using DrawCellFn =
        std::function<void(QPainter& painter, int col, int row, const QRect& rect, bool selected)>;
    // May cell (col, row) become the current cell?
    using SelectCellFn = std::function<bool(int col, int row)>;
    // Key down with the virtual-key code, in and out: setting it to 0 consumes the key.
    using KeyDownFn = std::function<void(std::uint16_t& key, Qt::KeyboardModifiers mods)>;
    // One character byte (code page 1250) typed while the grid has the focus.
    using KeyPressFn = std::function<void(std::uint8_t ch)>;
    using CellFn = std::function<void(int col, int row)>;

    // A grid of `cols` x `rows` cells of `cellSize` pixels, black background, cursor on (0, 0).
    CellGrid(int cols, int rows, int cellSize, QWidget* parent = nullptr);

    int ColCount() const { return cols_; }
    int RowCount() const { return rows_; }
    int CellSize() const { return cellSize_; }
    int Col() const { return col_; }
    int Row() const { return row_; }

    // Offers (col, Row()) / (Col(), row) to the selection check and moves there if accepted.
    // A column or row outside the grid is refused. Returns whether the cursor moved (or
    // already stood there). Repaints the two cells concerned.
    bool SetCol(int col);
    bool SetRow(int row);
    // One check for the cell (col, row); both coordinates change together or not at all.
    bool MoveTo(int col, int row);

    // Redraws every cell (asynchronously, at the next paint).
    void InvalidateAll() { update(); }

    // The rectangle of cell (col, row) in widget coordinates.
    QRect CellRect(int col, int row) const;
    // The cell under widget point `pos`; false when the point lies on no cell.
    bool CellAt(const QPoint& pos, int& col, int& row) const;

    void SetDrawCell(DrawCellFn fn) { drawCell_ = std::move(fn); }
    void SetSelectCell(SelectCellFn fn) { selectCell_ = std::move(fn); }
    void SetKeyDown(KeyDownFn fn) { keyDown_ = std::move(fn); }
    void SetKeyPress(KeyPressFn fn) { keyPress_ = std::move(fn); }
    void SetDoubleClick(CellFn fn) { doubleClick_ = std::move(fn); }

    // The painter of the paint pass in progress, or nullptr outside painting. Lets a cell
    // painter that only knows the grid copy a picture onto it.
    QPainter* ActivePainter() const { return painter_; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    // The grid's own navigation for a key the KeyDown callback left unconsumed.
    void Navigate(int qtKey, Qt::KeyboardModifiers mods);
    void UpdateCell(int col, int row);
    bool Accepts(int col, int row) const;

    int cols_;
    int rows_;
    int cellSize_;
    int col_ = 0;
    int row_ = 0;
    QPainter* painter_ = nullptr;
    DrawCellFn drawCell_;
    SelectCellFn selectCell_;
    KeyDownFn keyDown_;
    KeyPressFn keyPress_;
    CellFn doubleClick_;
};
