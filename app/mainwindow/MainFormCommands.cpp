// The commands of the main window: the action panel's buttons and the grid editor's wiring,
// all acting on message 1.

#include "app/CoreNames.h"
#include "app/Dialogs.h"
#include "app/KeyMap.h"
#include "app/TransactionWait.h"
#include "app/chartable/Unitchartable.h"
#include "app/mainwindow/MainForm.h"
#include "app/mainwindow/StripView.h"
#include "app/syncwindow/TForm3.h"
#include "app/widgets/CategoryButtons.h"
#include "app/widgets/CellGrid.h"
#include "app/widgets/ControlCodeMarks.h"

#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QStringList>
#include <QTimer>

namespace {

// The index of the first cell with attribute 0, or 499 when all 500 cells are in use.
int FirstFreeCell(const std::uint8_t* data) {
    for (int i = 0; i < kMessageCells; ++i) {
        if (data[2 * i] == 0) {
            return i;
        }
    }
    return kMessageCells - 1;
}

} // namespace

void TForm1::RunCommand(PanelCommand command) {
    // Every command is one undo step; only loading a set replaces more than message 1.
    const auto step = undo_->Begin(command == PanelCommand::LoadSet ? MessageUndo::Kind::SetCommand
                                                                    : MessageUndo::Kind::Command);
    switch (command) {
    case PanelCommand::Font1:
    case PanelCommand::Font2:
    case PanelCommand::Font3:
    case PanelCommand::Font4:
    case PanelCommand::Font5:
        SetFontClick(static_cast<int>(command) - static_cast<int>(PanelCommand::Font1) + 1);
        break;
    case PanelCommand::InsertDate:
        CurrentMessage().InsertDateField();
        break;
    case PanelCommand::InsertTime:
        CurrentMessage().InsertTimeField();
        break;
    case PanelCommand::InsertTemperature:
        CurrentMessage().InsertTemperatureField();
        break;
    case PanelCommand::InsertSpecialChar:
        CategoryButtons1Categories1Items3Click();
        break;
    case PanelCommand::ToggleType:
        CategoryButtons1Categories2Items0Click();
        break;
    case PanelCommand::TestMessage:
        PlayMessage1();
        break;
    case PanelCommand::ClearMessage:
        Button4Click();
        break;
    case PanelCommand::LoadMessage:
        if (files_.LoadMessage()) {
            AfterMessage1Replaced();
        }
        break;
    case PanelCommand::LoadSet:
        if (files_.LoadSet()) {
            AfterMessage1Replaced();
        }
        break;
    case PanelCommand::SaveMessage:
        files_.SaveMessage();
        break;
    case PanelCommand::SaveSet:
        files_.SaveSet();
        break;
    case PanelCommand::SendMessage:
        Button3Click();
        break;
    case PanelCommand::SendSet:
        ToolButton15Click();
        break;
    case PanelCommand::SyncClock:
        CategoryButtons1Categories3Items9Click();
        break;
    case PanelCommand::SyncFile:
        CategoryButtons1Categories3Items10Click();
        break;
    case PanelCommand::ShowMessage:
        CategoryButtons1Categories3Items11Click();
        break;
    }
    AfterEdit();
    KeepKeyboardOnGrid();
}

bool TForm1::OpenFile(const QString& file) {
    const auto step = undo_->Begin(MessageUndo::Kind::SetCommand);
    const bool loaded = files_.LoadFile(file);
    if (loaded) {
        AfterMessage1Replaced();
    }
    AfterEdit();
    return loaded;
}

// ---------------------------------------------------------------------------------------------
// Font, type and clear

void TForm1::SetFontClick(int font) {
    CurrentMessage().SetFont(font);
    panel_->CurrentMessageChanged();
}

void TForm1::CategoryButtons1Categories2Items0Click() {
    CurrentMessage().SetType(CurrentMessage().GetType() == 0 ? 1 : 0);
    panel_->CurrentMessageChanged();
}

void TForm1::Button4Click() {
    if (!dialogs_.Ask(QStringLiteral("Czy na pewno skasować komunikat?"))) {
        return;
    }
    CurrentMessage().Clear();
    grid_->Invalidate();
    // Clear chose font 4 for new cells: the mark moves there now, not at some later repaint.
    panel_->CurrentMessageChanged();
}

