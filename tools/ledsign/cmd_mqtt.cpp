// ledsign mqtt: the bridge between an MQTT broker and the signs of the signs file (MqttBridge.h,
// MqttConfig.h, MqttPayload.h, MqttDiscovery.h). Built where libmosquitto is found.

#include "autosync/StopSignal.h"
#include "comm/LineStop.h"
#include "tools/ledsign/Cli.h"
#include "tools/ledsign/Command.h"
#include "tools/ledsign/MqttBridge.h"
#include "tools/ledsign/MqttConfig.h"
#include "tools/ledsign/System.h"
#include "tools/ledsign/Targets.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

namespace ledsign_tool {

namespace {

struct MqttArgs {
    std::string Config = kDefaultMqttConfig;
    std::string SignsFile;
    bool Quiet = false;
    bool Verbose = false;
};

std::string HostName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0) {
        return {};
    }
    return name;
}

// The signs to bridge: those the configuration names, else every sign of the signs file.
// Prints the problem and returns false (exit 2).
bool ChooseSigns(const MqttArgs& args, const MqttConfig& config, std::vector<Target>& targets) {
    SignBook book;
    if (!LoadSignBook("ledsign mqtt", args.SignsFile, book)) {
        return false;
    }
    const auto add = [&](const NamedSign& sign) {
        for (const Target& t : targets) {
            if (t.Sign == sign.Name) {
                return;
            }
        }
        targets.push_back({sign.Name, sign.Port, sign.Address.value_or(kSignAddress)});
    };
    for (const std::string& name : config.Signs) {
        const NamedSign* sign = book.Find(name);
        if (sign == nullptr) {
            std::fprintf(stderr, "ledsign mqtt: %s:%d: no sign '%s' in %s\n", args.Config.c_str(),
                         config.SignsLine, name.c_str(), book.FilesRead().c_str());
            return false;
        }
        add(*sign);
    }
    if (config.Signs.empty()) {
        for (const NamedSign& sign : book.Signs()) {
            add(sign);
        }
    }
    if (targets.empty()) {
        std::fprintf(stderr, "ledsign mqtt: no named signs in %s: nothing to bridge\n",
                     book.FilesRead().c_str());
        return false;
    }
    for (const Target& t : targets) {
        if (!IsTopicLevel(t.Sign)) {
            std::fprintf(stderr,
                         "ledsign mqtt: the sign name '%s' cannot be a topic level (no '/', '+' "
                         "or '#'); rename it in the signs file\n",
                         t.Sign.c_str());
            return false;
        }
    }
    return true;
}

int RunMqtt(MqttArgs& args) {
    const char* credentials = std::getenv("CREDENTIALS_DIRECTORY");
    MqttConfig config;
    FileProblem problem;
    if (!ReadMqttConfig(args.Config, credentials == nullptr ? "" : credentials, HostName(), config,
                        problem)) {
        std::fprintf(stderr, "ledsign mqtt: %s\n", problem.Describe("configuration").c_str());
        return kExitUsage;
    }
    std::vector<Target> targets;
    if (!ChooseSigns(args, config, targets)) {
        return kExitUsage;
    }
    if (!InstallStopHandlers()) {
        std::fprintf(stderr, "ledsign mqtt: cannot install the stop handlers\n");
        return kExitFailure;
    }
    // Nothing is blanked at a stop: a transaction in progress may end at once.
    EndLineWaitsOnStop(true);
    const std::vector<std::string> warnings = config.Warnings;
    MqttBridge bridge(std::move(config), targets,
                      args.Quiet     ? BridgeVerbosity::Quiet
                      : args.Verbose ? BridgeVerbosity::Verbose
                                     : BridgeVerbosity::Normal,
                      StandardErrorIsJournal());
    for (const std::string& warning : warnings) {
        bridge.Log(BridgeEvents::Level::Warning, "warning: " + warning, false);
    }
    if (!bridge.Start()) {
        bridge.Stop();
        return kExitFailure;
    }
    while (!WaitForStop(3600.0)) {
    }
    bridge.Stop();
    StopFinished();
    return kExitOk;
}

const char* const kHelp =
    "Bridges an MQTT broker and the signs of the signs file (all, or those the\n"
    "configuration's 'signs' names). Each sign has its own thread; its commands run in\n"
    "arrival order, a message for a slot replacing one for the same slot still queued.\n"
    "Commands (QoS 1), topics PREFIX/SIGN/...:\n"
    "  message/set  UTF-8 text with the markup of 'compose', or JSON {\"text\", \"font\": 1-5,\n"
    "               \"static\": true|false, \"slot\": 1-9} (slot 9 unless given); a retained\n"
    "               one is the wanted text, applied at start\n"
    "  set/set      a JSON array of exactly 8 messages (texts or such objects without slot)\n"
    "  show/set     1..9        clock/set  any payload: sets the sign's clock\n"
    "State, retained: PREFIX/SIGN/availability online|offline, PREFIX/SIGN/state JSON\n"
    "{text, slot, line, error, message, time}, PREFIX/bridge/CLIENT-ID/availability.\n"
    "Each command's result: PREFIX/SIGN/result {command, ok, error, message, ms}, and the\n"
    "MQTT 5 response topic with its correlation data. Bad input is an error of kind\n"
    "bad-input and sends nothing.\n"
    "A lost sign is reopened after 2 s, 4 s, ... at most every 30 s and its messages sent\n"
    "again; a lost broker is reconnected (1 s doubling to 30 s), the persistent session\n"
    "keeping the commands published meanwhile.\n"
    "With ha-discovery = yes each sign is a Home Assistant device (text, select, button,\n"
    "sensor) under HA_PREFIX/COMPONENT/CLIENT-ID/SIGN_ENTITY/config; a config found there\n"
    "for a sign no longer bridged is removed.\n"
    "--config FILE (default /etc/ledsign/mqtt.conf): 'key = value' lines: broker\n"
    "(mqtt://HOST[:PORT] or mqtts://HOST[:PORT]), ca-file, cert-file, key-file, username,\n"
    "password-file (never the password itself), client-id (ledsign-HOSTNAME), topic-prefix\n"
    "(ledsign), signs, ha-discovery (no), ha-prefix (homeassistant), probe-interval (60).\n"
    "A relative password-file or key-file is read from $CREDENTIALS_DIRECTORY when set.\n"
    "Logs one line per event on stderr. SIGINT, SIGTERM or SIGHUP publishes 'offline',\n"
    "disconnects and exits 0; the signs keep their messages. Exit 2 on bad usage or a bad\n"
    "configuration (before anything connects), 1 on other failures.";

CommandRun DefineMqtt(CLI::App& app) {
    auto o = std::make_shared<MqttArgs>();
    app.footer(kHelp);
    app.add_option("--config", o->Config,
                   "the bridge's configuration (default /etc/ledsign/mqtt.conf)")
        ->type_name("FILE");
    AddSignsFileOption(app, o->SignsFile);
    auto* quiet = app.add_flag("--quiet", o->Quiet, "log errors only");
    app.add_flag("--verbose", o->Verbose, "log every command, probe and retry too")
        ->excludes(quiet);
    return [o] { return RunMqtt(*o); };
}

const CommandRegistration kMqtt({"mqtt",
                                 "bridge an MQTT broker and the signs: commands in, state and "
                                 "results out",
                                 DefineMqtt});

} // namespace

} // namespace ledsign_tool
