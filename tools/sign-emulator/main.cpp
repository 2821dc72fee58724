// ledsign-emulator: a software sign on a pseudo-terminal. Prints the path of the serial-like
// line on its first output line, then answers requests addressed to it as the sign would,
// optionally misbehaving in the ways tests need, and shows the current message as a strip of
// dots. Runs until SIGINT or SIGTERM.

#include "comm/FrameCodec.h"
#include "format/SignFormat.h"
#include "preview/Utf8Files.h"
#include "tools/ledsign/Cli.h"
#include "tools/sign-emulator/Display.h"
#include "tools/sign-emulator/NetListener.h"
#include "tools/sign-emulator/Pty.h"
#include "tools/sign-emulator/SignState.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <exception>
#include <memory>
#include <poll.h>
#include <string>
#include <unistd.h>

namespace {

using sign_emulator::SignClock;
using Steady = SignClock::Steady;

volatile std::sig_atomic_t g_stop = 0;

void OnSignal(int) {
    g_stop = 1;
}

struct Options {
    unsigned address = signformat::kDefaultSignAddress;
    bool refuse = false;
    bool silent = false;
    bool garble = false;
    bool split = false;
    bool noise = false;
    bool lineRate = false;
    bool quiet = false;
    bool logTimes = false;
    long delayMs = 0;
    std::string link;
    std::string log;
    std::string listen; // "tcp:PORT" or "rfc2217:PORT"
    std::string bind = "127.0.0.1";
};

constexpr const char* kFooter =
    "Faults: --refuse (reply code 0x81), --silent (no reply), --delay MS, --garble (wrong\n"
    "reply trailer), --split (reply in one-byte pieces), --noise (junk bytes before the reply).\n"
    "Slots 1-8 take commands 0x01-0x08, slot 9 command 0x15 (and is then shown); 0x11 sets\n"
    "the clock, 0x16-0x1E show slot 1-9. Unknown commands, messages that are not 1024 bytes\n"
    "and impossible dates are refused (reply 0x81).";

void DefineOptions(CLI::App& app, Options& o) {
    app.set_help_flag("-h,--help", "print this help and exit");
    app.get_formatter()->column_width(30);
    app.footer(kFooter);
    app.add_option("--address", o.address, "the sign's own address, 0..65535 (default 380)")
        ->transform(ledsign_tool::DecimalIn(0, 0xFFFF));
    app.add_option("--link", o.link,
                   "make PATH a symbolic link to the terminal while running; only a symbolic "
                   "link already there is replaced");
    app.add_option("--log", o.log, "write one line per request received");
    app.add_flag("--log-times", o.logTimes,
                 "start each log line with t=SECONDS, the monotonic clock (CLOCK_MONOTONIC) when "
                 "the request's first byte arrived");
    app.add_flag("--quiet", o.quiet, "do not draw the strip");
    app.add_flag("--line-rate", o.lineRate, "pace both directions at 9600 baud");
    app.add_option("--listen", o.listen,
                   "tcp:PORT or rfc2217:PORT: also serve the sign over TCP (raw, or Telnet with "
                   "RFC 2217), one client at a time; PORT 0 picks a free port. The port name to "
                   "use is printed on the second output line");
    app.add_option("--bind", o.bind, "address to listen on (default 127.0.0.1)");
    app.add_flag("--refuse", o.refuse, "answer every request with reply code 0x81");
    app.add_flag("--silent", o.silent, "answer nothing");
    app.add_option("--delay", o.delayMs, "answer after MS milliseconds, 0..600000")
        ->transform(ledsign_tool::DecimalIn(0, 600000));
    app.add_flag("--garble", o.garble, "send replies with a wrong trailer");
    app.add_flag("--split", o.split, "send replies in one-byte pieces");
    app.add_flag("--noise", o.noise, "send junk bytes before each reply");
}

// -1 parsed, else the exit status: 0 help or version shown, 2 bad usage.
int ParseOptions(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("ledsign-emulator %s\n", LEDSIGN_VERSION);
            return 0;
        }
    }
    try {
        CLI::App app("A software LED sign on a pseudo-terminal; prints the terminal's path first.",
                     "ledsign-emulator");
        DefineOptions(app, o);
        return ledsign_tool::ParseOrExit(app, argc, argv, "ledsign-emulator");
    } catch (const std::exception& e) { // out of memory: the definitions themselves are fixed
        std::fprintf(stderr, "ledsign-emulator: %s\n", e.what());
        return 1;
    }
}