void TForm1::AfterMessage1Replaced() {
    MessageLoaded();
    panel_->CurrentMessageChanged();
}

// ---------------------------------------------------------------------------------------------
// Send actions (port from the port selector; each opens and closes the port)

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
    void SetPreviewRunning(std::uint16_t running) override {
        form_.strip_->SetPreviewRunning(running);
    }
    void StartPreview(std::int16_t type, const std::uint8_t* message,
                      std::uint16_t length) override {
        form_.strip_->PlayMessage(type, message, length);
    }

private:
    TForm1& form_;
};

void TForm1::CreateSendActions() {
    sendHost_ = std::make_unique<SendHost>(*this);
    actions_ = std::make_unique<SendActions>(protocol_, *sendHost_, Messages(), deviceAddress_);
    // Transactions (up to 5.1 s each) run on a worker thread while the window keeps painting;
    // clicks and keys wait until the transaction has ended. None of this window's timers (the
    // status timer, the preview ticker) touches the protocol object, so the worker has it to
    // itself; the synchronisation window, the only other user, runs modally and so never at
    // the same time.
    actions_->SetTransactionRunner(RunWhileRepainting);
}

std::string TForm1::PortForActions() const {
    return ToCoreName(PortName());
}

void TForm1::Button3Click() {
    // Emptying message 1 after the send can be undone; the send itself cannot.
    const auto step = undo_->Begin(MessageUndo::Kind::Command);
    if (actions_->SendCurrentMessage(PortForActions(), CurrentMessageNumber()) ==
        SendResult::Done) {
        // Message 1 was cleared: scrolling type, font 4.
        panel_->CurrentMessageChanged();
        // The message is on the sign and in "temp_msg.bin"; the emptied grid holds no file.
        document_.Detach();
        UpdateCaption();
    }
    KeepKeyboardOnGrid();
}

namespace {

// "1 znak", "2 znaki", "5 znaków", "22 znaki": the Polish plural of a count.
QString CharacterCount(std::uint32_t n) {
    const std::uint32_t tens = n % 100;
    const std::uint32_t units = n % 10;
    const char* word = n == 1                                                   ? "znak"
                       : (units >= 2 && units <= 4 && (tens < 12 || tens > 14)) ? "znaki"
                                                                                : "znaków";
    return QString::number(n) + QLatin1Char(' ') + QString::fromUtf8(word);
}

} // namespace

void TForm1::AfterEdit() {
    UpdateCaption();
    const std::uint32_t dropped = CurrentMessage().DroppedCells();
    if (dropped != droppedCellsSeen_) {
        const std::uint32_t lost = dropped - droppedCellsSeen_;
        droppedCellsSeen_ = dropped;
        // Set without letting events run: this comes at the end of a key's handling.
        statusTimer_->stop();
        statusPanel_->setText(
            QStringLiteral("Komunikat jest pełny: z jego końca usunięto %1 (Ctrl+Z przywraca).")
                .arg(CharacterCount(lost)));
        statusTimer_->start();
    }
}

void TForm1::ToolButton15Click() {
    // Without a set of the operator's, messages 2..8 are whatever this run left there (message
    // 2 the last message sent, the rest empty), and sending them blanks those slots.
    if (!document_.SetKnownThisRun()) {
        QStringList emptied;
        for (int k = 1; k <= kMessageCount; ++k) {
            if (messages_[static_cast<std::size_t>(k - 1)].GetData()[0] == 0) {
                emptied << QString::number(k);
            }
        }
        if (!emptied.isEmpty() &&
            !dialogs_.Ask(QStringLiteral("Nie wczytano ani nie zapisano zestawu komunikatów. "
                                         "Wysłanie zestawu opróżni w linijce komunikaty numer %1. "
                                         "Wysłać zestaw?")
                              .arg(emptied.join(QStringLiteral(", "))))) {
            return;
        }
    }
    // The actions show their own failures; nothing else follows the set's sending.
    (void)actions_->SendMessageSet(PortForActions());
}

void TForm1::CategoryButtons1Categories3Items9Click() {
    if (actions_->SyncClock(PortForActions()) == SendResult::Done) {
        SetStatusText(QStringLiteral("Zegar w linijce świetlnej został zsynchronizowany."));
    }
}

void TForm1::CategoryButtons1Categories3Items10Click() {
    if (form3_ != nullptr) {
        form3_->ShowModalSync();
    }
}

