// End-to-end figures of `ledsign mqtt`: a private mosquitto on a free port of 127.0.0.1, 64
// software signs pacing their lines at 9600 baud, and the bridge serving all of them, driven
// over MQTT as a dashboard would drive it. Prints
//  (a) the time from a message/set's publication to the sign's first request byte (the
//      emulator's --log-times, on the same monotonic clock as this program), median and 99th
//      percentile over 200 commands; each sign gets its next command only once its result is
//      in, so no command waits behind another of its own sign: a few signs at once keep the
//      run short and keep the bridge's other workers busy meanwhile;
//  (b) one message to each of the 64 signs at once: the time until the last result, against
//      one sign's time for one message alone (publication to result); and the same two
//      without MQTT (`ledsign send --all` before the bridge starts), which shows what the
//      machine itself allows: 64 software signs pacing their lines share its processors;
//  (c) the bridge's peak resident memory with 64 signs (VmHWM of /proc/PID/status).
//
// Usage: mqtt [--commands N] [--parallel N] [--signs N] [--keep DIR] [--ledsign PATH]
//             [--broker-nagle]
// The scratch folder (configurations, the emulators' logs, the bridge's and the broker's
// output) is deleted at the end unless --keep names where to leave it. --ledsign runs another
// build's (or the installed) ledsign than the one built beside this program.
//
// The broker runs with set_tcp_nodelay true, as the README recommends: with mosquitto's default
// a command forwarded to the bridge right after the bridge's own publications waits behind
// Nagle's algorithm for the bridge's delayed acknowledgement, about 40 ms on Linux, which is
// more than all the rest of the way. --broker-nagle keeps the default, to show the difference.

#ifdef LEDSIGN_EMULATOR

#include "testsupport/ScratchFiles.h"
#include "testsupport/Subprocess.h"

#include <mosquitto.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <netinet/in.h>
#include <optional>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Ms = std::chrono::duration<double, std::milli>;

constexpr const char* kPrefix = "bench";

struct Options {
    int Commands = 200;
    int Parallel = 8;
    int Signs = 64;
    std::string Keep;
    std::string Ledsign = LEDSIGN_BIN;
    bool BrokerNagle = false;
};

bool ParseOptions(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--broker-nagle") {
            o.BrokerNagle = true;
            continue;
        }
        if (i + 1 >= argc) {
            return false;
        }
        const char* value = argv[++i];
        if (arg == "--keep") {
            o.Keep = value;
            continue;
        }
        if (arg == "--ledsign") {
            o.Ledsign = value;
            continue;
        }
        const int n = std::atoi(value);
        if (n <= 0) {
            return false;
        }
        if (arg == "--commands") {
            o.Commands = n;
        } else if (arg == "--parallel") {
            o.Parallel = n;
        } else if (arg == "--signs") {
            o.Signs = n;
        } else {
            return false;
        }
    }
    return o.Parallel <= o.Signs;
}

// A port of 127.0.0.1 that nobody listens on now (the kernel's choice); 0 when none.
int FreeLoopbackPort() {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return 0;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    int port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0) {
        port = ntohs(address.sin_port);
    }
    close(fd);
    return port;
}

bool Listening(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return ok;
}

