#pragma once
// The software sign (ledsign-emulator) as the tests run it: a process on a pseudo-terminal that
// logs every request it accepts, and the log lines a test expects. The log is what the sign
// really received, so the tests compare it instead of trusting the sender's own account.
// POSIX only; needs LEDSIGN_EMULATOR (the emulator's path) defined by the test program.

#include "autosync/Unitautosync.h"
#include "comm/OpenLine.h"
#include "comm/Unitcomport.h"
#include "testsupport/ScratchFiles.h"
#include "testsupport/Subprocess.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace tool_tests {

using test_files::Bytes;

// Upper-case hex, two digits a byte, no separators: the emulator's log spelling.
inline std::string Hex(const std::uint8_t* bytes, std::size_t count) {
    std::string out;
    char b[3];
    for (std::size_t i = 0; i < count; ++i) {
        std::snprintf(b, sizeof b, "%02X", bytes[i]);
        out += b;
    }
    return out;
}

inline std::string Hex(const Bytes& bytes) {
    return Hex(bytes.data(), bytes.size());
}

// One request as the emulator logs it: "cmd=15 slot=9 len=1024 data=<hex>".
inline std::string RequestLine(int command, int slot, const Bytes& payload) {
    char head[48];
    std::snprintf(head, sizeof head, "cmd=%02X slot=%d len=%zu data=", command, slot,
                  payload.size());
    return head + Hex(payload);
}

// The log line of a slot-9 message (the synchronisation mode's) whose cells are `text` in
// `font` and whose type byte is `type`; every other byte zero.
inline std::string Slot9Line(const std::string& text, int font, int type) {
    Bytes message(kSyncMessageSize, 0);
    for (std::size_t i = 0; i < text.size() && 2 * i + 1 < message.size(); ++i) {
        message[2 * i] = static_cast<std::uint8_t>(font);
        message[2 * i + 1] = static_cast<std::uint8_t>(text[i]);
    }
    message[kSyncTypeIndex] = static_cast<std::uint8_t>(type);
    return RequestLine(0x15, 9, message);
}

// A running emulator, quiet, with its request log `<name>.log` in `dir`. The constructor waits
// for the port path the emulator prints first; Port() is "" when it did not start. The
// destructor terminates it.
class Sign {
public:
    explicit Sign(const std::filesystem::path& dir, std::vector<std::string> options = {},
                  const std::string& name = "sign")
        : log_((dir / (name + ".log")).string()), process_(Args(std::move(options), log_)) {
        port_ = process_.ReadLine();
    }
    const std::string& Port() const { return port_; }
    // Every request logged so far, oldest first.
    std::vector<std::string> Log() const { return test_files::ReadLines(log_); }
    // The slot-9 requests only: the clock and the other commands left out.
    std::vector<std::string> Slot9Log() const {
        std::vector<std::string> lines;
        for (const std::string& l : Log()) {
            if (l.rfind("cmd=15 ", 0) == 0) {
                lines.push_back(l);
            }
        }
        return lines;
    }
    // Waits until the log holds `count` requests; false after 10 s (a loaded machine's margin).
    bool WaitForLines(std::size_t count) const {
        return WaitUntil([&] { return Log().size() >= count; });
    }
    // Waits until the log holds `count` slot-9 requests; false after 10 s.
    bool WaitForSlot9(std::size_t count) const {
        return WaitUntil([&] { return Slot9Log().size() >= count; });
    }
    Subprocess& Process() { return process_; }

private:
    static std::vector<std::string> Args(std::vector<std::string> options, const std::string& log) {
        std::vector<std::string> args = {LEDSIGN_EMULATOR, "--quiet", "--log", log};
        args.insert(args.end(), options.begin(), options.end());
        return args;
    }
    template <class Done> static bool WaitUntil(Done done) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < deadline) {
            if (done()) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }

    std::string log_;
    Subprocess process_;
    std::string port_;
};

// True when nobody holds `port`: ports are opened without sharing, so a caller that left it
// open makes this false.
inline bool PortFree(const std::string& port) {
    return OpenLine(port.c_str()).Line != nullptr; // and closed again at once
}

} // namespace tool_tests
