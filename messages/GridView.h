#pragma once
// What a message container needs of the character grid that shows it.
//
// The grid owns the cursor (its current column and row). Every cursor move, whether made by the
// grid's own navigation, a mouse click or the container's editing operations, is offered to the
// grid's cell-selection check before it takes effect; the check asks the handler that the
// grid's owner installs (normally the bound container's CanSelect) and a refused move leaves
// the cursor where it was. A toolkit widget implements this interface directly; HeadlessGrid is
// the toolkit-free implementation used by tests and command-line tools.

#include "preview/Bitmap32.h"

#include <cstdint>
#include <functional>

// A grid cell's rectangle in surface pixels (Right and Bottom exclusive).
struct GridRect {
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;
};

// How a cell is to be painted. Selected: the cell is the grid's current cell (the cursor).
enum class GridCellState : std::uint8_t {
    Normal = 0,
    Selected = 1,
};

// Virtual key codes that reach the key-down handlers (the toolkit translates its own keys).
constexpr std::uint16_t kKeyBackspace = 8;
constexpr std::uint16_t kKeyEnter = 13;
constexpr std::uint16_t kKeyLeft = 37;
constexpr std::uint16_t kKeyUp = 38;
constexpr std::uint16_t kKeyRight = 39;
constexpr std::uint16_t kKeyDown = 40;
constexpr std::uint16_t kKeyDelete = 46;

// The grid's cell-selection check: (column, row, in/out may select). `canSelect` arrives true.
using SelectCellHandler = std::function<void(int col, int row, bool& canSelect)>;

class GridView {
public:
    virtual ~GridView() = default;

    virtual int ColCount() const = 0;
    virtual int RowCount() const = 0;

    // The cursor cell.
    virtual int Col() const = 0;
    virtual int Row() const = 0;

    // Move the cursor to column `col` of the current row / row `row` of the current column.
    // The target cell is first offered to the selection check; a refused cell (or one outside
    // the grid) leaves the cursor unchanged. Setting the cell the cursor is already on does
    // nothing.
    virtual void SetCol(int col) = 0;
    virtual void SetRow(int row) = 0;

    // Move the cursor to (col, row) in one step: only this cell is offered to the selection
    // check. Used where a two-step move could be refused half-way (resetting the cursor after
    // the text it stood on has gone).
    virtual void SetCell(int col, int row) = 0;

    // The handler that the selection check calls. Without one every cell in the grid may be
    // selected.
    virtual void SetSelectCellHandler(SelectCellHandler handler) = 0;

    // Schedule a redraw of every cell; the grid then paints each cell through its owner's
    // cell-painting handler (the bound container's DrawCell).
    virtual void Invalidate() = 0;

    // Keyboard focus.
    virtual void SetFocus() = 0;
    virtual bool HasFocus() const = 0;

    // Copies `bitmap` onto the grid's drawing surface with its top-left corner at (x, y);
    // pixels outside the surface are dropped.
    virtual void CopyToSurface(const Bitmap32& bitmap, int x, int y) = 0;
};
