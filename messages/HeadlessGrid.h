#pragma once
// A grid view without a toolkit: the cursor model with its selection check, focus, a surface
// that keeps every copied cell picture, and the grid's own navigation keys. The message tests
// and the command-line tools edit messages through it exactly as the editor's grid does.

#include "messages/GridView.h"
#include "preview/Fonts.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class HeadlessGrid : public GridView {
public:
    static constexpr int kCellPitch = 17; // cell size in surface pixels (16 + one-pixel gap)

    using KeyDownHandler = std::function<void(std::uint16_t& key)>;
    using KeyPressHandler = std::function<void(std::uint8_t ch)>;
    using DrawCellHandler =
        std::function<void(int col, int row, const GridRect& rect, GridCellState state)>;

    // One copy onto the surface.
    struct SurfaceCopy {
        int X;
        int Y;
    };

    // A cols x rows grid with the cursor on (0,0), without focus, surface black.
    explicit HeadlessGrid(int cols = 32, int rows = 16);

    int ColCount() const override { return cols_; }
    int RowCount() const override { return rows_; }
    int Col() const override { return col_; }
    int Row() const override { return row_; }
    void SetCol(int col) override;
    void SetRow(int row) override;
    void SetCell(int col, int row) override;
    void SetSelectCellHandler(SelectCellHandler handler) override;
    void Invalidate() override;
    void SetFocus() override;
    bool HasFocus() const override { return focused_; }
    void CopyToSurface(const Bitmap32& bitmap, int x, int y) override;

    // Handlers of the owner, like a toolkit grid's events.
    void SetKeyDownHandler(KeyDownHandler handler) { keyDown_ = std::move(handler); }
    void SetKeyPressHandler(KeyPressHandler handler) { keyPress_ = std::move(handler); }
    void SetDrawCellHandler(DrawCellHandler handler) { drawCell_ = std::move(handler); }

    // A key press while the grid has the focus: the key-down handler first; a key it did not
    // consume (left non-zero) gets the grid's own navigation: Up/Down one row, Home/End to
    // the first/last column, each through the selection check. Returns the key as left.
    std::uint16_t PressKey(std::uint16_t key);

    // A typed character: the key-press handler.
    void TypeChar(std::uint8_t ch);

    // A mouse click on a cell: a one-step move through the selection check.
    void Click(int col, int row) { SetCell(col, row); }

    void KillFocus() { focused_ = false; }

    // Paints every cell through the draw-cell handler (what the toolkit does after
    // Invalidate), the cursor cell with state Selected.
    void Paint();

    // The surface: cols x rows cells of kCellPitch pixels on black.
    const Bitmap32& Surface() const { return surface_; }
    const std::vector<SurfaceCopy>& Copies() const { return copies_; }
    int InvalidateCount() const { return invalidates_; }

    // Everything that happened to the cursor, the focus and the redraws, in order:
    // "col 3", "col 3 refused", "row 1", "cell 0 0", "invalidate", "focus".
    const std::vector<std::string>& Log() const { return log_; }
    // Forgets the log and the list of copies (the surface keeps its pixels).
    void ClearLog() {
        log_.clear();
        copies_.clear();
    }

private:
    [[nodiscard]] bool Select(int col, int row);
    void MoveTo(int col, int row, const std::string& what);

    int cols_;
    int rows_;
    int col_ = 0;
    int row_ = 0;
    bool focused_ = false;
    int invalidates_ = 0;
    SelectCellHandler select_;
    KeyDownHandler keyDown_;
    KeyPressHandler keyPress_;
    DrawCellHandler drawCell_;
    Bitmap32 surface_;
    std::vector<SurfaceCopy> copies_;
    std::vector<std::string> log_;
};

class CLEDMessageCon;

// Binds `message` to `grid` the way the editor binds message 1 to its grid: the container
// gets the grid, and the grid's selection check, key-down, key-press and cell-painting events
// go to the container's CanSelect, KeyDown, KeyPress and DrawCell. Cells are painted in the
// fonts of `fonts`; without a table (nullptr) the grid is only edited, never painted. All of
// them must outlive the binding.
void BindMessageToGrid(CLEDMessageCon& message, HeadlessGrid& grid,
                       const FontInfoTable* fonts = nullptr);
