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
constexpr int kPanelWidth = 236;
constexpr int kWindowClientWidth = kPanelLeft + kPanelWidth + 4;
constexpr int kStatusBarHeight = 22;

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
    // Sends the current message; its body belongs to the send actions.
    void Button3Click();

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
    void CreateComponents();
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
    std::uint64_t previewRepaints_ = 0;
    bool destroyed_ = false;
};