// Sleeps until the absolute monotonic instant `t`; returns early only on a stop signal.
void SleepUntil(Steady::time_point t) {
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch());
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(ns.count() / 1000000000);
    ts.tv_nsec = static_cast<long>(ns.count() % 1000000000);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR && !g_stop) {
    }
}

// Time of one byte on a 9600 baud 8N1 line: 10 bits.
constexpr auto kByteTime = std::chrono::nanoseconds(1000000000LL * 10 / 9600);

// Models the line's pace. Each byte is due one byte time after the previous one, or after the
// moment it became available when the line was idle; deadlines are absolute, so an oversleep
// on one byte is made up on the next rather than accumulating.
class LinePacer {
public:
    // Bytes became available at `t` (after a read, or when a reply is ready to go).
    void Available(Steady::time_point t) {
        if (next_ < t) {
            next_ = t;
        }
    }
    // Waits until the next byte has crossed the line.
    void Byte() {
        next_ += kByteTime;
        SleepUntil(next_);
    }

private:
    Steady::time_point next_{};
};

// Writes all of `data` to the non-blocking master, waiting for room as needed.
void WriteAll(int fd, const std::uint8_t* data, std::size_t size) {
    while (size > 0 && !g_stop) {
        const ssize_t n = write(fd, data, size);
        if (n > 0) {
            data += n;
            size -= static_cast<std::size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            pollfd p{fd, POLLOUT, 0};
            poll(&p, 1, 10);
        } else {
            return;
        }
    }
}

class Emulator {
public:
    Emulator(const Options& o, int master, std::FILE* log, sign_emulator::Display* display)
        : options_(o), master_(master), log_(log), display_(display),
          decoder_(framecodec::FrameDecoder::ForRequests(static_cast<std::uint16_t>(o.address))) {}

    int Run() {
        std::uint8_t input[4096];
        while (!g_stop) {
            if (display_ != nullptr) {
                display_->Update(state_, Steady::now());
            }
            pollfd p{master_, POLLIN, 0};
            const int timeout = display_ != nullptr ? display_->PollInterval() : 200;
            const int ready = poll(&p, 1, timeout);
            if (ready <= 0 || (p.revents & POLLIN) == 0) {
                if (ready > 0 && (p.revents & (POLLHUP | POLLERR)) != 0) {
                    // No client holds the line; wait for the next one without spinning.
                    SleepUntil(Steady::now() + std::chrono::milliseconds(10));
                }
                continue;
            }
            const ssize_t n = read(master_, input, sizeof input);
            if (n <= 0) {
                SleepUntil(Steady::now() + std::chrono::milliseconds(10));
                continue;
            }
            const Steady::time_point readAt = Steady::now();
            if (options_.lineRate) {
                pacer_.Available(readAt);
            }
            for (ssize_t i = 0; i < n && !g_stop; ++i) {
                if (options_.lineRate) {
                    pacer_.Byte();
                }
                if (decoder_.Feed(input[i])) {
                    Handle();
                } else if (decoder_.State() == framecodec::kRxSourceHigh) { // a start byte
                    frameStart_ = options_.lineRate ? Steady::now() : readAt;
                }
            }
        }
        return 0;
    }

private:
    void Handle() {
        const std::uint8_t command = decoder_.Code();
        const auto payload = decoder_.Payload();
        const sign_emulator::Answer answer = state_.Apply(command, payload, Steady::now());
        Log(command, sign_emulator::SignState::SlotOfCommand(command), payload);
        if (options_.silent) {
            return;
        }
        if (options_.delayMs > 0) {
            SleepUntil(Steady::now() + std::chrono::milliseconds(options_.delayMs));
        }
        const std::uint8_t code = options_.refuse ? framecodec::kReplyRefused : answer.Code;
        std::size_t size = 0;
        if (options_.noise) {
            // Junk a line may carry before a reply: below the start byte, escape bytes, and a
            // dangling escape right before the start byte.
            static const std::uint8_t kJunk[] = {0x00, 0x41, 0xF0, 0x05, 0xEE,
                                                 0xFE, 0x13, 0x7C, 0xF0};
            std::memcpy(reply_, kJunk, sizeof kJunk);
            size = sizeof kJunk;
        }
        const std::uint16_t self = static_cast<std::uint16_t>(options_.address);
        if (options_.garble) {
            // A payload makes the client test the trailer, which is then wrong.
            static const std::uint8_t kPayload[] = {0x00};
            size += framecodec::EncodeReply(self, code, kPayload,
                                            std::span<std::uint8_t>(reply_ + size, 64),
                                            framecodec::Trailer::Wrong);
        } else {
            size +=
                framecodec::EncodeReply(self, code, {}, std::span<std::uint8_t>(reply_ + size, 64));
        }
        Send(size);
    }

