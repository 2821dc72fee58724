#pragma once
// TForm1, the main window: the message grid editor, the LED strip preview, the port selector,
// the status bar and the settings file that remembers the port.
//
// The window owns for the whole run the eight messages of the message set (message 1 is edited
// in the grid, message 2 feeds the preview), the font buffers, the strip picture, the protocol
// object and the device address. The character table (TForm2) and the file synchronisation
// window (TForm3) are created after it and borrow from it.

#include "app/Icons.h"
#include "app/PreviewTicker.h"
#include "app/widgets/CategoryButtons.h"
#include "app/widgets/CellGrid.h"
#include "app/widgets/PictureBox.h"
#include "comm/SendActions.h"
#include "comm/Unitcomprotocol.h"
#include "messages/Ledmessagecon.h"
#include "preview/Bitmap32.h"
#include "preview/Fonts.h"
#include "preview/StripPreview.h"

#include <QMainWindow>

#include <array>
#include <cstdint>
#include <memory>
#include <string>

class Dialogs;
class KeyPreview;
class QAction;
class QClipboard;
class QComboBox;
class QLabel;
class QMenu;
class QScrollArea;
class QStatusBar;
class QTimer;
class QToolBar;
class QToolButton;
class TForm2;
class TForm3;

constexpr int kMessageCount = 8;
constexpr std::uint16_t kDeviceAddress = 380;
constexpr int kStatusPeriodMs = 5000;
constexpr int kPreviewTickMs = 12;

// The main window's client area below the menu bar: the designed 708 x 378 and, to its right,
// the column of the action panel.
constexpr int kClientWidth = 708;
constexpr int kClientHeight = 378;
constexpr int kPanelLeft = 712;
constexpr int kPanelWidth = 328;
constexpr int kWindowClientWidth = kPanelLeft + kPanelWidth + 4;
constexpr int kStatusBarHeight = 22;

// The categories of the action panel and the buttons of "Akcje", by index.
constexpr int kFontsCategory = 0;
constexpr int kInsertCategory = 1;
constexpr int kSettingsCategory = 2;
constexpr int kActionsCategory = 3;
enum ActionItem : int {
    kTestItem,
    kClearItem,
    kLoadMessageItem,
    kLoadSetItem,
    kSaveMessageItem,
    kSaveSetItem,
    kSendMessageItem,
    kSendSetItem,
    kSendConfigurationItem,
    kSyncClockItem,
    kSyncFileItem,
    kShowMessageItem,
    kActionItemCount
};

// The file dialogs' filters (description|pattern pairs) and default extensions.
inline constexpr const char* kMessageFilter = "Pojedynczy komunikat (*.kom)|*.kom";
inline constexpr const char* kSaveMessageFilter =
    "Pojedynczy komunikat (*.kom)|*.kom|Zbiór komunikatów (*.kzb)|*.kzb";
inline constexpr const char* kMessageSetFilter = "Zbiór komunikatów (*.kzb)|*.kzb";
inline constexpr const char* kMessageExtension = "kom";
inline constexpr const char* kMessageSetExtension = "kzb";

