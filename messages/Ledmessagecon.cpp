#include "messages/Ledmessagecon.h"

#include "messages/AtomicFile.h"
#include "preview/Fonts.h"
#include "preview/Utf8Files.h"

#include <algorithm>

namespace {

constexpr int kCellAreaEnd = 2 * kMessageCells; // byte 1000, the first byte after the cells

} // namespace

CLEDMessageCon::CLEDMessageCon() : CellBitmap(kCellBitmapSize, kCellBitmapSize, kCellBlack) {}

CLEDMessageCon::~CLEDMessageCon() = default;

void CLEDMessageCon::AttachGrid(GridView* grid) {
    Grid = grid;
}

int CLEDMessageCon::LoadFromFile(const char* fileName, LoadReport* report) {
    LoadReport local;
    LoadReport& found = report != nullptr ? *report : local;
    std::array<std::uint8_t, kMessageSize> bytes{};
    const std::size_t count = ReadFileStart(fileName, bytes, found);
    if (count == 0) {
        return 1;
    }
    LoadFromBytes(std::span<const std::uint8_t>(bytes.data(), count));
    return 0;
}

void CLEDMessageCon::LoadFromBytes(std::span<const std::uint8_t> bytes) {
    // A short file overwrites only the bytes it holds; the rest of the buffer stays.
    std::copy_n(bytes.begin(), std::min(bytes.size(), Data.size()), Data.begin());
    if (Grid != nullptr) {
        Grid->Invalidate();
    }
}

int CLEDMessageCon::SaveToFile(const char* fileName) {
    if (fileName == nullptr) {
        return 1;
    }
    AtomicFileWriter writer;
    std::FILE* file = writer.Open(fileName);
    if (file == nullptr) {
        return 1;
    }
    if (WriteToStream(file) != 0) {
        return 1; // the writer removes its temporary file
    }
    return writer.Commit();
}

int CLEDMessageCon::ReadFromStream(std::FILE* file) {
    if (file == nullptr) {
        return 1;
    }
    std::array<std::uint8_t, kMessageSize> bytes{};
    const std::size_t count = std::fread(bytes.data(), 1, bytes.size(), file);
    if (std::ferror(file) != 0) {
        return 1; // bytes from a failed read are not trusted: the buffer stays as it was
    }
    LoadFromBytes(std::span<const std::uint8_t>(bytes.data(), count));
    return 0;
}

int CLEDMessageCon::WriteToStream(std::FILE* file) {
    if (file == nullptr) {
        return 1;
    }
    return std::fwrite(Data.data(), 1, Data.size(), file) == Data.size() ? 0 : 1;
}

int CLEDMessageCon::CursorLeft() {
    int col = Grid->Col() - 1;
    int row = Grid->Row();
    if (col < 0) {
        if (row == 0) {
            return 1;
        }
        row -= 1;
        col = Grid->ColCount() - 1;
    }
    Grid->SetRow(row);
    Grid->SetCol(col);
    return 0;
}

int CLEDMessageCon::CursorRight() {
    int col = Grid->Col() + 1;
    int row = Grid->Row();
    if (col >= Grid->ColCount()) {
        col = 0;
        row += 1;
        if (row >= Grid->RowCount()) {
            return 1;
        }
    }
    // Column first, then row: each step passes the selection check on its own, so at the end of
    // the text in the last column the column move is accepted and the row move refused.
    Grid->SetCol(col);
    Grid->SetRow(row);
    return 0;
}

void CLEDMessageCon::InsertCell(std::uint16_t n, std::uint8_t a, std::uint8_t ch) {
    if (n >= kMessageCells) {
        return;
    }
    if (Data[kCellAreaEnd - 2] != 0) {
        ++droppedCells_;
    }
    auto cells = Data.begin();
    // Cells n..498 move one cell on; the old cell 499 falls off the end.
    std::copy_backward(cells + std::size_t{2} * n, cells + kCellAreaEnd - 2, cells + kCellAreaEnd);
    Data[kCellAreaEnd] = 0;
    Data[kCellAreaEnd + 1] = 0;
    Data[std::size_t{2} * n] = a;
    Data[2 * n + 1] = ch;
}

void CLEDMessageCon::DeleteBefore(std::uint16_t n) {
    if (n != 0 && n < kMessageCells) {
        DeleteAt(static_cast<std::uint16_t>(n - 1));
    }
    Data[kCellAreaEnd] = 0;
    Data[kCellAreaEnd + 1] = 0;
}

void CLEDMessageCon::DeleteAt(std::uint16_t n) {
    if (n < kMessageCells) {
        auto cells = Data.begin();
        std::copy(cells + std::size_t{2} * n + 2, cells + kCellAreaEnd, cells + std::size_t{2} * n);
        Data[kCellAreaEnd - 2] = 0;
        Data[kCellAreaEnd - 1] = 0;
    }
    Data[kCellAreaEnd] = 0;
    Data[kCellAreaEnd + 1] = 0;
}

