#pragma once
// TForm1, the main window: the message grid editor, the LED strip with its preview, the port
// selector, the action panel, the status bar and the settings file that remembers the port.
//
// The window owns for the whole run the eight messages of the message set (message 1 is edited
// in the grid, message 2 feeds the preview), the font buffers, the protocol object and the
// device address. Its parts each own their piece: the strip view (picture, preview, ticker), the
// action panel (buttons, context menus, font samples) and the file commands. The character
// table (TForm2) and the file synchronisation window (TForm3) are created after it and are
// handed to it with SetCompanions.

#include "app/EditorPreferences.h"
#include "app/Icons.h"
#include "app/mainwindow/ActionPanel.h"
#include "app/mainwindow/DocumentState.h"
#include "app/mainwindow/FileCommands.h"
#include "app/mainwindow/UndoActions.h"
#include "comm/SendActions.h"
#include "comm/Unitcomprotocol.h"
#include "format/SignFormat.h"
#include "messages/Ledmessagecon.h"
#include "preview/Fonts.h"

#include <QMainWindow>

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

class CellGrid;
class ClientArea;
class Dialogs;
class KeyPreview;
class QComboBox;
class QLabel;
class QMenu;
class QTimer;
class StripView;
class TForm2;
class TForm3;

constexpr int kMessageCount = kMessageSetCount;
constexpr std::uint16_t kDeviceAddress = signformat::kDefaultSignAddress;
constexpr int kStatusPeriodMs = 5000;

