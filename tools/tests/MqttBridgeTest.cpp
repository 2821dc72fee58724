// `ledsign mqtt` against a real broker (Debian's mosquitto, started by the test with its own
// configuration on free ports of 127.0.0.1), the software signs on pseudo-terminals and the
// bridge as a child process; the test talks MQTT 5 through libmosquitto and, for the flow the
// documentation shows, mosquitto_pub. The signs' request logs are what the signs received.
//
// Wall-clock tests (suite MqttBridgeRealTime, label "realtime"): brokers, signs and the bridge
// are real processes. Each wait is bounded far above what an idle machine needs.

#if defined(LEDSIGN_EMULATOR) && defined(LEDSIGN_MOSQUITTO_BROKER)

#include "testsupport/SoftwareSign.h"
#include "testsupport/Subprocess.h"
#include "tools/ledsign/MqttDiscovery.h"

#include <gtest/gtest.h>
#include <mosquitto.h>
#include <mqtt_protocol.h>
#include <nlohmann/json.hpp>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

using nlohmann::json;
using test_files::ReadLines;
using test_files::WriteText;
using tool_tests::RunResult;
using tool_tests::RunToCompletion;
using tool_tests::Sign;
using tool_tests::Subprocess;

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

template <class Done> bool WaitUntil(Done done, std::chrono::milliseconds limit = 15s) {
    const auto deadline = Clock::now() + limit;
    while (Clock::now() < deadline) {
        if (done()) {
            return true;
        }
        std::this_thread::sleep_for(20ms);
    }
    return done();
}

int FreePort() {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof a;
    const bool bound = ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
                       ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &length) == 0;
    ::close(s);
    EXPECT_TRUE(bound) << "no free loopback port: " << std::strerror(errno);
    return bound ? ntohs(a.sin_port) : 0;
}

bool Accepts(int port) {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    const bool ok = ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(s);
    return ok;
}

bool Shell(const std::string& command) {
    const RunResult r = RunToCompletion({"/bin/sh", "-c", command});
    EXPECT_EQ(r.ExitCode, 0) << command << "\n" << r.Err;
    return r.ExitCode == 0;
}

// mosquitto with a plain listener and, when asked, a TLS listener with a CA and a server
// certificate made here and a password file. Restart() brings it back on the same ports.
class Broker {
public:
    Broker(const test_files::ScratchDir& dir, bool tls) : dir_(dir), port_(FreePort()) {
        const passwd* user = ::getpwuid(::geteuid());
        std::string conf = "per_listener_settings true\npersistence false\nuser " +
                           std::string(user != nullptr ? user->pw_name : "root") +
                           "\nlog_dest file " + dir / "broker.log" + "\nlog_type all\nlistener " +
                           std::to_string(port_) + " 127.0.0.1\nallow_anonymous true\n";
        if (tls) {
            tlsPort_ = FreePort();
            const std::string d = dir.Path().string();
            const std::string key = "-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes";
            Shell("cd '" + d + "' && openssl req -x509 " + key +
                  " -keyout ca.key -out ca.pem -days 2 -subj /CN=ledsign-test-ca 2>/dev/null && "
                  "openssl req " +
                  key +
                  " -keyout server.key -out server.csr -subj /CN=localhost 2>/dev/null && "
                  "printf 'subjectAltName=DNS:localhost,IP:127.0.0.1\\n' > san && "
                  "openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial "
                  "-out server.pem -days 2 -extfile san 2>/dev/null && "
                  "mosquitto_passwd -c -b passwd bridge 'z-right' 2>/dev/null");
            conf += "listener " + std::to_string(tlsPort_) + " 127.0.0.1\ncafile " + d +
                    "/ca.pem\ncertfile " + d + "/server.pem\nkeyfile " + d +
                    "/server.key\nallow_anonymous false\npassword_file " + d + "/passwd\n";
        }
        WriteText(dir / "mosquitto.conf", conf);
        Start();
    }

