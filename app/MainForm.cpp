#include "app/MainForm.h"

#include "app/Dialogs.h"
#include "app/KeyMap.h"
#include "app/SettingsFile.h"
#include "app/widgets/KeyPreview.h"
#include "autosync/window/TForm3.h"
#include "autosync/window/TransactionWait.h"
#include "chartable/Unitchartable.h"
#include "messages/MessageFiles.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
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
#include <vector>

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

// A file name as the C library opens it (the system's file name encoding).
QByteArray NativeName(const QString& name) {
    return QFile::encodeName(name);
}

} // namespace

// What the send actions show and start, mapped onto the window.
class TForm1::SendHost final : public SendActionsHost {
public:
    explicit SendHost(TForm1& form) : form_(form) {}
    void SetStatusText(const std::string& text) override {
        form_.SetStatusText(QString::fromStdString(text));
    }
    void ShowError(const std::string& text, const std::string& reason) override {
        form_.dialogs_.ErrorWithReason(QString::fromStdString(text),
                                       QString::fromStdString(reason));
    }
    void SetPreviewRunning(std::uint16_t running) override { form_.PreviewRunning = running; }
    void StartPreview(std::int16_t type, const std::uint8_t* message,
                      std::uint16_t length) override {
        form_.PlayMessage(type, message, length);
    }

private:
    TForm1& form_;
};

