// ledsign: command-line front end over ledcore for scripts and machines without a desktop.

#include "tools/ledsign/Command.h"
#include "tools/ledsign/Entry.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace ledsign_tool {

namespace {
std::vector<Command>& Registry() {
    static std::vector<Command> registry;
    return registry;
}
} // namespace

CommandRegistration::CommandRegistration(const Command& command) {
    Registry().push_back(command);
}

const std::vector<Command>& Commands() {
    return Registry();
}

} // namespace ledsign_tool

namespace {

void PrintHelp(std::FILE* out) {
    using namespace ledsign_tool;
    std::vector<Command> commands = Commands();
    std::sort(commands.begin(), commands.end(),
              [](const Command& a, const Command& b) { return std::strcmp(a.Name, b.Name) < 0; });
    std::fprintf(out, "Usage: ledsign COMMAND [ARGUMENTS]\n\n"
                      "Controls a 64 x 8 LED moving-message sign and edits its message files.\n\n"
                      "Commands:\n");
    for (const Command& c : commands) {
        std::fprintf(out, "  ledsign %s %s\n      %s\n", c.Name, c.Usage, c.Summary);
    }
    std::fprintf(out, "\nExit status: 0 success, 1 failure, 2 bad usage.\n"
                      "Run 'ledsign COMMAND --help' for the options of one command.\n");
}

} // namespace

int ledsign_tool::RunLedsign(int argc, char** argv) {
    using namespace ledsign_tool;
    if (argc < 2) {
        PrintHelp(stderr);
        return kExitUsage;
    }
    const std::string name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        PrintHelp(stdout);
        return kExitOk;
    }
    for (const Command& c : Commands()) {
        if (name == c.Name) {
            return c.Run(std::vector<std::string>(argv + 2, argv + argc));
        }
    }
    std::fprintf(stderr, "ledsign: unknown command '%s'\n\n", name.c_str());
    PrintHelp(stderr);
    return kExitUsage;
}