// A child process whose output goes to a file; terminated and reaped by the destructor.
class Child {
public:
    Child(std::vector<std::string> args, const std::string& output) {
        const int fd = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        pid_ = tool_tests::detail::Spawn(std::move(args), fd, fd);
        close(fd);
    }
    ~Child() { Stop(); }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    pid_t Pid() const { return pid_; }
    // SIGTERM and the exit status (-1 when it did not exit by itself).
    int Stop() {
        if (pid_ <= 0) {
            return -1;
        }
        kill(pid_, SIGTERM);
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t pid_ = -1;
};

struct Result {
    std::string Sign;
    Clock::time_point At;
    bool Ok = false;
    double Ms = 0;    // how long the bridge says the sign took
    std::string Text; // the whole payload, for a failure's report
};

// The MQTT side: publishes commands, collects results and availabilities as they arrive.
class Dashboard {
public:
    Dashboard() : client_(mosquitto_new("ledsign-bench-dashboard", true, this)) {
        if (client_ != nullptr) {
            mosquitto_int_option(client_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
            // A publication right after this client's acknowledgement of a result must not wait
            // for the broker's delayed acknowledgement: that would be this program's delay.
            mosquitto_int_option(client_, MOSQ_OPT_TCP_NODELAY, 1);
            mosquitto_connect_callback_set(client_, OnConnect);
            mosquitto_message_callback_set(client_, OnMessage);
        }
    }
    ~Dashboard() {
        if (client_ != nullptr) {
            mosquitto_disconnect(client_);
            mosquitto_loop_stop(client_, true);
            mosquitto_destroy(client_);
        }
    }
    Dashboard(const Dashboard&) = delete;
    Dashboard& operator=(const Dashboard&) = delete;

    bool Connect(int port) {
        return client_ != nullptr &&
               mosquitto_connect(client_, "127.0.0.1", port, 30) == MOSQ_ERR_SUCCESS &&
               mosquitto_loop_start(client_) == MOSQ_ERR_SUCCESS;
    }

    // Publishes `payload` to PREFIX/SIGN/COMMAND/set with QoS 1; the moment just before.
    Clock::time_point Publish(const std::string& sign, const char* command,
                              const std::string& payload) {
        const std::string topic = std::string(kPrefix) + "/" + sign + "/" + command + "/set";
        const Clock::time_point at = Clock::now();
        mosquitto_publish(client_, nullptr, topic.c_str(), static_cast<int>(payload.size()),
                          payload.data(), 1, false);
        return at;
    }

    // The next result, or nullopt after `limit`.
    std::optional<Result> NextResult(Clock::duration limit) {
        std::unique_lock<std::mutex> lock(mutex_);
        if (!changed_.wait_for(lock, limit, [this] { return !results_.empty(); })) {
            return std::nullopt;
        }
        Result r = results_.front();
        results_.pop_front();
        return r;
    }

    // Waits until `count` signs are online; false after `limit`.
    bool WaitOnline(std::size_t count, Clock::duration limit) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, limit, [&] {
            return std::count_if(online_.begin(), online_.end(), [](const auto& entry) {
                       return entry.second;
                   }) == static_cast<std::ptrdiff_t>(count);
        });
    }

    // When the broker last delivered a command for `sign` back to this client.
    Clock::time_point Echo(const std::string& sign) {
        std::lock_guard<std::mutex> lock(mutex_);
        return echoes_[sign];
    }

private:
    static void OnConnect(mosquitto* client, void* /*self*/, int rc) {
        if (rc == 0) {
            const std::string results = std::string(kPrefix) + "/+/result";
            const std::string availability = std::string(kPrefix) + "/+/availability";
            mosquitto_subscribe(client, nullptr, results.c_str(), 1);
            mosquitto_subscribe(client, nullptr, availability.c_str(), 1);
            // Its own commands back, for the broker's share of the way to the sign.
            const std::string messages = std::string(kPrefix) + "/+/message/set";
            mosquitto_subscribe(client, nullptr, messages.c_str(), 1);
        }
    }
    static void OnMessage(mosquitto* /*client*/, void* self, const mosquitto_message* message) {
        static_cast<Dashboard*>(self)->Received(*message);
    }
    void Received(const mosquitto_message& message) {
        const Clock::time_point at = Clock::now();
        const std::string topic = message.topic;
        const std::string payload(static_cast<const char*>(message.payload),
                                  static_cast<std::size_t>(message.payloadlen));
        const std::size_t first = topic.find('/');
        const std::size_t second = topic.find('/', first + 1);
        const std::size_t last = topic.rfind('/');
        const std::string sign = topic.substr(first + 1, second - first - 1);
        const std::string leaf = topic.substr(last + 1);
        std::lock_guard<std::mutex> lock(mutex_);
        if (leaf == "set") {
            echoes_[sign] = at;
        } else if (leaf == "availability") {
            online_[sign] = payload == "online";
        } else if (leaf == "result") {
            const nlohmann::json json = nlohmann::json::parse(payload, nullptr, false);
            const bool ok = json.is_object() && json.value("ok", false);
            const double ms = json.is_object() ? json.value("ms", 0.0) : 0.0;
            results_.push_back(Result{sign, at, ok, ms, payload});
        }
        changed_.notify_all();
    }