    int Port() const { return port_; }
    int TlsPort() const { return tlsPort_; }
    bool Running() const { return process_ != nullptr; }
    void Kill() { process_.reset(); }
    bool Start() {
        process_ = std::make_unique<Subprocess>(
            std::vector<std::string>{LEDSIGN_MOSQUITTO_BROKER, "-c", dir_ / "mosquitto.conf"});
        return WaitUntil([this] { return Accepts(port_); });
    }
    std::vector<std::string> Log() const { return ReadLines(dir_ / "broker.log"); }

private:
    const test_files::ScratchDir& dir_;
    int port_;
    int tlsPort_ = 0;
    std::unique_ptr<Subprocess> process_;
};

struct Received {
    std::string Topic;
    std::string Payload;
    bool Retain = false;
    std::string Correlation;
};

// The test's own MQTT 5 client: publishes, and collects what arrives under its filters.
class Client {
public:
    explicit Client(int port, const std::vector<std::string>& filters = {"ledsign/#", "reply/#"}) {
        client_ = mosquitto_new(nullptr, true, this);
        mosquitto_int_option(client_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5);
        mosquitto_message_v5_callback_set(client_, OnMessage);
        connected_ = mosquitto_connect_bind_v5(client_, "127.0.0.1", port, 30, nullptr, nullptr) ==
                     MOSQ_ERR_SUCCESS;
        for (const std::string& f : filters) {
            mosquitto_subscribe(client_, nullptr, f.c_str(), 1);
        }
        mosquitto_loop_start(client_);
    }
    ~Client() {
        mosquitto_disconnect(client_);
        mosquitto_loop_stop(client_, false);
        mosquitto_destroy(client_);
    }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    bool Connected() const { return connected_; }

    void Publish(const std::string& topic, const std::string& payload, bool retain = false,
                 const std::string& responseTopic = "", const std::string& correlation = "") {
        mosquitto_property* props = nullptr;
        if (!responseTopic.empty()) {
            mosquitto_property_add_string(&props, MQTT_PROP_RESPONSE_TOPIC, responseTopic.c_str());
            mosquitto_property_add_binary(&props, MQTT_PROP_CORRELATION_DATA, correlation.data(),
                                          static_cast<std::uint16_t>(correlation.size()));
        }
        EXPECT_EQ(mosquitto_publish_v5(client_, nullptr, topic.c_str(),
                                       static_cast<int>(payload.size()), payload.data(), 1, retain,
                                       props),
                  MOSQ_ERR_SUCCESS);
        mosquitto_property_free_all(&props);
    }

    std::vector<Received> On(const std::string& topic) {
        const std::lock_guard lock(mutex_);
        std::vector<Received> found;
        for (const Received& r : received_) {
            if (r.Topic == topic) {
                found.push_back(r);
            }
        }
        return found;
    }
    // Waits for the `count`-th message on `topic` and returns it.
    std::optional<Received> Wait(const std::string& topic, std::size_t count = 1) {
        std::optional<Received> got;
        WaitUntil([&] {
            const std::vector<Received> on = On(topic);
            if (on.size() >= count) {
                got = on[count - 1];
            }
            return got.has_value();
        });
        return got;
    }
    // Waits for a message on `topic` whose payload is `payload`.
    bool WaitFor(const std::string& topic, const std::string& payload) {
        return WaitUntil([&] {
            for (const Received& r : On(topic)) {
                if (r.Payload == payload) {
                    return true;
                }
            }
            return false;
        });
    }
    // The last JSON result on `topic` once `count` have come.
    json Result(const std::string& topic, std::size_t count) {
        const auto r = Wait(topic, count);
        return r ? json::parse(r->Payload, nullptr, false) : json();
    }

private:
    static void OnMessage(mosquitto*, void* self, const mosquitto_message* m,
                          const mosquitto_property* props) {
        Received r{m->topic,
                   std::string(static_cast<const char*>(m->payload),
                               static_cast<std::size_t>(m->payloadlen)),
                   m->retain,
                   {}};
        void* data = nullptr;
        std::uint16_t length = 0;
        if (mosquitto_property_read_binary(props, MQTT_PROP_CORRELATION_DATA, &data, &length,
                                           false) != nullptr) {
            r.Correlation.assign(static_cast<const char*>(data), length);
            std::free(data); // NOLINT: the library's allocation
        }
        auto* client = static_cast<Client*>(self);
        const std::lock_guard lock(client->mutex_);
        client->received_.push_back(std::move(r));
    }

