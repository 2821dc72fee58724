#pragma once
// TForm2, the character table: all 256 glyphs of one font in 32 columns x 8 rows, at double
// size, from which the operator picks a character code.
//
// The main window sets FontNumber, shows the window modally (exec()) and reads ChosenChar
// afterwards: 0 means nothing was chosen. "Wybierz znak" or a double click chooses the current
// cell's code; "Anuluj", Escape and the close box choose nothing.

#include "app/widgets/CategoryButtons.h"
#include "app/widgets/CellGrid.h"
#include "preview/Bitmap32.h"
#include "preview/Fonts.h"

#include <QDialog>

#include <cstdint>

class KeyPreview;

class TForm2 : public QDialog {
    Q_OBJECT
public:
    // `centreOver` is the window over which the table is centred when shown (not the owner:
    // the table lives as long as the application, independently of it).
    explicit TForm2(QWidget* centreOver = nullptr);
    ~TForm2() override;

    void SetCentreOver(QWidget* window) { centreOver_ = window; }

    // The font whose glyphs are shown, 1..5. 1 after construction.
    std::uint8_t FontNumber = 1;
    // The font table the glyphs come from (the main window's, which outlives this window);
    // none draws empty cells.
    const FontInfoTable* FontTable = nullptr;
    // The chosen code; 0 = nothing chosen.
    std::uint8_t ChosenChar = 0;

    CellGrid* DrawGrid1 = nullptr;
    CategoryButtons* CategoryButtons1 = nullptr;

    // Scratch picture of one cell.
    Bitmap32 CellBitmap{16, 16};

    void FormCreate();
    // Paints the glyph of code row x 32 + col, yellow on grey for the current cell, yellow on
    // black for the others, into the cell's top-left 16 x 16 pixels.
    void DrawGrid1DrawCell(QPainter& painter, int col, int row, const QRect& rect, bool selected);
    // "Wybierz znak" and double click: choose the current cell's code and close.
    void CategoryButtons1Categories0Items0Click();
    // "Anuluj": choose nothing and close.
    void CategoryButtons1Categories0Items1Click();
    // Escape chooses nothing and closes; returns whether the key was consumed.
    bool FormKeyDown(std::uint16_t key);

    // Closing by the close box or the toolkit's own Escape handling counts as "Anuluj".
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    QWidget* centreOver_;
    KeyPreview* keyPreview_ = nullptr;
};
