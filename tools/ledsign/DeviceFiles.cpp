#include "tools/ledsign/DeviceFiles.h"

#include "messages/Ledmessagecon.h"
#include "messages/MessageFiles.h"

#include <algorithm>
#include <span>

namespace ledsign_tool {

bool ReadMessageFile(const char* path, MessageBytes& message) {
    CLEDMessageCon container;
    if (container.LoadFromFile(path) != 0) {
        return false;
    }
    std::copy_n(container.GetData(), message.size(), message.begin());
    return true;
}

bool ReadMessageSetFile(const char* path, std::array<MessageBytes, 8>& messages) {
    std::array<CLEDMessageCon, kMessageSetCount> set;
    if (LoadMessageSet(path, std::span<CLEDMessageCon, kMessageSetCount>(set)) != 0) {
        return false;
    }
    for (std::size_t i = 0; i < messages.size(); ++i) {
        std::copy_n(set[i].GetData(), messages[i].size(), messages[i].begin());
    }
    return true;
}

} // namespace ledsign_tool