    mosquitto* client_ = nullptr;
    bool connected_ = false;
    std::mutex mutex_;
    std::vector<Received> received_;
};

// The bridge as a process, its log in a file.
class Bridge {
public:
    Bridge(const test_files::ScratchDir& dir, const std::string& name = "bridge")
        : log_(dir / (name + ".log")),
          process_({"/bin/sh", "-c",
                    std::string("exec \"$0\" mqtt --verbose --config \"$1\" ") +
                        "--signs-file \"$2\" 2>>\"$3\"",
                    LEDSIGN_BIN, dir / (name + ".conf"), dir / "signs.conf", log_}) {}
    std::vector<std::string> Log() const { return ReadLines(log_); }
    std::string LogText() const {
        std::string text;
        for (const std::string& l : Log()) {
            text += l + "\n";
        }
        return text;
    }
    int Stop() { return process_.Terminate(); }
    Subprocess& Process() { return process_; }

private:
    std::string log_;
    Subprocess process_;
};

class MqttBridgeRealTime : public ::testing::Test {
protected:
    // Signs "kasa", "s2", ... on links in the scratch folder, named in signs.conf.
    void StartSigns(std::size_t count, const std::vector<std::string>& options = {}) {
        std::string file;
        for (std::size_t i = 0; i < count; ++i) {
            const std::string name = i == 0 ? "kasa" : "s" + std::to_string(i + 1);
            std::vector<std::string> o = options;
            o.insert(o.end(), {"--link", dir_ / name});
            signs_.push_back(std::make_unique<Sign>(dir_.Path(), o, name));
            ASSERT_FALSE(signs_.back()->Port().empty());
            file += "[" + name + "]\nport = " + (dir_ / name) + "\n";
        }
        WriteText(dir_ / "signs.conf", file);
    }
    void WriteConfig(const std::string& extra, const std::string& name = "bridge") {
        WriteText(dir_ / (name + ".conf"),
                  "broker = mqtt://127.0.0.1:" + std::to_string(broker_->Port()) +
                      "\nclient-id = test-bridge\n" + extra);
    }
    // Starts the bridge and waits until kasa is online through it.
    std::unique_ptr<Bridge> StartBridge(Client& client, std::size_t onlineCount = 1) {
        auto bridge = std::make_unique<Bridge>(dir_);
        EXPECT_TRUE(client.Wait("ledsign/kasa/availability", onlineCount)) << bridge->LogText();
        EXPECT_TRUE(client.WaitFor("ledsign/kasa/availability", "online")) << bridge->LogText();
        return bridge;
    }
    Sign& Kasa() { return *signs_.front(); }

    // What `ledsign ARGS --port REF` puts on the line: the reference sign's last request.
    std::string Reference(std::vector<std::string> args) {
        if (!reference_) {
            reference_ = std::make_unique<Sign>(dir_.Path(), std::vector<std::string>{}, "ref");
        }
        args.insert(args.begin(), LEDSIGN_BIN);
        args.insert(args.end(), {"--port", reference_->Port()});
        const RunResult r = RunToCompletion(args);
        EXPECT_EQ(r.ExitCode, 0) << r.Err;
        const std::vector<std::string> log = reference_->Log();
        return log.empty() ? "" : log.back();
    }

    test_files::ScratchDir dir_{"ledsign-mqtt-"};
    std::unique_ptr<Broker> broker_;
    std::vector<std::unique_ptr<Sign>> signs_;
    std::unique_ptr<Sign> reference_;
};