class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    // Constructs the protocol object and the eight empty messages, then records the current
    // directory as StartDirectory and runs FormCreate. `dialogs` answers every message box,
    // question and file dialog of the window and must outlive it.
    explicit TForm1(Dialogs& dialogs, QWidget* parent = nullptr);
    // Runs FormDestroy (which writes the settings file).
    ~TForm1() override;

    // Gives the window the character table and the synchronisation window created after it.
    void SetCompanions(TForm2* form2, TForm3* form3);

    // --- members ---
    QClipboard* Clipboard = nullptr;
    std::uint16_t DeviceAddress = 0;
    // The protocol object (frame codec and device commands over the serial port); the window
    // never opens the port itself, its device actions do.
    ComProtocol Protocol;
    std::unique_ptr<Bitmap32> StripBitmap;         // 448 x 56, from FormCreate
    std::unique_ptr<Bitmap32> FontHighlightBitmap; // 16 x 32, from FormCreate
    std::string StartDirectory;
    std::uint16_t PreviewRunning = 0;
    std::uint8_t LastKey = 0;
    std::array<CLEDMessageCon, kMessageCount> Messages;
    CLEDMessageCon* CurrentMessage = nullptr;
    std::uint16_t CurrentMessageNumber = 1;
    FontSet Fonts; // the five font buffers

    // --- components ---
    PictureBox* ImageLinijka = nullptr;
    CellGrid* DrawGrid1 = nullptr;
    QToolBar* ToolBar2 = nullptr;
    QToolButton* ToolButton14 = nullptr;
    PictureBox* ImageBtnBackground = nullptr;
    QLabel* Label4 = nullptr;
    QComboBox* ComboBoxCOM = nullptr;
    CategoryButtons* CategoryButtons1 = nullptr;
    QScrollArea* PanelScroll = nullptr;
    QStatusBar* StatusBar1 = nullptr;
    QLabel* StatusPanel = nullptr; // panel 0 of the status bar, 500 pixels wide
    QAction* Wyjd1 = nullptr;
    QAction* Wklej1 = nullptr;
    QTimer* Timer1 = nullptr;
    std::array<QIcon, kIconCount> ImageList1;
    // Offered on the context menus of the load and save buttons of the action panel.
    QMenu* PopupMenuWczytaj = nullptr; // "Komunikat", "Zestaw komunikatow"
    QMenu* PopupMenuZapisz = nullptr;  // "Komunikat", "Zestaw komunikatow"

    // --- window events ---
    void FormCreate();
    void FormShow();
    // Records the key in LastKey (Enter as 10, Left 30, Up 31, Right 28, Down 29, others their
    // low 8 bits); the key then goes on to the focused control unchanged.
    void FormKeyDown(std::uint16_t key);
    // Stops a running preview; closing is always allowed.
    bool FormCloseQuery();
    void FormDestroy();
    void Timer1Timer();
    void Wyjd1Click();
    void ComboBoxCOMChange();

    // --- action panel ---
    // Draws the sample of each font button in its own font at one pixel per dot, with
    // FontHighlightBitmap stretched behind the sample of the current message's font.
    void CategoryButtons1AfterDrawButton(QPainter& canvas, int category, int item,
                                         const QRect& rect);
    void CategoryButtons1Categories0Items0Click() { SetFontClick(1); }
    void CategoryButtons1Categories0Items1Click() { SetFontClick(2); }
    void CategoryButtons1Categories0Items2Click() { SetFontClick(3); }
    void CategoryButtons1Categories0Items3Click() { SetFontClick(4); }
    void CategoryButtons1Categories0Items4Click() { SetFontClick(5); }
    // Toggles message 1 between scrolling (0) and static (1) and captions the button after it.
    void CategoryButtons1Categories2Items0Click();
    // Captions the type button after message 1's type byte ("Rodaj komunikatu: przewijany" for
    // 0, "Rodaj komunikatu: stojący" otherwise). Called after a load, a clear and a send.
    void UpdateTypeCaption();
    // "Testuj komunikat": nothing.
    void Button1Click() {}
    // Asks, then clears message 1 (type scrolling, font 4); the panel repaints its font mark.
    void Button4Click();
    // Load / save message 1 through OpenDialogKomunikat / SaveDialogKomunikat. A file that
    // does not load (missing, not a regular file, empty, a read error) changes nothing and
    // shows "Nie mogę wczytać pliku <name> !"; one that cannot be written shows "Nie mogę
    // zapisać pliku <name> !" and leaves the old file as it was.
    void Button5Click();
    void Button2Click();
    // Load / save the message set (messages 1..8) through OpenDialogZbKom / SaveDialogZbKom,
    // with the same failure handling.
    void Zestawkomunikatow1Click();
    void MenuItem4Click();

    // --- send actions (port from ComboBoxCOM; each opens and closes the port) ---
    // Sends message 1 to slot 9; on success message 2 holds it, message 1 is cleared and the
    // preview plays message 2.
    void Button3Click();
    // Sends messages 1..8 to slots 1..8.
    void ToolButton15Click();
    // Sets the sign's clock.
    void CategoryButtons1Categories3Items9Click();
    // Shows the file synchronisation window modally; its mode runs until it closes.
    void CategoryButtons1Categories3Items10Click();
    // Makes the sign show slot CurrentMessageNumber.
    void CategoryButtons1Categories3Items11Click();
    // The send actions, for tests that replace how transactions are run.
    SendActions& Actions() { return *actions_; }

    // --- grid editor, all on message 1 ---
    void DrawGrid1DrawCell(int col, int row, const QRect& rect, bool selected);
    void DrawGrid1SelectCell(int col, int row, bool& canSelect);
    void DrawGrid1KeyDown(std::uint16_t& key);
    void DrawGrid1KeyPress(std::uint8_t ch);
    // Pastes the clipboard's text as if typed, converted to code page 1250.
    void Wklej1Click();
    // Date, time and temperature fields and the character table's choice at the cursor.
    void CategoryButtons1Categories1Items0Click();
    void CategoryButtons1Categories1Items1Click();
    void CategoryButtons1Categories1Items2Click();
    void CategoryButtons1Categories1Items3Click();
    // Font buttons of the action panel: the font for new cells, then the panel repaints.
    void SetFontClick(int font);

    // Call after message 1's buffer has been replaced (a message or a set loaded): a cursor
    // left beyond the end of the new text moves back to the first free cell, so that typing
    // never leaves empty cells inside the text.
    void MessageLoaded();

    // --- operations used by the other parts ---
    // Shows `text` in the status bar for a full status period from now, then lets pending
    // window events run so the text is painted before a long operation follows.
    void SetStatusText(const QString& text);
    QString StatusText() const;
    int LoadSettings();
    int SaveSettings();
    // The settings file: StartDirectory joined with "vtr.cfg".
    std::string SettingsPath() const;
    // Copies StripBitmap into ImageLinijka's picture at (12, 5). Returns 0.
    int PaintStrip();
    // The port name as typed or chosen.
    QString PortName() const;

    // Starts playing message 2 on the strip, as a successful send does after copying the sent
    // message there: PreviewRunning = 1, the type from its byte 1023 read as signed, the length
    // the bytes before its first zero byte. A preview already running is replaced. The preview
    // then advances on the 12 ms tick of its ticker thread without blocking the window; it
    // stops on Escape, on FormCloseQuery and when PreviewRunning is set to 0 (at its next
    // pass). Returns whether the preview runs (an empty message
    // does not play).
    bool PlayMessage2();
    // As PlayMessage2 on any message buffer (1024 bytes that outlive the preview).
    bool PlayMessage(std::int16_t type, const std::uint8_t* message, std::uint16_t length);
    bool PreviewActive() const { return preview_.Running(); }
    int PreviewResult() const { return preview_.Result(); }
    // Strip repaints made by the preview so far (for measuring its cost).
    std::uint64_t PreviewRepaints() const { return previewRepaints_; }

    // Status period in milliseconds (5000 unless a test shortens it).
    void SetStatusPeriod(int ms);

signals:
    // A preview has ended with `result` (27 = Escape, 0 = otherwise).
    void PreviewFinished(int result);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    class SendHost;

    void CreateComponents();
    // Shows the open or save dialog; the chosen name with the default extension added when it
    // has none, or an empty text when cancelled.
    QString ChooseFile(bool save, const char* filter, const char* extension);
    // After message 1's buffer came from a file: cursor, type caption and font mark follow it.
    void AfterMessage1Replaced();
    void LoadFailed(const QString& name);
    void SaveFailed(const QString& name);
    std::string PortForActions() const;
    void CreateActionPanel();
    // One pass of the running preview, on the user-interface thread.
    void PreviewPass();
    std::uint8_t TakeKey();

    Dialogs& dialogs_;
    TForm2* form2_ = nullptr;
    TForm3* form3_ = nullptr;
    KeyPreview* keyPreview_ = nullptr;
    StripPreview preview_;
    std::unique_ptr<PreviewTicker> ticker_;
    std::unique_ptr<SendHost> sendHost_;
    std::unique_ptr<SendActions> actions_;
    std::uint64_t previewRepaints_ = 0;
    bool destroyed_ = false;
};