    mosquitto* client_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Result> results_;
    std::map<std::string, bool> online_;
    std::map<std::string, Clock::time_point> echoes_;
};

// The software sign's log, read line by line as it grows.
class SignLog {
public:
    explicit SignLog(std::string path) : path_(std::move(path)) {}
    // Leaves what the log holds now unread.
    void SkipToEnd() { read_ = test_files::ReadLines(path_).size(); }
    // The first-byte time of the next message request (cmd=15) not read yet, or nullopt when
    // the log holds none. Other requests (clock sets that probe the line) are skipped.
    std::optional<Clock::time_point> NextMessageStart() {
        const std::vector<std::string> lines = test_files::ReadLines(path_);
        while (read_ < lines.size()) {
            const std::string& line = lines[read_++];
            long long seconds = 0;
            long long nanoseconds = 0;
            int consumed = 0;
            if (std::sscanf(line.c_str(), "t=%lld.%9lld %n", &seconds, &nanoseconds, &consumed) ==
                    2 &&
                line.compare(static_cast<std::size_t>(consumed), 7, "cmd=15 ") == 0) {
                return Clock::time_point(std::chrono::seconds(seconds) +
                                         std::chrono::nanoseconds(nanoseconds));
            }
        }
        return std::nullopt;
    }

private:
    std::string path_;
    std::size_t read_ = 0;
};

std::string SignName(int i) {
    return "s" + std::to_string(i);
}

double Percentile(std::vector<double> values, double p) {
    std::sort(values.begin(), values.end());
    const auto rank = static_cast<std::size_t>(p * static_cast<double>(values.size()) + 0.999999);
    return values[std::min(values.size(), std::max<std::size_t>(rank, 1)) - 1];
}

// VmHWM of /proc/PID/status in kB, or -1.
long PeakResidentKb(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::strtol(line.c_str() + 6, nullptr, 10);
        }
    }
    return -1;
}

int Fail(const std::string& why, const std::filesystem::path& dir) {
    std::fprintf(stderr, "mqtt: %s (the bridge's output: %s)\n", why.c_str(),
                 (dir / "bridge.log").c_str());
    return 1;
}

// (a): publication to first request byte, each sign with one command at a time.
int MeasureLatency(Dashboard& dashboard, std::vector<SignLog>& logs, const Options& o,
                   const std::filesystem::path& dir) {
    std::map<std::string, std::pair<int, Clock::time_point>> pending; // sign: index, published
    std::vector<double> latencies;
    std::vector<double> brokerShares;
    int published = 0;
    auto publishNext = [&](int signIndex) {
        const std::string text = "Promocja " + std::to_string(published);
        pending[SignName(signIndex)] = {signIndex,
                                        dashboard.Publish(SignName(signIndex), "message", text)};
        ++published;
    };
    for (int i = 0; i < o.Parallel && published < o.Commands; ++i) {
        publishNext(i);
    }
    while (!pending.empty()) {
        const std::optional<Result> result = dashboard.NextResult(std::chrono::seconds(30));
        if (!result) {
            return Fail("no result within 30 s", dir);
        }
        const auto it = pending.find(result->Sign);
        if (!result->Ok || it == pending.end()) {
            return Fail("unexpected result on " + result->Sign + ": " + result->Text, dir);
        }
        const auto [signIndex, at] = it->second;
        pending.erase(it);
        const std::optional<Clock::time_point> start =
            logs[static_cast<std::size_t>(signIndex)].NextMessageStart();
        if (!start) {
            return Fail(result->Sign + " reported success but logged no message", dir);
        }
        latencies.push_back(Ms(*start - at).count());
        brokerShares.push_back(Ms(dashboard.Echo(result->Sign) - at).count());
        if (published < o.Commands) {
            publishNext(signIndex);
        }
    }
    std::printf("(a) publish to first byte, %d message/set over %d signs, one at a time each:\n"
                "    median %.1f ms, 99th percentile %.1f ms, max %.1f ms (target: median < 20 "
                "ms)\n",
                o.Commands, o.Parallel, Percentile(latencies, 0.5), Percentile(latencies, 0.99),
                Percentile(latencies, 1.0));
    std::printf("    of which the broker's share (publish to delivery to a subscriber): median "
                "%.1f ms, 99th percentile %.1f ms\n",
                Percentile(brokerShares, 0.5), Percentile(brokerShares, 0.99));
    return 0;
}