// Every command reaches the sign as `ledsign send`, `send-set`... would send it, byte for byte;
// the documentation's mosquitto_pub flow included; an MQTT 5 request gets its response.
TEST_F(MqttBridgeRealTime, CommandsReachTheSignByteForByte) {
    broker_ = std::make_unique<Broker>(dir_, false);
    StartSigns(1);
    WriteConfig("");
    Client client(broker_->Port());
    auto bridge = StartBridge(client);
    ASSERT_TRUE(Kasa().WaitForLines(1)); // the clock set of the start
    const std::string port = std::to_string(broker_->Port());

    const struct {
        std::string Payload;
        std::vector<std::string> Send; // the same message through `ledsign send`
    } messages[] = {
        {"", {"send", "--text", "Promocja"}}, // through mosquitto_pub below
        {"Godz. {time} {font=2}Zażółć", {"send", "--text", "Godz. {time} {font=2}Zażółć"}},
        {R"({"text": "Kasa 2", "font": 1, "static": true, "slot": 3})",
         {"send", "--text", "Kasa 2", "--font", "1", "--static", "--slot", "3"}},
    };
    std::size_t results = 0;
    for (const auto& m : messages) {
        if (m.Payload.empty()) {
            ASSERT_EQ(RunToCompletion({"/usr/bin/mosquitto_pub", "-p", port, "-t",
                                       "ledsign/kasa/message/set", "-m", "Promocja"})
                          .ExitCode,
                      0);
        } else {
            client.Publish("ledsign/kasa/message/set", m.Payload);
        }
        const json result = client.Result("ledsign/kasa/result", ++results);
        EXPECT_EQ(result["ok"], true) << result;
        EXPECT_EQ(result["command"], "message");
        EXPECT_EQ(Kasa().Log().back(), Reference(m.Send)) << m.Payload;
    }
    client.Publish("ledsign/kasa/set/set",
                   R"(["Jeden", "", {"text": "Trzy", "font": 5, "static": true}, "4", "5",
                       "6", "7", "Osiem {date}"])");
    EXPECT_EQ(client.Result("ledsign/kasa/result", ++results)["ok"], true);
    const std::vector<std::string> log = Kasa().Log();
    ASSERT_GE(log.size(), 8u);
    const std::vector<std::vector<std::string>> set = {
        {"--text", "Jeden"},
        {"--text", ""},
        {"--text", "Trzy", "--font", "5", "--static"},
        {"--text", "4"},
        {"--text", "5"},
        {"--text", "6"},
        {"--text", "7"},
        {"--text", "Osiem {date}"}};
    for (std::size_t i = 0; i < set.size(); ++i) {
        std::vector<std::string> args = {"send", "--slot", std::to_string(i + 1)};
        args.insert(args.end(), set[i].begin(), set[i].end());
        EXPECT_EQ(log[log.size() - 8 + i], Reference(args)) << "slot " << i + 1;
    }

    // show, and the response topic with the correlation data of an MQTT 5 request
    client.Publish("ledsign/kasa/show/set", "4", false, "reply/me", "id-17");
    const auto reply = client.Wait("reply/me");
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->Correlation, "id-17");
    EXPECT_EQ(json::parse(reply->Payload)["command"], "show");
    EXPECT_EQ(Kasa().Log().back(), Reference({"show", "4"}));
    client.Publish("ledsign/kasa/clock/set", "now");
    EXPECT_EQ(client.Result("ledsign/kasa/result", results + 2)["command"], "clock");
    EXPECT_EQ(Kasa().Log().back().rfind("cmd=11 slot=0 len=6 ", 0), 0u);

    // The state names the last text delivered; a clean stop leaves the sign as it is.
    const std::size_t requests = Kasa().Log().size();
    const int status = bridge->Stop();
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_TRUE(client.WaitFor("ledsign/kasa/availability", "offline"));
    // The bridge's own availability is its last word.
    EXPECT_TRUE(client.WaitFor("ledsign/bridge/test-bridge/availability", "offline"));
    const json last = json::parse(client.On("ledsign/kasa/state").back().Payload);
    EXPECT_EQ(last["line"], "offline");
    // A set changes the state's text only where it overwrites the slot of the last message.
    EXPECT_EQ(last["slot"], 3);
    EXPECT_EQ(last["text"], "Trzy");
    EXPECT_EQ(Kasa().Log().size(), requests);
}

