#pragma once
// The four actions of the main window that talk to the sign: send the current message, send
// the message set, set the sign's clock, make the sign show the current message.
//
// Each action opens the port, runs its device commands through the window's one ComProtocol and
// closes the port again on every path after a successful open. What the actions show the
// operator (status texts, error boxes) and the strip preview go through SendActionsHost, which
// the window implements; the texts are UTF-8.
//
// Threads. An action is called on the window's (user-interface) thread. Every call that touches
// the serial line (open, each device command, close) is handed to the transaction runner, which
// may run it on another thread but must return only when it has finished, with its result.
// Everything else - the host's callbacks, the messages, the file hand-over - happens on the
// thread that called the action, never inside the runner. While a line call runs, the action
// reads no message: each transaction sends from a copy taken just before it.
//
// Nesting. A host callback may start another action on the same SendActions (the window lets
// pending events run in SetStatusText). While the outer action holds the port the nested one
// cannot open it (ComLine::Open fails on a line already open and leaves it open): it shows the
// port error and ends without closing the outer action's port.

#include "comm/Unitcomprotocol.h"
#include "messages/Ledmessagecon.h"

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

// What the actions need of the main window. Called only on the thread that runs the action.
class SendActionsHost {
public:
    virtual ~SendActionsHost() = default;

    // Shows `text` in the status bar for 5000 ms and lets it be painted before the action goes
    // on to block in a transaction.
    virtual void SetStatusText(const std::string& text) = 0;

    // Modal error box with the error icon, one OK button and the title "Błąd"; returns when
    // the operator has closed it. `text` is the box's main text; `reason` (may be empty) says
    // why the port or the sign failed (DescribeLineError in Polish, like every text of the
    // actions) and goes into its secondary text.
    virtual void ShowError(const std::string& text, const std::string& reason) = 0;

    // The window's PreviewRunning flag: 0 makes a running preview end, 1 lets a new one run.
    virtual void SetPreviewRunning(std::uint16_t running) = 0;

    // Plays `message` (1024 bytes, message 2 of the set, valid for the window's life) on the
    // strip: `type` is its type byte read as signed, `length` the number of bytes before its
    // first zero byte (0..1024). May play to the end before returning, or start the preview and
    // return at once; the send action does nothing after it.
    virtual void StartPreview(std::int16_t type, const std::uint8_t* message,
                              std::uint16_t length) = 0;
};

// Runs one serial line call to completion and returns its result. The default runs it inline.
// A window that keeps repainting during a transaction runs `call` on a worker thread and waits
// for it in a local event loop that drops user input.
using TransactionRunner = std::function<int(const std::function<int()>& call)>;

// How an action ended.
enum class SendResult {
    Done,        // every command was carried out
    PortFailed,  // the port could not be opened; nothing was sent, nothing else changed
    DeviceFailed // a command got no valid reply or was refused; the port was closed
};

constexpr int kSendMessageCount = 8; // messages 1..8 of the set, sent to slots 1..8
constexpr int kSendCurrentSlot = 9;  // the single current message
constexpr const char* kHandOverFileName = "temp_msg.bin";

class SendActions {
public:
    // `protocol`, `host` and `messages` (messages 1..8 of the window, message 1 the one edited
    // in the grid) are the window's and must outlive this object. `deviceAddress` is the sign's
    // address in every request.
    SendActions(ComProtocol& protocol, SendActionsHost& host,
                std::span<CLEDMessageCon, kSendMessageCount> messages,
                std::uint16_t deviceAddress = kSignAddress);
    SendActions(const SendActions&) = delete;
    SendActions& operator=(const SendActions&) = delete;

    // Replaces the transaction runner; an empty function restores running inline.
    void SetTransactionRunner(TransactionRunner runner);

    // Why the last action that did not end Done failed (the protocol's LastError at that
    // moment); Kind None after an action that ended Done.
    const LineError& LastError() const { return lastError_; }

    // Send the current message (Button3Click, ToolButton14). Ends a running preview
    // (PreviewRunning 0), shows "Wysyłam komunikat numer <currentNumber>", opens `port` and
    // stores message 1 in the sign's slot 9 (always message 1; `currentNumber` only names it in
    // the text). On success, in order: status "Komunikat został wysłany.", close the port,
    // message 1 saved to "temp_msg.bin" in the current directory and loaded from it into
    // message 2, message 2 set to the bytes sent (so it holds them even when the file could not
    // be written or read), message 1 cleared, PreviewRunning 1, and the preview started on
    // message 2. Failures: error "Nie mogę otworzyć portu <port> !" / "Nie mogę wysłać
    // komunikatu do linijki!"; messages and files stay untouched.
    // Message 1 should be bound to its grid (Clear moves the grid's cursor home); unbound, its
    // bytes are zeroed all the same.
    [[nodiscard]] SendResult SendCurrentMessage(const std::string& port, int currentNumber);

    // Send the message set (ToolButton15Click): opens `port`; for k = 1..8 shows "Wysyłam
    // komunikat numer k" and stores message k in slot k, stopping at the first failure with the
    // error "Nie mogę wysłać komunikatu numer k do linijki!" (the slots stored before it stay
    // stored). On success closes the port, then shows "Zestaw komunikatów został wysłany.".
    [[nodiscard]] SendResult SendMessageSet(const std::string& port);

    // Set the sign's clock from the computer's (CategoryButtons1Categories3Items9Click): opens
    // `port`, SyncClock, error "Nie mogę zsynchronizować zegara w linijce świetlnej!" on failure.
    // No status text.
    [[nodiscard]] SendResult SyncClock(const std::string& port);

    // Make the sign show slot `currentNumber` (CategoryButtons1Categories3Items11Click): shows
    // "Uruchamiam komunikat numer <currentNumber>", opens `port`, RunMessageSlot, error "Nie
    // mogę wysłać komendy do linijki!" on failure. No status text after it.
    [[nodiscard]] SendResult ShowCurrentMessage(const std::string& port, int currentNumber);

private:
    class OpenPort;
    [[nodiscard]] int Run(const std::function<int()>& call);
    [[nodiscard]] bool Open(const std::string& port);
    using MessageBytes = std::array<std::uint8_t, kMessageSize>;
    [[nodiscard]] int SendSlot(int slot, const MessageBytes& message);
    // Records the protocol's reason and shows `text` with it; once the port is open, the reason
    // ends with a line "Port: <port>".
    void Fail(const std::string& text);

    ComProtocol& protocol_;
    SendActionsHost& host_;
    std::span<CLEDMessageCon, kSendMessageCount> messages_;
    std::uint16_t address_;
    TransactionRunner runner_;
    LineError lastError_;
    std::string openPort_; // the port the running action opened; "" before it is open
};

// The number of bytes of `message` (1024 bytes) before its first zero byte: 1024 when it has
// none. The preview takes this as the message's length.
std::uint16_t MessageLengthForPreview(const std::uint8_t* message);