void CLEDMessageCon::CanSelect(int col, int row, bool& canSelect) const {
    int last = kMessageCells - 1;
    for (int i = 0; i < kMessageCells; ++i) {
        if (Data[std::size_t{2} * i] == 0) {
            last = i;
            break;
        }
    }
    canSelect = row * Grid->ColCount() + col <= last;
}

void CLEDMessageCon::KeyDown(std::uint16_t& key) {
    switch (key) {
    // At the edge of the grid a cursor key leaves the cursor where it is: the result of the
    // move, which says only that, is not needed.
    case kKeyBackspace:
        DeleteBefore(static_cast<std::uint16_t>(CursorIndex()));
        (void)CursorLeft();
        Grid->Invalidate();
        break;
    case kKeyLeft:
        (void)CursorLeft();
        break;
    case kKeyRight:
        (void)CursorRight();
        break;
    case kKeyDelete:
        DeleteAt(static_cast<std::uint16_t>(CursorIndex()));
        Grid->Invalidate();
        break;
    default:
        return; // left to the grid's own navigation
    }
    key = 0;
}

void CLEDMessageCon::KeyPress(std::uint8_t ch) {
    // The Backspace key has already removed a cell in KeyDown; its character is dropped.
    if (ch == 8) {
        return;
    }
    InsertAtCursor(CurrentAttribute, ch);
}

void CLEDMessageCon::DrawCell(int col, int row, const GridRect& rect, GridCellState state,
                              const FontInfoTable& fonts) {
    // The buffer is laid out for a 32-column grid whatever the view reports; cells 500..511
    // read the bytes after the cell area in the same way.
    const int i = row * kGridColumns + col;
    CellBitmap.Fill(kCellBlack);
    const Pixel background =
        (state == GridCellState::Selected && Grid->HasFocus()) ? kCellCursor : kCellBlack;
    if (i >= 0 && 2 * i + 1 < kMessageSize) {
        const std::uint8_t a = Data[2 * static_cast<std::size_t>(i)];
        const std::uint8_t ch = Data[2 * static_cast<std::size_t>(i) + 1];
        if (a == 0) {
            CellBitmap.Fill(background);
        } else {
            const Pixel foreground = (a & 0xF0) != 0 ? kCellField : kCellText;
            DrawGlyphDouble(FontEntry(fonts, a & 0x0F), ch, CellBitmap, foreground, background);
        }
    }
    Grid->CopyToSurface(CellBitmap, rect.Left, rect.Top);
}

void CLEDMessageCon::SetFont(int f) {
    CurrentAttribute = static_cast<std::uint8_t>((CurrentAttribute & 0xF0) | (f & 0x0F));
    Grid->SetFocus();
}

void CLEDMessageCon::SetType(std::uint16_t t) {
    Data[kMessageTypeOffset] = (t == 0 || t == 1) ? static_cast<std::uint8_t>(t) : 0;
}

void CLEDMessageCon::InsertTimeField() {
    InsertAtCursor(CurrentAttribute | kKindTime, kTimeFieldCode);
    Grid->SetFocus();
}

void CLEDMessageCon::InsertDateField() {
    InsertAtCursor(CurrentAttribute | kKindDate, kDateFieldCode);
    Grid->SetFocus();
}

void CLEDMessageCon::InsertTemperatureField() {
    InsertAtCursor(CurrentAttribute | kKindTemperature, kTemperatureFieldCode);
    Grid->SetFocus();
}

void CLEDMessageCon::InsertSpecialChar(std::uint8_t ch) {
    InsertAtCursor(CurrentAttribute, ch);
    Grid->SetFocus();
}

void CLEDMessageCon::Clear() {
    Grid->SetCol(0);
    Grid->SetRow(0);
    Data.fill(0);
    CurrentAttribute = kDefaultAttribute;
    // A cursor left beyond the end of a shorter loaded text can have both steps refused; cell
    // 0 of the now empty message is always selectable, so go there in one step.
    if (Grid->Col() != 0 || Grid->Row() != 0) {
        Grid->SetCell(0, 0);
    }
    Grid->Invalidate();
}

int CLEDMessageCon::CursorIndex() const {
    return Grid->Row() * Grid->ColCount() + Grid->Col();
}

void CLEDMessageCon::InsertAtCursor(std::uint8_t a, std::uint8_t ch) {
    const int n = CursorIndex();
    if (n >= 0 && n <= 0xFFFF) {
        InsertCell(static_cast<std::uint16_t>(n), a, ch);
    }
    (void)CursorRight(); // on the last cell the cursor stays there
    Grid->Invalidate();
}
