// Device commands: send, send-set, sync-clock, show, ports. Each device command opens the
// port, runs its transaction(s), closes the port on every path and prints one line of outcome:
// a result on stdout, or a failure naming the port and the reason on stderr. Given several
// ports (--port more than once, for a row of signs), it runs the same transaction(s) on all of
// them in parallel and prints one line per port, in the order the ports were given.
//
// SIGINT, SIGTERM and SIGHUP (Ctrl+C, Ctrl+Break and console close on Windows) end a running
// transaction within about 100 ms; the port is then closed like on any other path, so a
// stopped command never leaves the line locked (see ComPort::Open on the exclusive flag).

#include "autosync/StopSignal.h"
#include "comm/LineStop.h"
#include "comm/SerialPortList.h"
#include "comm/Unitcomprotocol.h"
#include "tools/ledsign/Command.h"
#include "tools/ledsign/DeviceFiles.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace ledsign_tool {

namespace {

struct DeviceArgs {
    std::vector<std::string> Ports; // in the order given, each once
    unsigned Address = kSignAddress;
    bool Trace = false;
    bool Help = false;       // --help was given and the usage printed
    std::optional<int> Slot; // --slot (send only)
    bool AllowShort = false; // --allow-short (send-set only)
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

// The options only some device commands take.
struct ExtraOptions {
    bool Slot = false;       // --slot N
    bool AllowShort = false; // --allow-short
};

// Parses the options every device command shares and the `extra` ones. Prints the problem and
// returns false on bad usage.
bool ParseDeviceArgs(const char* command, const std::vector<std::string>& args, ExtraOptions extra,
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
            const std::string& port = args[++i];
            for (const std::string& given : out.Ports) {
                if (given == port) {
                    std::fprintf(stderr, "ledsign %s: port %s is given twice\n", command,
                                 port.c_str());
                    return false;
                }
            }
            out.Ports.push_back(port);
        } else if (a == "--address" && hasValue) {
            if (!ParseUnsigned(args[i + 1], 0xFFFF, value)) {
                std::fprintf(stderr, "ledsign %s: bad address '%s' (0..65535)\n", command,
                             args[i + 1].c_str());
                return false;
            }
            out.Address = static_cast<unsigned>(value);
            ++i;
        } else if (a == "--slot" && hasValue && extra.Slot) {
            if (!ParseUnsigned(args[i + 1], 9, value) || value < 1) {
                std::fprintf(stderr, "ledsign %s: bad slot '%s' (1..9)\n", command,
                             args[i + 1].c_str());
                return false;
            }
            out.Slot = static_cast<int>(value);
            ++i;
        } else if (a == "--trace") {
            out.Trace = true;
        } else if (a == "--allow-short" && extra.AllowShort) {
            out.AllowShort = true;
        } else if (a.size() > 1 && a[0] == '-') {
            std::fprintf(stderr, "ledsign %s: unknown or incomplete option '%s'\n", command,
                         a.c_str());
            return false;
        } else {
            out.Positional.push_back(a);
        }
    }
    if (out.Ports.empty()) {
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
    static constexpr struct {
        TraceDirection Direction;
        const char* Heading;
        const char* Why;
    } kHeadings[] = {
        {TraceDirection::Sent, ">> sent", ""},
        {TraceDirection::Received, "<< received", ""},
        {TraceDirection::Discarded, "<< discarded",
         ", which arrived before the request had gone out and answer nothing"},
    };
    for (const auto& heading : kHeadings) {
        if (heading.Direction == direction) {
            std::fprintf(stderr, "%s %zu bytes%s\n", heading.Heading, count, heading.Why);
        }
    }
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

// What one port's run of a command ends with: the line to print (empty when a stop signal
// ended it: the stop line follows once every port is closed), where, and the exit code.
struct PortOutcome {
    std::string Line;
    bool Failed = true; // printed on stderr, else on stdout
    int Exit = kExitFailure;
};

// Holds one port open for one command and closes it on every path, a stop signal included.
class Session {
public:
    // `traceLock` serialises the trace of sessions running in parallel; with `several` ports
    // the trace lines are prefixed with the port and the success line names it.
    Session(const DeviceArgs& args, const std::string& port, std::mutex& traceLock, bool several)
        : args_(args), port_(port), where_(several ? " on " + port : "") {
        protocol_.SetCancelCheck(StopRequested);
        if (!args.Trace) {
            return;
        }
        const std::string prefix = several ? "[" + port + "] " : "";
        protocol_.SetTraceHook([&traceLock, prefix](TraceDirection direction,
                                                    const std::uint8_t* bytes, std::size_t count) {
            const std::lock_guard<std::mutex> guard(traceLock);
            std::fputs(prefix.c_str(), stderr);
            TraceFrames(direction, bytes, count);
        });
        protocol_.SetNoteHook([&traceLock, prefix](const char* note) {
            const std::lock_guard<std::mutex> guard(traceLock);
            std::fprintf(stderr, "%s-- %s\n", prefix.c_str(), note);
        });
    }
    ~Session() {
        if (open_) {
            protocol_.Close();
        }
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Opens the port; on failure `failure` holds the line to print, none when a stop signal
    // ended the open (the stop line follows).
    bool Open(PortOutcome& failure) {
        open_ = protocol_.Open(port_.c_str()) == 0;
        if (!open_ && protocol_.LastError().Kind == LineErrorKind::Interrupted) {
            failure = {};
        } else if (!open_) {
            failure = Failure("cannot open port " + port_ + ": " +
                              DescribeLineError(protocol_.LastError(), LineErrorLanguage::English));
        }
        return open_;
    }
    ComProtocol& Protocol() { return protocol_; }
    std::uint16_t Address() const { return static_cast<std::uint16_t>(args_.Address); }

    // The outcome of a transaction result: `success` for kComOk, else the failure line.
    PortOutcome Outcome(int result, const std::string& what, const std::string& success) const {
        if (result == kComOk) {
            return {success + where_, false, kExitOk};
        }
        if (protocol_.LastError().Kind == LineErrorKind::Interrupted) {
            return {};
        }
        const std::string reason =
            DescribeLineError(protocol_.LastError(), LineErrorLanguage::English);
        const std::string sign = "sign " + std::to_string(args_.Address) + " on " + port_;
        if (result == kComRefused) {
            return Failure(sign + " refused " + what + ": " + reason);
        }
        if (protocol_.LastPollCount() == 0) { // the request never went out whole
            return Failure("cannot send " + what + " to " + sign + ": " + reason);
        }
        if (protocol_.LastError().Kind == LineErrorKind::Damaged) {
            return Failure("bad reply from " + sign + " to " + what + ": " + reason);
        }
        return Failure("no reply from " + sign + " to " + what + ": " + reason);
    }

private:
    // A failure line; with --trace followed by the system's own message behind it.
    PortOutcome Failure(std::string line) const {
        const std::string system = DescribeSystemError(protocol_.LastError());
        if (args_.Trace && !system.empty()) {
            line += "\n  " + system;
        }
        return {std::move(line), true, kExitFailure};
    }

    const DeviceArgs& args_;
    std::string port_;
    std::string where_;
    ComProtocol protocol_;
    bool open_ = false;
};

// Runs `job` on every port given, in parallel when there are several, then prints one line
// per port in the order given. The exit code is 0 only when every port succeeded.
int RunOnEveryPort(const DeviceArgs& args, const std::function<PortOutcome(Session&)>& job) {
    // Installed before any open, so that no moment of holding a port is left to a signal's
    // default action, which would end the process with the port locked.
    if (!InstallStopHandlers()) {
        std::fprintf(stderr, "cannot install the stop handlers\n");
        return kExitFailure;
    }
    // A stop ends every wait on the lines at once (connect, name lookup, negotiation, reply):
    // nothing is left to finish, the port is only closed.
    EndLineWaitsOnStop(true);
    std::vector<PortOutcome> outcomes(args.Ports.size());
    std::mutex traceLock;
    const bool several = args.Ports.size() > 1;
    auto runOne = [&](std::size_t i) {
        Session session(args, args.Ports[i], traceLock, several);
        if (session.Open(outcomes[i])) {
            outcomes[i] = job(session);
        }
    };
    if (!several) {
        runOne(0);
    } else {
        std::vector<std::thread> threads;
        for (std::size_t i = 0; i < args.Ports.size(); ++i) {
            threads.emplace_back(runOne, i);
        }
        for (std::thread& t : threads) {
            t.join();
        }
    }
    int exit = kExitOk;
    for (const PortOutcome& o : outcomes) {
        if (!o.Line.empty()) {
            std::FILE* out = o.Failed ? stderr : stdout;
            std::fprintf(out, "%s\n", o.Line.c_str());
            std::fflush(out); // keeps the lines of both streams in the order of the ports
        }
        if (o.Exit != kExitOk) {
            exit = o.Exit;
        }
    }
    if (StopRequested()) {
        for (const std::string& port : args.Ports) {
            std::fprintf(stderr, "stopped by a signal; port %s closed\n", port.c_str());
        }
        StopFinished();
    }
    return exit;
}

// How a send command takes a file that loads but is not `Expected` bytes long.
struct SizeRule {
    std::uintmax_t Expected;
    const char* Kind;   // "message", "message-set"
    bool SendAnyway;    // with a warning; else the file is refused
    const char* Option; // the option that would send it anyway, for the refusal's hint
};

// Loads the file that a send command is to send through `load`, before the port is opened:
// a file that does not load stops the command with its reason, and so does one of the wrong
// size unless `rule` sends it anyway with a warning, so that nothing is sent. Each goes to
// stderr.
template <typename Load>
bool LoadForSending(const char* command, const std::string& name, const SizeRule& rule, Load load) {
    LoadReport report;
    if (!load(report)) {
        std::fprintf(stderr, "ledsign %s: cannot read '%s': %s; nothing was sent\n", command,
                     name.c_str(), DescribeLoadProblem(report).c_str());
        return false;
    }
    if (report.FileSize != rule.Expected && !rule.SendAnyway) {
        const std::uintmax_t size = report.FileSize;
        std::fprintf(stderr,
                     "ledsign %s: '%s' is %s byte%s; a %s file is %s bytes; nothing was sent "
                     "(%s sends it anyway)\n",
                     command, name.c_str(), std::to_string(size).c_str(), size == 1 ? "" : "s",
                     rule.Kind, std::to_string(rule.Expected).c_str(), rule.Option);
        return false;
    }
    const std::string warning = FileSizeWarning(name, report, rule.Expected, rule.Kind, "sent");
    if (!warning.empty()) {
        std::fprintf(stderr, "ledsign %s: warning: %s\n", command, warning.c_str());
    }
    return true;
}

int Send(const std::vector<std::string>& args) {
    DeviceArgs a;
    // A bad option has been reported already; only a good command line gets the file check.
    if (!ParseDeviceArgs("send", args, {.Slot = true}, a)) {
        return a.Help ? kExitOk : kExitUsage;
    }
    if (a.Positional.size() != 1) {
        std::fprintf(stderr, "ledsign send: give exactly one message file\n");
        return kExitUsage;
    }
    const int slot = a.Slot.value_or(9);
    MessageBytes message{};
    // A single message of another length is sent as the editor would load it, with a warning.
    const SizeRule rule{message.size(), "message", true, ""};
    if (!LoadForSending("send", a.Positional[0], rule, [&](LoadReport& report) {
            return ReadMessageFile(a.Positional[0].c_str(), message, report);
        })) {
        return kExitFailure;
    }
    const std::string what = "message for slot " + std::to_string(slot);
    const std::string success = "sent " + a.Positional[0] + " to slot " + std::to_string(slot) +
                                " of sign " + std::to_string(a.Address);
    return RunOnEveryPort(a, [&](Session& session) {
        const int result =
            session.Protocol().SendMessageSlot(session.Address(), slot, message.data());
        return session.Outcome(result, what, success);
    });
}

int SendSet(const std::vector<std::string>& args) {
    DeviceArgs a;
    // A bad option has been reported already; only a good command line gets the file check.
    if (!ParseDeviceArgs("send-set", args, {.AllowShort = true}, a)) {
        return a.Help ? kExitOk : kExitUsage;
    }
    if (a.Positional.size() != 1) {
        std::fprintf(stderr, "ledsign send-set: give exactly one message-set file\n");
        return kExitUsage;
    }
    std::array<MessageBytes, 8> set{};
    // A set of another length would blank or garble whole slots of the sign (a message file
    // given by mistake blanks slots 2 to 8), so it is sent only when asked for.
    const SizeRule rule{set.size() * set[0].size(), "message-set", a.AllowShort, "--allow-short"};
    if (!LoadForSending("send-set", a.Positional[0], rule, [&](LoadReport& report) {
            return ReadMessageSetFile(a.Positional[0].c_str(), set, report);
        })) {
        return kExitFailure;
    }
    const std::string success = "sent the 8 messages of " + a.Positional[0] +
                                " to slots 1-8 of sign " + std::to_string(a.Address);
    return RunOnEveryPort(a, [&](Session& session) {
        for (int slot = 1; slot <= 8; ++slot) {
            const int result = session.Protocol().SendMessageSlot(
                session.Address(), slot, set[static_cast<std::size_t>(slot - 1)].data());
            if (result != kComOk) {
                return session.Outcome(result, "message " + std::to_string(slot) + " of the set",
                                       success);
            }
        }
        return session.Outcome(kComOk, "", success);
    });
}

int SyncClock(const std::vector<std::string>& args) {
    DeviceArgs a;
    if (!ParseDeviceArgs("sync-clock", args, {}, a)) {
        return a.Help ? kExitOk : kExitUsage;
    }
    if (!a.Positional.empty()) {
        std::fprintf(stderr, "ledsign sync-clock: takes no file or slot\n");
        return kExitUsage;
    }
    const std::string success = "set the clock of sign " + std::to_string(a.Address);
    return RunOnEveryPort(a, [&](Session& session) {
        return session.Outcome(session.Protocol().SyncClock(session.Address()), "the clock",
                               success);
    });
}

int Show(const std::vector<std::string>& args) {
    DeviceArgs a;
    unsigned long slot = 0;
    if (!ParseDeviceArgs("show", args, {}, a)) {
        return a.Help ? kExitOk : kExitUsage;
    }
    if (a.Positional.size() != 1 || !ParseUnsigned(a.Positional[0], 9, slot) || slot < 1) {
        std::fprintf(stderr, "ledsign show: give one slot number 1..9\n");
        return kExitUsage;
    }
    const std::string success =
        "sign " + std::to_string(a.Address) + " shows slot " + std::to_string(slot);
    return RunOnEveryPort(a, [&](Session& session) {
        const int result =
            session.Protocol().RunMessageSlot(session.Address(), static_cast<int>(slot));
        return session.Outcome(result, "showing slot " + std::to_string(slot), success);
    });
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
    // One line a port, its name first, so that scripts can take the first column.
    for (const SerialPortInfo& p : ports) {
        std::vector<std::string> details;
        if (!p.Description.empty()) {
            details.push_back(p.Description);
        }
        if (!p.Driver.empty()) {
            details.push_back("driver " + p.Driver);
        }
        details.insert(details.end(), p.StableNames.begin(), p.StableNames.end());
        std::string line = p.Name;
        for (std::size_t i = 0; i < details.size(); ++i) {
            line += (i == 0 ? "  (" : ", ") + details[i];
        }
        std::printf("%s%s\n", line.c_str(), details.empty() ? "" : ")");
    }
    return kExitOk;
}

// --port may be given more than once (not for ports): PORT is a serial port, tcp://HOST:PORT
// or rfc2217://HOST:PORT.
#define DEVICE_OPTIONS "--port PORT [--port PORT2 ...] [--address A] [--trace]"

const CommandRegistration kSend({"send", DEVICE_OPTIONS " [--slot N] FILE.kom",
                                 "store a message file in slot N (1..9, default 9) of the sign",
                                 Send});
const CommandRegistration kSendSet({"send-set", DEVICE_OPTIONS " [--allow-short] FILE.kzb",
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
