#include "tools/ledsign/MqttBridge.h"

#include "autosync/StopSignal.h"

#include <mosquitto.h>
#include <mqtt_protocol.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <system_error>
#include <utility>

namespace ledsign_tool {

namespace {

constexpr int kKeepAliveSeconds = 30;
constexpr std::uint32_t kSessionExpirySeconds = 7 * 24 * 3600;
constexpr int kQos = 1;

// Takes the library's strings and property lists into owners.
struct FreeString {
    void operator()(char* text) const { std::free(text); } // NOLINT: the library's malloc
};
using LibraryString = std::unique_ptr<char, FreeString>;
struct FreeProperties {
    void operator()(mosquitto_property* list) const { mosquitto_property_free_all(&list); }
};
using Properties = std::unique_ptr<mosquitto_property, FreeProperties>;

std::string Dump(const nlohmann::json& value) {
    return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string BrokerText(const MqttConfig& config) {
    return std::string(config.Tls ? "mqtts://" : "mqtt://") + config.Host + ":" +
           std::to_string(config.Port);
}

// The reason of a refused connection (an MQTT 5 reason code, or a 3.1.1 return code).
std::string RefusalText(int rc) {
    const bool credentials = rc == MQTT_RC_BAD_USERNAME_OR_PASSWORD || rc == MQTT_RC_NOT_AUTHORIZED;
    return std::string(mosquitto_reason_string(rc)) + " (code " + std::to_string(rc) + ")" +
           (credentials ? "; check username and password-file" : "");
}

} // namespace

MqttBridge::MqttBridge(MqttConfig config, std::vector<Target> signs, BridgeVerbosity verbosity,
                       bool journal)
    : config_(std::move(config)), signs_(std::move(signs)), verbosity_(verbosity),
      journal_(journal),
      bridgeAvailability_(BridgeAvailabilityTopic(config_.TopicPrefix, config_.ClientId)) {
    if (config_.HaDiscovery) {
        const DiscoveryNames names{config_.HaPrefix, config_.TopicPrefix, config_.ClientId};
        for (const Target& sign : signs_) {
            for (const DiscoveryConfig& c : DiscoveryConfigs(names, sign.Sign)) {
                discoveryTopics_.insert(c.Topic);
            }
        }
    }
}

MqttBridge::~MqttBridge() {
    Stop();
}

void MqttBridge::Log(Level level, const std::string& text, bool verboseOnly) {
    if ((verboseOnly && verbosity_ != BridgeVerbosity::Verbose) ||
        (verbosity_ == BridgeVerbosity::Quiet && level != Level::Error)) {
        return;
    }
    const std::lock_guard lock(logLock_);
    if (journal_) {
        std::fprintf(stderr, "<%d>%s\n", static_cast<int>(level), text.c_str());
    } else {
        std::fprintf(stderr, "%s %s\n", LocalTimeStamp().c_str(), text.c_str());
    }
    std::fflush(stderr);
}

std::string MqttBridge::Topic(const std::string& sign, const char* leaf) const {
    return config_.TopicPrefix + "/" + sign + "/" + leaf;
}

bool MqttBridge::Start() {
    mosquitto_lib_init();
    client_ = mosquitto_new(config_.ClientId.c_str(), false, this);
    if (client_ == nullptr) {
        Log(Level::Error, "cannot set up the MQTT client: out of memory", false);
        return false;
    }
    mosquitto_int_option(client_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5);
    mosquitto_connect_v5_callback_set(client_, OnConnect);
    mosquitto_disconnect_v5_callback_set(client_, OnDisconnect);
    mosquitto_message_v5_callback_set(client_, OnMessage);
    mosquitto_publish_v5_callback_set(client_, OnPublish);
    const std::string offline = "offline";
    int rc = mosquitto_will_set_v5(client_, bridgeAvailability_.c_str(),
                                   static_cast<int>(offline.size()), offline.data(), kQos, true,
                                   nullptr);
    if (rc == MOSQ_ERR_SUCCESS && !config_.Username.empty()) {
        rc = mosquitto_username_pw_set(client_, config_.Username.c_str(),
                                       config_.Password.empty() ? nullptr
                                                                : config_.Password.c_str());
    }
    if (rc == MOSQ_ERR_SUCCESS && config_.Tls) {
        const auto orNull = [](const std::string& s) { return s.empty() ? nullptr : s.c_str(); };
        // Without a ca-file the system's certificate authorities are trusted.
        rc = mosquitto_tls_set(client_, orNull(config_.CaFile),
                               config_.CaFile.empty() ? "/etc/ssl/certs" : nullptr,
                               orNull(config_.CertFile), orNull(config_.KeyFile), nullptr);
    }
    if (rc != MOSQ_ERR_SUCCESS) {
        Log(Level::Error, std::string("cannot set up the MQTT client: ") + mosquitto_strerror(rc),
            false);
        return false;
    }
    {
        // Every sign's entry exists before the first worker may report.
        const std::lock_guard lock(mutex_);
        for (const Target& sign : signs_) {
            states_[sign.Sign] = nlohmann::json();
        }
    }
    for (const Target& sign : signs_) {
        workers_[sign.Sign] = std::make_unique<BridgeWorker>(sign, config_.ProbeSeconds, *this);
    }
    mosquitto_threaded_set(client_, true);
    Log(Level::Info, "connecting to " + BrokerText(config_) + " as " + config_.ClientId, false);
    network_ = std::thread([this] { NetworkLoop(); });
    return true;
}

void MqttBridge::NetworkLoop() {
    mosquitto_property* raw = nullptr;
    mosquitto_property_add_int32(&raw, MQTT_PROP_SESSION_EXPIRY_INTERVAL, kSessionExpirySeconds);
    const Properties connectProperties(raw);
    // The first connection sets the properties every reconnection sends again.
    int rc = mosquitto_connect_bind_v5(client_, config_.Host.c_str(), config_.Port,
                                       kKeepAliveSeconds, nullptr, connectProperties.get());
    for (;;) {
        if (rc == MOSQ_ERR_SUCCESS) {
            rc = mosquitto_loop(client_, 500, 1);
        }
        std::unique_lock lock(mutex_);
        if (stopping_) {
            // Until the "offline"s and the disconnection are written, or a bound.
            if (rc != MOSQ_ERR_SUCCESS || std::chrono::steady_clock::now() > stopDeadline_) {
                return;
            }
            continue;
        }
        if (rc == MOSQ_ERR_SUCCESS) {
            continue;
        }
        const std::string reason = rc == MOSQ_ERR_ERRNO
                                       ? std::error_code(errno, std::generic_category()).message()
                                       : std::string(mosquitto_strerror(rc));
        const std::string problem =
            "cannot reach the broker " + BrokerText(config_) + ": " + reason;
        // A refusal or a lost connection was told already by its callback.
        const bool told = refused_ || rc == MOSQ_ERR_CONN_LOST || rc == MOSQ_ERR_NO_CONN;
        refused_ = false;
        if (!told && problem != lastBrokerProblem_) {
            Log(Level::Error, problem + "; trying again", false);
            lastBrokerProblem_ = problem;
        }
        Log(Level::Info, "next connection attempt in " + std::to_string(retry_.count()) + " s",
            true);
        if (stopWake_.wait_for(lock, retry_, [this] { return stopping_; })) {
            return;
        }
        retry_ = std::min(retry_ * 2, std::chrono::seconds(30));
        lock.unlock();
        rc = mosquitto_reconnect(client_);
    }
}

void MqttBridge::Stop() {
    for (auto& [name, worker] : workers_) {
        worker->Stop();
    }
    if (client_ == nullptr) {
        return;
    }
    {
        std::unique_lock lock(mutex_);
        const auto note = [this](int mid) {
            if (mid != 0) {
                unacknowledged_.insert(mid);
            }
        };
        if (connected_) {
            for (auto& [sign, state] : states_) {
                if (state.is_object()) {
                    state["line"] = "offline";
                    note(PublishLocked(Topic(sign, "state"), Dump(state), true));
                    note(PublishLocked(Topic(sign, "availability"), "offline", true));
                }
            }
            note(PublishLocked(bridgeAvailability_, "offline", true));
        }
        stopping_ = true;
        stopDeadline_ = std::chrono::steady_clock::now() + std::chrono::seconds(3);
        // The broker acknowledges them before the disconnection, or the will says "offline".
        stopWake_.wait_until(lock, stopDeadline_,
                             [this] { return unacknowledged_.empty() || !connected_; });
        connected_ = false;
        // A normal disconnection: the broker drops the will.
        mosquitto_disconnect_v5(client_, MQTT_RC_NORMAL_DISCONNECTION, nullptr);
        stopDeadline_ = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    }
    stopWake_.notify_all();
    if (network_.joinable()) {
        network_.join();
    }
    workers_.clear();
    mosquitto_destroy(client_);
    client_ = nullptr;
    mosquitto_lib_cleanup();
    Log(Level::Info, "stopped; the signs keep what they show", false);
}

int MqttBridge::PublishLocked(const std::string& topic, const std::string& payload, bool retain,
                              const mosquitto_property* props) {
    if (!connected_) {
        return 0; // the next connection publishes the state again
    }
    int mid = 0;
    const int rc =
        mosquitto_publish_v5(client_, &mid, topic.c_str(), static_cast<int>(payload.size()),
                             payload.data(), kQos, retain, props);
    if (rc != MOSQ_ERR_SUCCESS) {
        Log(Level::Warning,
            "cannot publish to " + topic + ": " + std::string(mosquitto_strerror(rc)), false);
        return 0;
    }
    return mid;
}

void MqttBridge::PublishSignLocked(const std::string& sign) {
    const nlohmann::json& state = states_[sign];
    if (!state.is_object()) {
        return; // the worker has not reported yet
    }
    // The state first: whoever reacts to a change of availability then finds the state that
    // explains it (one connection keeps the order of its publications).
    PublishLocked(Topic(sign, "state"), Dump(state), true);
    PublishLocked(Topic(sign, "availability"), state.value("line", "offline"), true);
}

void MqttBridge::StateChanged(const std::string& sign, const nlohmann::json& state) {
    const std::lock_guard lock(mutex_);
    if (stopping_) {
        return;
    }
    states_[sign] = state;
    PublishSignLocked(sign);
}

void MqttBridge::CommandDone(const std::string& sign, const nlohmann::json& result,
                             const ReplyTo& reply) {
    const std::string payload = Dump(result);
    const std::lock_guard lock(mutex_);
    PublishLocked(Topic(sign, "result"), payload, false);
    if (!reply.Topic.empty()) {
        mosquitto_property* raw = nullptr;
        if (!reply.Correlation.empty()) {
            mosquitto_property_add_binary(&raw, MQTT_PROP_CORRELATION_DATA,
                                          reply.Correlation.data(),
                                          static_cast<std::uint16_t>(reply.Correlation.size()));
        }
        const Properties props(raw);
        PublishLocked(reply.Topic, payload, false, props.get());
    }
}

void MqttBridge::OnConnect(mosquitto*, void* self, int rc, int flags, const mosquitto_property*) {
    static_cast<MqttBridge*>(self)->Connected(rc, (flags & 1) != 0);
}

void MqttBridge::OnDisconnect(mosquitto*, void* self, int rc, const mosquitto_property*) {
    static_cast<MqttBridge*>(self)->Disconnected(rc);
}

void MqttBridge::OnMessage(mosquitto*, void* self, const mosquitto_message* message,
                           const mosquitto_property* props) {
    static_cast<MqttBridge*>(self)->Received(*message, props);
}

void MqttBridge::OnPublish(mosquitto*, void* self, int mid, int, const mosquitto_property*) {
    auto* bridge = static_cast<MqttBridge*>(self);
    {
        const std::lock_guard lock(bridge->mutex_);
        bridge->unacknowledged_.erase(mid);
    }
    bridge->stopWake_.notify_all();
}

void MqttBridge::Connected(int rc, bool sessionPresent) {
    const std::lock_guard lock(mutex_);
    if (rc != 0) {
        // libmosquitto tries again after its delay; a refusal is told once until it changes.
        const std::string problem =
            "the broker " + BrokerText(config_) + " refused the connection: " + RefusalText(rc);
        if (problem != lastBrokerProblem_) {
            Log(Level::Error, problem + "; trying again", false);
        }
        lastBrokerProblem_ = problem;
        refused_ = true;
        return;
    }
    if (stopping_) {
        return;
    }
    connected_ = true;
    retry_ = std::chrono::seconds(1);
    lastBrokerProblem_.clear();
    Log(Level::Info,
        "connected to " + BrokerText(config_) +
            (sessionPresent ? " (session kept)" : " (new session: subscribing)"),
        false);
    if (!sessionPresent) {
        std::vector<std::string> filters;
        for (const char* command : {"message", "set", "show", "clock"}) {
            filters.push_back(config_.TopicPrefix + "/+/" + command + "/set");
        }
        std::vector<char*> pointers;
        pointers.reserve(filters.size());
        for (std::string& f : filters) {
            pointers.push_back(f.data());
        }
        const int subscribed = mosquitto_subscribe_multiple(
            client_, nullptr, static_cast<int>(pointers.size()), pointers.data(), kQos, 0, nullptr);
        if (subscribed != MOSQ_ERR_SUCCESS) {
            Log(Level::Error, std::string("cannot subscribe: ") + mosquitto_strerror(subscribed),
                false);
        }
    }
    PublishLocked(bridgeAvailability_, "online", true);
    for (const auto& entry : states_) {
        PublishSignLocked(entry.first);
    }
    if (config_.HaDiscovery) {
        const DiscoveryNames names{config_.HaPrefix, config_.TopicPrefix, config_.ClientId};
        for (const Target& sign : signs_) {
            for (const DiscoveryConfig& c : DiscoveryConfigs(names, sign.Sign)) {
                PublishLocked(c.Topic, Dump(c.Payload), true);
            }
        }
        // Every config this bridge left behind arrives retained, to be cleared. Subscribed
        // on every connection, also with a kept session, so that the retained ones come again.
        mosquitto_subscribe_v5(client_, nullptr, DiscoveryFilter(names).c_str(), 0, 0, nullptr);
    }
}

void MqttBridge::Disconnected(int rc) {
    const std::lock_guard lock(mutex_);
    const bool was = connected_;
    connected_ = false;
    if (rc != 0 && !stopping_ && was) {
        lastBrokerProblem_ = "lost the broker " + BrokerText(config_);
        Log(Level::Error,
            lastBrokerProblem_ + ": " + mosquitto_strerror(rc) +
                "; reconnecting after 1 s, "
                "then at most every 30 s",
            false);
    }
}

void MqttBridge::DiscoveryEcho(const std::string& topic, bool empty) {
    if (empty || discoveryTopics_.count(topic) != 0) {
        return;
    }
    const std::lock_guard lock(mutex_);
    Log(Level::Info, "removing the discovery config " + topic + " of a sign no longer bridged",
        false);
    PublishLocked(topic, "", true);
}

void MqttBridge::Received(const mosquitto_message& message, const mosquitto_property* props) {
    const std::string topic = message.topic;
    const std::string_view payload(static_cast<const char*>(message.payload),
                                   static_cast<std::size_t>(message.payloadlen));
    if (config_.HaDiscovery && topic.rfind(config_.HaPrefix + "/", 0) == 0 && topic.size() > 7 &&
        topic.compare(topic.size() - 7, 7, "/config") == 0) {
        DiscoveryEcho(topic, payload.empty());
        return;
    }
    const std::optional<CommandTopic> parsed = ParseCommandTopic(topic, config_.TopicPrefix);
    if (!parsed) {
        return;
    }
    // An empty payload clears a retained command (and is passed on live as such): it asks for
    // nothing, except for a clock set, whose payload does not matter.
    if (payload.empty() && (message.retain || parsed->Command != BridgeCommand::Clock)) {
        Log(Level::Info, topic + ": empty payload, nothing to do", true);
        return;
    }
    BridgeRequest request;
    request.Command = parsed->Command;
    request.Retained = message.retain;
    char* responseTopic = nullptr;
    if (mosquitto_property_read_string(props, MQTT_PROP_RESPONSE_TOPIC, &responseTopic, false) !=
        nullptr) {
        const LibraryString owned(responseTopic);
        request.Reply.Topic = owned.get();
        void* data = nullptr;
        std::uint16_t length = 0;
        if (mosquitto_property_read_binary(props, MQTT_PROP_CORRELATION_DATA, &data, &length,
                                           false) != nullptr) {
            const LibraryString ownedData(static_cast<char*>(data));
            request.Reply.Correlation.assign(ownedData.get(), length);
        }
    }
    std::string problem;
    const auto worker = workers_.find(parsed->Sign);
    if (worker == workers_.end()) {
        problem = "no sign '" + parsed->Sign + "' is bridged here";
    } else if (parsed->Command == BridgeCommand::Message) {
        problem = ParseMessagePayload(payload, request.Message);
    } else if (parsed->Command == BridgeCommand::Set) {
        problem = ParseSetPayload(payload, request.Set);
    } else if (parsed->Command == BridgeCommand::Show) {
        problem = ParseShowPayload(payload, request.Slot);
    }
    if (!problem.empty()) {
        Log(Level::Warning,
            parsed->Sign + ": " + BridgeCommandName(parsed->Command) + ": " + problem +
                "; nothing was sent",
            false);
        CommandDone(
            parsed->Sign,
            BridgeResult(parsed->Command, ResultKind::BadInput, problem + "; nothing was sent", 0),
            request.Reply);
        return;
    }
    Log(Level::Info,
        parsed->Sign + ": " + BridgeCommandName(parsed->Command) + " received" +
            (message.retain ? " (retained)" : ""),
        true);
    worker->second->Submit(std::move(request));
}

} // namespace ledsign_tool
