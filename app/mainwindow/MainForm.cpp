#include "app/mainwindow/MainForm.h"

#include "app/Dialogs.h"
#include "app/KeyMap.h"
#include "app/SettingsFile.h"
#include "app/chartable/Unitchartable.h"
#include "app/mainwindow/ClientArea.h"
#include "app/mainwindow/MainMenu.h"
#include "app/mainwindow/PortSelector.h"
#include "app/mainwindow/StripView.h"
#include "app/widgets/CategoryButtons.h"
#include "app/widgets/CellGrid.h"
#include "app/widgets/KeyPreview.h"
#include "app/widgets/PictureBox.h"
#include "preview/Utf8Files.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QStyleOptionToolButton>
#include <QStylePainter>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include <algorithm>
#include <filesystem>

namespace {

constexpr int kStatusBarHeight = ClientArea::kStatusBarHeight;
const QColor kWindowGrey(144, 144, 144);

QString WindowCaption(std::uint16_t address) {
    return QStringLiteral("Centrum sterowania linijką świetlną nr ") + QString::number(address) +
           QStringLiteral(" wersja Welnar");
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

// The grey gradient behind the port selector: column x has level 255 - x / 3.
void PaintPortBackground(Bitmap32& back) {
    for (int y = 0; y < back.Height(); ++y) {
        Pixel* row = back.Row(y);
        for (int x = 0; x < back.Width(); ++x) {
            const auto v = static_cast<std::uint8_t>(255 - x / 3);
            row[x] = Rgb(v, v, v);
        }
    }
}

} // namespace

TForm1::TForm1(Dialogs& dialogs, QWidget* parent)
    : QMainWindow(parent), dialogs_(dialogs),
      files_(dialogs, *this, messages_, preferences_,
             [this](const QString& file, FileKind kind) { FileNamed(file, kind); }),
      document_(messages_) {
    std::error_code ec;
    startDirectory_ = PathToUtf8(std::filesystem::current_path(ec));
    CreateComponents();
    FormCreate();
    CreateSendActions();
}

TForm1::~TForm1() {
    // The children outlive this body: the port box, hiding its list or losing its text as it
    // goes, must not call back into a window that is no longer a TForm1.
    portBox_->disconnect(this);
    portBox_->lineEdit()->disconnect(this);
    FormDestroy();
}

void TForm1::SetCompanions(TForm2* form2, TForm3* form3) {
    form2_ = form2;
    form3_ = form3;
    if (form2_ != nullptr) {
        form2_->SetCentreOver(this);
        form2_->FontTable = &strip_->FontTable();
    }
}

// ---------------------------------------------------------------------------------------------
// Components

void TForm1::CreateComponents() {
    QFont uiFont(QStringLiteral("Tahoma"));
    uiFont.setPointSize(8);
    setFont(uiFont);

    auto* client = new ClientArea(this);
    client->setObjectName(QStringLiteral("ClientArea"));
    client->setAutoFillBackground(true);
    QPalette pal = client->palette();
    pal.setColor(QPalette::Window, kWindowGrey);
    client->setPalette(pal);
    setCentralWidget(client);

    CreateMenu();
    icons_ = MakeIcons();

    strip_ = new StripView(client);
    strip_->setObjectName(QStringLiteral("ImageLinijka"));
    strip_->move(97, 1);

    grid_ = new CellGrid(kGridColumns, kGridRows, 17, client);
    grid_->setObjectName(QStringLiteral("DrawGrid1"));
    grid_->setGeometry(8, 73, 549, 276);
    ConnectGrid();

    auto* toolBar = new QToolBar(client);
    toolBar->setObjectName(QStringLiteral("ToolBar2"));
    toolBar->setGeometry(563, 73, 137, 36);
    toolBar->setMovable(false);
    toolBar->setIconSize(QSize(16, 16));
    auto* sendButton = new PaddedCaptionButton(toolBar);
    sendButton->setObjectName(QStringLiteral("ToolButton14"));
    sendButton->setText(QString(17, QLatin1Char(' ')) + QStringLiteral("Wyślij") +
                        QString(16, QLatin1Char(' ')));
    sendButton->setIcon(icons_[4]);
    sendButton->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    // The window's main button: raised, not the flat look of a tool bar's buttons.
    sendButton->setAutoRaise(false);
    sendButton->setToolTip(WithShortcut(QStringLiteral("Wyślij komunikat do linijki świetlnej"),
                                        PanelCommand::SendMessage));
    // Placed by hand: the padded caption is wider than the button, and a tool bar layout
    // would move the button into its overflow menu.
    sendButton->setGeometry(0, 0, 134, 36);
    connect(sendButton, &QToolButton::clicked, this, [this] { Button3Click(); });

    CreatePortSelector(client);

    panel_ = new ActionPanel(
        CurrentMessage(), strip_->FontTable(), icons_,
        [this](PanelCommand command) { RunCommand(command); }, client);
    client->SetPanel(panel_);

    CreateStatusBar(client, ClientArea::kDesignedHeight);
    client->SetStatusBar(findChild<QStatusBar*>(QStringLiteral("StatusBar1")));
    client->SetKeyHelp(KeyHelpText());

    keyPreview_ = new KeyPreview(this, [this](QKeyEvent& e) {
        FormKeyDown(VirtualKeyOf(e.key()));
        return false;
    });

    FitWindow(*client);
}

void TForm1::CreateMenu() {
    QMenuBar* bar = menuBar();
    QMenu* plik = bar->addMenu(QStringLiteral("&Plik"));
    QAction* exit = plik->addAction(QStringLiteral("&Wyjdź"));
    exit->setObjectName(QStringLiteral("Wyjd1"));
    exit->setShortcut(ExitShortcut());
    connect(exit, &QAction::triggered, this, [this] { Wyjd1Click(); });
    QMenu* edycja = bar->addMenu(QStringLiteral("&Edycja"));
    QAction* paste = edycja->addAction(QStringLiteral("&Wklej tekst ze schowka"));
    paste->setObjectName(QStringLiteral("Wklej1"));
    paste->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_V));
    paste->setShortcutContext(Qt::WindowShortcut);
    connect(paste, &QAction::triggered, this, [this] { Paste(); });
    AddCommandMenus(*bar, *plik, *exit, [this](PanelCommand command) { RunCommand(command); });
    // "Ostatnie pliki" follows the file commands, before the separator that ends them.
    const QList<QAction*> fileItems = plik->actions();
    const auto saveSet = std::find_if(fileItems.begin(), fileItems.end(), [](QAction* a) {
        return a->objectName() == QLatin1String("MenuZapiszZestaw");
    });
    recentMenu_ = new QMenu(QStringLiteral("&Ostatnie pliki"), plik);
    recentMenu_->setObjectName(QStringLiteral("MenuOstatniePliki"));
    plik->insertMenu(saveSet != fileItems.end() && saveSet + 1 != fileItems.end() ? *(saveSet + 1)
                                                                                  : exit,
                     recentMenu_);
    RebuildRecentMenu();
    undo_ = new UndoActions(messages_, *this);
    undo_->AddTo(*edycja);
}

