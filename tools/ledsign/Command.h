#pragma once
// Sub-commands of the ledsign tool. Each command file registers its commands with a static
// CommandRegistration; main() builds one CLI11 application from them, so that every command's
// options, help and usage errors come from the same definitions and follow the same rules.

#include <CLI/CLI.hpp>

#include <functional>
#include <string>
#include <vector>

namespace ledsign_tool {

// Exit statuses shared by every command. A device command's failure has the status of its
// reason (ExitStatusOf in Results.h); a failure with no such reason is kExitFailure.
constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2; // bad usage or a bad configuration (signs file, watch file)

// Runs a command after its command line was parsed; returns the exit status.
using CommandRun = std::function<int()>;

struct Command {
    const char* Name;
    const char* Summary; // one line: what it does
    // Adds the command's options and arguments to `app`, the command's own CLI11 subcommand,
    // and returns what runs it with the values they receive.
    CommandRun (*Define)(CLI::App& app);
};

// Registers a command at static-initialisation time.
struct CommandRegistration {
    explicit CommandRegistration(const Command& command);
};

const std::vector<Command>& Commands();

} // namespace ledsign_tool