// Each bad input gets its error result of kind bad-input, and nothing reaches the sign.
TEST_F(MqttBridgeRealTime, BadInputIsAnsweredAndNothingIsSent) {
    broker_ = std::make_unique<Broker>(dir_, false);
    StartSigns(1);
    WriteConfig("");
    Client client(broker_->Port());
    auto bridge = StartBridge(client);
    ASSERT_TRUE(Kasa().WaitForLines(1));
    const struct {
        const char* Topic;
        std::string Payload;
        const char* Reason;
    } cases[] = {
        {"ledsign/kasa/message/set", "\xc3\x28", "UTF-8"},
        {"ledsign/kasa/message/set", std::string(501, 'x'), "cells"},
        {"ledsign/kasa/message/set", "{\"text\": ", "bad JSON"},
        {"ledsign/kasa/message/set", R"({"text": "a", "colour": 1})", "unknown key"},
        {"ledsign/kasa/message/set", R"({"text": "a", "slot": 0})", "slot"},
        {"ledsign/kasa/message/set", R"({"text": "a", "slot": 10})", "slot"},
        {"ledsign/kasa/message/set", R"({"text": "a", "font": 0})", "font"},
        {"ledsign/kasa/message/set", R"({"text": "a", "font": 6})", "font"},
        {"ledsign/kasa/message/set", std::string(64 * 1024 + 1, 'a'), "65536"},
        {"ledsign/kasa/set/set", R"(["1","2","3","4","5","6","7"])", "exactly 8"},
        {"ledsign/kasa/show/set", "0", "1..9"},
        {"ledsign/kasa/show/set", "10", "1..9"},
        {"ledsign/kasa/show/set", "x", "1..9"},
        {"ledsign/nie/show/set", "3", "no sign 'nie'"},
    };
    std::size_t kasaResults = 0;
    for (const auto& c : cases) {
        client.Publish(c.Topic, c.Payload);
        const bool unknown = std::string(c.Topic).rfind("ledsign/nie/", 0) == 0;
        const json result = client.Result(unknown ? "ledsign/nie/result" : "ledsign/kasa/result",
                                          unknown ? 1 : ++kasaResults);
        EXPECT_EQ(result["ok"], false) << c.Payload.substr(0, 40);
        EXPECT_EQ(result["error"], "bad-input") << c.Payload.substr(0, 40);
        EXPECT_NE(result["message"].get<std::string>().find(c.Reason), std::string::npos) << result;
    }
    // The bridge goes on: a good command after them all is carried out.
    client.Publish("ledsign/kasa/show/set", "2");
    EXPECT_EQ(client.Result("ledsign/kasa/result", ++kasaResults)["ok"], true);
    const std::vector<std::string> log = Kasa().Log();
    ASSERT_EQ(log.size(), 2u); // the start's clock set and the show
    EXPECT_EQ(log[1].rfind("cmd=17 ", 0), 0u) << log[1];
}

// A sign lost and back: offline, online again and the last text sent again; a retained
// message is the wanted state at start.
TEST_F(MqttBridgeRealTime, LostSignComesBackWithItsText) {
    broker_ = std::make_unique<Broker>(dir_, false);
    StartSigns(1);
    WriteConfig("probe-interval = 1\n");
    Client client(broker_->Port());
    client.Publish("ledsign/kasa/message/set", "Wanted", true);
    auto bridge = StartBridge(client);
    const std::string wanted = Reference({"send", "--text", "Wanted"});
    ASSERT_TRUE(Kasa().WaitForLines(2));
    EXPECT_EQ(Kasa().Log()[1], wanted);
    signs_.front()->Process().Terminate(); // the line hangs up
    ASSERT_TRUE(client.WaitFor("ledsign/kasa/availability", "offline")) << bridge->LogText();
    const json state = json::parse(client.On("ledsign/kasa/state").back().Payload);
    EXPECT_EQ(state["line"], "offline");
    EXPECT_FALSE(state["error"].is_null());
    const std::size_t onlines = client.On("ledsign/kasa/availability").size();
    Sign back(dir_.Path(), {"--link", dir_ / "kasa"}, "kasa-back");
    ASSERT_TRUE(client.Wait("ledsign/kasa/availability", onlines + 1)) << bridge->LogText();
    EXPECT_EQ(client.On("ledsign/kasa/availability").back().Payload, "online");
    ASSERT_TRUE(back.WaitForLines(2)) << bridge->LogText();
    EXPECT_EQ(back.Log()[0].rfind("cmd=11 ", 0), 0u);
    EXPECT_EQ(back.Log()[1], wanted);
}