void TForm1::CreatePortSelector(QWidget* client) {
    auto* background = new PictureBox(137, 237, Rgb(255, 255, 255), client);
    background->setObjectName(QStringLiteral("ImageBtnBackground"));
    background->move(563, 112);

    auto* label = new QLabel(QStringLiteral("Numer portu COM"), client);
    label->setObjectName(QStringLiteral("Label4"));
    label->move(580, 132);
    label->setAttribute(Qt::WA_TranslucentBackground);
    QPalette labelPal = label->palette();
    labelPal.setColor(QPalette::WindowText, Qt::black);
    label->setPalette(labelPal);
    label->adjustSize();

    // "COM1".."COM10", then the ports this computer has, read again each time the list opens.
    auto* selector = new PortSelector(SystemPorts, client);
    portBox_ = selector;
    portBox_->setObjectName(QStringLiteral("ComboBoxCOM"));
    // As wide as the gradient behind it allows, so that "/dev/ttyUSB0" shows whole.
    portBox_->setGeometry(580, 151, 113, portBox_->sizeHint().height());
    connect(portBox_, &QComboBox::currentTextChanged, this, [this] { ComboBoxCOMChange(); });
    // A port is typed or chosen, then the operator goes back to the message: Enter in the box
    // and the list closing (a choice, Escape) hand the keys to the grid, so the next letter
    // typed goes into the message, not into the port name (and vtr.cfg).
    connect(portBox_->lineEdit(), &QLineEdit::returnPressed, this,
            [this] { KeepKeyboardOnGrid(); });
    connect(selector, &PortSelector::PopupHidden, this, [this] { KeepKeyboardOnGrid(); });
}

