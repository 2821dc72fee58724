#include "app/MainForm.h"

#include "app/Dialogs.h"
#include "app/KeyMap.h"
#include "app/SettingsFile.h"
#include "app/widgets/KeyPreview.h"
#include "chartable/Unitchartable.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QGuiApplication>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPainter>
#include <QScreen>
#include <QScrollArea>
#include <QSerialPortInfo>
#include <QStatusBar>
#include <QStyleOptionToolButton>
#include <QStylePainter>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include <algorithm>
#include <cstring>
#include <filesystem>

namespace {

constexpr Pixel kWindowGrey = Rgb(144, 144, 144);
constexpr Pixel kStripBackground = Rgb(128, 128, 128);
constexpr int kStripOffsetX = 12;
constexpr int kStripOffsetY = 5;

QString WindowCaption(std::uint16_t address) {
    return QStringLiteral("Centrum sterowania linijką świetlną nr ") + QString::number(address) +
           QStringLiteral(" wersja Welnar");
}

// The index of the first cell with attribute 0, or 499 when all 500 cells are in use.
int FirstFreeCell(const std::uint8_t* data) {
    for (int i = 0; i < kMessageCells; ++i) {
        if (data[2 * i] == 0) {
            return i;
        }
    }
    return kMessageCells - 1;
}

// A tool button whose caption is padded with spaces to centre it the way the sign's operators
// know it; the toolkit would elide such a caption to "...", so the padding is dropped only
// when painting.
class PaddedCaptionButton : public QToolButton {
public:
    using QToolButton::QToolButton;

protected:
    void paintEvent(QPaintEvent*) override {
        QStylePainter painter(this);
        QStyleOptionToolButton option;
        initStyleOption(&option);
        option.text = option.text.trimmed();
        painter.drawComplexControl(QStyle::CC_ToolButton, option);
    }
};

} // namespace

TForm1::TForm1(Dialogs& dialogs, QWidget* parent) : QMainWindow(parent), dialogs_(dialogs) {
    std::error_code ec;
    StartDirectory = std::filesystem::current_path(ec).string();
    CreateComponents();
    FormCreate();
}

TForm1::~TForm1() {
    FormDestroy();
}

void TForm1::SetCompanions(TForm2* form2, TForm3* form3) {
    form2_ = form2;
    form3_ = form3;
    if (form2_ != nullptr) {
        form2_->SetCentreOver(this);
    }
}

