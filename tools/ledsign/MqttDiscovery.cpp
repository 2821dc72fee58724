#include "tools/ledsign/MqttDiscovery.h"

#include <utility>

namespace ledsign_tool {

std::string DiscoveryId(const std::string& name) {
    std::string id;
    for (const char c : name) {
        const bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                             (c >= '0' && c <= '9') || c == '_' || c == '-';
        id += allowed ? c : '_';
    }
    return id;
}

std::string BridgeAvailabilityTopic(const std::string& topicPrefix, const std::string& clientId) {
    return topicPrefix + "/bridge/" + clientId + "/availability";
}

std::string DiscoveryFilter(const DiscoveryNames& names) {
    return names.HaPrefix + "/+/" + DiscoveryId(names.ClientId) + "/+/config";
}

std::vector<DiscoveryConfig> DiscoveryConfigs(const DiscoveryNames& names,
                                              const std::string& sign) {
    const std::string node = DiscoveryId(names.ClientId);
    const std::string device = node + "_" + DiscoveryId(sign);
    const std::string base = names.TopicPrefix + "/" + sign + "/";
    const nlohmann::json common = {
        {"availability",
         nlohmann::json::array(
             {{{"topic", base + "availability"}},
              {{"topic", BridgeAvailabilityTopic(names.TopicPrefix, names.ClientId)}}})},
        {"availability_mode", "all"},
        {"device",
         {{"identifiers", nlohmann::json::array({device})},
          {"name", "LED sign " + sign},
          {"model", "64 x 8 LED moving-message sign"},
          {"manufacturer", "ledsign"}}},
    };
    struct Entity {
        const char* Component;
        const char* Object;
        const char* Name;
        nlohmann::json Own;
    };
    const std::vector<Entity> entities = {
        {"text",
         "message",
         "Message",
         {{"command_topic", base + "message/set"},
          {"state_topic", base + "state"},
          {"value_template", "{{ value_json.text if value_json.text is not none else '' }}"},
          {"max", 255},
          {"mode", "text"}}},
        {"select",
         "slot",
         "Slot",
         {{"command_topic", base + "show/set"},
          {"options", {"1", "2", "3", "4", "5", "6", "7", "8", "9"}},
          {"optimistic", true}}},
        {"button", "clock", "Set clock", {{"command_topic", base + "clock/set"}}},
        {"sensor",
         "line",
         "Line",
         {{"state_topic", base + "state"}, {"value_template", "{{ value_json.line }}"}}},
    };
    std::vector<DiscoveryConfig> configs;
    for (const Entity& e : entities) {
        const std::string object = DiscoveryId(sign) + "_" + e.Object;
        nlohmann::json payload = common;
        payload.update(e.Own);
        payload["name"] = e.Name;
        payload["unique_id"] = device + "_" + e.Object;
        payload["object_id"] = "ledsign_" + object;
        std::string topic = names.HaPrefix;
        topic.append("/").append(e.Component).append("/").append(node).append("/");
        topic.append(object).append("/config");
        configs.push_back({std::move(topic), payload});
    }
    return configs;
}

} // namespace ledsign_tool
