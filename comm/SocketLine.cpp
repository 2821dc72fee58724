#include "comm/SocketLine.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

using Clock = std::chrono::steady_clock;

bool StartsWithNoCase(const char* text, const char* prefix) {
    for (; *prefix != '\0'; ++text, ++prefix) {
        if (std::tolower(static_cast<unsigned char>(*text)) != *prefix) {
            return false;
        }
    }
    return true;
}

constexpr const char* kTcpScheme = "tcp://";
constexpr const char* kRfc2217Scheme = "rfc2217://";

} // namespace

bool IsNetworkPortName(const char* name) {
    return name != nullptr &&
           (StartsWithNoCase(name, kTcpScheme) || StartsWithNoCase(name, kRfc2217Scheme));
}

bool ParseNetworkPortName(const char* name, NetPortName& out) {
    if (name == nullptr) {
        return false;
    }
    std::string rest;
    NetPortName parsed;
    if (StartsWithNoCase(name, kTcpScheme)) {
        rest = name + std::strlen(kTcpScheme);
    } else if (StartsWithNoCase(name, kRfc2217Scheme)) {
        parsed.Scheme = NetScheme::Rfc2217;
        rest = name + std::strlen(kRfc2217Scheme);
    } else {
        return false;
    }
    std::size_t colon = 0;
    if (!rest.empty() && rest[0] == '[') {
        const std::size_t close = rest.find(']');
        if (close == std::string::npos || close + 1 >= rest.size() || rest[close + 1] != ':') {
            return false;
        }
        parsed.Host = rest.substr(1, close - 1);
        colon = close + 1;
    } else {
        colon = rest.rfind(':');
        if (colon == std::string::npos) {
            return false;
        }
        parsed.Host = rest.substr(0, colon);
        // An IPv6 address needs its brackets, or its last group would read as the port.
        if (parsed.Host.find(':') != std::string::npos) {
            return false;
        }
    }
    parsed.Port = rest.substr(colon + 1);
    if (parsed.Host.empty() || parsed.Port.empty() || parsed.Port.size() > 5 ||
        parsed.Host.find_first_of("/ ") != std::string::npos) {
        return false;
    }
    unsigned long number = 0;
    for (char c : parsed.Port) {
        if (!std::isdigit(static_cast<unsigned char>(c))) {
            return false;
        }
        number = number * 10 + static_cast<unsigned long>(c - '0');
    }
    if (number < 1 || number > 65535) {
        return false;
    }
    out = parsed;
    return true;
}

int SocketLine::Open(const char* name) {
    if (open_) {
        return 1;
    }
    error_ = {};
    if (!ParseNetworkPortName(name, name_)) {
        error_ = LineFailure(LineErrorKind::NotFound,
                             std::string("bad network port name '") + (name ? name : "") +
                                 "' (tcp://HOST:PORT or rfc2217://HOST:PORT)",
                             {});
        return 1;
    }
    if (!Connect()) {
        return 1;
    }
    open_ = true;
    return 0;
}

int SocketLine::Close() {
    socket_.Close();
    open_ = false;
    lost_ = false;
    return 0;
}

std::string SocketLine::Where() const {
    return HostPortText(name_.Host, name_.Port);
}

void SocketLine::Fail(LineErrorKind kind, const std::string& message) {
    error_ = LineFailure(kind, message, Where());
}

bool SocketLine::Connect() {
    const auto start = Clock::now();
    Note("connecting to %s port %s", name_.Host.c_str(), name_.Port.c_str());
    if (!socket_.Connect(name_.Host, name_.Port, kConnectTimeoutMs, error_)) {
        Note("%s", error_.SystemMessage.c_str());
        return false;
    }
    lost_ = false;
    error_ = LineError{};
    if (name_.Scheme == NetScheme::Raw) {
        Note("connected (raw TCP)");
        return true;
    }
    const auto spent =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    if (!Negotiate(kConnectTimeoutMs - static_cast<int>(spent))) {
        socket_.Close();
        return false;
    }
    return true;
}

