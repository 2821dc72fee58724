// ledsign watch: the file synchronisation mode without a window, for a machine with no desktop
// (a service, a job started by cron). Opens the port, sets the sign's clock, then polls the
// data file and sends each new version of its first line to slot 9, printing every status
// with a time stamp: progress on stdout, errors on stderr with the reason the line gives.
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
#include "messages/FileLoad.h"
#include "tools/ledsign/Command.h"

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ledsign_tool {

namespace {

constexpr double kDefaultIntervalSeconds = 1.0;
constexpr double kMaxIntervalSeconds = 86400.0;
constexpr unsigned kDefaultProbeSeconds = 60;
constexpr unsigned long kMaxProbeSeconds = 86400;
// A configuration is a few lines; the bound keeps a device or a huge file from being read.
constexpr std::size_t kMaxConfigBytes = std::size_t{64} * 1024;

struct WatchArgs {
    std::string Port;
    unsigned Address = kSyncDefaultAddress;
    double Interval = kDefaultIntervalSeconds;
    unsigned ProbeInterval = kDefaultProbeSeconds;
    std::string DataFile;
    bool ExitOnLoss = false;
};

// What a --config file gives; the command line's options take precedence over each of them.
struct WatchConfig {
    std::optional<std::string> Port;
    std::optional<unsigned> Address;
    std::optional<double> Interval;
    std::optional<unsigned> ProbeInterval;
    std::optional<std::string> DataFile;
};

// How the arguments turned out. A configuration's problem is the file's, not the command
// line's: it is told with the file (and line) and without the usage text.
enum class ArgsOutcome { Run, Help, BadUsage, BadConfig };

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

bool ParseAddress(const std::string& text, unsigned& address) {
    if (text.empty() || text[0] == '-' || text[0] == '+') {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    const unsigned long v = std::strtoul(text.c_str(), &end, 0);
    if (errno != 0 || *end != '\0' || v > 0xFFFF) {
        return false;
    }
    address = static_cast<unsigned>(v);
    return true;
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

bool ParseProbeInterval(const std::string& text, unsigned& seconds) {
    if (text.empty() || text[0] == '-' || text[0] == '+') {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    const unsigned long v = std::strtoul(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v > kMaxProbeSeconds) {
        return false;
    }
    seconds = static_cast<unsigned>(v);
    return true;
}

// Strips blanks (and a CR left by a Windows editor) from both ends.
std::string TrimBlanks(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// Applies one configuration line (trimmed, neither blank nor a comment) to `out`. Returns ""
// when it is valid, else the reason it is not.
std::string ApplyConfigLine(const std::string& line, WatchConfig& out) {
    const auto equals = line.find('=');
    if (equals == std::string::npos) {
        return "expected 'key = value', got '" + line + "'";
    }
    const std::string key = TrimBlanks(line.substr(0, equals));
    const std::string value = TrimBlanks(line.substr(equals + 1));
    const bool known = key == "port" || key == "address" || key == "interval" ||
                       key == "probe-interval" || key == "data-file";
    if (!known) {
        return "unknown key '" + key +
               "' (known: port, address, interval, probe-interval, data-file)";
    }
    if (value.empty()) {
        return "no value for '" + key + "'";
    }
    if (key == "port") {
        out.Port = value;
    } else if (key == "data-file") {
        out.DataFile = value;
    } else if (unsigned address = 0; key == "address") {
        if (!ParseAddress(value, address)) {
            return BadAddress(value);
        }
        out.Address = address;
    } else if (double seconds = 0; key == "interval") {
        if (!ParseInterval(value, seconds)) {
            return BadInterval(value);
        }
        out.Interval = seconds;
    } else if (unsigned probe = 0; ParseProbeInterval(value, probe)) {
        out.ProbeInterval = probe;
    } else {
        return BadProbeInterval(value);
    }
    return {};
}

// Reads a --config file: "key = value" lines with the keys port, address, interval,
// probe-interval and data-file; blank lines and lines starting with '#' are ignored; a value
// runs to the end of its line (blanks inside it are kept, so file names may have spaces). The
// file goes through the shared loader: a regular file only (a FIFO or a device is refused
// unopened), at most kMaxConfigBytes, a UTF-8 name on every platform. True with `out` filled;
// false after printing the file, the line where there is one, and the reason, so that a
// mistyped key fails the start instead of being ignored.
bool ReadWatchConfig(const std::string& path, WatchConfig& out) {
    std::vector<std::uint8_t> bytes(kMaxConfigBytes + 1); // one more tells an oversized file
    LoadReport report;
    const std::size_t size = ReadFileStart(path.c_str(), bytes, report);
    if (size == 0 && report.Problem != LoadProblem::Empty) {
        std::fprintf(stderr, "ledsign watch: cannot read the configuration %s: %s\n", path.c_str(),
                     DescribeLoadProblem(report).c_str());
        return false;
    }
    if (size > kMaxConfigBytes) {
        std::fprintf(stderr,
                     "ledsign watch: cannot read the configuration %s: it is larger than %zu "
                     "KiB\n",
                     path.c_str(), kMaxConfigBytes / 1024);
        return false;
    }
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), size);
    int number = 0;
    for (std::size_t begin = 0; begin < text.size();) {
        const std::size_t end = std::min(text.find('\n', begin), text.size());
        const std::string line = TrimBlanks(std::string(text.substr(begin, end - begin)));
        begin = end + 1;
        ++number;
        if (line.empty() || line[0] == '#') {
            continue;
        }
        const std::string problem = line.find('\0') != std::string::npos
                                        ? std::string("a NUL byte in the line")
                                        : ApplyConfigLine(line, out);
        if (!problem.empty()) {
            std::fprintf(stderr, "ledsign watch: %s:%d: %s\n", path.c_str(), number,
                         problem.c_str());
            return false;
        }
    }
    return true;
}

void PrintUsage(std::FILE* out);

// Fills `out` from the command line and the --config file it names; prints any problem.
// Help: the usage printed on stdout, nothing to run.
ArgsOutcome ParseWatchArgs(const std::vector<std::string>& args, WatchArgs& out) {
    std::vector<std::string> positional;
    std::optional<std::string> configPath;
    bool addressGiven = false;
    bool intervalGiven = false;
    bool probeGiven = false;
    const auto bad = [](const std::string& problem) {
        std::fprintf(stderr, "ledsign watch: %s\n", problem.c_str());
        return ArgsOutcome::BadUsage;
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == "--help" || a == "-h") {
            PrintUsage(stdout);
            return ArgsOutcome::Help;
        } else if (a == "--port" && hasValue) {
            out.Port = args[++i];
        } else if (a == "--address" && hasValue) {
            if (!ParseAddress(args[++i], out.Address)) {
                return bad(BadAddress(args[i]));
            }
            addressGiven = true;
        } else if (a == "--config" && hasValue) {
            configPath = args[++i];
        } else if (a == "--interval" && hasValue) {
            if (!ParseInterval(args[++i], out.Interval)) {
                return bad(BadInterval(args[i]));
            }
            intervalGiven = true;
        } else if (a == "--probe-interval" && hasValue) {
            if (!ParseProbeInterval(args[++i], out.ProbeInterval)) {
                return bad(BadProbeInterval(args[i]));
            }
            probeGiven = true;
        } else if (a == "--exit-on-loss") {
            out.ExitOnLoss = true;
        } else if (a.size() > 1 && a[0] == '-') {
            return bad("unknown or incomplete option '" + a + "'");
        } else {
            positional.push_back(a);
        }
    }
    if (positional.size() > 1) {
        return bad("exactly one DATAFILE is required");
    }
    WatchConfig config;
    if (configPath && !ReadWatchConfig(*configPath, config)) {
        return ArgsOutcome::BadConfig;
    }
    if (out.Port.empty()) {
        out.Port = config.Port.value_or("");
    }
    if (!addressGiven && config.Address) {
        out.Address = *config.Address;
    }
    if (!intervalGiven && config.Interval) {
        out.Interval = *config.Interval;
    }
    if (!probeGiven && config.ProbeInterval) {
        out.ProbeInterval = *config.ProbeInterval;
    }
    if (positional.empty() && config.DataFile) {
        positional.push_back(*config.DataFile);
    }
    if (configPath && (out.Port.empty() || positional.empty())) {
        std::fprintf(stderr, "ledsign watch: %s: no '%s' in the file nor %s on the command line\n",
                     configPath->c_str(), out.Port.empty() ? "port" : "data-file",
                     out.Port.empty() ? "--port" : "DATAFILE");
        return ArgsOutcome::BadConfig;
    }
    if (out.Port.empty()) {
        return bad("--port is required");
    }
    if (positional.empty()) {
        return bad("exactly one DATAFILE is required");
    }
    out.DataFile = positional[0];
    return ArgsOutcome::Run;
}

// The watch's link. A stop ends the opening of the port at once (a connect, a name lookup, a
// Telnet negotiation, which may take seconds): nothing is lost, since there is no sign to blank
// on a port that is not open. A transaction on an open port runs to its end instead, so that
// the sign can be blanked after it and no late reply to an abandoned request can answer the
// blanking one.
class WatchLink final : public SignLink {
public:
    explicit WatchLink(ComProtocol& protocol) : inner_(protocol) {}

    int Open(const std::string& portName) override {
        const StopEndsLineWaits cutShortByAStop;
        return inner_.Open(portName);
    }
    int Close() override { return inner_.Close(); }
    int SyncClock(std::uint16_t address) override { return inner_.SyncClock(address); }
    int SendMessageSlot(std::uint16_t address, int slot, const std::uint8_t* message) override {
        return inner_.SendMessageSlot(address, slot, message);
    }

private:
    ProtocolSignLink inner_;
};

// True when the last open of the port was ended by a stop: the stop ends the watch like any
// other, so that is no failure to report.
bool OpenStopped(const ComProtocol& protocol) {
    return protocol.LastError().Kind == LineErrorKind::Interrupted;
}

// Progress statuses go to stdout; the error statuses go to stderr, those of a failed link call
// (and the loss of the sign) followed by the line's reason in parentheses.
void PrintStatus(const std::string& text, const ComProtocol& protocol) {
    if (text.rfind(kStatusPortError, 0) == 0 && OpenStopped(protocol)) {
        return;
    }
    const std::string reason = LinkFailureReason(text, protocol, LineErrorLanguage::English);
    const auto startsWith = [&text](const char* prefix) { return text.rfind(prefix, 0) == 0; };
    const bool error = text == kStatusReadError || startsWith(kWatchStatusNotRegular) ||
                       startsWith(kWatchStatusMissing) || startsWith(kWatchStatusUnreadable);
    if (reason.empty() && !error) {
        std::printf("%s %s\n", LocalTimeStamp().c_str(), text.c_str());
        std::fflush(stdout);
    } else if (reason.empty()) {
        std::fprintf(stderr, "%s %s\n", LocalTimeStamp().c_str(), text.c_str());
    } else {
        std::fprintf(stderr, "%s %s (%s)\n", LocalTimeStamp().c_str(), text.c_str(),
                     reason.c_str());
    }
}

int RunWatch(const std::vector<std::string>& args) {
    WatchArgs options;
    switch (ParseWatchArgs(args, options)) {
    case ArgsOutcome::Run:
        break;
    case ArgsOutcome::Help:
        return kExitOk;
    case ArgsOutcome::BadUsage:
        PrintUsage(stderr);
        return kExitUsage;
    case ArgsOutcome::BadConfig:
        return kExitUsage;
    }
    // Installed before the port is opened, so that a stop during the start still ends with
    // the port closed rather than the process killed in the middle of a transaction.
    if (!InstallStopHandlers()) {
        std::fprintf(stderr, "ledsign watch: cannot install the stop handlers\n");
        return kExitFailure;
    }
    ComProtocol protocol;
    WatchLink link(protocol);
    SystemFileStatus files;
    SystemComClock clock;
    WatchTiming timing;
    timing.PollMs = static_cast<std::int64_t>(std::ceil(options.Interval * 1000.0));
    timing.ProbeEveryMs = static_cast<std::int64_t>(options.ProbeInterval) * 1000;
    timing.ExitOnLoss = options.ExitOnLoss;
    WatchPolicy watch(
        link, files, clock, [&protocol](const std::string& text) { PrintStatus(text, protocol); },
        timing);
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

const char* const kUsage = "(--port P | --config FILE) [--address A] [--interval SECONDS] "
                           "[--probe-interval SECONDS] [--exit-on-loss] DATAFILE";
const char* const kSummary =
    "follow DATAFILE, sending each new first line to slot 9; reconnects a lost sign";

void PrintUsage(std::FILE* out) {
    std::fprintf(out,
                 "Usage: ledsign watch %s\n"
                 "  %s.\n"
                 "  Opens the port and sets the sign's clock, then checks DATAFILE every\n"
                 "  --interval seconds (default 1, fractions allowed). The first line is\n"
                 "  '<type> <font> <text>': type 1 scrolling or 0 static, font 1..5.\n"
                 "  First lines in UTF-8 are converted to code page 1250 when it has every\n"
                 "  letter; any other line is taken as code page 1250.\n"
                 "  A DATAFILE that is no regular file (a FIFO, a device) is skipped, never\n"
                 "  opened; one missing or unreadable is reported with the reason and read\n"
                 "  again once it can be. The sign's clock is set every --probe-interval\n"
                 "  seconds (default 60, 0 for hourly only), in the first seconds of a\n"
                 "  minute; the set probes the line. When the line is lost\n"
                 "  or the sign stops answering, the port is closed and reopened after 2 s,\n"
                 "  4 s, 8 s ... at most every 30 s, with a clock set as the probe; once the\n"
                 "  sign answers, the data file is sent again even if it did not change.\n"
                 "  --exit-on-loss: exit 1 on such a loss instead, for a supervisor that\n"
                 "  restarts the command.\n"
                 "  --config FILE: 'key = value' lines (port, address, interval,\n"
                 "  probe-interval, data-file) supply what the command line leaves out,\n"
                 "  DATAFILE included; blank lines and lines starting with '#' are skipped.\n"
                 "  A regular file of at most 64 KiB; any problem with it is told with the\n"
                 "  file, the line and the reason, and exits 2.\n"
                 "  Prints each change of state once, with a time stamp, errors on stderr.\n"
                 "  SIGINT, SIGTERM or SIGHUP blanks the sign's current message, closes the\n"
                 "  port and exits 0. Exit 1 when the port cannot be opened or the first clock\n"
                 "  set fails (and on a loss with --exit-on-loss); 2 on bad usage or a bad\n"
                 "  configuration.\n",
                 kUsage, kSummary);
}

const CommandRegistration kWatch({"watch", kUsage, kSummary, RunWatch});

} // namespace

} // namespace ledsign_tool
