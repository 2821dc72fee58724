// ledsign watch: the file synchronisation mode without a window, for a machine with no desktop
// (a service, a job started by cron). Opens the port, sets the sign's clock, then polls the
// data file and sends each new version of its first line to slot 9, printing every status
// with a time stamp: progress on stdout, errors on stderr with the reason the line gives.
// A sign lost later is reconnected and the clock is set hourly (WatchPolicy); --exit-on-loss
// ends with 1 instead. SIGINT, SIGTERM or SIGHUP blanks the sign's current message and closes
// the port, after the transaction in progress (if any) has ended.

#include "autosync/ProtocolSignLink.h"
#include "autosync/StopSignal.h"
#include "autosync/Unitautosync.h"
#include "autosync/WatchPolicy.h"
#include "comm/Unitcomprotocol.h"
#include "tools/ledsign/Command.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace ledsign_tool {

namespace {

constexpr double kDefaultIntervalSeconds = 1.0;
constexpr double kMaxIntervalSeconds = 86400.0;

struct WatchArgs {
    std::string Port;
    unsigned Address = kSyncDefaultAddress;
    double Interval = kDefaultIntervalSeconds;
    std::string DataFile;
    bool ExitOnLoss = false;
};

// What a --config file gives; the command line's options take precedence over each of them.
struct WatchConfig {
    std::optional<std::string> Port;
    std::optional<unsigned> Address;
    std::optional<double> Interval;
    std::optional<std::string> DataFile;
};

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

// Strips blanks (and a CR left by a Windows editor) from both ends.
std::string TrimBlanks(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// Reads a --config file: "key = value" lines with the keys port, address, interval and
// data-file; blank lines and lines starting with '#' are ignored; a value runs to the end of
// its line (blanks inside it are kept, so file names may have spaces). kExitOk with `out`
// filled; kExitFailure when the file cannot be read; kExitUsage, naming the file and line, for
// anything else, so that a mistyped key fails the start instead of being ignored.
int ReadWatchConfig(const std::string& path, WatchConfig& out) {
    std::ifstream in(path);
    if (!in) {
        std::fprintf(stderr, "ledsign watch: cannot read the configuration %s\n", path.c_str());
        return kExitFailure;
    }
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        const std::string trimmed = TrimBlanks(line);
        if (trimmed.empty() || trimmed[0] == '#') {
            continue;
        }
        const auto equals = trimmed.find('=');
        const std::string key =
            equals == std::string::npos ? trimmed : TrimBlanks(trimmed.substr(0, equals));
        const std::string value =
            equals == std::string::npos ? std::string() : TrimBlanks(trimmed.substr(equals + 1));
        bool valid = equals != std::string::npos && !value.empty();
        if (valid && key == "port") {
            out.Port = value;
        } else if (valid && key == "data-file") {
            out.DataFile = value;
        } else if (valid && key == "address") {
            unsigned address = 0;
            valid = ParseAddress(value, address);
            out.Address = address;
        } else if (valid && key == "interval") {
            double seconds = 0;
            valid = ParseInterval(value, seconds);
            out.Interval = seconds;
        } else {
            valid = false;
        }
        if (!valid) {
            std::fprintf(stderr,
                         "ledsign watch: %s:%d: expected 'port', 'address', 'interval' or "
                         "'data-file' = a valid value, got '%s'\n",
                         path.c_str(), number, trimmed.c_str());
            return kExitUsage;
        }
    }
    if (in.bad()) {
        std::fprintf(stderr, "ledsign watch: cannot read the configuration %s\n", path.c_str());
        return kExitFailure;
    }
    return kExitOk;
}

void PrintUsage(std::FILE* out);

// kExitOk with `out` filled, kExitUsage after printing the problem (kExitFailure for a
// configuration that cannot be read); `help` set when --help was asked for (usage printed,
// nothing to run).
int ParseWatchArgs(const std::vector<std::string>& args, WatchArgs& out, bool& help) {
    help = false;
    std::vector<std::string> positional;
    std::optional<std::string> configPath;
    bool addressGiven = false;
    bool intervalGiven = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == "--help" || a == "-h") {
            help = true;
            PrintUsage(stdout);
            return kExitOk;
        } else if (a == "--port" && hasValue) {
            out.Port = args[++i];
        } else if (a == "--address" && hasValue) {
            if (!ParseAddress(args[i + 1], out.Address)) {
                std::fprintf(stderr, "ledsign watch: bad address '%s' (0..65535)\n",
                             args[i + 1].c_str());
                return kExitUsage;
            }
            addressGiven = true;
            ++i;
        } else if (a == "--config" && hasValue) {
            configPath = args[++i];
        } else if (a == "--interval" && hasValue) {
            if (!ParseInterval(args[i + 1], out.Interval)) {
                std::fprintf(stderr,
                             "ledsign watch: bad interval '%s' (seconds, above 0, at most "
                             "86400)\n",
                             args[i + 1].c_str());
                return kExitUsage;
            }
            intervalGiven = true;
            ++i;
        } else if (a == "--exit-on-loss") {
            out.ExitOnLoss = true;
        } else if (a.size() > 1 && a[0] == '-') {
            std::fprintf(stderr, "ledsign watch: unknown or incomplete option '%s'\n", a.c_str());
            return kExitUsage;
        } else {
            positional.push_back(a);
        }
    }
    WatchConfig config;
    if (configPath) {
        if (const int read = ReadWatchConfig(*configPath, config); read != kExitOk) {
            return read;
        }
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
    if (positional.empty() && config.DataFile) {
        positional.push_back(*config.DataFile);
    }
    if (out.Port.empty() && configPath) {
        std::fprintf(stderr, "ledsign watch: --port or 'port' in %s is required\n",
                     configPath->c_str());
        return kExitUsage;
    }
    if (out.Port.empty()) {
        std::fprintf(stderr, "ledsign watch: --port is required\n");
        return kExitUsage;
    }
    if (positional.size() != 1) {
        std::fprintf(stderr, "ledsign watch: exactly one DATAFILE is required\n");
        return kExitUsage;
    }
    out.DataFile = positional[0];
    return kExitOk;
}