bool SocketLine::Negotiate(int timeoutMs) {
    decoder_.Reset();
    negotiator_ = telnet::TelnetNegotiator();
    std::uint8_t requests[telnet::TelnetNegotiator::kMaxOutput];
    const std::size_t size = negotiator_.Start(requests);
    Note("telnet: sent WILL BINARY, DO BINARY, WILL COM-PORT-OPTION");
    if (!SendRaw(requests, size)) {
        Fail(LineErrorKind::LineLost, "connection to " + Where() + " lost");
        return false;
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
    // Data before the negotiation is over is not a reply to anything of ours.
    std::array<std::uint8_t, kChunk> discard{};
    while (!negotiator_.Settled()) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            break;
        }
        const LineWait waited = socket_.Wait(static_cast<int>(left));
        if (waited == LineWait::Stopped) {
            Fail(LineErrorKind::Interrupted, "stopped by a signal");
            Note("telnet: negotiation %s", error_.SystemMessage.c_str());
            return false;
        }
        if (waited != LineWait::Readable) {
            continue;
        }
        const int got = socket_.Receive(receiveBuffer_.data(), receiveBuffer_.size());
        if (got < 0) {
            Fail(LineErrorKind::LineLost,
                 "connection to " + Where() + " closed during the telnet negotiation");
            return false;
        }
        Decode(static_cast<std::size_t>(got), discard.data());
    }
    if (!negotiator_.BinaryAgreed() && !negotiator_.Settled()) {
        Fail(LineErrorKind::TimedOut,
             "no answer from " + Where() + " to the telnet negotiation (a raw TCP port?)");
        Note("%s", error_.SystemMessage.c_str());
        return false;
    }
    if (!negotiator_.BinaryAgreed()) {
        Fail(LineErrorKind::Other,
             "the server at " + Where() + " did not agree to binary transfer both ways");
        Note("%s", error_.SystemMessage.c_str());
        return false;
    }
    Note("telnet: binary transfer agreed both ways");
    if (negotiator_.ComPortAgreed()) {
        SendLineSettings();
    } else {
        Note("telnet: the server does not take COM-PORT-OPTION; its own line settings apply");
    }
    return true;
}

void SocketLine::SendLineSettings() {
    using namespace telnet;
    struct Setting {
        std::uint8_t Command;
        std::uint8_t Value[4];
        std::uint8_t Size;
        const char* Text;
    };
    static const Setting kSettings[] = {
        {kSetBaudRate, {0, 0, 0x25, 0x80}, 4, "SET-BAUDRATE 9600"},
        {kSetDataSize, {8}, 1, "SET-DATASIZE 8"},
        {kSetParity, {kParityNone}, 1, "SET-PARITY NONE"},
        {kSetStopSize, {kStopBitsOne}, 1, "SET-STOPSIZE 1"},
        {kSetControl, {kControlNoFlow}, 1, "SET-CONTROL no flow control"},
        {kSetControl, {kControlDtrOn}, 1, "SET-CONTROL DTR on"},
        {kSetControl, {kControlRtsOn}, 1, "SET-CONTROL RTS on"},
        {kPurgeData, {kPurgeBoth}, 1, "PURGE-DATA both buffers"},
    };
    std::size_t size = 0;
    for (const Setting& s : kSettings) {
        size += ComPortSubcommand(s.Command, s.Value, s.Size, sendBuffer_.data() + size);
        Note("telnet: sent %s", s.Text);
    }
    // Sent without waiting for the acknowledgements: the frame that follows is queued behind
    // them on the server in any case. A failed send marks the connection lost, which the next
    // Write finds and mends by connecting again.
    (void)SendRaw(sendBuffer_.data(), size);
}

bool SocketLine::SendRaw(const std::uint8_t* bytes, std::size_t count) {
    if (!socket_.Send(bytes, count)) {
        lost_ = true;
        return false;
    }
    return true;
}

int SocketLine::Write(const std::uint8_t* buffer, std::uint16_t count) {
    if (!open_ || buffer == nullptr) {
        return 0;
    }
    DropWhatArrivedUnasked();
    if (name_.Scheme == NetScheme::Rfc2217 && socket_.IsOpen() && !negotiator_.BinaryAgreed()) {
        // The server turned binary transfer off since: the frame would be rewritten on the
        // way, so the connection is made and negotiated again instead.
        Note("telnet: binary transfer was turned off by the server");
        lost_ = true;
    }
    if (lost_ || !socket_.IsOpen()) {
        socket_.Close();
        Note("reconnecting after the connection was lost");
        if (!Connect()) {
            lost_ = true;
            return 0;
        }
    }
    if (name_.Scheme == NetScheme::Raw) {
        if (!SendRaw(buffer, count)) {
            Fail(LineErrorKind::LineLost, "connection to " + Where() + " lost");
            return 0;
        }
        return count;
    }
    for (std::size_t done = 0; done < count;) {
        const std::size_t piece = std::min<std::size_t>(count - done, kChunk);
        const std::size_t size = telnet::EscapeData(buffer + done, piece, sendBuffer_.data());
        if (!SendRaw(sendBuffer_.data(), size)) {
            Fail(LineErrorKind::LineLost, "connection to " + Where() + " lost");
            return static_cast<int>(done);
        }
        done += piece;
    }
    return count;
}

