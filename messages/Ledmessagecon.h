#pragma once
// CLEDMessageCon: one message of the LED sign in its fixed 1024-byte buffer, with the editing
// operations that the message grid calls, the painting of one grid cell and file access.
//
// The buffer's layout and the attribute byte are the sign's format (format/SignFormat.h); a
// character code is a code page 1250 character or a glyph code. Bytes 1000 and 1001 are set to
// 0 after every insert or delete. The message ends at the first cell whose attribute is 0.
//
// All operations run on the user-interface thread. The operations that use the grid
// (CursorLeft, CursorRight, CanSelect, KeyDown, KeyPress, DrawCell, SetFont, the inserts at the
// cursor, Clear) must only be called after AttachGrid.

#include "format/SignFormat.h"
#include "messages/FileLoad.h"
#include "messages/GridView.h"
#include "preview/Bitmap32.h"
#include "preview/Fonts.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <span>

constexpr int kMessageSize = static_cast<int>(signformat::kMessageBytes);
constexpr int kMessageCells = static_cast<int>(signformat::kCellCount);
constexpr int kMessageTypeOffset = static_cast<int>(signformat::kTypeIndex);
constexpr std::uint8_t kMessageScrolling = signformat::kTypeScrolling;
constexpr std::uint8_t kMessageStatic = signformat::kTypeStatic;

constexpr int kGridColumns = 32; // the grid shows the buffer as 32 x 16 cells
constexpr int kGridRows = 16;
constexpr int kCellBitmapSize = 16; // one painted cell: a double-size 8 x 8 glyph

constexpr std::uint8_t kDefaultAttribute = 4; // font 4, plain characters

// Cell kinds as attribute bits (the format's kind codes in the high four bits), and the
// placeholder codes of the live fields.
constexpr std::uint8_t kKindTime = signformat::KindBits(signformat::kKindTime);
constexpr std::uint8_t kKindDate = signformat::KindBits(signformat::kKindDate);
constexpr std::uint8_t kKindTemperature = signformat::KindBits(signformat::kKindTemperature);
using signformat::kDateFieldCode;
using signformat::kTemperatureFieldCode;
using signformat::kTimeFieldCode;

// Colours of a painted cell.
constexpr Pixel kCellBlack = Rgb(0, 0, 0);
constexpr Pixel kCellCursor = Rgb(128, 128, 128); // background of the cursor cell with focus
constexpr Pixel kCellText = Rgb(240, 240, 240);   // plain characters
constexpr Pixel kCellField = Rgb(0, 255, 0);      // live fields

class CLEDMessageCon {
public:
    // Unbound, all 1024 bytes 0, current attribute 4, cell bitmap 16 x 16 black.
    CLEDMessageCon();
    ~CLEDMessageCon();
    CLEDMessageCon(const CLEDMessageCon&) = delete;
    CLEDMessageCon& operator=(const CLEDMessageCon&) = delete;

    // Binds the grid that shows this message (not owned; it must outlive the binding).
    // Installing the grid's selection handler stays the owner's job.
    void AttachGrid(GridView* grid);
    GridView* GetGrid() const { return Grid; }

    // The 1024-byte buffer.
    std::uint8_t* GetData() { return Data.data(); }
    const std::uint8_t* GetData() const { return Data.data(); }

    // --- files (see MessageFiles.h for the message-set sequences) ---

    // Reads up to 1024 bytes from the start of `fileName` into the buffer; a shorter file
    // overwrites only the bytes it holds, a longer one gives its first 1024. Then invalidates
    // the bound grid. The cursor and the current attribute are not touched. 0 = read; 1 = not
    // loaded, and nothing changes: `fileName` is null, cannot be opened, is not a regular file
    // (a directory, a device, a pipe), is empty, or a read failed. `report`, when given, says
    // which, or how long the loaded file was.
    [[nodiscard]] int LoadFromFile(const char* fileName, LoadReport* report = nullptr);

    // Replaces `fileName` with the 1024 bytes of the buffer. The bytes go to a temporary file
    // beside the target, are flushed to the disk and only then renamed over the target, so a
    // failed save (no rights, disk full, write error) leaves an existing file untouched and
    // no temporary file behind. 0 = written, 1 = failed.
    [[nodiscard]] int SaveToFile(const char* fileName);

    // Reads up to 1024 bytes from the current position of `file` into the buffer (a short
    // read overwrites only the bytes read, none at the end of the file), then invalidates the
    // bound grid. 0 = read; 1 = `file` is null or the read failed (nothing changes).
    [[nodiscard]] int ReadFromStream(std::FILE* file);

    // Overwrites the start of the buffer with `bytes` (at most 1024 are taken; the rest of the
    // buffer stays), then invalidates the bound grid: what a load does once its bytes are in.
    void LoadFromBytes(std::span<const std::uint8_t> bytes);