void TForm1::CreateComponents() {
    QFont uiFont(QStringLiteral("Tahoma"));
    uiFont.setPointSize(8);
    setFont(uiFont);

    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("ClientArea"));
    client->setFixedSize(kWindowClientWidth, kClientHeight);
    client->setAutoFillBackground(true);
    QPalette pal = client->palette();
    pal.setColor(QPalette::Window, QColor::fromRgb(kWindowGrey));
    client->setPalette(pal);
    setCentralWidget(client);

    {
        QMenuBar* bar = menuBar();
        QMenu* plik = bar->addMenu(QStringLiteral("&Plik"));
        Wyjd1 = plik->addAction(QStringLiteral("&Wyjdź"));
        connect(Wyjd1, &QAction::triggered, this, [this] { Wyjd1Click(); });
        QMenu* edycja = bar->addMenu(QStringLiteral("&Edycja"));
        Wklej1 = edycja->addAction(QStringLiteral("&Wklej tekst ze schowka"));
        Wklej1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_V));
        Wklej1->setShortcutContext(Qt::WindowShortcut);
        connect(Wklej1, &QAction::triggered, this, [this] { Wklej1Click(); });
    }

    ImageList1 = MakeIcons();

    ImageLinijka = new PictureBox(470, 66, kStripBackground, client);
    ImageLinijka->setObjectName(QStringLiteral("ImageLinijka"));
    ImageLinijka->move(97, 1);

    DrawGrid1 = new CellGrid(kGridColumns, kGridRows, 17, client);
    DrawGrid1->setObjectName(QStringLiteral("DrawGrid1"));
    DrawGrid1->setGeometry(8, 73, 549, 276);
    DrawGrid1->SetDrawCell([this](QPainter&, int c, int r, const QRect& rect, bool selected) {
        DrawGrid1DrawCell(c, r, rect, selected);
    });
    DrawGrid1->SetSelectCellHandler(
        [this](int c, int r, bool& canSelect) { DrawGrid1SelectCell(c, r, canSelect); });
    DrawGrid1->SetKeyDown(
        [this](std::uint16_t& key, Qt::KeyboardModifiers) { DrawGrid1KeyDown(key); });
    DrawGrid1->SetKeyPress([this](std::uint8_t ch) { DrawGrid1KeyPress(ch); });

    ToolBar2 = new QToolBar(client);
    ToolBar2->setObjectName(QStringLiteral("ToolBar2"));
    ToolBar2->setGeometry(563, 73, 137, 36);
    ToolBar2->setMovable(false);
    ToolBar2->setIconSize(QSize(16, 16));
    ToolButton14 = new PaddedCaptionButton(ToolBar2);
    ToolButton14->setObjectName(QStringLiteral("ToolButton14"));
    ToolButton14->setText(QString(17, QLatin1Char(' ')) + QStringLiteral("Wyślij") +
                          QString(16, QLatin1Char(' ')));
    ToolButton14->setIcon(ImageList1[4]);
    ToolButton14->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    // Placed by hand: the padded caption is wider than the button, and a tool bar layout
    // would move the button into its overflow menu.
    ToolButton14->setGeometry(0, 0, 134, 36);
    connect(ToolButton14, &QToolButton::clicked, this, [this] { Button3Click(); });

    ImageBtnBackground = new PictureBox(137, 237, Rgb(255, 255, 255), client);
    ImageBtnBackground->setObjectName(QStringLiteral("ImageBtnBackground"));
    ImageBtnBackground->move(563, 112);

    Label4 = new QLabel(QStringLiteral("Numer portu COM"), client);
    Label4->setObjectName(QStringLiteral("Label4"));
    Label4->move(580, 132);
    Label4->setAttribute(Qt::WA_TranslucentBackground);
    QPalette labelPal = Label4->palette();
    labelPal.setColor(QPalette::WindowText, Qt::black);
    Label4->setPalette(labelPal);
    Label4->adjustSize();

    ComboBoxCOM = new QComboBox(client);
    ComboBoxCOM->setObjectName(QStringLiteral("ComboBoxCOM"));
    ComboBoxCOM->setEditable(true);
    ComboBoxCOM->setInsertPolicy(QComboBox::NoInsert);
    ComboBoxCOM->setGeometry(580, 151, 86, ComboBoxCOM->sizeHint().height());
    for (int i = 1; i <= 10; ++i) {
        ComboBoxCOM->addItem(QStringLiteral("COM") + QString::number(i));
    }
    // The ports this computer has, by their system names (/dev/ttyUSB0, COM11, ...).
    for (const QSerialPortInfo& port : QSerialPortInfo::availablePorts()) {
        const QString name = port.systemLocation();
        if (!name.isEmpty() && ComboBoxCOM->findText(name) < 0) {
            ComboBoxCOM->addItem(name);
        }
    }
    ComboBoxCOM->setCurrentIndex(0);
    connect(ComboBoxCOM, &QComboBox::currentTextChanged, this, [this] { ComboBoxCOMChange(); });

    CreateActionPanel();

    StatusBar1 = new QStatusBar(client);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setGeometry(0, kClientHeight - kStatusBarHeight, kWindowClientWidth,
                            kStatusBarHeight);
    StatusBar1->setSizeGripEnabled(false);
    StatusPanel = new QLabel(StatusBar1);
    StatusPanel->setObjectName(QStringLiteral("StatusPanel"));
    StatusPanel->setFixedWidth(500);
    StatusBar1->addWidget(StatusPanel);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(kStatusPeriodMs);
    connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });

    ticker_ = std::make_unique<PreviewTicker>(std::chrono::milliseconds(kPreviewTickMs), [this] {
        QMetaObject::invokeMethod(
            this, [this] { PreviewPass(); }, Qt::QueuedConnection);
    });

    keyPreview_ = new KeyPreview(this, [this](QKeyEvent& e) {
        FormKeyDown(VirtualKeyOf(e.key()));
        return false;
    });

    setFixedSize(sizeHint());
}