    void Send(std::size_t size) {
        if (options_.lineRate) {
            pacer_.Available(Steady::now());
            for (std::size_t i = 0; i < size && !g_stop; ++i) {
                pacer_.Byte();
                WriteAll(master_, reply_ + i, 1);
            }
        } else if (options_.split) {
            for (std::size_t i = 0; i < size && !g_stop; ++i) {
                WriteAll(master_, reply_ + i, 1);
                SleepUntil(Steady::now() + std::chrono::milliseconds(3));
            }
        } else {
            WriteAll(master_, reply_, size);
        }
    }

    void Log(std::uint8_t command, int slot, std::span<const std::uint8_t> payload) {
        if (log_ == nullptr) {
            return;
        }
        if (options_.logTimes) {
            const auto ns =
                std::chrono::duration_cast<std::chrono::nanoseconds>(frameStart_.time_since_epoch())
                    .count();
            std::fprintf(log_, "t=%lld.%09lld ", static_cast<long long>(ns / 1000000000),
                         static_cast<long long>(ns % 1000000000));
        }
        std::fprintf(log_, "cmd=%02X slot=%d len=%zu data=", command, slot, payload.size());
        for (std::uint8_t b : payload) {
            std::fprintf(log_, "%02X", b);
        }
        std::fputc('\n', log_);
        std::fflush(log_);
    }

    const Options& options_;
    int master_;
    std::FILE* log_;
    sign_emulator::Display* display_;
    framecodec::FrameDecoder decoder_;
    sign_emulator::SignState state_;
    LinePacer pacer_;
    Steady::time_point frameStart_{}; // when the current frame's first byte arrived
    std::uint8_t reply_[128] = {};
};

} // namespace

int main(int argc, char** argv) {
    Options options;
    if (const int parsed = ParseOptions(argc, argv, options); parsed >= 0) {
        return parsed;
    }
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    sign_emulator::Pty pty;
    if (!pty.Open()) {
        std::fprintf(stderr, "ledsign-emulator: cannot create a pseudo-terminal: %s\n",
                     std::strerror(errno));
        return 1;
    }
    if (!options.link.empty()) {
        std::string occupant;
        switch (pty.Link(options.link, occupant)) {
        case sign_emulator::Pty::LinkResult::Linked:
            break;
        case sign_emulator::Pty::LinkResult::Occupied:
            // Most likely a mistyped path, such as a real serial device: bad usage.
            std::fprintf(stderr,
                         "ledsign-emulator: --link %s: it is %s, not a symbolic link; left "
                         "untouched\n",
                         options.link.c_str(), occupant.c_str());
            return 2;
        case sign_emulator::Pty::LinkResult::Failed:
            std::fprintf(stderr, "ledsign-emulator: cannot link %s: %s\n", options.link.c_str(),
                         std::strerror(errno));
            return 1;
        }
    }
    std::FILE* log = nullptr;
    if (!options.log.empty()) {
        log = OpenUtf8File(options.log.c_str(), "w");
        if (log == nullptr) {
            std::fprintf(stderr, "ledsign-emulator: cannot write %s: %s\n", options.log.c_str(),
                         std::strerror(errno));
            return 1;
        }
    }
    std::printf("%s\n", pty.SlavePath().c_str());
    sign_emulator::NetListener listener;
    if (!options.listen.empty()) {
        sign_emulator::NetMode mode{};
        int port = 0;
        std::string error;
        if (!sign_emulator::NetListener::ParseListen(options.listen, mode, port)) {
            std::fprintf(stderr, "ledsign-emulator: bad --listen '%s' (tcp:PORT or rfc2217:PORT)\n",
                         options.listen.c_str());
            return 2;
        }
        if (!listener.Start(mode, options.bind, port, pty.SlavePath(), error)) {
            std::fprintf(stderr, "ledsign-emulator: %s\n", error.c_str());
            return 1;
        }
        std::printf("%s\n", listener.Url().c_str());
    }
    std::fflush(stdout);

    std::unique_ptr<sign_emulator::Display> display;
    if (!options.quiet) {
        display = std::make_unique<sign_emulator::Display>(stdout, isatty(STDOUT_FILENO) != 0);
    }
    Emulator emulator(options, pty.Master(), log, display.get());
    const int result = emulator.Run();
    if (log != nullptr) {
        std::fclose(log);
    }
    return result;
}
