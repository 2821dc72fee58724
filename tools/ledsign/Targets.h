#pragma once
// The signs a device command runs on: ports given by --port, named signs by --sign, the signs of
// a group by --group, every named sign by --all (each repeatable but --all), in the order given.
// Named signs come from the signs file (SignsFile.h), read only when a name is used.

#include "tools/ledsign/SignsFile.h"

#include <CLI/CLI.hpp>

#include <string>
#include <vector>

namespace ledsign_tool {

struct Target {
    std::string Sign; // the name from the signs file; empty for a --port
    std::string Port;
    unsigned Address = 0;
};

// The options every device command shares: the targets, --signs-file, --address, --trace and
// --json.
struct DeviceOptions {
    std::vector<std::string> Ports;
    std::vector<std::string> Signs;
    std::vector<std::string> Groups;
    bool All = false;
    std::string SignsFile;
    unsigned Address = 0;
    bool Trace = false;
    bool Json = false;
};

// Adds the options above to a device command.
void AddDeviceOptions(CLI::App& app, DeviceOptions& options);

// Adds --signs-file FILE (for `signs` and `watch`).
CLI::Option* AddSignsFileOption(CLI::App& app, std::string& file);

// Reads the signs file(s): `signsFile` when given, else the default ones (DefaultSignsFiles).
// On a problem prints "PROGRAM: " and the problem on stderr and returns false.
bool LoadSignBook(const std::string& program, const std::string& signsFile, SignBook& book);

// The targets of a parsed device command line, in the order given; a sign that a group or --all
// names again is taken once. Prints the problem and returns false on bad usage (no target, a
// port or a sign given twice, an unknown sign or group) or a bad signs file; exit 2 then.
bool ResolveTargets(const CLI::App& app, const DeviceOptions& options, const std::string& program,
                    std::vector<Target>& targets);

} // namespace ledsign_tool