bool IsSignLost(const std::string& text) {
    return text == kWatchStatusLost || text == kWatchStatusLostExit;
}

// Progress statuses go to stdout; the error statuses go to stderr, those of a failed link call
// (and the loss of the sign) followed by the line's reason in parentheses.
void PrintStatus(const std::string& text, const ComProtocol& protocol) {
    const std::string reason =
        IsSignLost(text) ? DescribeLineError(protocol.LastError(), LineErrorLanguage::English)
                         : LinkFailureReason(text, protocol, LineErrorLanguage::English);
    const bool error = text == kStatusReadError || text.rfind(kWatchStatusNotRegular, 0) == 0;
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
    bool help = false;
    if (const int parsed = ParseWatchArgs(args, options, help); parsed != kExitOk || help) {
        if (parsed != kExitOk) {
            PrintUsage(stderr);
        }
        return parsed;
    }
    // Installed before the port is opened, so that a stop during the start still ends with
    // the port closed rather than the process killed in the middle of a transaction.
    if (!InstallStopHandlers()) {
        std::fprintf(stderr, "ledsign watch: cannot install the stop handlers\n");
        return kExitFailure;
    }
    ComProtocol protocol;
    ProtocolSignLink link(protocol);
    SystemFileStatus files;
    SystemComClock clock;
    WatchTiming timing;
    timing.PollMs = static_cast<std::int64_t>(std::ceil(options.Interval * 1000.0));
    timing.ExitOnLoss = options.ExitOnLoss;
    WatchPolicy watch(
        link, files, clock, [&protocol](const std::string& text) { PrintStatus(text, protocol); },
        timing);
    watch.SetDataFileName(options.DataFile);
    if (watch.Start(options.Port, static_cast<std::uint16_t>(options.Address)) != 0) {
        return kExitFailure;
    }
    while (!WaitForStop(static_cast<double>(watch.MsUntilDue()) / 1000.0)) {
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
                           "[--exit-on-loss] DATAFILE";
const char* const kSummary =
    "follow DATAFILE, sending each new first line to slot 9; reconnects a lost sign";

void PrintUsage(std::FILE* out) {
    std::fprintf(out,
                 "Usage: ledsign watch %s\n"
                 "  %s.\n"
                 "  Opens the port and sets the sign's clock, then checks DATAFILE every\n"
                 "  --interval seconds (default 1, fractions allowed). The first line is\n"
                 "  '<type> <font> <text>': type 1 scrolling or 0 static, font 1..5.\n"
                 "  A DATAFILE that is no regular file (a FIFO, a device) is skipped, never\n"
                 "  opened. The sign's clock is set again every hour. When the line is lost\n"
                 "  or the sign stops answering, the port is closed and reopened after 2 s,\n"
                 "  4 s, 8 s ... at most every 30 s, with a clock set as the probe; once the\n"
                 "  sign answers, the data file is sent again even if it did not change.\n"
                 "  --exit-on-loss: exit 1 on such a loss instead, for a supervisor that\n"
                 "  restarts the command.\n"
                 "  --config FILE: 'key = value' lines (port, address, interval, data-file)\n"
                 "  supply what the command line leaves out, DATAFILE included; blank lines\n"
                 "  and lines starting with '#' are skipped, any other line is bad usage.\n"
                 "  Prints each change of state once, with a time stamp, errors on stderr.\n"
                 "  SIGINT, SIGTERM or SIGHUP blanks the sign's current message, closes the\n"
                 "  port and exits 0. Exit 1 when the port cannot be opened or the first clock\n"
                 "  set fails (and on a loss with --exit-on-loss); 2 on bad usage.\n",
                 kUsage, kSummary);
}

const CommandRegistration kWatch({"watch", kUsage, kSummary, RunWatch});

} // namespace

} // namespace ledsign_tool
