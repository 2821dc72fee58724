// Device commands: send, send-set, sync-clock, show, ports, signs. Each device command opens the
// port, runs its transaction(s), closes the port on every path and prints one line of outcome:
// a result on stdout, or a failure naming the port and the reason on stderr (with --json, one
// JSON object on stdout either way). Given several signs (--port or --sign more than once,
// --group, --all), it runs the same transaction(s) on all of them in parallel and prints one
// line per sign, in the order the signs were given; the exit status is that of the first
// failure in that order.
//
// SIGINT, SIGTERM and SIGHUP (Ctrl+C, Ctrl+Break and console close on Windows) end a running
// transaction within about 100 ms; the port is then closed like on any other path, so a
// stopped command never leaves the line locked (see ComPort::Open on the exclusive flag).

#include "autosync/StopSignal.h"
#include "comm/LineStop.h"
#include "comm/SerialPortList.h"
#include "comm/Unitcomprotocol.h"
#include "tools/ledsign/Cli.h"
#include "tools/ledsign/Command.h"
#include "tools/ledsign/Compose.h"
#include "tools/ledsign/DeviceFiles.h"
#include "tools/ledsign/Results.h"
#include "tools/ledsign/Targets.h"
#include "tools/ledsign/Trace.h"

#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace ledsign_tool {

namespace {

// What one sign's run of a command ends with. A run a stop signal ended prints no line of its
// own: the stop line follows once every port is closed.
struct Outcome {
    SignResult Result;
    bool Stopped = false;
};

// Holds one port open for one command and closes it on every path, a stop signal included.
class Session {
public:
    // `traceLock` serialises the trace of sessions running in parallel; with `several` signs
    // the trace lines are prefixed with the port and the success line names it.
    Session(const Target& target, bool trace, std::mutex& traceLock, bool several)
        : target_(target), trace_(trace),
          where_(several && target.Sign.empty() ? " on " + target.Port : ""),
          started_(std::chrono::steady_clock::now()) {
        protocol_.SetCancelCheck(StopRequested);
        if (trace) {
            TraceProtocol(protocol_, traceLock, several ? "[" + target.Port + "] " : "");
        }
    }
    ~Session() {
        if (open_) {
            protocol_.Close();
        }
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Opens the port; on failure `failure` holds the outcome.
    bool Open(Outcome& failure) {
        open_ = protocol_.Open(target_.Port.c_str()) == 0;
        if (!open_) {
            failure = Failure("cannot open port " + target_.Port + ": " + Reason());
        }
        return open_;
    }
    ComProtocol& Protocol() { return protocol_; }
    std::uint16_t Address() const { return static_cast<std::uint16_t>(target_.Address); }

    // The outcome of a transaction result: `success` for kComOk, else the failure.
    Outcome Result(int result, const std::string& what, const std::string& success) {
        if (result == kComOk) {
            return Make(ResultKind::Ok, success + where_);
        }
        const std::string sign = "sign " + std::to_string(target_.Address) + " on " + target_.Port;
        if (result == kComRefused) {
            return Failure(sign + " refused " + what + ": " + Reason());
        }
        if (protocol_.LastPollCount() == 0) { // the request never went out whole
            return Failure("cannot send " + what + " to " + sign + ": " + Reason());
        }
        if (protocol_.LastError().Kind == LineErrorKind::Damaged) {
            return Failure("bad reply from " + sign + " to " + what + ": " + Reason());
        }
        return Failure("no reply from " + sign + " to " + what + ": " + Reason());
    }

private:
    std::string Reason() const {
        return DescribeLineError(protocol_.LastError(), LineErrorLanguage::English);
    }

    Outcome Make(ResultKind kind, std::string text) const {
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now() - started_)
                            .count();
        return {{target_.Sign, target_.Port, target_.Address, kind, std::move(text), ms}, false};
    }

    // A failure of the line's last operation; with --trace followed by the system's own
    // message behind it.
    Outcome Failure(std::string line) const {
        const ResultKind kind = KindOf(protocol_.LastError().Kind);
        const std::string system = DescribeSystemError(protocol_.LastError());
        if (trace_ && !system.empty()) {
            line += "\n  " + system;
        }
        Outcome outcome = Make(kind, std::move(line));
        outcome.Stopped = kind == ResultKind::Interrupted;
        return outcome;
    }