TForm1::TForm1(Dialogs& dialogs, QWidget* parent) : QMainWindow(parent), dialogs_(dialogs) {
    std::error_code ec;
    StartDirectory = std::filesystem::current_path(ec).string();
    CreateComponents();
    FormCreate();
    sendHost_ = std::make_unique<SendHost>(*this);
    actions_ = std::make_unique<SendActions>(
        Protocol, *sendHost_, std::span<CLEDMessageCon, kMessageCount>(Messages), DeviceAddress);
    // Transactions (up to 5.1 s each) run on a worker thread while the window keeps painting;
    // clicks and keys wait until the transaction has ended. None of this window's timers (the
    // status timer, the preview ticker) touches Protocol, so the worker has it to itself; the
    // synchronisation window, the only other user, runs modally and so never at the same time.
    actions_->SetTransactionRunner(RunWhileRepainting);
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

    // The designed area keeps its 378 pixels of height; the window grows below it when the
    // expanded action panel needs more, so every command stays in view without scrolling.
    const int clientHeight =
        std::max(kClientHeight, CategoryButtons1->sizeHint().height() + kStatusBarHeight + 2);
    client->setFixedSize(kWindowClientWidth, clientHeight);
    PanelScroll->setGeometry(kPanelLeft, 0, kPanelWidth, clientHeight - kStatusBarHeight - 2);

    StatusBar1 = new QStatusBar(client);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setGeometry(0, clientHeight - kStatusBarHeight, kWindowClientWidth,
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

    struct Entry {
        const char* caption;
        int icon; // -1: none
        void (TForm1::*handler)();
        const char* hint = "";
    };
    struct CategoryEntry {
        const char* caption;
        QColor colour;
        QColor gradient;
        std::vector<Entry> buttons;
    };
    const QColor teal(0, 128, 128), maroon(128, 0, 0), olive(128, 128, 0), lime(0, 255, 0);
    const std::array<CategoryEntry, 4> panel = {{
        {"Czcionki",
         QColor(244, 244, 244),
         teal,
         {{"", -1, &TForm1::CategoryButtons1Categories0Items0Click},
          {"", -1, &TForm1::CategoryButtons1Categories0Items1Click},
          {"", -1, &TForm1::CategoryButtons1Categories0Items2Click},
          {"", -1, &TForm1::CategoryButtons1Categories0Items3Click},
          {"", -1, &TForm1::CategoryButtons1Categories0Items4Click}}},
        {"Wstaw w komunikat",
         QColor(255, 234, 255),
         maroon,
         {{"Data (Rok/Miesiąc/Dzień)", -1, &TForm1::CategoryButtons1Categories1Items0Click,
           "Wstaw aktualną datę"},
          {"Czas (Godzina/Minuta)", -1, &TForm1::CategoryButtons1Categories1Items1Click,
           "Wstaw aktualną godzinę i minutę"},
          {"Temperatura", -1, &TForm1::CategoryButtons1Categories1Items2Click,
           "Wstaw temperaturę odczytaną z czujnika"},
          {"Znak specjalny", -1, &TForm1::CategoryButtons1Categories1Items3Click}}},
        {"Ustawienia komunikatu",
         QColor(234, 234, 255),
         olive,
         {{"Rodzaj komunikatu: przewijany", -1, &TForm1::CategoryButtons1Categories2Items0Click}}},
        {"Akcje",
         QColor(234, 234, 255),
         lime,
         {{"Testuj komunikat", 0, &TForm1::Button1Click},
          {"Skasuj komunikat", 1, &TForm1::Button4Click},
          {"Wczytaj komunikat", 2, &TForm1::Button5Click},
          {"Wczytaj zestaw komunikatów", 2, &TForm1::Zestawkomunikatow1Click},
          {"Zapisz komunikat", 3, &TForm1::Button2Click},
          {"Zapisz zestaw komunikatów", 3, &TForm1::MenuItem4Click},
          {"Wyślij komunikat do linijki świetlnej", 4, &TForm1::Button3Click},
          {"Wyślij zestaw komunikatów do linijki świetlnej", 5, &TForm1::ToolButton15Click},
          {"Wyślij konfigurację do linijki świetlnej", 6, nullptr},
          {"Synchronizuj zegar w linijce świetlnej", 5,
           &TForm1::CategoryButtons1Categories3Items9Click},
          {"Przejdź to trybu synchronizacji z plikiem", 6,
           &TForm1::CategoryButtons1Categories3Items10Click},
          {"Wyświetl na linijce bieżący komunikat", 5,
           &TForm1::CategoryButtons1Categories3Items11Click}}},
    }};
    for (const CategoryEntry& c : panel) {
        const int category =
            CategoryButtons1->AddCategory(QString::fromUtf8(c.caption), c.colour, c.gradient);
        for (const Entry& b : c.buttons) {
            CategoryButtons::ClickFn click;
            if (b.handler != nullptr) {
                click = [this, handler = b.handler] { (this->*handler)(); };
            }
            CategoryButtons1->AddButton(category, QString::fromUtf8(b.caption),
                                        b.icon >= 0 ? ImageList1[static_cast<std::size_t>(b.icon)]
                                                    : QIcon(),
                                        QString::fromUtf8(b.hint), std::move(click));
        }
    }

    CategoryButtons1->SetAfterDraw(
        [this](QPainter& p, int category, int item, const QRect& r, bool) {
            CategoryButtons1AfterDrawButton(p, category, item, r);
        });

    // The load and save commands again, on the context menus of their buttons.
    PopupMenuWczytaj = new QMenu(this);
    PopupMenuWczytaj->setObjectName(QStringLiteral("PopupMenuWczytaj"));
    connect(PopupMenuWczytaj->addAction(QStringLiteral("Komunikat")), &QAction::triggered, this,
            [this] { Button5Click(); });
    connect(PopupMenuWczytaj->addAction(QStringLiteral("Zestaw komunikatow")), &QAction::triggered,
            this, [this] { Zestawkomunikatow1Click(); });
    PopupMenuZapisz = new QMenu(this);
    PopupMenuZapisz->setObjectName(QStringLiteral("PopupMenuZapisz"));
    connect(PopupMenuZapisz->addAction(QStringLiteral("Komunikat")), &QAction::triggered, this,
            [this] { Button2Click(); });
    connect(PopupMenuZapisz->addAction(QStringLiteral("Zestaw komunikatow")), &QAction::triggered,
            this, [this] { MenuItem4Click(); });
    for (const int item : {kLoadMessageItem, kLoadSetItem}) {
        CategoryButtons1->SetContextMenu(kActionsCategory, item, PopupMenuWczytaj);
    }
    for (const int item : {kSaveMessageItem, kSaveSetItem}) {
        CategoryButtons1->SetContextMenu(kActionsCategory, item, PopupMenuZapisz);
    }

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

// ---------------------------------------------------------------------------------------------
// Action panel

void TForm1::CategoryButtons1AfterDrawButton(QPainter& canvas, int category, int item,
                                             const QRect& rect) {
    if (category != CategoryButtons1->FindCategory(QStringLiteral("Czcionki")) || item < 0 ||
        item >= kFontCount) {
        return;
    }
    const QRect inner = rect.adjusted(4, 4, -4, -4);
    if (CurrentMessage != nullptr && CurrentMessage->GetFont() == item + 1 && FontHighlightBitmap) {
        const QImage mark(reinterpret_cast<const uchar*>(FontHighlightBitmap->Bits()),
                          FontHighlightBitmap->Width(), FontHighlightBitmap->Height(),
                          FontHighlightBitmap->Width() * 4, QImage::Format_RGB32);
        canvas.drawImage(inner, mark);
    }
    // Only the set dots are painted: the rest of the sample picture stays transparent.
    Bitmap32 sample(rect.width(), rect.height(), 0);
    const FontSpec& fontSpec = kFontSpecs[static_cast<std::size_t>(item)];
    DrawFontString(FontEntry(item + 1), sample, Rgb(0, 100, 100), 4, 8, fontSpec.Sample);
    const QImage dots(reinterpret_cast<const uchar*>(sample.Bits()), sample.Width(),
                      sample.Height(), sample.Width() * 4, QImage::Format_ARGB32);
    canvas.drawImage(rect.topLeft(), dots);
}

void TForm1::CategoryButtons1Categories2Items0Click() {
    if (CurrentMessage->GetType() == 0) {
        CurrentMessage->SetType(1);
        CategoryButtons1->SetCaption(kSettingsCategory, 0,
                                     QStringLiteral("Rodaj komunikatu: stojący"));
    } else {
        CurrentMessage->SetType(0);
        CategoryButtons1->SetCaption(kSettingsCategory, 0,
                                     QStringLiteral("Rodaj komunikatu: przewijany"));
    }
}

void TForm1::UpdateTypeCaption() {
    CategoryButtons1->SetCaption(kSettingsCategory, 0,
                                 CurrentMessage->GetType() == 0
                                     ? QStringLiteral("Rodaj komunikatu: przewijany")
                                     : QStringLiteral("Rodaj komunikatu: stojący"));
}

void TForm1::Button4Click() {
    if (!dialogs_.Ask(QStringLiteral("Czy na pewno skasować komunikat?"))) {
        return;
    }
    CurrentMessage->Clear();
    DrawGrid1->Invalidate();
    UpdateTypeCaption();
    // Clear chose font 4 for new cells: the mark moves there now, not at some later repaint.
    CategoryButtons1->update();
}

QString TForm1::ChooseFile(bool save, const char* filter, const char* extension) {
    const QString f = QString::fromUtf8(filter);
    const QString ext = QString::fromUtf8(extension);
    const QString name = save ? dialogs_.SaveFile(this, f, ext) : dialogs_.OpenFile(this, f, ext);
    return WithDefaultExtension(name, ext);
}

void TForm1::AfterMessage1Replaced() {
    MessageLoaded();
    UpdateTypeCaption();
    CategoryButtons1->update();
}

void TForm1::Button5Click() {
    const QString name = ChooseFile(false, kMessageFilter, kMessageExtension);
    if (name.isEmpty()) {
        return;
    }
    if (CurrentMessage->LoadFromFile(NativeName(name).constData()) == 0) {
        AfterMessage1Replaced();
    } else {
        LoadFailed(name);
    }
}

void TForm1::Button2Click() {
    // One 1024-byte message whichever filter was chosen.
    const QString name = ChooseFile(true, kSaveMessageFilter, kMessageExtension);
    if (name.isEmpty()) {
        return;
    }
    if (CurrentMessage->SaveToFile(NativeName(name).constData()) != 0) {
        SaveFailed(name);
    }
}

void TForm1::Zestawkomunikatow1Click() {
    const QString name = ChooseFile(false, kMessageSetFilter, kMessageSetExtension);
    if (name.isEmpty()) {
        return;
    }
    if (LoadMessageSet(NativeName(name).constData(),
                       std::span<CLEDMessageCon, kMessageCount>(Messages)) == 0) {
        AfterMessage1Replaced();
    } else {
        LoadFailed(name);
    }
}

void TForm1::MenuItem4Click() {
    const QString name = ChooseFile(true, kMessageSetFilter, kMessageSetExtension);
    if (name.isEmpty()) {
        return;
    }
    if (SaveMessageSet(NativeName(name).constData(),
                       std::span<CLEDMessageCon, kMessageCount>(Messages)) != 0) {
        SaveFailed(name);
    }
}

void TForm1::LoadFailed(const QString& name) {
    // The messages stay as they were; without a word the operator would take the old text
    // for the file's.
    dialogs_.Error(QStringLiteral("Nie mogę wczytać pliku ") + name + QStringLiteral(" !"));
}

void TForm1::SaveFailed(const QString& name) {
    // Silence here would let the operator believe the work was kept.
    dialogs_.Error(QStringLiteral("Nie mogę zapisać pliku ") + name + QStringLiteral(" !"));
}

// ---------------------------------------------------------------------------------------------
// Send actions

std::string TForm1::PortForActions() const {
    return NativeName(PortName()).toStdString();
}

void TForm1::Button3Click() {
    if (actions_->SendCurrentMessage(PortForActions(), CurrentMessageNumber) == SendResult::Done) {
        // Message 1 was cleared: scrolling type, font 4.
        UpdateTypeCaption();
        CategoryButtons1->update();
    }
}

void TForm1::ToolButton15Click() {
    actions_->SendMessageSet(PortForActions());
}

void TForm1::CategoryButtons1Categories3Items9Click() {
    actions_->SyncClock(PortForActions());
}

void TForm1::CategoryButtons1Categories3Items10Click() {
    if (form3_ != nullptr) {
        form3_->ShowModalSync();
    }
}

void TForm1::CategoryButtons1Categories3Items11Click() {
    actions_->ShowCurrentMessage(PortForActions(), CurrentMessageNumber);
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
    const auto type = static_cast<std::int16_t>(static_cast<std::int8_t>(Messages[1].GetType()));
    return PlayMessage(type, message, MessageLengthForPreview(message));
}

bool TForm1::PlayMessage(std::int16_t type, const std::uint8_t* message, std::uint16_t length) {
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