void TForm1::CreateActionPanel() {
    CategoryButtons1 = new CategoryButtons();
    CategoryButtons1->setObjectName(QStringLiteral("CategoryButtons1"));
    CategoryButtons1->SetButtonColours(QColor(242, 242, 242), QColor(214, 213, 217));
    CategoryButtons1->SetBackground(QColor(200, 200, 200), QColor(150, 150, 150));

    const int fonts = CategoryButtons1->AddCategory(QStringLiteral("Czcionki"),
                                                    QColor(244, 244, 244), QColor(0, 128, 128));
    for (int f = 1; f <= kFontCount; ++f) {
        CategoryButtons1->AddButton(fonts, {}, {}, {}, [this, f] { SetFontClick(f); });
    }
    const int insert = CategoryButtons1->AddCategory(QStringLiteral("Wstaw w komunikat"),
                                                     QColor(255, 234, 255), QColor(128, 0, 0));
    CategoryButtons1->AddButton(insert, QStringLiteral("Data (Rok/Miesiąc/Dzień)"), {},
                                QStringLiteral("Wstaw aktualną datę"),
                                [this] { CategoryButtons1Categories1Items0Click(); });
    CategoryButtons1->AddButton(insert, QStringLiteral("Czas (Godzina/Minuta)"), {},
                                QStringLiteral("Wstaw aktualną godzinę i minutę"),
                                [this] { CategoryButtons1Categories1Items1Click(); });
    CategoryButtons1->AddButton(insert, QStringLiteral("Temperatura"), {},
                                QStringLiteral("Wstaw temperaturę odczytaną z czujnika"),
                                [this] { CategoryButtons1Categories1Items2Click(); });
    CategoryButtons1->AddButton(insert, QStringLiteral("Znak specjalny"), {}, {},
                                [this] { CategoryButtons1Categories1Items3Click(); });

    // The font samples and the mark of the chosen font, drawn over the font buttons.
    CategoryButtons1->SetAfterDraw(
        [this, fonts](QPainter& p, int category, int item, const QRect& r, bool) {
            if (category != fonts || item < 0 || item >= kFontCount) {
                return;
            }
            const QRect inner = r.adjusted(4, 4, -4, -4);
            if (CurrentMessage != nullptr && CurrentMessage->GetFont() == item + 1 &&
                FontHighlightBitmap) {
                const QImage mark(reinterpret_cast<const uchar*>(FontHighlightBitmap->Bits()),
                                  FontHighlightBitmap->Width(), FontHighlightBitmap->Height(),
                                  FontHighlightBitmap->Width() * 4, QImage::Format_RGB32);
                p.drawImage(inner, mark);
            }
            Bitmap32 sample(r.width(), r.height(), 0);
            const FontSpec& spec = kFontSpecs[static_cast<std::size_t>(item)];
            DrawFontString(FontEntry(item + 1), sample, Rgb(0, 100, 100), 4, 8, spec.Sample);
            // Only the set dots are painted: the rest of the picture is transparent.
            const QImage dots(reinterpret_cast<const uchar*>(sample.Bits()), sample.Width(),
                              sample.Height(), sample.Width() * 4, QImage::Format_ARGB32);
            p.drawImage(r.topLeft(), dots);
        });

    PanelScroll = new QScrollArea(centralWidget());
    PanelScroll->setObjectName(QStringLiteral("PanelScroll"));
    PanelScroll->setGeometry(kPanelLeft, 0, kPanelWidth, kClientHeight - kStatusBarHeight - 2);
    PanelScroll->setFrameShape(QFrame::NoFrame);
    PanelScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    PanelScroll->setWidgetResizable(true);
    PanelScroll->setWidget(CategoryButtons1);
}

// ---------------------------------------------------------------------------------------------
// Window events

