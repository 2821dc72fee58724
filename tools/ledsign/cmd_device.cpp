// Device commands: send, send-set, sync-clock, show, ports. Each device command opens the
// port, runs its transaction(s), closes the port on every path and prints one line of outcome:
// a result on stdout, or a failure naming the port and the reason on stderr.
//
// SIGINT, SIGTERM and SIGHUP (Ctrl+C, Ctrl+Break and console close on Windows) end a running
// transaction within about 100 ms; the port is then closed like on any other path, so a
// stopped command never leaves the line locked (see ComPort::Open on the exclusive flag).

#include "autosync/StopSignal.h"
#include "comm/Unitcomprotocol.h"
#include "tools/ledsign/Command.h"
#include "tools/ledsign/DeviceFiles.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace ledsign_tool {

namespace {

struct DeviceArgs {
    std::string Port;
    unsigned Address = kSignAddress;
    bool Trace = false;
    bool Help = false;       // --help was given and the usage printed
    std::optional<int> Slot; // --slot (send only)
    std::vector<std::string> Positional;
};

bool ParseUnsigned(const std::string& text, unsigned long max, unsigned long& value) {
    if (text.empty() || text[0] == '-' || text[0] == '+') {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    const unsigned long v = std::strtoul(text.c_str(), &end, 0);
    if (errno != 0 || *end != '\0' || v > max) {
        return false;
    }
    value = v;
    return true;
}

// True when the arguments ask for the command's help, which is then printed.
bool ShowHelp(const char* command, const std::vector<std::string>& args) {
    for (const std::string& a : args) {
        if (a == "--help" || a == "-h") {
            for (const Command& c : Commands()) {
                if (std::string(c.Name) == command) {
                    std::printf("Usage: ledsign %s %s\n  %s\n", c.Name, c.Usage, c.Summary);
                }
            }
            return true;
        }
    }
    return false;
}

// Parses the options every device command shares (and --slot when `allowSlot`). Prints the
// problem and returns false on bad usage.
bool ParseDeviceArgs(const char* command, const std::vector<std::string>& args, bool allowSlot,
                     DeviceArgs& out) {
    if (ShowHelp(command, args)) {
        out.Help = true;
        return false;
    }
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        unsigned long value = 0;
        if (a == "--port" && hasValue) {
            out.Port = args[++i];
        } else if (a == "--address" && hasValue) {
            if (!ParseUnsigned(args[i + 1], 0xFFFF, value)) {
                std::fprintf(stderr, "ledsign %s: bad address '%s' (0..65535)\n", command,
                             args[i + 1].c_str());
                return false;
            }
            out.Address = static_cast<unsigned>(value);
            ++i;
        } else if (a == "--slot" && hasValue && allowSlot) {
            if (!ParseUnsigned(args[i + 1], 9, value) || value < 1) {
                std::fprintf(stderr, "ledsign %s: bad slot '%s' (1..9)\n", command,
                             args[i + 1].c_str());
                return false;
            }
            out.Slot = static_cast<int>(value);
            ++i;
        } else if (a == "--trace") {
            out.Trace = true;
        } else if (a.size() > 1 && a[0] == '-') {
            std::fprintf(stderr, "ledsign %s: unknown or incomplete option '%s'\n", command,
                         a.c_str());
            return false;
        } else {
            out.Positional.push_back(a);
        }
    }
    if (out.Port.empty()) {
        std::fprintf(stderr, "ledsign %s: --port is required\n", command);
        return false;
    }
    return true;
}

void PrintBytes(const std::uint8_t* bytes, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        std::fprintf(stderr, "%s%02X", i % 32 == 0 ? (i == 0 ? "  " : "\n  ") : " ", bytes[i]);
    }
    std::fputc('\n', stderr);
}

// Prints frames as they cross the line: the bytes in hex, then the header of every frame that
// starts in them.
void TraceFrames(TraceDirection direction, const std::uint8_t* bytes, std::size_t count) {
    const bool sent = direction == TraceDirection::Sent;
    std::fprintf(stderr, "%s %zu bytes\n", sent ? ">> sent" : "<< received", count);
    PrintBytes(bytes, count);
    for (std::size_t i = 0; i < count; ++i) {
        FrameHeader h;
        if (bytes[i] != kFrameStart || !DecodeFrameHeader(bytes + i, count - i, h)) {
            continue;
        }
        std::fprintf(stderr,
                     "  frame: source %u (0x%04X), destination %u (0x%04X), code 0x%02X, "
                     "length %u, header checksum 0x%02X %s\n",
                     h.Source, h.Source, h.Destination, h.Destination, h.Code, h.Length, h.Checksum,
                     h.ChecksumOk ? "ok" : "BAD");
    }
}