// The broker killed and started again on the same port: the bridge reconnects by itself,
// subscribes again (the new broker has no session), publishes its state again and carries out
// the next command.
TEST_F(MqttBridgeRealTime, BrokerRestartIsSurvived) {
    broker_ = std::make_unique<Broker>(dir_, false);
    StartSigns(1);
    WriteConfig("");
    {
        Client client(broker_->Port());
        auto bridge = StartBridge(client);
        broker_->Kill();
        ASSERT_TRUE(broker_->Start());
        Client after(broker_->Port());
        ASSERT_TRUE(after.WaitFor("ledsign/bridge/test-bridge/availability", "online"))
            << bridge->LogText();
        ASSERT_TRUE(after.WaitFor("ledsign/kasa/availability", "online"));
        EXPECT_TRUE(after.Wait("ledsign/kasa/state"));
        after.Publish("ledsign/kasa/message/set", "Po restarcie");
        EXPECT_EQ(after.Result("ledsign/kasa/result", 1)["ok"], true) << bridge->LogText();
        EXPECT_EQ(Kasa().Log().back(), Reference({"send", "--text", "Po restarcie"}));
        EXPECT_NE(bridge->LogText().find("lost the broker"), std::string::npos);
    }
}

// The bridge stopped, a QoS 1 command published meanwhile, the bridge started again: the
// persistent session delivers it.
TEST_F(MqttBridgeRealTime, CommandsPublishedWhileStoppedAreCarriedOut) {
    broker_ = std::make_unique<Broker>(dir_, false);
    StartSigns(1);
    WriteConfig("");
    Client client(broker_->Port());
    auto bridge = StartBridge(client);
    ASSERT_EQ(bridge->Stop(), 0);
    ASSERT_TRUE(client.WaitFor("ledsign/kasa/availability", "offline"));
    client.Publish("ledsign/kasa/message/set", "Z kolejki");
    std::this_thread::sleep_for(200ms); // on the broker before the bridge comes back
    bridge = StartBridge(client, 3);
    ASSERT_TRUE(client.Wait("ledsign/kasa/result")) << bridge->LogText();
    EXPECT_EQ(Kasa().Log().back(), Reference({"send", "--text", "Z kolejki"}));
}

// Eight signs that each answer only after 0.6 s are served in parallel by one bridge.
TEST_F(MqttBridgeRealTime, EightSignsRunInParallel) {
    broker_ = std::make_unique<Broker>(dir_, false);
    StartSigns(8, {"--delay", "600"});
    WriteConfig("");
    Client client(broker_->Port());
    auto bridge = std::make_unique<Bridge>(dir_);
    for (std::size_t i = 0; i < signs_.size(); ++i) {
        const std::string name = i == 0 ? "kasa" : "s" + std::to_string(i + 1);
        ASSERT_TRUE(client.WaitFor("ledsign/" + name + "/availability", "online"))
            << bridge->LogText();
    }
    const auto start = Clock::now();
    for (std::size_t i = 0; i < signs_.size(); ++i) {
        const std::string name = i == 0 ? "kasa" : "s" + std::to_string(i + 1);
        client.Publish("ledsign/" + name + "/message/set", "Znak " + name);
    }
    for (std::size_t i = 0; i < signs_.size(); ++i) {
        const std::string name = i == 0 ? "kasa" : "s" + std::to_string(i + 1);
        EXPECT_EQ(client.Result("ledsign/" + name + "/result", 1)["ok"], true) << name;
    }
    // One after the other they would take 8 x 0.6 s.
    EXPECT_LT(Clock::now() - start, 3500ms);
    for (std::size_t i = 0; i < signs_.size(); ++i) {
        const std::string name = i == 0 ? "kasa" : "s" + std::to_string(i + 1);
        EXPECT_EQ(signs_[i]->Log().back(), Reference({"send", "--text", "Znak " + name}));
    }
}

