#include "comm/SendActions.h"

#include <algorithm>
#include <utility>

namespace {

// The operator's texts, UTF-8.
constexpr const char* kSendingNumber = "Wysyłam komunikat numer ";
constexpr const char* kRunningNumber = "Uruchamiam komunikat numer ";
constexpr const char* kMessageSent = "Komunikat został wysłany.";
constexpr const char* kSetSent = "Zestaw komunikatów został wysłany.";
constexpr const char* kCannotOpenPort = "Nie mogę otworzyć portu ";
constexpr const char* kCannotOpenPortEnd = " !";
constexpr const char* kCannotSendMessage = "Nie mogę wysłać komunikatu do linijki!";
constexpr const char* kCannotSendNumber = "Nie mogę wysłać komunikatu numer ";
constexpr const char* kCannotSendNumberEnd = " do linijki!";
constexpr const char* kCannotSyncClock = "Nie mogę zsynchronizować zegara w linijce świetlnej!";
constexpr const char* kCannotSendCommand = "Nie mogę wysłać komendy do linijki!";

} // namespace

// Holds the port from a successful open to the end of the action, so that every way out of an
// action - an error, an early return, an exception from a host callback - closes it.
class SendActions::OpenPort {
public:
    explicit OpenPort(SendActions& actions) : actions_(actions) {}
    ~OpenPort() { Close(); }
    OpenPort(const OpenPort&) = delete;
    OpenPort& operator=(const OpenPort&) = delete;

    // Closes now (where the action must close before it goes on); later calls do nothing.
    void Close() {
        if (open_) {
            open_ = false;
            ComProtocol& protocol = actions_.protocol_;
            (void)actions_.Run([&protocol] { return protocol.Close(); }); // Close is always 0
        }
    }

private:
    SendActions& actions_;
    bool open_ = true;
};

SendActions::SendActions(ComProtocol& protocol, SendActionsHost& host,
                         std::span<CLEDMessageCon, kSendMessageCount> messages,
                         std::uint16_t deviceAddress)
    : protocol_(protocol), host_(host), messages_(messages), address_(deviceAddress) {}

void SendActions::SetTransactionRunner(TransactionRunner runner) {
    runner_ = std::move(runner);
}

int SendActions::Run(const std::function<int()>& call) {
    return runner_ ? runner_(call) : call();
}

bool SendActions::Open(const std::string& port) {
    ComProtocol& protocol = protocol_;
    const char* name = port.c_str();
    openPort_.clear(); // the open error names the port in its own text
    if (Run([&protocol, name] { return protocol.Open(name); }) != 0) {
        Fail(kCannotOpenPort + port + kCannotOpenPortEnd);
        return false;
    }
    openPort_ = port;
    return true;
}

void SendActions::Fail(const std::string& text) {
    // Read after the runner has returned, so the call that failed has finished with it.
    lastError_ = protocol_.LastError();
    std::string reason = DescribeLineError(lastError_, LineErrorLanguage::Polish);
    // A timeout or a lost line says nothing of where: the box names the port that was tried.
    if (!openPort_.empty()) {
        reason += (reason.empty() ? "Port: " : "\nPort: ") + openPort_;
    }
    host_.ShowError(text, reason);
}

int SendActions::SendSlot(int slot, const MessageBytes& message) {
    ComProtocol& protocol = protocol_;
    const std::uint16_t address = address_;
    return Run([&protocol, address, slot, &message] {
        return protocol.SendMessageSlot(address, slot, message.data());
    });
}

SendResult SendActions::SendCurrentMessage(const std::string& port, int currentNumber) {
    lastError_ = LineError{};
    host_.SetPreviewRunning(0);
    host_.SetStatusText(kSendingNumber + std::to_string(currentNumber));
    if (!Open(port)) {
        return SendResult::PortFailed;
    }
    CLEDMessageCon& first = messages_[0];
    CLEDMessageCon& second = messages_[1];
    // Sent from a copy: the runner may read it on another thread while the window repaints.
    MessageBytes sent;
    std::copy_n(first.GetData(), kMessageSize, sent.begin());
    {
        OpenPort held(*this);
        if (SendSlot(kSendCurrentSlot, sent) != kComOk) {
            Fail(kCannotSendMessage);
            return SendResult::DeviceFailed;
        }
        host_.SetStatusText(kMessageSent);
        held.Close();
    }

    // Hand the sent message over to the preview through the work file. The file's results are
    // not reported; message 2 is then set to the bytes sent, so that a file that could not be
    // written (an old copy would be read back) or read never makes the preview play anything
    // but the message the sign now holds.
    (void)first.SaveToFile(kHandOverFileName);
    (void)second.LoadFromFile(kHandOverFileName);
    std::copy(sent.begin(), sent.end(), second.GetData());
    if (first.GetGrid() != nullptr) {
        first.Clear();
    } else {
        std::fill_n(first.GetData(), kMessageSize, std::uint8_t{0});
    }

    host_.SetPreviewRunning(1);
    const std::uint8_t* played = second.GetData();
    host_.StartPreview(static_cast<std::int8_t>(played[kMessageTypeOffset]), played,
                       MessageLengthForPreview(played));
    return SendResult::Done;
}

SendResult SendActions::SendMessageSet(const std::string& port) {
    lastError_ = LineError{};
    if (!Open(port)) {
        return SendResult::PortFailed;
    }
    OpenPort held(*this);
    MessageBytes outgoing;
    for (int k = 1; k <= kSendMessageCount; ++k) {
        host_.SetStatusText(kSendingNumber + std::to_string(k));
        const CLEDMessageCon& message = messages_[static_cast<std::size_t>(k - 1)];
        std::copy_n(message.GetData(), kMessageSize, outgoing.begin());
        if (SendSlot(k, outgoing) != kComOk) {
            Fail(kCannotSendNumber + std::to_string(k) + kCannotSendNumberEnd);
            return SendResult::DeviceFailed;
        }
    }
    held.Close();
    host_.SetStatusText(kSetSent);
    return SendResult::Done;
}

SendResult SendActions::SyncClock(const std::string& port) {
    lastError_ = LineError{};
    if (!Open(port)) {
        return SendResult::PortFailed;
    }
    OpenPort held(*this);
    ComProtocol& protocol = protocol_;
    const std::uint16_t address = address_;
    if (Run([&protocol, address] { return protocol.SyncClock(address); }) != kComOk) {
        Fail(kCannotSyncClock);
        return SendResult::DeviceFailed;
    }
    return SendResult::Done;
}

SendResult SendActions::ShowCurrentMessage(const std::string& port, int currentNumber) {
    lastError_ = LineError{};
    host_.SetStatusText(kRunningNumber + std::to_string(currentNumber));
    if (!Open(port)) {
        return SendResult::PortFailed;
    }
    OpenPort held(*this);
    ComProtocol& protocol = protocol_;
    const std::uint16_t address = address_;
    if (Run([&protocol, address, currentNumber] {
            return protocol.RunMessageSlot(address, currentNumber);
        }) != kComOk) {
        Fail(kCannotSendCommand);
        return SendResult::DeviceFailed;
    }
    return SendResult::Done;
}

std::uint16_t MessageLengthForPreview(const std::uint8_t* message) {
    const std::uint8_t* end = message + kMessageSize;
    return static_cast<std::uint16_t>(std::find(message, end, std::uint8_t{0}) - message);
}
