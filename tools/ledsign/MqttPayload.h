#pragma once
// What the MQTT bridge (`ledsign mqtt`) reads from a command's topic and payload, without any
// MQTT library: the parsing is the contract the dashboards and scripts write against, so it is
// kept apart and tested on its own.
//
// Topics are PREFIX/SIGN/COMMAND/set with COMMAND one of message, set, show, clock. Payloads:
//  - message: UTF-8 text with the field markup of `ledsign compose`, or (when it starts with
//    '{' and then, after any blanks, '"' or '}', so that "{time} ..." stays text) a JSON object
//    {"text": ..., "font": 1-5, "static": true|false, "slot": 1-9} of which only "text" is
//    required; font 4, scrolling and slot 9 by default, as `ledsign send`.
//  - set: a JSON array of exactly 8 messages, each a string or such an object without "slot"
//    (the place in the array is the slot); an empty text empties its slot.
//  - show: 1 to 9. clock: anything.
// A payload over kMaxPayloadBytes is refused unread.

#include "tools/ledsign/DeviceFiles.h"

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace ledsign_tool {

inline constexpr std::size_t kMaxPayloadBytes = std::size_t{64} * 1024;

enum class BridgeCommand { Message, Set, Show, Clock };

// "message", "set", "show", "clock": the topic level and the result's "command".
const char* BridgeCommandName(BridgeCommand command);

// A topic split into its sign and command. Nullopt when it is not PREFIX/SIGN/COMMAND/set
// with a known COMMAND and a sign of one level.
struct CommandTopic {
    std::string Sign;
    BridgeCommand Command = BridgeCommand::Message;
};
std::optional<CommandTopic> ParseCommandTopic(std::string_view topic, std::string_view prefix);

// One message ready to be sent: its bytes, its slot and the text it was made from.
struct ParsedMessage {
    MessageBytes Bytes{};
    int Slot = 9;
    std::string Text;
};

// Each returns "" when the payload is good, else the reason it is not (nothing is to be sent).
std::string ParseMessagePayload(std::string_view payload, ParsedMessage& message);
std::string ParseSetPayload(std::string_view payload, std::array<ParsedMessage, 8>& set);
std::string ParseShowPayload(std::string_view payload, int& slot);

} // namespace ledsign_tool
