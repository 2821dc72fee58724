#include "tools/ledsign/MqttPayload.h"

#include "tools/ledsign/Cli.h"
#include "tools/ledsign/Compose.h"

#include <nlohmann/json.hpp>

#include <cstdint>

namespace ledsign_tool {

namespace {

constexpr int kDefaultFont = 4;

struct CommandRow {
    BridgeCommand Command;
    const char* Name;
};
constexpr CommandRow kCommands[] = {
    {BridgeCommand::Message, "message"},
    {BridgeCommand::Set, "set"},
    {BridgeCommand::Show, "show"},
    {BridgeCommand::Clock, "clock"},
};

std::string TooLarge(std::string_view payload) {
    if (payload.size() <= kMaxPayloadBytes) {
        return {};
    }
    return "the payload has " + std::to_string(payload.size()) + " bytes; at most " +
           std::to_string(kMaxPayloadBytes) + " are read";
}

// A whole number from `min` to `max` in a JSON value; "" when it is one.
std::string WholeIn(const nlohmann::json& value, const char* key, std::int64_t min,
                    std::int64_t max, int& out) {
    const std::string range = std::to_string(min) + ".." + std::to_string(max);
    if (!value.is_number_integer() || value.get<std::int64_t>() < min ||
        value.get<std::int64_t>() > max) {
        return std::string("\"") + key + "\" must be a whole number " + range + ", not " +
               value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    }
    out = static_cast<int>(value.get<std::int64_t>());
    return {};
}

std::string Compose(const std::string& text, int font, bool isStatic, ParsedMessage& message) {
    const ComposeResult composed = ComposeMessage(text, font, isStatic, message.Bytes);
    if (composed.What != ComposeResult::Outcome::Ok) {
        return composed.Problem;
    }
    message.Text = text;
    return {};
}

// A message given as a JSON string or object; `slotAllowed` only outside a set.
std::string MessageFromJson(const nlohmann::json& value, bool slotAllowed, ParsedMessage& message) {
    if (value.is_string()) {
        return Compose(value.get<std::string>(), kDefaultFont, false, message);
    }
    if (!value.is_object()) {
        return "a message must be a text or an object with \"text\"";
    }
    int font = kDefaultFont;
    bool isStatic = false;
    const std::string* text = nullptr;
    for (const auto& [key, item] : value.items()) {
        std::string problem;
        if (key == "text") {
            if (!item.is_string()) {
                return "\"text\" must be a string";
            }
            text = item.get_ptr<const std::string*>();
        } else if (key == "font") {
            problem = WholeIn(item, "font", 1, 5, font);
        } else if (key == "static") {
            if (!item.is_boolean()) {
                return "\"static\" must be true or false";
            }
            isStatic = item.get<bool>();
        } else if (key == "slot" && slotAllowed) {
            problem = WholeIn(item, "slot", 1, 9, message.Slot);
        } else if (key == "slot") {
            return "\"slot\" is not allowed in a set: a message's place in the array is its slot";
        } else {
            return "unknown key \"" + key + "\" (known: text, font, static" +
                   (slotAllowed ? ", slot)" : ")");
        }
        if (!problem.empty()) {
            return problem;
        }
    }
    if (text == nullptr) {
        return "no \"text\" in the message";
    }
    return Compose(*text, font, isStatic, message);
}

// Parses JSON, naming the position of a syntax error; false with `problem` set.
bool ParseJson(std::string_view payload, nlohmann::json& value, std::string& problem) {
    try {
        value = nlohmann::json::parse(payload);
        return true;
    } catch (const nlohmann::json::parse_error& error) {
        problem = "bad JSON at byte " + std::to_string(error.byte) + " (" +
                  (error.id == 101 ? "a syntax error or invalid UTF-8" : "not JSON") + ")";
        return false;
    }
}

} // namespace

const char* BridgeCommandName(BridgeCommand command) {
    for (const CommandRow& row : kCommands) {
        if (row.Command == command) {
            return row.Name;
        }
    }
    return "";
}

std::optional<CommandTopic> ParseCommandTopic(std::string_view topic, std::string_view prefix) {
    if (topic.size() <= prefix.size() + 1 || topic.substr(0, prefix.size()) != prefix ||
        topic[prefix.size()] != '/') {
        return std::nullopt;
    }
    const std::string_view rest = topic.substr(prefix.size() + 1);
    const auto first = rest.find('/');
    if (first == 0 || first == std::string_view::npos) {
        return std::nullopt;
    }
    const std::string_view tail = rest.substr(first + 1);
    for (const CommandRow& row : kCommands) {
        if (tail == std::string(row.Name) + "/set") {
            return CommandTopic{std::string(rest.substr(0, first)), row.Command};
        }
    }
    return std::nullopt;
}

std::string ParseMessagePayload(std::string_view payload, ParsedMessage& message) {
    message = ParsedMessage{};
    if (std::string problem = TooLarge(payload); !problem.empty()) {
        return problem;
    }
    // Field markup may start a text too ("{time} ..."): JSON is an object's '{' followed by a
    // key's quote or the closing brace.
    const auto next = payload.find_first_not_of(" \t\r\n", 1);
    const bool json =
        !payload.empty() && payload.front() == '{' &&
        (next == std::string_view::npos || payload[next] == '"' || payload[next] == '}');
    if (!json) {
        return Compose(std::string(payload), kDefaultFont, false, message);
    }
    nlohmann::json value;
    std::string problem;
    if (!ParseJson(payload, value, problem)) {
        return problem;
    }
    return MessageFromJson(value, true, message);
}

std::string ParseSetPayload(std::string_view payload, std::array<ParsedMessage, 8>& set) {
    set = {};
    if (std::string problem = TooLarge(payload); !problem.empty()) {
        return problem;
    }
    nlohmann::json value;
    std::string problem;
    if (!ParseJson(payload, value, problem)) {
        return problem;
    }
    // Any other count would leave slots of the sign to chance; it is refused, never padded.
    if (!value.is_array() || value.size() != set.size()) {
        return "a set is a JSON array of exactly 8 messages" +
               (value.is_array() ? ", not " + std::to_string(value.size()) : std::string());
    }
    for (std::size_t i = 0; i < set.size(); ++i) {
        set[i].Slot = static_cast<int>(i) + 1;
        problem = MessageFromJson(value[i], false, set[i]);
        if (!problem.empty()) {
            return "message " + std::to_string(i + 1) + " of the set: " + problem;
        }
    }
    return {};
}

std::string ParseShowPayload(std::string_view payload, int& slot) {
    if (std::string problem = TooLarge(payload); !problem.empty()) {
        return problem;
    }
    const auto first = payload.find_first_not_of(" \t\r\n");
    const auto last = payload.find_last_not_of(" \t\r\n");
    const std::string text =
        first == std::string_view::npos ? "" : std::string(payload.substr(first, last - first + 1));
    std::uint64_t value = 0;
    if (!ParseDecimal(text, 1, 9, value)) {
        return "a slot to show is a number 1..9, not '" + text.substr(0, 40) + "'";
    }
    slot = static_cast<int>(value);
    return {};
}

} // namespace ledsign_tool
