#include "tools/ledsign/DeviceFiles.h"

#include "messages/Ledmessagecon.h"
#include "messages/MessageFiles.h"

#include <algorithm>
#include <span>
#include <string>

namespace ledsign_tool {

bool ReadMessageFile(const char* path, MessageBytes& message, LoadReport& report) {
    CLEDMessageCon container;
    if (container.LoadFromFile(path, &report) != 0) {
        return false;
    }
    std::copy_n(container.GetData(), message.size(), message.begin());
    return true;
}

bool ReadMessageSetFile(const char* path, std::array<MessageBytes, 8>& messages,
                        LoadReport& report) {
    std::array<CLEDMessageCon, kMessageSetCount> set;
    if (LoadMessageSet(path, std::span<CLEDMessageCon, kMessageSetCount>(set), &report) != 0) {
        return false;
    }
    for (std::size_t i = 0; i < messages.size(); ++i) {
        std::copy_n(set[i].GetData(), messages[i].size(), messages[i].begin());
    }
    return true;
}

std::string FileSizeWarning(const std::string& name, const LoadReport& report,
                            std::uintmax_t expected, const char* kind, const char* verb) {
    if (report.FileSize == expected) {
        return {};
    }
    const std::string head = "'" + name + "' holds " + std::to_string(report.FileSize) +
                             " bytes, a " + kind + " file holds " + std::to_string(expected) + "; ";
    if (report.FileSize < expected) {
        return head + "the missing bytes are " + verb + " as 0";
    }
    return head + "only the first " + std::to_string(expected) + " are " + verb;
}

} // namespace ledsign_tool