class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    using MessageSet = std::span<CLEDMessageCon, kMessageCount>;

    // Constructs the protocol object and the eight empty messages, records the current
    // directory as the start directory and runs FormCreate (which reads the settings file).
    // `dialogs` answers every message box, question and file dialog of the window and must
    // outlive it.
    explicit TForm1(Dialogs& dialogs, QWidget* parent = nullptr);
    // Runs FormDestroy (which writes the settings file).
    ~TForm1() override;

    // Gives the window the character table and the synchronisation window created after it;
    // either may be null (its command then does nothing).
    void SetCompanions(TForm2* form2, TForm3* form3);

    // --- what the other windows, the probe and the tests read ---
    std::uint16_t DeviceAddress() const { return deviceAddress_; }
    // The process's current directory when the window was constructed; vtr.cfg lives there.
    const std::string& StartDirectory() const { return startDirectory_; }
    // The protocol object; the window never opens the port itself, its device actions do.
    ComProtocol& Protocol() { return protocol_; }
    // The port name as typed or chosen.
    QString PortName() const;
    // Messages 1..8 (element n - 1 is message n).
    MessageSet Messages() { return messages_; }
    // The message being edited: message 1, for the whole run.
    CLEDMessageCon& CurrentMessage() { return messages_[0]; }
    std::uint16_t CurrentMessageNumber() const { return 1; }
    StripView& Strip() { return *strip_; }
    ActionPanel& Panel() { return *panel_; }
    const std::array<QIcon, kIconCount>& Icons() const { return icons_; }
    // The font files passed over at creation (too short or unreadable), for the start-up
    // warning.
    const std::vector<SkippedFontFile>& SkippedFontFiles() const { return skippedFonts_; }

    // Whether message 1 (or the set, once one was loaded or saved) differs from what it was
    // when last loaded, saved or sent; the caption then carries "*".
    bool Modified() const { return document_.Modified(); }
    const DocumentState& Document() const { return document_; }

    // --- commands ---
    // Opens `file` as "Wczytaj komunikat" or "Wczytaj zestaw komunikatów" would after their
    // dialog (a set by the extension "kzb", else a message), as one undo step. False, with the
    // load error shown, when it does not load.
    bool OpenFile(const QString& file);
    // What a click on the action panel's button for `command` does.
    void RunCommand(PanelCommand command);
    // "Wklej tekst ze schowka": the clipboard's text typed into message 1, converted to code
    // page 1250.
    void Paste();
    // Call after message 1's buffer has been replaced (a message or a set loaded): a cursor
    // left beyond the end of the new text moves back to the first free cell, so that typing
    // never leaves empty cells inside the text.
    void MessageLoaded();
    // Starts playing message 2 on the strip, as a successful send does after copying the sent
    // message there: the type from its byte 1023 read as signed, the length the bytes before
    // its first zero byte. Returns whether the preview runs (an empty message does not play).
    bool PlayMessage2();
    // "Testuj komunikat": plays a copy of message 1 on the strip as a send would, without
    // sending it and without touching messages 1..8; Escape stops it. Returns whether it plays.
    bool PlayMessage1();

    // --- status bar ---
    // Shows `text` for a full status period from now, then lets pending window events run so
    // the text is painted before a long operation follows.
    void SetStatusText(const QString& text);
    QString StatusText() const;
    // Status period in milliseconds (5000 unless a test shortens it).
    void SetStatusPeriod(int ms);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    class SendHost;

    // --- construction (MainForm.cpp) ---
    void CreateComponents();
    void CreateMenu();
    void CreatePortSelector(QWidget* client);
    void CreateStatusBar(QWidget* client, int clientHeight);

    // --- window events (MainForm.cpp) ---
    void FormCreate();
    void FormShow();
    // Records the key as the preview's LastKey (Enter as 10, Left 30, Up 31, Right 28, Down
    // 29, others their low 8 bits); the key then goes on to the focused control unchanged.
    void FormKeyDown(std::uint16_t key);
    // Stops a running preview; with unsaved work asks whether to save it first (SaveOrKeep).
    // False keeps the window open.
    bool FormCloseQuery();
    // Before unsaved work would be lost: asks "Zapisz / Nie zapisuj / Anuluj"; true when the
    // work was saved or the operator lets it go, false when it stays (cancelled, or the save
    // failed or was cancelled).
    bool SaveOrKeep();
    void FormDestroy();
    void Timer1Timer();
    void Wyjd1Click();
    void ComboBoxCOMChange();
    int LoadSettings();
    int SaveSettings();
    std::string SettingsPath() const;
    // `file` of `kind` was loaded or written: it becomes the document, the caption names it and
    // the recent files list begins with it.
    void FileNamed(const QString& file, FileKind kind);
    // The caption: the window's name, the document's file if any, and "*" while modified.
    void UpdateCaption();
    // After every edit of the messages: the modified mark follows, and when the edit pushed
    // characters off the end of a full message the status bar says how many.
    void AfterEdit();
    // "Ostatnie pliki": one item per remembered file, the latest first.
    void RebuildRecentMenu();
    void OpenRecentFile(const QString& file);

    // --- size and place (MainFormShell.cpp) ---
    // The window's starting size: the size left last time if any, else as tall as the panel
    // wants and the screen allows; never larger than the screen nor smaller than the designed
    // area with the panel beside it. Maximised again when it was left maximised.
    void FitWindow(ClientArea& client);
    // Keeps the window's size (and whether it is maximised) for the next run.
    void RememberWindow();

    // --- commands (MainFormCommands.cpp), all on message 1 ---
    // Font buttons: the font for new cells; the font mark follows.
    void SetFontClick(int font);
    // Toggles the type between scrolling (0) and static (1); the caption follows.
    void CategoryButtons1Categories2Items0Click();
    // Asks, then clears the message (type scrolling, font 4).
    void Button4Click();
    // Sends the message to slot 9; on success message 2 holds it, message 1 is cleared and
    // the preview plays message 2. Each device action opens and closes the port itself.
    void Button3Click();
    // Sends messages 1..8 to slots 1..8. When no set was loaded or saved in this run and some
    // of the messages are empty, asks first, naming the slots that would be emptied.
    void ToolButton15Click();
    // Sets the sign's clock.
    void CategoryButtons1Categories3Items9Click();
    // Shows the file synchronisation window modally; its mode runs until it closes.
    void CategoryButtons1Categories3Items10Click();
    // Makes the sign show slot CurrentMessageNumber.
    void CategoryButtons1Categories3Items11Click();
    // The character table on the message's font; its choice is inserted at the cursor.
    void CategoryButtons1Categories1Items3Click();
    // After message 1's buffer came from a file: cursor, type caption and font mark follow it.
    void AfterMessage1Replaced();
    std::string PortForActions() const;
    void CreateSendActions();
    void ConnectGrid();
    // After every command, dialog and secondary window: the grid has the keys again.
    void KeepKeyboardOnGrid();

    Dialogs& dialogs_;
    ComProtocol protocol_;
    std::array<CLEDMessageCon, kMessageCount> messages_;
    FontSet fonts_;
    std::vector<SkippedFontFile> skippedFonts_;
    std::string startDirectory_;
    std::uint16_t deviceAddress_ = 0;
    std::array<QIcon, kIconCount> icons_;
    EditorPreferences preferences_;
    FileCommands files_;
    DocumentState document_;

    TForm2* form2_ = nullptr;
    TForm3* form3_ = nullptr;
    StripView* strip_ = nullptr;
    CellGrid* grid_ = nullptr;
    ActionPanel* panel_ = nullptr;
    QComboBox* portBox_ = nullptr;
    QMenu* recentMenu_ = nullptr;
    QLabel* statusPanel_ = nullptr;
    QTimer* statusTimer_ = nullptr;
    KeyPreview* keyPreview_ = nullptr;
    UndoActions* undo_ = nullptr;
    std::unique_ptr<SendActionsHost> sendHost_;
    std::unique_ptr<SendActions> actions_;
    bool destroyed_ = false;
    std::uint32_t droppedCellsSeen_ = 0; // message 1's DroppedCells already told
};