void TForm1::FormCreate() {
    setWindowTitle(WindowCaption(kDeviceAddress));
    CurrentMessage = &Messages[0];
    CurrentMessageNumber = 1;
    Clipboard = QGuiApplication::clipboard();

    StripBitmap = std::make_unique<Bitmap32>(kStripBitmapWidth, kStripBitmapHeight, Rgb(0, 0, 0));
    ImageLinijka->Picture().Fill(kStripBackground);
    RenderStrip(*StripBitmap);
    PaintStrip();

    Bitmap32& back = ImageBtnBackground->Picture();
    for (int y = 0; y < back.Height(); ++y) {
        Pixel* row = back.Row(y);
        for (int x = 0; x < back.Width(); ++x) {
            const auto v = static_cast<std::uint8_t>(255 - x / 3);
            row[x] = Rgb(v, v, v);
        }
    }
    ImageBtnBackground->Changed();

    FontHighlightBitmap = std::make_unique<Bitmap32>(16, 32);
    for (int y = 0; y < 32; ++y) {
        const auto level = static_cast<std::uint8_t>(192 + 2 * y);
        std::fill(FontHighlightBitmap->Row(y), FontHighlightBitmap->Row(y) + 16,
                  Rgb(0, level, level));
    }

    LoadFonts(Fonts);
    Messages[0].AttachGrid(DrawGrid1);

    ResetPreview(Fonts);
    StepPeriod = kDefaultStepPeriod;
    DisplayTimeIndex = kDefaultDisplayTimeIndex;
    ClearStrip();
    RenderStrip(*StripBitmap);
    PaintStrip();
    StopAtEnd = kDefaultStopAtEnd;
    // The tick runs while a preview plays (PlayMessage2 starts it): between previews the
    // counters have nothing to count, and an idle editor then costs no wake-ups at all.

    DeviceAddress = kDeviceAddress;
    LoadSettings();
    Timer1->start();

    // Placed at the centre of the desktop.
    if (QScreen* s = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(0, 0), sizeHint());
        frame.moveCenter(s->availableGeometry().center());
        move(frame.topLeft());
    }
    DrawGrid1->setFocus(Qt::OtherFocusReason);
}

void TForm1::FormShow() {
    SetStatusText(QStringLiteral("Wersja 1.20Kes, kompilacja 20090626. Program gotowy do pracy."));
}

void TForm1::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!event->spontaneous()) {
        FormShow();
    }
}

void TForm1::FormKeyDown(std::uint16_t key) {
    switch (key) {
    case vk::Return:
        LastKey = 10;
        break;
    case vk::Left:
        LastKey = 30;
        break;
    case vk::Up:
        LastKey = 31;
        break;
    case vk::Right:
        LastKey = 28;
        break;
    case vk::Down:
        LastKey = 29;
        break;
    default:
        LastKey = static_cast<std::uint8_t>(key & 0xFF);
        break;
    }
}

bool TForm1::FormCloseQuery() {
    PreviewRunning = 0;
    // The preview ends at its next pass; run it now so the strip is blank when the window goes.
    if (preview_.Running()) {
        PreviewPass();
    }
    return true;
}

void TForm1::closeEvent(QCloseEvent* event) {
    if (FormCloseQuery()) {
        event->accept();
    } else {
        event->ignore();
    }
}

void TForm1::FormDestroy() {
    if (destroyed_) {
        return;
    }
    destroyed_ = true;
    ticker_->Stop();
    SaveSettings();
    // The font table points into Fonts, which goes with the window.
    for (auto& entry : FontTable) {
        entry = FontInfo{};
    }
}

void TForm1::Timer1Timer() {
    StatusPanel->clear();
    Timer1->stop();
}

void TForm1::Wyjd1Click() {
    if (dialogs_.Ask(QStringLiteral("Czy na pewno wyjść z programu?"))) {
        close();
    }
}

void TForm1::ComboBoxCOMChange() {
    SaveSettings();
}

void TForm1::Button3Click() {
    // Sending the current message (port, transaction, status texts, preview of the sent
    // message through PlayMessage2) belongs to the send actions and is wired in with them.
}

// ---------------------------------------------------------------------------------------------
// Grid editor

void TForm1::DrawGrid1DrawCell(int col, int row, const QRect& rect, bool selected) {
    Messages[0].DrawCell(col, row,
                         GridRect{rect.left(), rect.top(), rect.right() + 1, rect.bottom() + 1},
                         selected ? GridCellState::Selected : GridCellState::Normal);
}

void TForm1::DrawGrid1SelectCell(int col, int row, bool& canSelect) {
    Messages[0].CanSelect(col, row, canSelect);
}

void TForm1::DrawGrid1KeyDown(std::uint16_t& key) {
    Messages[0].KeyDown(key);
}

void TForm1::DrawGrid1KeyPress(std::uint8_t ch) {
    Messages[0].KeyPress(ch);
}