void TForm1::CategoryButtons1Categories3Items11Click() {
    if (actions_->ShowCurrentMessage(PortForActions(), CurrentMessageNumber()) ==
        SendResult::Done) {
        SetStatusText(QStringLiteral("Linijka wyświetla komunikat numer ") +
                      QString::number(CurrentMessageNumber()) + QLatin1Char('.'));
    }
}

// ---------------------------------------------------------------------------------------------
// Grid editor

void TForm1::ConnectGrid() {
    CLEDMessageCon& edited = messages_[0];
    const FontInfoTable& fonts = strip_->FontTable();
    grid_->SetDrawCell(
        [&edited, &fonts](QPainter& painter, int c, int r, const QRect& rect, bool selected) {
            edited.DrawCell(c, r,
                            GridRect{rect.left(), rect.top(), rect.right() + 1, rect.bottom() + 1},
                            selected ? GridCellState::Selected : GridCellState::Normal, fonts);
            const int cell = r * kGridColumns + c;
            const std::uint8_t* cells = edited.GetData();
            if (cell < kMessageCells && cells[2 * cell] != 0) {
                DrawControlCodeMark(painter, rect, cells[2 * cell + 1]);
            }
        });
    grid_->SetSelectCellHandler(
        [&edited](int c, int r, bool& canSelect) { edited.CanSelect(c, r, canSelect); });
    grid_->SetKeyDown(
        [&edited](std::uint16_t& key, Qt::KeyboardModifiers) { edited.KeyDown(key); });
    grid_->SetKeyPress([&edited](std::uint8_t ch) { edited.KeyPress(ch); });
    undo_->Watch(
        *grid_,
        [this] {
            panel_->CurrentMessageChanged();
            AfterEdit();
        },
        [this] { AfterEdit(); });
}

void TForm1::KeepKeyboardOnGrid() {
    // A modal window that has just closed leaves no window of the program active where no
    // window manager hands the activation back (a bare X server, some desktops): this window
    // takes it, since the command that opened the modal window came from here. A hidden window
    // still reported active (the activation of a window closed at once can arrive after its
    // close) counts as none.
    const QWidget* active = QApplication::activeWindow();
    if ((active == nullptr || !active->isVisible()) && isVisible()) {
        activateWindow();
    }
    // Makes the grid the window's focus widget even while it is not active yet, so the grid
    // has the keys as soon as the window is.
    grid_->setFocus(Qt::OtherFocusReason);
}

void TForm1::Paste() {
    const QString text = QGuiApplication::clipboard()->text();
    const auto step = undo_->Begin(MessageUndo::Kind::Command); // a paste is one step
    CLEDMessageCon& target = messages_[static_cast<std::size_t>(CurrentMessageNumber() - 1)];
    for (const char byte : ToCp1250(text)) {
        target.KeyPress(static_cast<std::uint8_t>(byte));
    }
    AfterEdit();
}

void TForm1::CategoryButtons1Categories1Items3Click() {
    if (form2_ == nullptr) {
        return;
    }
    form2_->FontNumber = static_cast<std::uint8_t>(CurrentMessage().GetFont());
    form2_->exec();
    if (form2_->ChosenChar != 0) {
        CurrentMessage().InsertSpecialChar(form2_->ChosenChar);
    }
}

void TForm1::MessageLoaded() {
    const int firstFree = FirstFreeCell(messages_[0].GetData());
    const int cursor = grid_->Row() * kGridColumns + grid_->Col();
    if (cursor > firstFree) {
        grid_->SetCell(firstFree % kGridColumns, firstFree / kGridColumns);
    }
    grid_->Invalidate();
}

// ---------------------------------------------------------------------------------------------
// Preview

bool TForm1::PlayMessage1() {
    // The preview plays its own copy, so editing message 1 meanwhile changes nothing on it.
    const std::uint8_t* message = messages_[0].GetData();
    const auto type = static_cast<std::int16_t>(static_cast<std::int8_t>(messages_[0].GetType()));
    return strip_->PlayMessage(type, message, MessageLengthForPreview(message));
}

bool TForm1::PlayMessage2() {
    const std::uint8_t* message = messages_[1].GetData();
    const auto type = static_cast<std::int16_t>(static_cast<std::int8_t>(messages_[1].GetType()));
    return strip_->PlayMessage(type, message, MessageLengthForPreview(message));
}
