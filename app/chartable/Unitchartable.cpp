#include "app/chartable/Unitchartable.h"

#include "app/KeyMap.h"
#include "app/widgets/KeyPreview.h"
#include "preview/Fonts.h"

#include <QImage>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>

namespace {
constexpr Pixel kGlyphColour = Rgb(240, 240, 0);
constexpr Pixel kSelectedBack = Rgb(128, 128, 128);
constexpr Pixel kBlack = Rgb(0, 0, 0);
} // namespace

TForm2::TForm2(QWidget* centreOver) : QDialog(nullptr), centreOver_(centreOver) {
    setWindowTitle(QStringLiteral("Tablica znaków"));
    setWindowFlags(Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint |
                   Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFixedSize(673, 138);
    setModal(true);

    DrawGrid1 = new CellGrid(32, 8, 17, this);
    DrawGrid1->setObjectName(QStringLiteral("DrawGrid1"));
    DrawGrid1->setGeometry(0, -1, 549, 138);
    DrawGrid1->SetDrawCell([this](QPainter& p, int c, int r, const QRect& rect, bool selected) {
        DrawGrid1DrawCell(p, c, r, rect, selected);
    });
    DrawGrid1->SetDoubleClick([this](int, int) { CategoryButtons1Categories0Items0Click(); });

    CategoryButtons1 = new CategoryButtons(this);
    CategoryButtons1->setObjectName(QStringLiteral("CategoryButtons1"));
    CategoryButtons1->setGeometry(552, 0, 121, 137);
    const int actions = CategoryButtons1->AddCategory(QStringLiteral("Akcje:"),
                                                      QColor(234, 234, 255), QColor(0, 255, 0));
    CategoryButtons1->AddButton(actions, QStringLiteral("Wybierz znak"), {}, {},
                                [this] { CategoryButtons1Categories0Items0Click(); });
    CategoryButtons1->AddButton(actions, QStringLiteral("Anuluj"), {}, {},
                                [this] { CategoryButtons1Categories0Items1Click(); });

    keyPreview_ =
        new KeyPreview(this, [this](QKeyEvent& e) { return FormKeyDown(VirtualKeyOf(e.key())); });

    FormCreate();
}

TForm2::~TForm2() = default;

void TForm2::FormCreate() {
    CellBitmap.Fill(kBlack);
    ChosenChar = 0;
}

void TForm2::DrawGrid1DrawCell(QPainter& painter, int col, int row, const QRect& rect,
                               bool selected) {
    const auto code = static_cast<std::uint8_t>(row * 32 + col);
    CellBitmap.Fill(kBlack);
    const Pixel back = selected ? kSelectedBack : kBlack;
    if (FontTable != nullptr) {
        DrawGlyphDouble(FontEntry(*FontTable, FontNumber), code, CellBitmap, kGlyphColour, back);
    }
    const QImage image(reinterpret_cast<const uchar*>(CellBitmap.Bits()), CellBitmap.Width(),
                       CellBitmap.Height(), CellBitmap.Width() * 4, QImage::Format_RGB32);
    painter.drawImage(rect.topLeft(), image);
}

void TForm2::CategoryButtons1Categories0Items0Click() {
    ChosenChar = static_cast<std::uint8_t>(DrawGrid1->Row() * 32 + DrawGrid1->Col());
    accept();
}

void TForm2::CategoryButtons1Categories0Items1Click() {
    ChosenChar = 0;
    QDialog::reject();
}

bool TForm2::FormKeyDown(std::uint16_t key) {
    if (key != vk::Escape) {
        return false;
    }
    ChosenChar = 0;
    QDialog::reject();
    return true;
}

void TForm2::reject() {
    // Without this, a close box would leave the code of an earlier choice in ChosenChar and
    // the main window would insert it again.
    ChosenChar = 0;
    QDialog::reject();
}

void TForm2::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    DrawGrid1->update();
    DrawGrid1->setFocus(Qt::OtherFocusReason);
    QRect area;
    if (centreOver_ != nullptr) {
        area = centreOver_->frameGeometry();
    } else if (screen() != nullptr) {
        area = screen()->availableGeometry();
    }
    if (area.isValid()) {
        QRect frame = frameGeometry();
        frame.moveCenter(area.center());
        move(frame.topLeft());
    }
}
