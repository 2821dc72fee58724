#pragma once
// Sub-commands of the ledsign tool. Each command file registers its commands with a static
// CommandRegistration; main() looks the first argument up in the registry.
//
// Exit codes shared by every command: 0 success, 1 input or device that cannot be used
// (file unreadable, port cannot be opened, no reply, refused), 2 bad usage.

#include <string>
#include <vector>

namespace ledsign_tool {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// A command gets its arguments after the command name. It prints its outcome on stdout and
// errors on stderr, and returns one of the exit codes above.
using CommandFn = int (*)(const std::vector<std::string>& args);

struct Command {
    const char* Name;
    const char* Usage;   // one line: the arguments after the name
    const char* Summary; // one line: what it does
    CommandFn Run;
};

// Registers a command at static-initialisation time.
struct CommandRegistration {
    explicit CommandRegistration(const Command& command);
};

const std::vector<Command>& Commands();

} // namespace ledsign_tool