void TForm1::CreateStatusBar(QWidget* client, int clientHeight) {
    auto* statusBar = new QStatusBar(client);
    statusBar->setObjectName(QStringLiteral("StatusBar1"));
    statusBar->setGeometry(0, clientHeight - kStatusBarHeight, client->width(), kStatusBarHeight);
    statusBar->setSizeGripEnabled(false);
    statusPanel_ = new QLabel(statusBar);
    statusPanel_->setObjectName(QStringLiteral("StatusPanel"));
    statusPanel_->setFixedWidth(500);
    statusBar->addWidget(statusPanel_);

    statusTimer_ = new QTimer(this);
    statusTimer_->setObjectName(QStringLiteral("Timer1"));
    statusTimer_->setInterval(kStatusPeriodMs);
    connect(statusTimer_, &QTimer::timeout, this, [this] { Timer1Timer(); });
}

// ---------------------------------------------------------------------------------------------
// Window events

void TForm1::FormCreate() {
    UpdateCaption();
    auto* background = findChild<PictureBox*>(QStringLiteral("ImageBtnBackground"));
    PaintPortBackground(background->Picture());
    background->Changed();

    skippedFonts_ = LoadFonts(fonts_).Skipped;
    messages_[0].AttachGrid(grid_);
    // The preview's tick runs only while a preview plays: between previews it has nothing to
    // count, and an idle editor then costs no wake-ups at all.
    strip_->Reset(fonts_);

    deviceAddress_ = kDeviceAddress;
    document_.Detach(); // the empty message as set up: nothing to lose yet
    UpdateCaption();
    LoadSettings();
    statusTimer_->start();

    // Placed at the centre of the desktop.
    if (QScreen* s = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(0, 0), size());
        frame.moveCenter(s->availableGeometry().center());
        move(frame.topLeft());
    }
    grid_->setFocus(Qt::OtherFocusReason);
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
        strip_->SetLastKey(10);
        break;
    case vk::Left:
        strip_->SetLastKey(30);
        break;
    case vk::Up:
        strip_->SetLastKey(31);
        break;
    case vk::Right:
        strip_->SetLastKey(28);
        break;
    case vk::Down:
        strip_->SetLastKey(29);
        break;
    default:
        strip_->SetLastKey(static_cast<std::uint8_t>(key & 0xFF));
        break;
    }
}

bool TForm1::FormCloseQuery() {
    // The preview would end at its next pass; it ends now so the strip is blank when the
    // window goes.
    strip_->StopNow();
    return !document_.Modified() || SaveOrKeep();
}

bool TForm1::SaveOrKeep() {
    const QString name = QFileInfo(document_.File()).fileName();
    QString question;
    if (name.isEmpty()) {
        question = QStringLiteral("Komunikat nie został zapisany.");
    } else if (document_.Kind() == FileKind::MessageSet) {
        question = QStringLiteral("Zestaw komunikatów %1 został zmieniony.").arg(name);
    } else {
        question = QStringLiteral("Komunikat %1 został zmieniony.").arg(name);
    }
    question += QStringLiteral(" Zapisać zmiany przed zamknięciem programu?");
    switch (dialogs_.AskSave(question)) {
    case SaveAnswer::Save:
        return document_.File().isEmpty() ? files_.SaveMessage()
                                          : files_.SaveAs(document_.Kind(), document_.File());
    case SaveAnswer::Discard:
        return true;
    case SaveAnswer::Cancel:
        break;
    }
    return false;
}