    const Target& target_;
    bool trace_;
    std::string where_;
    std::chrono::steady_clock::time_point started_;
    ComProtocol protocol_;
    bool open_ = false;
};

void PrintOutcome(const Outcome& o, bool json) {
    if (json) {
        PrintJsonLine(ToJson(o.Result));
        return;
    }
    if (o.Stopped) {
        return;
    }
    // A named sign's line starts with its name.
    const std::string name = o.Result.Sign.empty() ? "" : o.Result.Sign + ": ";
    std::FILE* out = o.Result.Kind == ResultKind::Ok ? stdout : stderr;
    std::fprintf(out, "%s%s\n", name.c_str(), o.Result.Text.c_str());
    std::fflush(out); // keeps the lines of both streams in the order of the signs
}

// Runs `job` on every target, in parallel when there are several, then prints one line per
// target in the order given. The exit status is 0 only when every target succeeded, else that
// of the first failure.
int RunOnEveryTarget(const std::vector<Target>& targets, const DeviceOptions& options,
                     const std::function<Outcome(Session&)>& job) {
    // Installed before any open, so that no moment of holding a port is left to a signal's
    // default action, which would end the process with the port locked.
    if (!InstallStopHandlers()) {
        std::fprintf(stderr, "cannot install the stop handlers\n");
        return kExitFailure;
    }
    // A stop ends every wait on the lines at once (connect, name lookup, negotiation, reply):
    // nothing is left to finish, the port is only closed.
    EndLineWaitsOnStop(true);
    std::vector<Outcome> outcomes(targets.size());
    std::mutex traceLock;
    const bool several = targets.size() > 1;
    auto runOne = [&](std::size_t i) {
        Session session(targets[i], options.Trace, traceLock, several);
        if (session.Open(outcomes[i])) {
            outcomes[i] = job(session);
        }
    };
    if (!several) {
        runOne(0);
    } else {
        std::vector<std::thread> threads;
        for (std::size_t i = 0; i < targets.size(); ++i) {
            threads.emplace_back(runOne, i);
        }
        for (std::thread& t : threads) {
            t.join();
        }
    }
    int exit = kExitOk;
    for (const Outcome& o : outcomes) {
        PrintOutcome(o, options.Json);
        if (exit == kExitOk) {
            exit = ExitStatusOf(o.Result.Kind);
        }
    }
    if (StopRequested()) {
        for (const Target& target : targets) {
            std::fprintf(stderr, "stopped by a signal; port %s closed\n", target.Port.c_str());
        }
        StopFinished();
    }
    return exit;
}

// A failure before any port was opened (a file that cannot be sent): the message on stderr,
// and with --json one object saying so, since no sign's object follows.
int InputFailure(const DeviceOptions& options, const std::string& message) {
    std::fprintf(stderr, "%s\n", message.c_str());
    if (options.Json) {
        PrintJsonLine({{"sign", nullptr},
                       {"port", nullptr},
                       {"ok", false},
                       {"error", KindName(ResultKind::BadInput)},
                       {"message", message},
                       {"ms", 0}});
    }
    return kExitFailure;
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
// size unless `rule` sends it anyway with a warning, so that nothing is sent. Returns "" when
// it is to be sent, else the refusal; the warning goes to stderr.
template <typename Load>
std::string LoadForSending(const char* command, const std::string& name, const SizeRule& rule,
                           Load load) {
    LoadReport report;
    const std::string program = std::string("ledsign ") + command + ": ";
    if (!load(report)) {
        return program + "cannot read '" + name + "': " + DescribeLoadProblem(report) +
               "; nothing was sent";
    }
    if (report.FileSize != rule.Expected && !rule.SendAnyway) {
        const std::uintmax_t size = report.FileSize;
        return program + "'" + name + "' is " + std::to_string(size) + " byte" +
               (size == 1 ? "" : "s") + "; a " + rule.Kind + " file is " +
               std::to_string(rule.Expected) + " bytes; nothing was sent (" + rule.Option +
               " sends it anyway)";
    }
    const std::string warning = FileSizeWarning(name, report, rule.Expected, rule.Kind, "sent");
    if (!warning.empty()) {
        std::fprintf(stderr, "ledsign %s: warning: %s\n", command, warning.c_str());
    }
    return {};
}

// A device command's parsed command line: the shared options and its own.
struct DeviceCommandLine {
    CLI::App* App = nullptr;
    DeviceOptions Options;
    std::string File;
    int Slot = 9;
    bool AllowShort = false;
    std::string Text;
    int Font = 4;
    bool Static = false;
};

// Defines a device command: the shared options, then the command's own through `more`, and
// runs `run` with the targets once they are resolved.
CommandRun DefineDevice(CLI::App& app, const char* name,
                        const std::function<void(CLI::App&, DeviceCommandLine&)>& more,
                        int (*run)(const DeviceCommandLine&, const std::vector<Target>&)) {
    auto line = std::make_shared<DeviceCommandLine>();
    line->App = &app;
    AddDeviceOptions(app, line->Options);
    more(app, *line);
    app.footer(kExitStatusHelp);
    return [line, name, run] {
        std::vector<Target> targets;
        if (!ResolveTargets(*line->App, line->Options, std::string("ledsign ") + name, targets)) {
            return kExitUsage;
        }
        return run(*line, targets);
    };
}

int SendFile(const DeviceCommandLine& c, const std::vector<Target>& targets,
             const MessageBytes& message, const std::string& shown) {
    const std::string what = "message for slot " + std::to_string(c.Slot);
    return RunOnEveryTarget(targets, c.Options, [&](Session& session) {
        const std::string success = "sent " + shown + " to slot " + std::to_string(c.Slot) +
                                    " of sign " + std::to_string(session.Address());
        const int result =
            session.Protocol().SendMessageSlot(session.Address(), c.Slot, message.data());
        return session.Result(result, what, success);
    });
}

int Send(const DeviceCommandLine& c, const std::vector<Target>& targets) {
    MessageBytes message{};
    if (c.App->get_option("--text")->count() > 0) {
        const ComposeResult composed = ComposeMessage(c.Text, c.Font, c.Static, message);
        if (composed.What == ComposeResult::Outcome::BadMarkup) {
            std::fprintf(stderr, "%s\n",
                         UsageErrorLine("ledsign send", "--text: " + composed.Problem).c_str());
            return kExitUsage;
        }
        if (composed.What != ComposeResult::Outcome::Ok) {
            return InputFailure(c.Options,
                                "ledsign send: --text: " + composed.Problem + "; nothing was sent");
        }
        return SendFile(c, targets, message, "the text");
    }
    // A single message of another length is sent as the editor would load it, with a warning.
    const SizeRule rule{message.size(), "message", true, ""};
    const std::string refusal = LoadForSending("send", c.File, rule, [&](LoadReport& report) {
        return ReadMessageFile(c.File.c_str(), message, report);
    });
    if (!refusal.empty()) {
        return InputFailure(c.Options, refusal);
    }
    return SendFile(c, targets, message, c.File);
}

int SendSet(const DeviceCommandLine& c, const std::vector<Target>& targets) {
    std::array<MessageBytes, 8> set{};
    // A set of another length would blank or garble whole slots of the sign (a message file
    // given by mistake blanks slots 2 to 8), so it is sent only when asked for.
    const SizeRule rule{set.size() * set[0].size(), "message-set", c.AllowShort, "--allow-short"};
    const std::string refusal = LoadForSending("send-set", c.File, rule, [&](LoadReport& report) {
        return ReadMessageSetFile(c.File.c_str(), set, report);
    });
    if (!refusal.empty()) {
        return InputFailure(c.Options, refusal);
    }
    return RunOnEveryTarget(targets, c.Options, [&](Session& session) {
        const std::string success = "sent the 8 messages of " + c.File + " to slots 1-8 of sign " +
                                    std::to_string(session.Address());
        for (int slot = 1; slot <= 8; ++slot) {
            const int result = session.Protocol().SendMessageSlot(
                session.Address(), slot, set[static_cast<std::size_t>(slot - 1)].data());
            if (result != kComOk) {
                return session.Result(result, "message " + std::to_string(slot) + " of the set",
                                      success);
            }
        }
        return session.Result(kComOk, "", success);
    });
}

int SyncClock(const DeviceCommandLine& c, const std::vector<Target>& targets) {
    return RunOnEveryTarget(targets, c.Options, [&](Session& session) {
        return session.Result(session.Protocol().SyncClock(session.Address()), "the clock",
                              "set the clock of sign " + std::to_string(session.Address()));
    });
}

int Show(const DeviceCommandLine& c, const std::vector<Target>& targets) {
    return RunOnEveryTarget(targets, c.Options, [&](Session& session) {
        const int result = session.Protocol().RunMessageSlot(session.Address(), c.Slot);
        return session.Result(result, "showing slot " + std::to_string(c.Slot),
                              "sign " + std::to_string(session.Address()) + " shows slot " +
                                  std::to_string(c.Slot));
    });
}

void AddSlotOption(CLI::App& app, DeviceCommandLine& c) {
    app.add_option("--slot", c.Slot, "the slot to store the message in, 1..9 (default 9)")
        ->transform(DecimalIn(1, 9));
}

CommandRun DefineSend(CLI::App& app) {
    return DefineDevice(
        app, "send",
        [](CLI::App& a, DeviceCommandLine& c) {
            AddSlotOption(a, c);
            auto* file = a.add_option("FILE", c.File, "the message file (.kom) to send");
            auto* text = a.add_option("--text", c.Text,
                                      "send TEXT, with the field markup of 'compose', instead of "
                                      "a file");
            a.add_option("--font", c.Font,
                         "with --text: the font of its first characters, 1..5 "
                         "(default 4)")
                ->transform(DecimalIn(1, 5))
                ->needs(text);
            a.add_flag("--static", c.Static, "with --text: a static message (default: scrolling)")
                ->needs(text);
            file->excludes(text);
            a.final_callback([file, text] {
                if (file->count() == 0 && text->count() == 0) {
                    throw CLI::RequiredError("a message FILE or --text");
                }
            });
        },
        Send);
}

CommandRun DefineSendSet(CLI::App& app) {
    return DefineDevice(
        app, "send-set",
        [](CLI::App& a, DeviceCommandLine& c) {
            a.add_flag("--allow-short", c.AllowShort,
                       "send a file that is not 8192 bytes long (missing bytes as 0)");
            a.add_option("FILE", c.File, "the message-set file (.kzb) to send")->required();
        },
        SendSet);
}

CommandRun DefineSyncClock(CLI::App& app) {
    return DefineDevice(
        app, "sync-clock", [](CLI::App&, DeviceCommandLine&) {}, SyncClock);
}

CommandRun DefineShow(CLI::App& app) {
    return DefineDevice(
        app, "show",
        [](CLI::App& a, DeviceCommandLine& c) {
            a.add_option("SLOT", c.Slot, "the slot to show, 1..9")
                ->transform(DecimalIn(1, 9))
                ->required();
        },
        Show);
}

CommandRun DefinePorts(CLI::App& app) {
    auto json = std::make_shared<bool>(false);
    app.add_flag("--json", *json,
                 "one JSON object per port: its name, description, driver and stable names");
    return [json] {
        const std::vector<SerialPortInfo> ports = ListSerialPorts();
        if (ports.empty() && !*json) {
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
            if (*json) {
                PrintJsonLine({{"port", p.Name},
                               {"description", p.Description},
                               {"driver", p.Driver},
                               {"stable_names", p.StableNames}});
                continue;
            }
            std::string line = p.Name;
            for (std::size_t i = 0; i < details.size(); ++i) {
                line += (i == 0 ? "  (" : ", ") + details[i];
            }
            std::printf("%s%s\n", line.c_str(), details.empty() ? "" : ")");
        }
        return kExitOk;
    };
}

CommandRun DefineSigns(CLI::App& app) {
    auto file = std::make_shared<std::string>();
    auto json = std::make_shared<bool>(false);
    AddSignsFileOption(app, *file);
    app.add_flag("--json", *json, "one JSON object per sign: its name, port, address, groups");
    return [file, json] {
        SignBook book;
        if (!LoadSignBook("ledsign signs", *file, book)) {
            return kExitUsage;
        }
        if (book.Signs().empty() && !*json) {
            std::printf("no named signs in %s\n", book.FilesRead().c_str());
        }
        for (const NamedSign& sign : book.Signs()) {
            const unsigned address = sign.Address.value_or(kSignAddress);
            if (*json) {
                PrintJsonLine({{"sign", sign.Name},
                               {"port", sign.Port},
                               {"address", address},
                               {"groups", sign.Groups}});
                continue;
            }
            std::string groups;
            for (const std::string& g : sign.Groups) {
                groups += (groups.empty() ? "  groups " : ", ") + g;
            }
            std::printf("%s  %s  address %u%s\n", sign.Name.c_str(), sign.Port.c_str(), address,
                        groups.c_str());
        }
        return kExitOk;
    };
}

const CommandRegistration kSend({"send",
                                 "store a message file or a text in slot N (1..9, default 9) of "
                                 "the sign",
                                 DefineSend});
const CommandRegistration kSendSet({"send-set",
                                    "store the 8 messages of a set in slots 1..8 of the sign",
                                    DefineSendSet});
const CommandRegistration
    kSyncClock({"sync-clock", "set the sign's clock from this computer's clock", DefineSyncClock});
const CommandRegistration kShow({"show", "make the sign show the message in slot 1..9",
                                 DefineShow});
const CommandRegistration kPorts({"ports", "list the serial ports of this machine", DefinePorts});
const CommandRegistration kSigns({"signs",
                                  "list the named signs of the signs file, their ports and groups",
                                  DefineSigns});

} // namespace

} // namespace ledsign_tool