    // Writes the 1024 bytes at the current position of `file`. 0 = all written, 1 = `file` is
    // null or not every byte was accepted.
    [[nodiscard]] int WriteToStream(std::FILE* file);

    // --- cursor ---

    // One cell back; from column 0 to the last column of the row above (row set first, then
    // column, each through the selection check). Returns 1 without moving when the cursor is
    // on (0,0), else 0.
    [[nodiscard]] int CursorLeft();

    // One cell on; from the last column to column 0 of the next row (column set first, then
    // row, each through the selection check, so the column move may be accepted and the row
    // move refused). Returns 1 without moving on the last cell of the grid, else 0.
    [[nodiscard]] int CursorRight();

    // --- buffer edits (the cursor is not moved) ---

    // Cells n..498 move one cell towards the end (old cell 499 is lost, and counted in
    // DroppedCells when it was used), cell n = (a, ch), bytes 1000 and 1001 = 0. n >= 500:
    // nothing happens.
    void InsertCell(std::uint16_t n, std::uint8_t a, std::uint8_t ch);

    // Removes cell n - 1: cells n..499 move one cell towards the start, cell 499 = (0,0).
    // n = 0 or n >= 500 removes nothing. Bytes 1000 and 1001 = 0 in every case.
    void DeleteBefore(std::uint16_t n);

    // Removes cell n: cells n+1..499 move one cell towards the start, cell 499 = (0,0).
    // n >= 500 removes nothing. Bytes 1000 and 1001 = 0 in every case.
    void DeleteAt(std::uint16_t n);

    // --- grid events ---

    // The selection check: `canSelect` = (row x column count + col <= L), where L is the index
    // of the first cell with attribute 0, or 499 when all 500 cells are used.
    void CanSelect(int col, int row, bool& canSelect) const;

    // Key-down: Backspace (8) removes the cell before the cursor and moves left, Left (37) and
    // Right (39) move the cursor, Delete (46) removes the cell at the cursor. These four are
    // consumed (`key` set to 0); any other key is left for the grid's own navigation.
    void KeyDown(std::uint16_t& key);

    // Character typed: 8 is ignored; any other code is inserted at the cursor with the current
    // attribute, the cursor moves on (within the selection check) and the grid is invalidated.
    void KeyPress(std::uint8_t ch);

    // Paints cell (col, row) into the cell bitmap and copies it to the grid surface at the
    // rectangle's top-left corner: glyph at double size in its font from `fonts`, light grey
    // (live fields green) on black, or on grey when `state` is Selected and the grid has the
    // focus. Attribute 0 gives a plain background cell; a font number without a font leaves the
    // bitmap black. Cells 500..511 show bytes 1000..1023 the same way.
    void DrawCell(int col, int row, const GridRect& rect, GridCellState state,
                  const FontInfoTable& fonts);

    // The bitmap of the last painted cell.
    const Bitmap32& GetCellBitmap() const { return CellBitmap; }

    // --- font, type, inserts ---

    // Font for new cells: low four bits of the current attribute = f AND 0x0F; the grid takes
    // the focus. Existing cells keep their fonts. Callers pass 1..5: with font number 0 new
    // cells would have attribute 0 and so end the message where they are inserted.
    void SetFont(int f);
    int GetFont() const { return CurrentAttribute & 0x0F; }
    std::uint8_t GetCurrentAttribute() const { return CurrentAttribute; }

    // Byte 1023. SetType stores t when t is 0 or 1, otherwise 0.
    int GetType() const { return Data[kMessageTypeOffset]; }
    // How many used cells InsertCell has pushed off the end of a full message since this
    // object was made; an editor compares it before and after an edit to tell the operator.
    std::uint32_t DroppedCells() const { return droppedCells_; }
    void SetType(std::uint16_t t);

    // Insert a cell at the cursor, move the cursor on, invalidate the grid and give it the
    // focus: (attr | 0x10, 0xFF), (attr | 0x20, 0xFE), (attr | 0x30, 0xFA), (attr, ch).
    void InsertTimeField();
    void InsertDateField();
    void InsertTemperatureField();
    void InsertSpecialChar(std::uint8_t ch);

    // Cursor to column 0 then row 0, all 1024 bytes 0 (type scrolling), current attribute 4,
    // grid invalidated. A cursor that the two steps could not bring home (it stood beyond
    // the end of a shorter loaded text) is then moved to (0,0) in one step.
    void Clear();

private:
    int CursorIndex() const;
    void InsertAtCursor(std::uint8_t a, std::uint8_t ch);

    GridView* Grid = nullptr;
    std::array<std::uint8_t, kMessageSize> Data{};
    Bitmap32 CellBitmap;
    std::uint8_t CurrentAttribute = kDefaultAttribute;
    std::uint32_t droppedCells_ = 0;
};
