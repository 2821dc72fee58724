#pragma once
// A main window stand-in for the send action tests: records what the actions show the operator
// in one ordered log, and a temporary current directory for the "temp_msg.bin" hand-over.

#include "comm/SendActions.h"
#include "messages/HeadlessGrid.h"
#include "testsupport/ScratchFiles.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

namespace send_test {

using test_files::Bytes;
using Log = std::vector<std::string>;

// Records every callback as one log line: "status <text>", "error <text>", "running <0|1>",
// "preview <type> <length>". The log may be shared with a fake line so that the order of
// callbacks and line calls shows in one place.
class RecordingHost final : public SendActionsHost {
public:
    explicit RecordingHost(Log& log) : log_(log) {}

    void SetStatusText(const std::string& text) override {
        log_.push_back("status " + text);
        if (onStatus) {
            onStatus(text);
        }
    }
    void ShowError(const std::string& text, const std::string& reason) override {
        log_.push_back("error " + text);
        reasons.push_back(reason);
        if (onError) {
            onError(text);
        }
    }
    void SetPreviewRunning(std::uint16_t running) override {
        log_.push_back("running " + std::to_string(running));
        previewRunning = running;
    }
    void StartPreview(std::int16_t type, const std::uint8_t* message,
                      std::uint16_t length) override {
        log_.push_back("preview " + std::to_string(type) + " " + std::to_string(length));
        previewMessage.assign(message, message + kMessageSize);
        previewStartedRunning = previewRunning;
    }

    std::function<void(const std::string&)> onStatus;
    std::function<void(const std::string&)> onError;
    std::vector<std::string> reasons; // the secondary text of each error, in order
    std::uint16_t previewRunning = 0;
    std::uint16_t previewStartedRunning = 0; // the flag as it was when the preview started
    Bytes previewMessage;                    // the buffer the preview was given, copied

private:
    Log& log_;
};

using test_files::ReadAll;

inline Bytes DataOf(const CLEDMessageCon& message) {
    return Bytes(message.GetData(), message.GetData() + kMessageSize);
}

// Every byte set (type byte and the bytes after the cells too), different for each seed.
inline void FillPattern(CLEDMessageCon& message, int seed) {
    for (int i = 0; i < kMessageSize; ++i) {
        message.GetData()[i] = static_cast<std::uint8_t>(seed * 37 + i * 7 + (i >> 8) + 1);
    }
}

// A fresh empty directory made the process's current directory for the test's life; the old
// current directory comes back and the directory is removed afterwards.
class TempCurrentDirectory {
public:
    TempCurrentDirectory() : previous_(std::filesystem::current_path()), dir_("ledsend-") {
        std::filesystem::current_path(dir_.Path());
    }
    ~TempCurrentDirectory() {
        std::error_code ignored; // the directory goes after this either way
        std::filesystem::current_path(previous_, ignored);
    }
    TempCurrentDirectory(const TempCurrentDirectory&) = delete;
    TempCurrentDirectory& operator=(const TempCurrentDirectory&) = delete;

    const std::filesystem::path& Path() const { return dir_.Path(); }

private:
    std::filesystem::path previous_; // made before dir_, given back before dir_ is removed
    test_files::ScratchDir dir_;
};

// The window's side of the send actions, for a fixture to derive from before it makes its
// protocol and SendActions: a fresh current directory, the operator's log and host, and the
// eight messages with message 1 on its grid, each filled with its own pattern.
struct WindowSide {
    WindowSide() {
        BindMessageToGrid(messages[0], grid);
        for (int i = 0; i < kSendMessageCount; ++i) {
            FillPattern(messages[static_cast<std::size_t>(i)], i + 1);
        }
    }

    TempCurrentDirectory directory;
    Log log;
    RecordingHost host{log};
    HeadlessGrid grid;
    std::array<CLEDMessageCon, kSendMessageCount> messages;
};

} // namespace send_test