void TForm1::Wklej1Click() {
    const QString text = Clipboard != nullptr ? Clipboard->text() : QString();
    CLEDMessageCon& target = Messages[static_cast<std::size_t>(CurrentMessageNumber - 1)];
    for (const char byte : ToCp1250(text)) {
        target.KeyPress(static_cast<std::uint8_t>(byte));
    }
}

void TForm1::CategoryButtons1Categories1Items0Click() {
    CurrentMessage->InsertDateField();
}

void TForm1::CategoryButtons1Categories1Items1Click() {
    CurrentMessage->InsertTimeField();
}

void TForm1::CategoryButtons1Categories1Items2Click() {
    CurrentMessage->InsertTemperatureField();
}

void TForm1::CategoryButtons1Categories1Items3Click() {
    if (form2_ == nullptr) {
        return;
    }
    form2_->FontNumber = static_cast<std::uint8_t>(CurrentMessage->GetFont());
    form2_->exec();
    if (form2_->ChosenChar != 0) {
        CurrentMessage->InsertSpecialChar(form2_->ChosenChar);
    }
}

void TForm1::SetFontClick(int font) {
    if (CurrentMessage != nullptr) {
        CurrentMessage->SetFont(font);
    }
    CategoryButtons1->update();
}

void TForm1::MessageLoaded() {
    const int firstFree = FirstFreeCell(Messages[0].GetData());
    const int cursor = DrawGrid1->Row() * kGridColumns + DrawGrid1->Col();
    if (cursor > firstFree) {
        DrawGrid1->SetCell(firstFree % kGridColumns, firstFree / kGridColumns);
    }
    DrawGrid1->Invalidate();
}

// ---------------------------------------------------------------------------------------------
// Status, settings, strip

void TForm1::SetStatusText(const QString& text) {
    Timer1->stop();
    StatusPanel->setText(text);
    Timer1->start();
    QCoreApplication::processEvents();
}

QString TForm1::StatusText() const {
    return StatusPanel->text();
}

void TForm1::SetStatusPeriod(int ms) {
    Timer1->setInterval(ms);
}

std::string TForm1::SettingsPath() const {
    return JoinStartDirectory(StartDirectory, "vtr.cfg");
}

QString TForm1::PortName() const {
    return ComboBoxCOM->currentText();
}

int TForm1::LoadSettings() {
    const std::optional<std::string> line = ReadSettingLine(SettingsPath());
    if (!line) {
        return 1;
    }
    const QString port = line->empty() ? QStringLiteral("COM1") : FromCp1250(*line);
    // Only the operator's changes are saved back; reading the file is not one of them.
    const QSignalBlocker block(ComboBoxCOM);
    ComboBoxCOM->setEditText(port);
    return 0;
}

int TForm1::SaveSettings() {
    return WriteSettingLine(SettingsPath(), ToCp1250(PortName())) ? 0 : 1;
}

int TForm1::PaintStrip() {
    if (StripBitmap) {
        ImageLinijka->Picture().CopyFrom(*StripBitmap, kStripOffsetX, kStripOffsetY);
        ImageLinijka->update(
            QRect(kStripOffsetX, kStripOffsetY, StripBitmap->Width(), StripBitmap->Height()));
    }
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Preview

bool TForm1::PlayMessage2() {
    const std::uint8_t* message = Messages[1].GetData();
    const auto length = static_cast<std::uint16_t>(
        std::find(message, message + kMessageSize, std::uint8_t{0}) - message);
    const auto type = static_cast<std::int16_t>(static_cast<std::int8_t>(Messages[1].GetType()));
    PreviewRunning = 1;
    LastKey = 0;
    ticker_->Stop();
    const bool running = preview_.Start(type, message, length);
    if (running) {
        ticker_->Start(preview_.Static());
        PreviewPass();
    }
    return running;
}

std::uint8_t TForm1::TakeKey() {
    const std::uint8_t key = LastKey;
    LastKey = 0;
    return key;
}

void TForm1::PreviewPass() {
    ticker_->PassDone();
    if (!preview_.Running()) {
        return;
    }
    const StripPreview::PassOutcome outcome = preview_.Pass(TakeKey(), PreviewRunning);
    if (outcome.Changed) {
        RenderStrip(*StripBitmap);
        PaintStrip();
        ++previewRepaints_;
    }
    if (outcome.Finished) {
        ticker_->Stop();
        emit PreviewFinished(outcome.Result);
    }
}
