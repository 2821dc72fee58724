// ledsign: command-line front end over ledcore for scripts and machines without a desktop.

#include "tools/ledsign/Cli.h"
#include "tools/ledsign/Command.h"
#include "tools/ledsign/Entry.h"
#include "tools/ledsign/Results.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#ifndef LEDSIGN_VERSION
#error "LEDSIGN_VERSION must name the project version"
#endif

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

std::vector<ledsign_tool::Command> SortedCommands() {
    std::vector<ledsign_tool::Command> commands = ledsign_tool::Commands();
    std::sort(commands.begin(), commands.end(),
              [](const auto& a, const auto& b) { return std::strcmp(a.Name, b.Name) < 0; });
    return commands;
}

void PrintHelp(std::FILE* out) {
    std::fprintf(out, "Usage: ledsign COMMAND [OPTIONS] [ARGUMENTS]\n\n"
                      "Controls a 64 x 8 LED moving-message sign and edits its message files.\n\n"
                      "Commands:\n");
    for (const ledsign_tool::Command& c : SortedCommands()) {
        std::fprintf(out, "  %-12s %s\n", c.Name, c.Summary);
    }
    std::fprintf(out,
                 "\n%s\nRun 'ledsign COMMAND --help' for the options of one command,\n"
                 "'ledsign --version' for the version.\n",
                 ledsign_tool::kExitStatusHelp);
}

} // namespace

int ledsign_tool::RunLedsign(int argc, char** argv) {
    if (argc < 2) {
        PrintHelp(stderr);
        return kExitUsage;
    }
    const std::string name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        PrintHelp(stdout);
        return kExitOk;
    }
    if (name == "--version") {
        std::printf("ledsign %s\n", LEDSIGN_VERSION);
        return kExitOk;
    }
    const auto& commands = Commands();
    const auto command = std::find_if(commands.begin(), commands.end(),
                                      [&name](const Command& c) { return name == c.Name; });
    if (command == commands.end()) {
        std::fprintf(stderr, "ledsign: unknown command '%s'\n\n", name.c_str());
        PrintHelp(stderr);
        return kExitUsage;
    }
    const std::string program = "ledsign " + name;
    CLI::App app(command->Summary, program);
    app.set_help_flag("-h,--help", "print this help and exit");
    app.get_formatter()->column_width(26);
    const CommandRun run = command->Define(app);
    // The command's arguments alone: CLI11 takes argv[0] for the program, here the command.
    const int parsed = ParseOrExit(app, argc - 1, argv + 1, program);
    return parsed >= 0 ? parsed : run();
}