void TForm1::closeEvent(QCloseEvent* event) {
    if (FormCloseQuery()) {
        event->accept();
    } else {
        event->ignore();
        KeepKeyboardOnGrid();
    }
}

void TForm1::FormDestroy() {
    if (destroyed_) {
        return;
    }
    destroyed_ = true;
    strip_->Shutdown();
    SaveSettings();
    RememberWindow();
}

void TForm1::Timer1Timer() {
    statusPanel_->clear();
    statusTimer_->stop();
}

void TForm1::Wyjd1Click() {
    // With unsaved work the close asks whether to save it, which says more than the general
    // question would.
    if (document_.Modified() || dialogs_.Ask(QStringLiteral("Czy na pewno wyjść z programu?"))) {
        close();
    } else {
        KeepKeyboardOnGrid();
    }
}

void TForm1::ComboBoxCOMChange() {
    SaveSettings();
}

// ---------------------------------------------------------------------------------------------
// Status bar and settings

void TForm1::SetStatusText(const QString& text) {
    statusTimer_->stop();
    statusPanel_->setText(text);
    statusTimer_->start();
    QCoreApplication::processEvents();
}

QString TForm1::StatusText() const {
    return statusPanel_->text();
}

void TForm1::SetStatusPeriod(int ms) {
    statusTimer_->setInterval(ms);
}

void TForm1::FileNamed(const QString& file, FileKind kind) {
    document_.Saved(kind, file);
    preferences_.RememberRecentFile(file);
    RebuildRecentMenu();
    UpdateCaption();
}

void TForm1::UpdateCaption() {
    const QString file = QFileInfo(document_.File()).fileName();
    // The "*" is spelt out rather than left to the toolkit's "[*]" placeholder, which a file
    // name could contain.
    const QString caption = WindowCaption(kDeviceAddress) +
                            (file.isEmpty() ? QString() : QStringLiteral(" - ") + file) +
                            (document_.Modified() ? QStringLiteral("*") : QString());
    if (caption != windowTitle()) {
        setWindowTitle(caption);
    }
}

void TForm1::RebuildRecentMenu() {
    recentMenu_->clear();
    const QStringList files = preferences_.RecentFiles();
    int number = 0;
    for (const QString& file : files) {
        ++number;
        QAction* item = recentMenu_->addAction(QStringLiteral("&%1 %2").arg(number).arg(file));
        connect(item, &QAction::triggered, this, [this, file] { OpenRecentFile(file); });
    }
    recentMenu_->setEnabled(!files.isEmpty());
}

void TForm1::OpenRecentFile(const QString& file) {
    if (!QFileInfo(file).isFile()) {
        preferences_.ForgetRecentFile(file);
        RebuildRecentMenu();
        dialogs_.Warning(
            QStringLiteral("Plik %1 już nie istnieje; usunięto go z listy ostatnich plików.")
                .arg(file));
        KeepKeyboardOnGrid();
        return;
    }
    OpenFile(file);
    KeepKeyboardOnGrid();
}

std::string TForm1::SettingsPath() const {
    return JoinStartDirectory(startDirectory_, "vtr.cfg");
}

QString TForm1::PortName() const {
    return portBox_->currentText();
}

int TForm1::LoadSettings() {
    const std::optional<std::string> line = ReadSettingLine(SettingsPath());
    if (!line) {
        return 1;
    }
    const QString port = line->empty() ? QStringLiteral("COM1") : FromCp1250(*line);
    // Only the operator's changes are saved back; reading the file is not one of them.
    const QSignalBlocker block(portBox_);
    portBox_->setEditText(port);
    return 0;
}

int TForm1::SaveSettings() {
    return WriteSettingLine(SettingsPath(), ToCp1250(PortName())) ? 0 : 1;
}
