#pragma once
// The MQTT bridge of `ledsign mqtt`: one connection to the broker (libmosquitto, MQTT 5, its
// own network thread) and one BridgeWorker per sign.
//
//  - The session is persistent: a fixed client id and a session expiry of a week, so QoS 1
//    commands published while the bridge was stopped arrive when it starts again. When the
//    broker answers a connection without the session, the bridge subscribes again; on every
//    connection it publishes its retained state again (a broker restarted without persistence
//    has none). A lost or refused connection is tried again after 1 s doubling to 30 s.
//  - PREFIX/bridge/CLIENT-ID/availability is "online" while connected, "offline" by the will
//    and after a clean stop; PREFIX/SIGN/availability and PREFIX/SIGN/state follow each sign.
//  - A command's result goes to PREFIX/SIGN/result, and to the response topic of an MQTT 5
//    request with its correlation data. Bad input is answered there at once with kind
//    bad-input, also for a sign that is not bridged.
//  - A retained message/set is the sign's wanted state and is applied at start; after a
//    reconnection it is sent again only when the sign does not hold it already.
//  - Stop() (from SIGTERM, SIGINT, SIGHUP) ends the workers, publishes every availability as
//    "offline" and disconnects; the signs keep what they show.

#include "tools/ledsign/BridgeWorker.h"
#include "tools/ledsign/MqttConfig.h"
#include "tools/ledsign/MqttDiscovery.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

struct mosquitto;
struct mosquitto_message;
typedef struct mqtt5__property mosquitto_property; // NOLINT: libmosquitto's own spelling

namespace ledsign_tool {

// How much the bridge logs: Quiet errors only, Verbose every command and probe too.
enum class BridgeVerbosity { Quiet, Normal, Verbose };

class MqttBridge final : public BridgeEvents {
public:
    MqttBridge(MqttConfig config, std::vector<Target> signs, BridgeVerbosity verbosity,
               bool journal);
    ~MqttBridge() override;
    MqttBridge(const MqttBridge&) = delete;
    MqttBridge& operator=(const MqttBridge&) = delete;

    // Sets up the client and starts the signs' workers and the network thread; false (after
    // logging why) when the library cannot be set up.
    bool Start();
    // Publishes "offline" for everything, disconnects and ends every thread.
    void Stop();

    // BridgeEvents.
    void StateChanged(const std::string& sign, const nlohmann::json& state) override;
    void CommandDone(const std::string& sign, const nlohmann::json& result,
                     const ReplyTo& reply) override;
    void Log(Level level, const std::string& text, bool verboseOnly) override;

private:
    static void OnConnect(mosquitto* client, void* self, int rc, int flags,
                          const mosquitto_property* props);
    static void OnDisconnect(mosquitto* client, void* self, int rc,
                             const mosquitto_property* props);
    static void OnMessage(mosquitto* client, void* self, const mosquitto_message* message,
                          const mosquitto_property* props);
    static void OnPublish(mosquitto* client, void* self, int mid, int rc,
                          const mosquitto_property* props);

    // The network thread: libmosquitto's loop, and every (re)connection, after 1 s doubling to
    // 30 s; libmosquitto's own loop thread would give up on a refused connection.
    void NetworkLoop();
    void Connected(int rc, bool sessionPresent);
    void Disconnected(int rc);
    void Received(const mosquitto_message& message, const mosquitto_property* props);
    void DiscoveryEcho(const std::string& topic, bool empty);
    // The caller holds mutex_. Returns the message id, 0 when nothing was published.
    int PublishLocked(const std::string& topic, const std::string& payload, bool retain,
                      const mosquitto_property* props = nullptr);
    void PublishSignLocked(const std::string& sign);
    std::string Topic(const std::string& sign, const char* leaf) const;

    MqttConfig config_;
    std::vector<Target> signs_;
    BridgeVerbosity verbosity_;
    bool journal_;
    std::string bridgeAvailability_;
    std::set<std::string> discoveryTopics_; // the configs published now

    std::mutex logLock_;
    std::mutex mutex_; // guards what follows and orders the publications
    bool connected_ = false;
    bool stopping_ = false;
    std::chrono::steady_clock::time_point stopDeadline_;
    std::condition_variable stopWake_;
    std::chrono::seconds retry_{1};
    std::set<int> unacknowledged_;  // the stop's "offline"s until the broker has them
    std::string lastBrokerProblem_; // told once until it changes
    bool refused_ = false;          // the loop's failure that follows a refusal is no news
    std::map<std::string, nlohmann::json> states_;

    mosquitto* client_ = nullptr;
    std::map<std::string, std::unique_ptr<BridgeWorker>> workers_;
    std::thread network_;
};

} // namespace ledsign_tool
