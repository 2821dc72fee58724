#pragma once
// TForm3, the file synchronisation window. Created once at start-up after the main window and
// the character table; the main window's action panel shows it modally with ShowModalSync().
//
// The window only wires its events to the mode (CAutoSync): showing it starts the mode on the
// port, protocol object and device address of its SyncContext; TimerSynchro runs one polling
// step per second; "Wybierz plik" picks the data file and sends it at once; "Wyjdź z trybu" and
// every other close (close box, Escape) leave the mode - the sign's current message is blanked
// and the port closed - and save the data file name in "as.cfg" in the start directory.
//
// A sign lost during the mode (a transaction without any reply: the line hung up, the sign was
// switched off) is handled as `ledsign watch` handles it (WatchPolicy): the port is closed and
// reopened on a backoff, each time with a clock set as the probe, and once the sign answers the
// data file is sent again. The sign's clock is also set at the start of a minute every minute
// while the mode runs, which notices a silent loss. The status line keeps the mode's own texts;
// beside it the line indicator (LabelLine) shows the line's state until it changes: running,
// lost since when and why, back since when.
//
// Serial transactions run on a worker thread while the window waits in a local event loop that
// drops user input (RunWhileRepainting), so the window repaints during the up to 5.1 s of a
// transaction. A polling tick that comes during such a wait is skipped (the next tick still
// sees the change), and a close that comes then is refused, so the protocol object is never
// used by two calls at once.

#include "app/widgets/CategoryButtons.h"
#include "autosync/FileStamp.h"
#include "autosync/ProtocolSignLink.h"
#include "autosync/RunnerSignLink.h"
#include "autosync/Unitautosync.h"
#include "autosync/WatchPolicy.h"

#include "comm/Unitcomprotocol.h"

#include <QDialog>

#include <cstdint>
#include <functional>
#include <string>

class Dialogs;
class QLabel;
class QLineEdit;
class QTimer;

// What the window borrows from the editor: the protocol object (not used by anyone else while
// the window is open, since it is modal), the sign's address, the directory of "as.cfg", and
// the port, read each time the mode starts because the operator may change it in between.
struct SyncContext {
    ComProtocol& Protocol;
    std::uint16_t DeviceAddress;
    std::string StartDirectory;
    // The port name in the system's file name encoding.
    std::function<std::string()> PortName;
};

constexpr int kSyncStatusPeriodMs = 5000;
constexpr int kSyncIntervalMs = 1000;
inline constexpr const char* kDataFileFilter =
    "Pliki tekstowe (*.txt)|*.txt|Wszystkie pliki (*.*)|*.*";

class TForm3 : public QDialog {
    Q_OBJECT
public:
    // `context.Protocol` and `dialogs` (which runs OpenDialog1) must outlive the window. Runs
    // FormCreate.
    TForm3(SyncContext context, Dialogs& dialogs, QWidget* parent = nullptr);
    ~TForm3() override;

    // Shows the window modally and returns when it has closed; the mode runs while it is open
    // and has been left when this returns. Returns the dialog's result code (unused).
    int ShowModalSync();

    // --- components ---
    QLabel* Label1 = nullptr;
    QLineEdit* EditPlik = nullptr;
    QLabel* LabelStatus = nullptr;
    QLabel* LabelLine = nullptr; // the line indicator
    CategoryButtons* CategoryButtons1 = nullptr;
    QTimer* Timer1 = nullptr;       // status fall-back, single shot
    QTimer* TimerSynchro = nullptr; // polling

    // --- events ---
    // Reads as.cfg from the start directory into EditPlik.
    void FormCreate();
    // Starts the mode on the context's port as named now; emits StartFinished.
    void FormShow();
    // Leaves the mode and writes as.cfg. Runs on every close.
    void FormClose();
    // One step of the mode: a probe while the sign is lost, else the clock set when due and the
    // check of the data file. Skipped inside a transaction's wait or another step.
    void TimerSynchroTimer();
    void Timer1Timer();
    // "Wybierz plik": OpenDialog1, then the chosen file is sent at once while the mode runs.
    void CategoryButtons1Categories0Items0Click();
    // "Wyjdź z trybu": leaves the mode and closes the window.
    void CategoryButtons1Categories0Items1Click();

    // "STATUS:" followed by `text`, for one status period; pending events run before it
    // returns so the label is painted. `reason` (why the port or the sign failed, "" for none)
    // becomes the status line's tooltip for as long as the text stays.
    void ShowStatus(const QString& text, const QString& reason = QString());

    // Periods for tests: the status fall-back and the polling interval, in milliseconds.
    void SetStatusPeriod(int ms);
    void SetSyncInterval(int ms);
    // Replaces how serial calls are run (RunWhileRepainting by default); empty runs inline.
    void SetTransactionRunner(TransactionRunner runner);

    const CAutoSync& Sync() const { return watch_.Mode(); }
    // Whether the mode runs with the sign answering (false while it is lost or idle).
    bool SignConnected() const { return watch_.Connected(); }
    bool InTransaction() const { return link_.InTransaction(); }

signals:
    // The start that showing the window ran has ended: 0 the mode runs, 1 it does not.
    void StartFinished(int result);

public slots:
    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    enum class LineState { Idle, Running, Lost, Back };
    // A status of the mode: the line's states go to the indicator, the rest to the status line.
    void ModeStatus(const std::string& text);
    void ShowLineState(LineState state, const QString& reason = QString());

    SyncContext context_;
    Dialogs& dialogs_;
    ProtocolSignLink protocolLink_;
    RunnerSignLink link_;
    SystemFileStatus files_;
    SystemComClock clock_;
    WatchPolicy watch_;
    bool closing_ = false;
    bool stepping_ = false;
};
