#include "tools/ledsign/Targets.h"

#include "comm/Unitcomprotocol.h"
#include "tools/ledsign/Cli.h"
#include "tools/ledsign/System.h"

#include <algorithm>
#include <cstdio>

namespace ledsign_tool {

namespace {

void PrintUsageError(const std::string& program, const std::string& reason) {
    std::fprintf(stderr, "%s\n", UsageErrorLine(program, reason).c_str());
}

} // namespace

CLI::Option* AddSignsFileOption(CLI::App& app, std::string& file) {
    return app
        .add_option("--signs-file", file,
                    "the signs file to read instead of /etc/ledsign/signs.conf and "
                    "~/.config/ledsign/signs.conf")
        ->type_name("FILE");
}

void AddDeviceOptions(CLI::App& app, DeviceOptions& options) {
    options.Address = kSignAddress;
    app.add_option("--port", options.Ports,
                   "serial port, tcp://HOST:PORT or rfc2217://HOST:PORT; repeatable")
        ->allow_extra_args(false)
        ->type_name("PORT");
    app.add_option("--sign", options.Signs, "a sign named in the signs file; repeatable")
        ->allow_extra_args(false)
        ->type_name("NAME");
    app.add_option("--group", options.Groups, "the signs of a group of the signs file; repeatable")
        ->allow_extra_args(false)
        ->type_name("GROUP");
    app.add_flag("--all", options.All, "every sign of the signs file");
    AddSignsFileOption(app, options.SignsFile);
    app.add_option("--address", options.Address,
                   "the sign's address, 0..65535 (default: the signs file's, else 380)")
        ->transform(DecimalIn(0, 0xFFFF))
        ->type_name("A");
    app.add_flag("--trace", options.Trace,
                 "print each frame sent and received, with its header, on stderr");
    app.add_flag("--json", options.Json, "print one JSON object per sign (JSON Lines)");
}

bool LoadSignBook(const std::string& program, const std::string& signsFile, SignBook& book) {
    FileProblem problem;
    const bool given = !signsFile.empty();
    if (!book.Load(given ? std::vector<std::string>{signsFile} : DefaultSignsFiles(), !given,
                   problem)) {
        std::fprintf(stderr, "%s: %s\n", program.c_str(), problem.Describe("signs file").c_str());
        return false;
    }
    return true;
}

bool ResolveTargets(const CLI::App& app, const DeviceOptions& options, const std::string& program,
                    std::vector<Target>& targets) {
    const bool named = !options.Signs.empty() || !options.Groups.empty() || options.All;
    if (options.Ports.empty() && !named) {
        PrintUsageError(program, "--port, --sign, --group or --all is required");
        return false;
    }
    SignBook book;
    if (named && !LoadSignBook(program, options.SignsFile, book)) {
        return false;
    }
    const bool addressGiven = app.get_option("--address")->count() > 0;
    const auto namedTarget = [&](const NamedSign& sign) {
        return Target{sign.Name, sign.Port,
                      addressGiven ? options.Address : sign.Address.value_or(options.Address)};
    };
    const auto has = [&targets](const std::string& port) {
        return std::any_of(targets.begin(), targets.end(),
                           [&](const Target& t) { return t.Port == port; });
    };
    // Ports and signs named one by one may not repeat one another; beyond that each port runs
    // once, where it was first given, so that overlapping groups mean each sign once.
    std::vector<std::string> explicitPorts;
    const auto addExplicit = [&](Target target) {
        if (std::find(explicitPorts.begin(), explicitPorts.end(), target.Port) !=
            explicitPorts.end()) {
            PrintUsageError(program, "port " + target.Port + " is given twice");
            return false;
        }
        explicitPorts.push_back(target.Port);
        if (!has(target.Port)) {
            targets.push_back(std::move(target));
        }
        return true;
    };
    std::size_t next[3] = {0, 0, 0};
    for (const CLI::Option* option : app.parse_order()) {
        const std::string& name = option->get_name();
        if (name == "--port") {
            if (!addExplicit({{}, options.Ports[next[0]++], options.Address})) {
                return false;
            }
        } else if (name == "--sign") {
            const std::string& sign = options.Signs[next[1]++];
            const NamedSign* found = book.Find(sign);
            if (found == nullptr) {
                PrintUsageError(program, "no sign '" + sign + "' in " + book.FilesRead());
                return false;
            }
            if (!addExplicit(namedTarget(*found))) {
                return false;
            }
        } else if (name == "--group" || name == "--all") {
            const std::string group = name == "--all" ? "" : options.Groups[next[2]++];
            bool any = false;
            for (const NamedSign& sign : book.Signs()) {
                if (group.empty() ||
                    std::find(sign.Groups.begin(), sign.Groups.end(), group) != sign.Groups.end()) {
                    any = true;
                    if (!has(sign.Port)) {
                        targets.push_back(namedTarget(sign));
                    }
                }
            }
            if (!any) {
                PrintUsageError(program, (group.empty() ? std::string("no signs")
                                                        : "no sign in group '" + group + "'") +
                                             " in " + book.FilesRead());
                return false;
            }
        }
    }
    return true;
}

} // namespace ledsign_tool
