// ledsign watch: the file synchronisation mode without a window, for a machine with no desktop
// (a service, a job started by cron). Opens the port, sets the sign's clock, then polls the
// data file and sends each new version of its first line to slot 9, printing every status
// (WatchLog): progress on stdout, warnings and errors on stderr with the reason the line gives.
// The clock set probes the line every --probe-interval seconds; a sign lost is reconnected
// (WatchPolicy); --exit-on-loss ends with 1 instead. SIGINT, SIGTERM or SIGHUP blanks the sign's
// current message and closes the port, after the transaction in progress (if any) has ended; a
// stop that comes while the port is being opened (at the start or a reconnect) ends the opening
// at once, since there is no sign to blank yet.

#include "autosync/ProtocolSignLink.h"
#include "autosync/StopSignal.h"
#include "autosync/Unitautosync.h"
#include "autosync/WatchPolicy.h"
#include "comm/LineStop.h"
#include "comm/Unitcomprotocol.h"
#include "tools/ledsign/Cli.h"
#include "tools/ledsign/Command.h"
#include "tools/ledsign/KeyValueFile.h"
#include "tools/ledsign/System.h"
#include "tools/ledsign/Targets.h"
#include "tools/ledsign/Trace.h"

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace ledsign_tool {

namespace {

constexpr double kDefaultIntervalSeconds = 1.0;
constexpr double kMaxIntervalSeconds = 86400.0;
constexpr unsigned kDefaultProbeSeconds = 60;
constexpr unsigned long kMaxProbeSeconds = 86400;

// How much the watch prints: --quiet errors only, --verbose every transaction too.
enum class Verbosity { Quiet, Normal, Verbose };

struct WatchArgs {
    std::string Port;
    std::string Sign;
    std::string SignsFile;
    std::string Config;
    unsigned Address = kSyncDefaultAddress;
    double Interval = kDefaultIntervalSeconds;
    unsigned ProbeInterval = kDefaultProbeSeconds;
    std::string DataFile;
    bool ExitOnLoss = false;
    bool Trace = false;
    bool Quiet = false;
    bool Verbose = false;
};

// What a --config file gives; the command line's options take precedence over each of them.
struct WatchConfig {
    std::optional<std::string> Port;
    std::optional<std::string> Sign;
    int SignLine = 0; // where `sign` is, for the message about an unknown one
    std::optional<unsigned> Address;
    std::optional<double> Interval;
    std::optional<unsigned> ProbeInterval;
    std::optional<std::string> DataFile;
};

// What is wrong with a value, the same for an option and for a configuration line.
std::string BadAddress(const std::string& value) {
    return "bad address '" + value + "' (0..65535)";
}
std::string BadInterval(const std::string& value) {
    return "bad interval '" + value + "' (seconds, above 0, at most 86400)";
}
std::string BadProbeInterval(const std::string& value) {
    return "bad probe interval '" + value + "' (whole seconds, 0 turns the probe off, at most " +
           std::to_string(kMaxProbeSeconds) + ")";
}

bool ParseInterval(const std::string& text, double& seconds) {
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(text.c_str(), &end);
    if (text.empty() || errno != 0 || *end != '\0' || !std::isfinite(v) || v <= 0 ||
        v > kMaxIntervalSeconds) {
        return false;
    }
    seconds = v;
    return true;
}

// Applies one configuration entry to `out`. Returns "" when it is valid, else the reason it is
// not.
std::string ApplyConfigEntry(const KeyValueEntry& entry, WatchConfig& out) {
    const std::string& key = entry.Key;
    const std::string& value = entry.Value;
    std::uint64_t number = 0;
    if (key == "port" || key == "sign") {
        if ((key == "port" && out.Sign) || (key == "sign" && out.Port)) {
            return "'port' and 'sign' exclude each other";
        }
        (key == "port" ? out.Port : out.Sign) = value;
        out.SignLine = key == "sign" ? entry.Line : out.SignLine;
    } else if (key == "data-file") {
        out.DataFile = value;
    } else if (key == "address") {
        if (!ParseDecimal(value, 0, 0xFFFF, number)) {
            return BadAddress(value);
        }
        out.Address = static_cast<unsigned>(number);
    } else if (double seconds = 0; key == "interval") {
        if (!ParseInterval(value, seconds)) {
            return BadInterval(value);
        }
        out.Interval = seconds;
    } else if (key == "probe-interval") {
        if (!ParseDecimal(value, 0, kMaxProbeSeconds, number)) {
            return BadProbeInterval(value);
        }
        out.ProbeInterval = static_cast<unsigned>(number);
    } else {
        return "unknown key '" + key +
               "' (known: port, sign, address, interval, probe-interval, data-file)";
    }
    return {};
}

// Reads a --config file (KeyValueFile.h, without sections) with the keys port or sign,
// address, interval, probe-interval and data-file. True with `out` filled; false after printing
// the file, the line where there is one, and the reason, so that a mistyped key fails the start
// instead of being ignored.
bool ReadWatchConfig(const std::string& path, WatchConfig& out) {
    std::vector<KeyValueEntry> entries;
    FileProblem problem;
    bool ok = ReadKeyValueFile(path, false, entries, problem);
    for (std::size_t i = 0; ok && i < entries.size(); ++i) {
        const std::string reason = ApplyConfigEntry(entries[i], out);
        if (!reason.empty()) {
            problem = {path, entries[i].Line, reason};
            ok = false;
        }
    }
    if (!ok) {
        std::fprintf(stderr, "ledsign watch: %s\n", problem.Describe("configuration").c_str());
    }
    return ok;
}

// The port and address of the sign named by --sign or the configuration's `sign`; prints the
// problem and returns false when the signs file has no such sign or cannot be used.
bool ResolveSign(const std::string& name, const std::string& where, const WatchArgs& args,
                 std::string& port, std::optional<unsigned>& address) {
    SignBook book;
    if (!LoadSignBook("ledsign watch", args.SignsFile, book)) {
        return false;
    }
    const NamedSign* sign = book.Find(name);
    if (sign == nullptr) {
        std::fprintf(stderr, "ledsign watch: %sno sign '%s' in %s\n", where.c_str(), name.c_str(),
                     book.FilesRead().c_str());
        return false;
    }
    port = sign->Port;
    address = sign->Address;
    return true;
}

// Completes `out`, parsed from the command line, with the --config file it names and the signs
// file. Prints any problem and returns false (exit 2): a configuration's problem is the file's,
// told with the file (and line) and without the usage hint.
bool CompleteWatchArgs(const CLI::App& app, WatchArgs& out) {
    WatchConfig config;
    if (!out.Config.empty() && !ReadWatchConfig(out.Config, config)) {
        return false;
    }
    const auto given = [&app](const char* option) { return app.get_option(option)->count() > 0; };
    std::optional<unsigned> signAddress;
    if (!out.Sign.empty()) {
        if (!ResolveSign(out.Sign, "", out, out.Port, signAddress)) {
            return false;
        }
    } else if (out.Port.empty() && config.Sign) {
        const std::string where = out.Config + ":" + std::to_string(config.SignLine) + ": ";
        if (!ResolveSign(*config.Sign, where, out, out.Port, signAddress)) {
            return false;
        }
    } else if (out.Port.empty()) {
        out.Port = config.Port.value_or("");
    }
    if (!given("--address")) {
        out.Address = config.Address.value_or(signAddress.value_or(out.Address));
    }
    if (!given("--interval") && config.Interval) {
        out.Interval = *config.Interval;
    }
    if (!given("--probe-interval") && config.ProbeInterval) {
        out.ProbeInterval = *config.ProbeInterval;
    }
    if (out.DataFile.empty()) {
        out.DataFile = config.DataFile.value_or("");
    }
    if (!out.Config.empty() && (out.Port.empty() || out.DataFile.empty())) {
        std::fprintf(stderr, "ledsign watch: %s: no '%s' in the file nor %s on the command line\n",
                     out.Config.c_str(), out.Port.empty() ? "port" : "data-file",
                     out.Port.empty() ? "--port" : "DATAFILE");
        return false;
    }
    const char* missing = out.Port.empty()       ? "--port or --sign is required"
                          : out.DataFile.empty() ? "DATAFILE is required"
                                                 : nullptr;
    if (missing != nullptr) {
        std::fprintf(stderr, "%s\n", UsageErrorLine("ledsign watch", missing).c_str());
        return false;
    }
    return true;
}

// Where the watch's lines go. Information goes to stdout, warnings and errors to stderr. Each
// line has a time stamp, unless systemd's journal takes standard error: the journal stamps it
// already, and the line starts with its syslog priority instead, so that `journalctl -p err`
// finds the failures.
class WatchLog {
public:
    enum class Level { Error = 3, Warning = 4, Info = 6 };

    WatchLog(Verbosity verbosity, bool journal) : verbosity_(verbosity), journal_(journal) {}

    bool Verbose() const { return verbosity_ == Verbosity::Verbose; }

    void Print(Level level, const std::string& text) const {
        if (verbosity_ == Verbosity::Quiet && level != Level::Error) {
            return;
        }
        std::FILE* out = level == Level::Info ? stdout : stderr;
        if (journal_) {
            std::fprintf(out, "<%d>%s\n", static_cast<int>(level), text.c_str());
        } else {
            std::fprintf(out, "%s %s\n", LocalTimeStamp().c_str(), text.c_str());
        }
        std::fflush(out);
    }

private:
    Verbosity verbosity_;
    bool journal_;
};

// The watch's link. A stop ends the opening of the port at once (a connect, a name lookup, a
// Telnet negotiation, which may take seconds): nothing is lost, since there is no sign to blank
// on a port that is not open. A transaction on an open port runs to its end instead, so that
// the sign can be blanked after it and no late reply to an abandoned request can answer the
// blanking one.
class WatchLink final : public SignLink {
public:
    WatchLink(ComProtocol& protocol, const WatchLog& log)
        : protocol_(protocol), inner_(protocol), log_(log) {}

    int Open(const std::string& portName) override {
        const StopEndsLineWaits cutShortByAStop;
        return Told("opening " + portName, inner_.Open(portName));
    }
    int Close() override { return inner_.Close(); }
    int SyncClock(std::uint16_t address) override {
        return Told("setting the clock of sign " + std::to_string(address),
                    inner_.SyncClock(address));
    }
    int SendMessageSlot(std::uint16_t address, int slot, const std::uint8_t* message) override {
        return Told("sending slot " + std::to_string(slot) + " to sign " + std::to_string(address),
                    inner_.SendMessageSlot(address, slot, message));
    }

private:
    // With --verbose, every transaction and its outcome, the ones the statuses leave out (a
    // failed probe, a clock set that succeeded) included.
    int Told(const std::string& what, int result) const {
        if (log_.Verbose()) {
            log_.Print(WatchLog::Level::Info,
                       what + ": " +
                           (result == 0 ? std::string("done")
                                        : DescribeLineError(protocol_.LastError(),
                                                            LineErrorLanguage::English)));
        }
        return result;
    }

    ComProtocol& protocol_;
    ProtocolSignLink inner_;
    const WatchLog& log_;
};

// True when the last open of the port was ended by a stop: the stop ends the watch like any
// other, so that is no failure to report.
bool OpenStopped(const ComProtocol& protocol) {
    return protocol.LastError().Kind == LineErrorKind::Interrupted;
}

// Progress statuses are information; the data file that cannot be followed is a warning; a
// failed link call (and the loss of the sign) is an error, followed by the line's reason in
// parentheses. The statuses keep the synchronisation window's wording.
void PrintStatus(const std::string& text, const ComProtocol& protocol, const WatchLog& log) {
    if (text.rfind(kStatusPortError, 0) == 0 && OpenStopped(protocol)) {
        return;
    }
    const std::string reason = LinkFailureReason(text, protocol, LineErrorLanguage::English);
    const auto startsWith = [&text](const char* prefix) { return text.rfind(prefix, 0) == 0; };
    const bool warning = text == kStatusReadError || startsWith(kWatchStatusNotRegular) ||
                         startsWith(kWatchStatusMissing) || startsWith(kWatchStatusUnreadable);
    if (!reason.empty()) {
        log.Print(WatchLog::Level::Error, text + " (" + reason + ")");
    } else {
        log.Print(warning ? WatchLog::Level::Warning : WatchLog::Level::Info, text);
    }
}

int RunWatch(const CLI::App& app, WatchArgs& options) {
    if (!CompleteWatchArgs(app, options)) {
        return kExitUsage;
    }
    // Installed before the port is opened, so that a stop during the start still ends with
    // the port closed rather than the process killed in the middle of a transaction.
    if (!InstallStopHandlers()) {
        std::fprintf(stderr, "ledsign watch: cannot install the stop handlers\n");
        return kExitFailure;
    }
    const WatchLog log(options.Quiet     ? Verbosity::Quiet
                       : options.Verbose ? Verbosity::Verbose
                                         : Verbosity::Normal,
                       StandardErrorIsJournal());
    ComProtocol protocol;
    std::mutex traceLock;
    if (options.Trace) {
        TraceProtocol(protocol, traceLock, "");
    }
    WatchLink link(protocol, log);
    SystemFileStatus files;
    SystemComClock clock;
    WatchTiming timing;
    timing.PollMs = static_cast<std::int64_t>(std::ceil(options.Interval * 1000.0));
    timing.ProbeEveryMs = static_cast<std::int64_t>(options.ProbeInterval) * 1000;
    timing.ExitOnLoss = options.ExitOnLoss;
    WatchPolicy watch(
        link, files, clock,
        [&protocol, &log](const std::string& text) { PrintStatus(text, protocol, log); }, timing);
    watch.SetDataFileName(options.DataFile);
    // A start whose open a stop cut short ends as any stop does: exit 0, nothing to blank.
    const bool started =
        watch.Start(options.Port, static_cast<std::uint16_t>(options.Address)) == 0;
    if (!started && !OpenStopped(protocol)) {
        return kExitFailure;
    }
    while (started && !WaitForStop(static_cast<double>(watch.MsUntilDue()) / 1000.0)) {
        if (!watch.Step()) {
            std::fflush(stdout);
            return kExitFailure; // --exit-on-loss: the port is closed already
        }
    }
    watch.Leave();
    std::fflush(stdout);
    StopFinished();
    return kExitOk;
}

const char* const kHelp =
    "Opens the port and sets the sign's clock, then checks DATAFILE every --interval\n"
    "seconds and sends each new first line to slot 9. The first line is\n"
    "'<type> <font> <text>': type 1 scrolling or 0 static, font 1..5. First lines in UTF-8\n"
    "are converted to code page 1250 when it has every letter; any other line is taken as\n"
    "code page 1250. A DATAFILE that is no regular file (a FIFO, a device) is skipped,\n"
    "never opened; one missing or unreadable is reported with the reason and read again\n"
    "once it can be. The sign's clock is set every --probe-interval seconds, in the first\n"
    "seconds of a minute; the set probes the line. When the line is lost or the sign stops\n"
    "answering, the port is closed and reopened after 2 s, 4 s, 8 s ... at most every 30 s,\n"
    "with a clock set as the probe; once the sign answers, the data file is sent again.\n"
    "--config FILE: 'key = value' lines (port or sign, address, interval, probe-interval,\n"
    "data-file) supply what the command line leaves out, DATAFILE included; blank lines and\n"
    "lines starting with '#' are skipped. A regular file of at most 64 KiB; any problem\n"
    "with it is told with the file, the line and the reason, and exits 2.\n"
    "Prints each change of state once, with a time stamp (under systemd's journal with its\n"
    "syslog priority instead), errors and warnings on stderr. SIGINT, SIGTERM or SIGHUP\n"
    "blanks the sign's current message, closes the port and exits 0. Exit 1 when the port\n"
    "cannot be opened or the first clock set fails (and on a loss with --exit-on-loss);\n"
    "2 on bad usage or a bad configuration.";

CommandRun DefineWatch(CLI::App& app) {
    auto o = std::make_shared<WatchArgs>();
    app.footer(kHelp);
    auto* port =
        app.add_option("--port", o->Port, "serial port, tcp://HOST:PORT or rfc2217://HOST:PORT")
            ->type_name("PORT");
    app.add_option("--sign", o->Sign, "a sign named in the signs file")
        ->type_name("NAME")
        ->excludes(port);
    AddSignsFileOption(app, o->SignsFile);
    app.add_option("--config", o->Config, "a file of 'key = value' lines for what is not given")
        ->type_name("FILE");
    app.add_option("--address", o->Address, "the sign's address, 0..65535 (default 380)")
        ->transform(DecimalIn(0, 0xFFFF));
    app.add_option("--interval", o->Interval,
                   "seconds between checks of DATAFILE, above 0, at most 86400 (default 1)")
        ->check(CLI::Validator(
            [](const std::string& text) {
                double seconds = 0;
                return ParseInterval(text, seconds) ? std::string() : BadInterval(text);
            },
            "SECONDS"));
    app.add_option("--probe-interval", o->ProbeInterval,
                   "seconds between clock sets, 0 for hourly only (default 60)")
        ->transform(DecimalIn(0, kMaxProbeSeconds));
    app.add_flag("--exit-on-loss", o->ExitOnLoss,
                 "exit 1 when the sign is lost instead of reconnecting");
    app.add_flag("--trace", o->Trace, "print each frame sent and received on stderr");
    auto* quiet = app.add_flag("--quiet", o->Quiet, "print errors only");
    app.add_flag("--verbose", o->Verbose, "print every transaction too (clock sets, probes, sends)")
        ->excludes(quiet);
    app.add_option("DATAFILE", o->DataFile, "the file whose first line is shown");
    const CLI::App* self = &app;
    return [o, self] { return RunWatch(*self, *o); };
}

const CommandRegistration kWatch(
    {"watch", "follow DATAFILE, sending each new first line to slot 9; reconnects a lost sign",
     DefineWatch});

} // namespace

} // namespace ledsign_tool