// TLS with the test's CA and a password; a wrong password is refused with a clear log line and
// tried again.
TEST_F(MqttBridgeRealTime, TlsWithPasswordAndAWrongPasswordRetried) {
    broker_ = std::make_unique<Broker>(dir_, true);
    StartSigns(1);
    WriteText(dir_ / "right", "z-right\n");
    WriteText(dir_ / "wrong", "z-wrong\n");
    const std::string tls = "broker = mqtts://localhost:" + std::to_string(broker_->TlsPort()) +
                            "\nca-file = ca.pem\nusername = bridge\nclient-id = ";
    Client client(broker_->Port());
    WriteText(dir_ / "bad.conf", tls + "bad-bridge\npassword-file = wrong\n");
    Bridge bad(dir_, "bad");
    ASSERT_TRUE(WaitUntil([&] {
        return bad.LogText().find("refused the connection: Not authorized") != std::string::npos;
    })) << bad.LogText();
    // libmosquitto tries again after 1 s, then 2 s: the broker sees the client come back.
    EXPECT_TRUE(WaitUntil([&] {
        std::size_t attempts = 0;
        for (const std::string& line : broker_->Log()) {
            attempts += line.find("not authorised") != std::string::npos;
        }
        return attempts >= 2;
    })) << bad.LogText();
    EXPECT_EQ(bad.Stop(), 0);

    WriteText(dir_ / "bridge.conf", tls + "tls-bridge\npassword-file = right\n");
    Bridge good(dir_);
    EXPECT_TRUE(client.WaitFor("ledsign/bridge/tls-bridge/availability", "online"))
        << good.LogText();
    client.Publish("ledsign/kasa/message/set", "Szyfrowane");
    EXPECT_EQ(client.Result("ledsign/kasa/result", 1)["ok"], true);
}

// Home Assistant discovery: each entity's config holds the keys Home Assistant requires, and a
// config left by a sign no longer bridged is removed.
TEST_F(MqttBridgeRealTime, DiscoveryConfigsAndStaleOnesRemoved) {
    broker_ = std::make_unique<Broker>(dir_, false);
    StartSigns(1);
    WriteConfig("ha-discovery = yes\n");
    Client client(broker_->Port(), {"ledsign/#", "homeassistant/#"});
    const std::string stale = "homeassistant/text/test-bridge/old_message/config";
    client.Publish(stale, R"({"name": "Message"})", true);
    ASSERT_TRUE(client.Wait(stale));
    auto bridge = StartBridge(client);
    EXPECT_TRUE(client.Wait(stale, 2)) << bridge->LogText();
    EXPECT_EQ(client.On(stale).back().Payload, "");
    const struct {
        const char* Component;
        const char* Object;
        std::vector<const char*> Keys;
    } entities[] = {
        {"text", "message", {"command_topic", "state_topic", "max"}},
        {"select", "slot", {"command_topic", "options"}},
        {"button", "clock", {"command_topic"}},
        {"sensor", "line", {"state_topic", "value_template"}},
    };
    std::set<std::string> ids;
    for (const auto& e : entities) {
        const std::string topic = std::string("homeassistant/") + e.Component +
                                  "/test-bridge/kasa_" + e.Object + "/config";
        const auto got = client.Wait(topic);
        ASSERT_TRUE(got) << topic;
        const json config = json::parse(got->Payload);
        for (const char* key : e.Keys) {
            EXPECT_TRUE(config.contains(key)) << topic << " " << key;
        }
        for (const char* key : {"unique_id", "name", "object_id", "availability_mode"}) {
            EXPECT_TRUE(config.contains(key)) << topic << " " << key;
        }
        EXPECT_EQ(config["availability_mode"], "all");
        ASSERT_EQ(config["availability"].size(), 2u);
        EXPECT_EQ(config["availability"][0]["topic"], "ledsign/kasa/availability");
        EXPECT_EQ(config["availability"][1]["topic"], "ledsign/bridge/test-bridge/availability");
        EXPECT_EQ(config["device"]["identifiers"], json::array({"test-bridge_kasa"}));
        ids.insert(config["unique_id"].get<std::string>());
        if (config.contains("command_topic")) {
            EXPECT_EQ(config["command_topic"].get<std::string>().rfind("ledsign/kasa/", 0), 0u);
        }
    }
    EXPECT_EQ(ids.size(), 4u);
    const json select =
        json::parse(client.On("homeassistant/select/test-bridge/kasa_slot/config").front().Payload);
    EXPECT_EQ(select["options"], json({"1", "2", "3", "4", "5", "6", "7", "8", "9"}));
}

} // namespace

#endif
