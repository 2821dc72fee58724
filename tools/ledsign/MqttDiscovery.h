#pragma once
// Home Assistant's MQTT discovery for the bridge's signs (ha-discovery = yes). Each sign is one
// device, identified by the bridge's client id and the sign's name, with four entities:
//   text    "Message"   command_topic PREFIX/SIGN/message/set (at most 255 characters, Home
//                       Assistant's limit for a text entity), its state the text last delivered
//   select  "Slot"      options "1".."9", command_topic PREFIX/SIGN/show/set
//   button  "Set clock" command_topic PREFIX/SIGN/clock/set
//   sensor  "Line"      online/offline from PREFIX/SIGN/state
// each available only while both the sign and the bridge are (availability_mode all).
//
// The configs go, retained, to HA_PREFIX/COMPONENT/NODE/OBJECT/config with NODE the bridge's
// client id and OBJECT the sign and the entity, both reduced to the letters Home Assistant
// allows. So every config this bridge ever published lies under HA_PREFIX/+/NODE/+/config: on
// each connection the bridge subscribes to that filter, and any retained config there that it
// does not publish now (a sign that left the configuration) is cleared with an empty retained
// payload. No state file is needed, and a config the broker lost is simply published again.

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

namespace ledsign_tool {

struct DiscoveryConfig {
    std::string Topic;
    nlohmann::json Payload;
};

struct DiscoveryNames {
    std::string HaPrefix;
    std::string TopicPrefix;
    std::string ClientId;
};

// `name` with every character but ASCII letters, digits, '_' and '-' turned into '_'.
std::string DiscoveryId(const std::string& name);

// The four configs of `sign`.
std::vector<DiscoveryConfig> DiscoveryConfigs(const DiscoveryNames& names, const std::string& sign);

// The filter under which all of this bridge's configs lie.
std::string DiscoveryFilter(const DiscoveryNames& names);

// The bridge's own availability topic: PREFIX/bridge/CLIENT-ID/availability.
std::string BridgeAvailabilityTopic(const std::string& topicPrefix, const std::string& clientId);

} // namespace ledsign_tool