// `ledsign send` of one text to `signs` (--all or one --sign) in milliseconds, or -1.
double SendWithoutBridge(const Options& o, const std::filesystem::path& dir,
                         std::vector<std::string> signs) {
    std::vector<std::string> args = {
        o.Ledsign, "send", "--signs-file", (dir / "signs.conf").string(), "--text", "Bez MQTT"};
    args.insert(args.end(), signs.begin(), signs.end());
    const tool_tests::RunResult r = tool_tests::RunToCompletion(args);
    if (r.ExitCode != 0) {
        std::fprintf(stderr, "mqtt: ledsign send ended with status %d:\n%s%s", r.ExitCode,
                     r.Out.c_str(), r.Err.c_str());
        return -1;
    }
    return r.Seconds * 1000;
}

// (b): one message alone, then one to every sign at once.
int MeasureFanOut(Dashboard& dashboard, const Options& o, const std::filesystem::path& dir,
                  double aloneWithout, double allWithout) {
    std::vector<double> alone;
    for (int i = 0; i < 3; ++i) {
        const Clock::time_point at =
            dashboard.Publish(SignName(0), "message", "Sam " + std::to_string(i));
        const std::optional<Result> result = dashboard.NextResult(std::chrono::seconds(30));
        if (!result || !result->Ok) {
            return Fail("no good result for one message alone", dir);
        }
        alone.push_back(Ms(result->At - at).count());
    }
    const double lineMs = Percentile(alone, 0.5);
    const Clock::time_point first = Clock::now();
    for (int i = 0; i < o.Signs; ++i) {
        dashboard.Publish(SignName(i), "message", "Wszystkie " + std::to_string(i));
    }
    Clock::time_point last = first;
    double slowestSign = 0;
    for (int i = 0; i < o.Signs; ++i) {
        const std::optional<Result> result = dashboard.NextResult(std::chrono::seconds(60));
        if (!result || !result->Ok) {
            return Fail("missing or failed result of the fan-out", dir);
        }
        last = std::max(last, result->At);
        slowestSign = std::max(slowestSign, result->Ms);
    }
    const double totalMs = Ms(last - first).count();
    std::printf("(b) one message to each of %d signs: %.0f ms; one sign alone: %.0f ms;\n"
                "    ratio %.2f (target: at most 1.2); the slowest sign's transaction as the "
                "bridge timed it: %.0f ms\n",
                o.Signs, totalMs, lineMs, totalMs / lineMs, slowestSign);
    std::printf("    without MQTT (ledsign send --all): %.0f ms; one sign alone: %.0f ms; ratio "
                "%.2f\n",
                allWithout, aloneWithout, allWithout / aloneWithout);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    Options o;
    if (!ParseOptions(argc, argv, o)) {
        std::fprintf(stderr, "usage: mqtt [--commands N] [--parallel N] [--signs N] [--keep DIR] "
                             "[--ledsign PATH] [--broker-nagle]\n");
        return 2;
    }
    if (access(LEDSIGN_MOSQUITTO_BROKER, X_OK) != 0) {
        std::fprintf(stderr, "mqtt: no broker at %s: install mosquitto\n",
                     LEDSIGN_MOSQUITTO_BROKER);
        return 1;
    }
    std::signal(SIGPIPE, SIG_IGN);
    std::setvbuf(stdout, nullptr, _IOLBF, 0); // each figure as soon as it is known
    mosquitto_lib_init();
    const test_files::ScratchDir scratch("ledsign-bench-mqtt-");
    const std::filesystem::path dir =
        o.Keep.empty() ? scratch.Path() : std::filesystem::path(o.Keep);
    std::filesystem::create_directories(dir);

    const int port = FreeLoopbackPort();
    test_files::WriteText((dir / "mosquitto.conf").string(),
                          "listener " + std::to_string(port) +
                              " 127.0.0.1\nallow_anonymous true\npersistence false\n" +
                              (o.BrokerNagle ? "" : "set_tcp_nodelay true\n"));
    Child broker({LEDSIGN_MOSQUITTO_BROKER, "-c", (dir / "mosquitto.conf").string()},
                 (dir / "mosquitto.log").string());

    std::vector<std::unique_ptr<tool_tests::Subprocess>> signs;
    std::vector<SignLog> logs;
    std::string signsFile;
    for (int i = 0; i < o.Signs; ++i) {
        const std::string log = (dir / (SignName(i) + ".log")).string();
        signs.push_back(std::make_unique<tool_tests::Subprocess>(std::vector<std::string>{
            LEDSIGN_EMULATOR, "--quiet", "--line-rate", "--log-times", "--log", log}));
        const std::string pty = signs.back()->ReadLine();
        if (pty.empty()) {
            std::fprintf(stderr, "mqtt: software sign %d did not start\n", i);
            return 1;
        }
        logs.emplace_back(log);
        signsFile += "[" + SignName(i) + "]\nport = " + pty + "\n";
    }
    test_files::WriteText((dir / "signs.conf").string(), signsFile);
    // The hourly clock set only: a probe in the middle of a measurement would be measured too.
    test_files::WriteText((dir / "mqtt.conf").string(),
                          "broker = mqtt://127.0.0.1:" + std::to_string(port) +
                              "\nclient-id = ledsign-bench\ntopic-prefix = " + kPrefix +
                              "\nprobe-interval = 86400\n");
    for (int i = 0; i < 100 && !Listening(port); ++i) {
        usleep(50000);
    }
    if (!Listening(port)) {
        return Fail("the broker does not listen on 127.0.0.1:" + std::to_string(port), dir);
    }

    // The ports are the bridge's once it runs: the baseline goes first.
    const double aloneWithout = SendWithoutBridge(o, dir, {"--sign", SignName(0)});
    const double allWithout = SendWithoutBridge(o, dir, {"--all"});
    if (aloneWithout <= 0 || allWithout <= 0) {
        return Fail("ledsign send to the software signs failed", dir);
    }
    for (SignLog& log : logs) {
        log.SkipToEnd();
    }

    Dashboard dashboard;
    if (!dashboard.Connect(port)) {
        return Fail("cannot connect to the broker", dir);
    }
    Child bridge({o.Ledsign, "mqtt", "--config", (dir / "mqtt.conf").string(), "--signs-file",
                  (dir / "signs.conf").string()},
                 (dir / "bridge.log").string());
    if (!dashboard.WaitOnline(static_cast<std::size_t>(o.Signs), std::chrono::seconds(60))) {
        return Fail("not every sign came online within 60 s", dir);
    }
    std::printf("%d software signs at 9600 baud, one bridge, mosquitto on 127.0.0.1:%d (%s)\n",
                o.Signs, port,
                o.BrokerNagle ? "its default: Nagle's algorithm on" : "set_tcp_nodelay true");
    if (MeasureLatency(dashboard, logs, o, dir) != 0 ||
        MeasureFanOut(dashboard, o, dir, aloneWithout, allWithout) != 0) {
        return 1;
    }
    const long peakKb = PeakResidentKb(bridge.Pid());
    std::printf("(c) the bridge's peak resident memory with %d signs: %.1f MB (target: < 30 MB)\n",
                o.Signs, static_cast<double>(peakKb) / 1024.0);
    const int status = bridge.Stop();
    if (status != 0) {
        return Fail("the bridge ended with status " + std::to_string(status) + " on SIGTERM", dir);
    }
    return 0;
}

#else

#include <cstdio>

int main() {
    std::puts("mqtt: no software sign on this platform");
    return 0;
}

#endif