// Holds the port open for one command and closes it on every path, a stop signal included.
class Session {
public:
    explicit Session(const DeviceArgs& args) : args_(args) {
        if (args.Trace) {
            protocol_.SetTraceHook(TraceFrames);
        }
        protocol_.SetCancelCheck(StopRequested);
    }
    ~Session() {
        if (open_) {
            protocol_.Close();
        }
        if (StopRequested()) {
            std::fprintf(stderr, "stopped by a signal; port %s closed\n", args_.Port.c_str());
            StopFinished();
        }
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    bool Open() {
        // Installed before the open, so that no moment of holding the port is left to a
        // signal's default action, which would end the process with the port locked.
        if (!InstallStopHandlers()) {
            std::fprintf(stderr, "cannot install the stop handlers\n");
            return false;
        }
        open_ = protocol_.Open(args_.Port.c_str()) == 0;
        if (!open_) {
            std::fprintf(stderr, "cannot open port %s: %s\n", args_.Port.c_str(),
                         DescribeLineError(protocol_.LastError()).c_str());
            TraceSystemError();
        }
        return open_;
    }
    ComProtocol& Protocol() { return protocol_; }
    std::uint16_t Address() const { return static_cast<std::uint16_t>(args_.Address); }

    // Prints the failure line for a transaction result other than kComOk; returns the exit
    // code.
    int Outcome(int result, const std::string& what) const {
        if (result == kComOk) {
            return kExitOk;
        }
        if (protocol_.LastError().Kind == LineErrorKind::Interrupted) {
            return kExitFailure; // the stop line comes when the port has been closed
        }
        const std::string reason = DescribeLineError(protocol_.LastError());
        if (result == kComRefused) {
            std::fprintf(stderr, "sign %u on %s refused %s: %s\n", args_.Address,
                         args_.Port.c_str(), what.c_str(), reason.c_str());
        } else {
            std::fprintf(stderr, "no reply from sign %u on %s to %s: %s\n", args_.Address,
                         args_.Port.c_str(), what.c_str(), reason.c_str());
        }
        TraceSystemError();
        return kExitFailure;
    }

private:
    // With --trace, the system's own message behind the last failure.
    void TraceSystemError() const {
        const std::string system = DescribeSystemError(protocol_.LastError());
        if (args_.Trace && !system.empty()) {
            std::fprintf(stderr, "  %s\n", system.c_str());
        }
    }

    const DeviceArgs& args_;
    ComProtocol protocol_;
    bool open_ = false;
};

// Loads the file that a send command is to send through `load`, before the port is opened:
// a file that does not load stops the command with its reason, so that nothing is sent; one
// of the wrong size is sent with a warning. Both go to stderr.
template <typename Load>
bool LoadForSending(const char* command, const std::string& name, std::uintmax_t expected,
                    const char* kind, Load load) {
    LoadReport report;
    if (!load(report)) {
        std::fprintf(stderr, "ledsign %s: cannot read '%s': %s; nothing was sent\n", command,
                     name.c_str(), DescribeLoadProblem(report).c_str());
        return false;
    }
    const std::string warning = FileSizeWarning(name, report, expected, kind, "sent");
    if (!warning.empty()) {
        std::fprintf(stderr, "ledsign %s: warning: %s\n", command, warning.c_str());
    }
    return true;
}

int Send(const std::vector<std::string>& args) {
    DeviceArgs a;
    if (!ParseDeviceArgs("send", args, true, a) || a.Positional.size() != 1) {
        if (a.Help) {
            return kExitOk;
        }
        if (a.Positional.size() != 1 && !a.Port.empty()) {
            std::fprintf(stderr, "ledsign send: give exactly one message file\n");
        }
        return kExitUsage;
    }
    const int slot = a.Slot.value_or(9);
    MessageBytes message{};
    if (!LoadForSending("send", a.Positional[0], 1024, "message", [&](LoadReport& report) {
            return ReadMessageFile(a.Positional[0].c_str(), message, report);
        })) {
        return kExitFailure;
    }
    Session session(a);
    if (!session.Open()) {
        return kExitFailure;
    }
    const std::string what = "message for slot " + std::to_string(slot);
    const int result = session.Protocol().SendMessageSlot(session.Address(), slot, message.data());
    if (result == kComOk) {
        std::printf("sent %s to slot %d of sign %u\n", a.Positional[0].c_str(), slot, a.Address);
    }
    return session.Outcome(result, what);
}

int SendSet(const std::vector<std::string>& args) {
    DeviceArgs a;
    if (!ParseDeviceArgs("send-set", args, false, a) || a.Positional.size() != 1) {
        if (a.Help) {
            return kExitOk;
        }
        if (a.Positional.size() != 1 && !a.Port.empty()) {
            std::fprintf(stderr, "ledsign send-set: give exactly one message-set file\n");
        }
        return kExitUsage;
    }
    std::array<MessageBytes, 8> set{};
    if (!LoadForSending("send-set", a.Positional[0], 8 * 1024, "message-set",
                        [&](LoadReport& report) {
                            return ReadMessageSetFile(a.Positional[0].c_str(), set, report);
                        })) {
        return kExitFailure;
    }
    Session session(a);
    if (!session.Open()) {
        return kExitFailure;
    }
    for (int slot = 1; slot <= 8; ++slot) {
        const int result = session.Protocol().SendMessageSlot(
            session.Address(), slot, set[static_cast<std::size_t>(slot - 1)].data());
        if (result != kComOk) {
            return session.Outcome(result, "message " + std::to_string(slot) + " of the set");
        }
    }
    std::printf("sent the 8 messages of %s to slots 1-8 of sign %u\n", a.Positional[0].c_str(),
                a.Address);
    return kExitOk;
}

int SyncClock(const std::vector<std::string>& args) {
    DeviceArgs a;
    if (!ParseDeviceArgs("sync-clock", args, false, a) || !a.Positional.empty()) {
        if (a.Help) {
            return kExitOk;
        }
        if (!a.Positional.empty()) {
            std::fprintf(stderr, "ledsign sync-clock: takes no file or slot\n");
        }
        return kExitUsage;
    }
    Session session(a);
    if (!session.Open()) {
        return kExitFailure;
    }
    const int result = session.Protocol().SyncClock(session.Address());
    if (result == kComOk) {
        std::printf("set the clock of sign %u\n", a.Address);
    }
    return session.Outcome(result, "the clock");
}

int Show(const std::vector<std::string>& args) {
    DeviceArgs a;
    unsigned long slot = 0;
    if (!ParseDeviceArgs("show", args, false, a)) {
        return a.Help ? kExitOk : kExitUsage;
    }
    if (a.Positional.size() != 1 || !ParseUnsigned(a.Positional[0], 9, slot) || slot < 1) {
        std::fprintf(stderr, "ledsign show: give one slot number 1..9\n");
        return kExitUsage;
    }
    Session session(a);
    if (!session.Open()) {
        return kExitFailure;
    }
    const int result = session.Protocol().RunMessageSlot(session.Address(), static_cast<int>(slot));
    if (result == kComOk) {
        std::printf("sign %u shows slot %lu\n", a.Address, slot);
    }
    return session.Outcome(result, "showing slot " + std::to_string(slot));
}

int Ports(const std::vector<std::string>& args) {
    if (ShowHelp("ports", args)) {
        return kExitOk;
    }
    if (!args.empty()) {
        std::fprintf(stderr, "ledsign ports: takes no arguments\n");
        return kExitUsage;
    }
    const std::vector<SerialPortInfo> ports = ListSerialPorts();
    if (ports.empty()) {
        std::printf("no serial ports found\n");
    }
    for (const SerialPortInfo& p : ports) {
        if (p.Detail.empty()) {
            std::printf("%s\n", p.Name.c_str());
        } else {
            std::printf("%s  (%s)\n", p.Name.c_str(), p.Detail.c_str());
        }
    }
    return kExitOk;
}

#define DEVICE_OPTIONS "--port PORT [--address A] [--trace]"

const CommandRegistration kSend({"send", DEVICE_OPTIONS " [--slot N] FILE.kom",
                                 "store a message file in slot N (1..9, default 9) of the sign",
                                 Send});
const CommandRegistration kSendSet({"send-set", DEVICE_OPTIONS " FILE.kzb",
                                    "store the 8 messages of a set in slots 1..8 of the sign",
                                    SendSet});
const CommandRegistration kSyncClock({"sync-clock", DEVICE_OPTIONS,
                                      "set the sign's clock from this computer's clock",
                                      SyncClock});
const CommandRegistration kShow({"show", DEVICE_OPTIONS " SLOT",
                                 "make the sign show the message in slot 1..9", Show});
const CommandRegistration kPorts({"ports", "", "list the serial ports of this machine", Ports});

} // namespace

} // namespace ledsign_tool