void SocketLine::DropWhatArrivedUnasked() {
    std::array<std::uint8_t, kChunk> discard{};
    while (!lost_ && socket_.IsOpen() && socket_.Wait(0) == LineWait::Readable) {
        const int got = socket_.Receive(receiveBuffer_.data(), receiveBuffer_.size());
        if (got < 0) {
            lost_ = true;
            Note("connection to %s lost", Where().c_str());
        } else if (got == 0) {
            break;
        } else if (name_.Scheme == NetScheme::Rfc2217) {
            Decode(static_cast<std::size_t>(got), discard.data());
        }
    }
}

int SocketLine::Read(std::uint8_t* buffer, std::uint16_t capacity) {
    if (!open_ || lost_ || buffer == nullptr) {
        return -1;
    }
    if (capacity == 0) {
        return 0;
    }
    const std::size_t room = std::min<std::size_t>(capacity, kChunk);
    const int got = socket_.Receive(receiveBuffer_.data(), room);
    if (got < 0) {
        lost_ = true;
        Note("connection to %s lost", Where().c_str());
        Fail(LineErrorKind::LineLost, "connection to " + Where() + " lost");
        return -1;
    }
    if (name_.Scheme == NetScheme::Raw) {
        std::copy_n(receiveBuffer_.data(), got, buffer);
        return got;
    }
    return Decode(static_cast<std::size_t>(got), buffer);
}

LineWait SocketLine::WaitReadable(int timeoutMs) {
    if (!open_ || lost_) {
        return LineWait::Lost;
    }
    const LineWait waited = socket_.Wait(timeoutMs);
    if (waited == LineWait::Stopped) {
        Fail(LineErrorKind::Interrupted, "stopped by a signal");
    }
    return waited;
}

int SocketLine::Decode(std::size_t count, std::uint8_t* out) {
    int data = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const telnet::TelnetEvent e = decoder_.Feed(receiveBuffer_[i]);
        switch (e.What) {
        case telnet::TelnetEvent::Data:
            out[data++] = e.Byte;
            break;
        case telnet::TelnetEvent::Negotiation:
            HandleNegotiation(e.Verb, e.Option);
            break;
        case telnet::TelnetEvent::Subnegotiation:
            NoteSubnegotiation();
            break;
        case telnet::TelnetEvent::None:
            break;
        }
    }
    return data;
}

void SocketLine::HandleNegotiation(std::uint8_t verb, std::uint8_t option) {
    char optionBuffer[16];
    const char* optionName = telnet::OptionName(option, optionBuffer);
    std::uint8_t answer[telnet::TelnetNegotiator::kMaxOutput];
    const std::size_t size = negotiator_.Answer(verb, option, answer);
    if (size == 0) {
        Note("telnet: received %s %s", telnet::VerbName(verb), optionName);
        return;
    }
    Note("telnet: received %s %s, answered %s", telnet::VerbName(verb), optionName,
         telnet::VerbName(answer[1]));
    (void)SendRaw(answer, size); // a failure marks the connection lost for the next Write
}

void SocketLine::NoteSubnegotiation() {
    if (!note_) {
        return;
    }
    if (decoder_.SubOption() != telnet::kOptionComPort || decoder_.SubSize() == 0) {
        char optionBuffer[16];
        Note("telnet: received a subnegotiation of %s",
             telnet::OptionName(decoder_.SubOption(), optionBuffer));
        return;
    }
    const std::uint8_t command = decoder_.SubData()[0];
    const char* name = telnet::ComPortCommandName(command);
    char value[3 * 8 + 1] = "";
    for (std::size_t i = 1; i < decoder_.SubSize() && i <= 8; ++i) {
        std::snprintf(value + 3 * (i - 1), 4, " %02X", decoder_.SubData()[i]);
    }
    Note("telnet: server %s %s%s", command >= telnet::kComPortServerOffset ? "answered" : "sent",
         name != nullptr ? name : "an unknown COM-PORT-OPTION command", value);
}

void SocketLine::Note(const char* format, ...) {
    if (!note_) {
        return;
    }
    char text[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    note_(text);
}
