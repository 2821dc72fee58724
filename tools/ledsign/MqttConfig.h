#pragma once
// The configuration of `ledsign mqtt` (default /etc/ledsign/mqtt.conf), `key = value` lines
// read by the shared loader (KeyValueFile.h):
//
//   broker = mqtts://broker.example:8883   mqtt://HOST[:PORT] (1883) or mqtts:// (8883, TLS)
//   ca-file, cert-file, key-file            TLS only; cert-file and key-file go together
//   username, password-file                 the password only ever in a file of its own
//   client-id = ledsign-HOSTNAME            also the name of the persistent session
//   topic-prefix = ledsign
//   signs = kasa, wejscie                   names from the signs file; default all
//   ha-discovery = no, ha-prefix = homeassistant
//   probe-interval = 60                     seconds between clock sets that probe each line
//
// A relative password-file or key-file is read from $CREDENTIALS_DIRECTORY when that is set
// (systemd's LoadCredential=), else from the configuration's folder, as a relative ca-file and
// cert-file always are. The password file's first line is the password; a password file that
// others may read is warned about, since the password guards every sign of the site.

#include "tools/ledsign/KeyValueFile.h"

#include <string>
#include <vector>

namespace ledsign_tool {

inline constexpr const char* kDefaultMqttConfig = "/etc/ledsign/mqtt.conf";

struct MqttConfig {
    std::string Host;
    int Port = 1883;
    bool Tls = false;
    std::string CaFile;
    std::string CertFile;
    std::string KeyFile;
    std::string Username;
    std::string Password; // read from the password file
    std::string ClientId;
    std::string TopicPrefix = "ledsign";
    std::vector<std::string> Signs; // empty: every sign of the signs file
    int SignsLine = 0;              // where `signs` is, for the message about an unknown name
    bool HaDiscovery = false;
    std::string HaPrefix = "homeassistant";
    unsigned ProbeSeconds = 60;
    std::vector<std::string> Warnings; // things to tell that do not stop the start
};

// Reads `path`. `credentialsDir` is $CREDENTIALS_DIRECTORY ("" when unset) and `hostName` the
// host's name for the default client id. True with `config` filled; false with `problem`: a
// line that is no entry, an unknown key, a key given twice, a bad value, a `password` key, TLS
// files without mqtts://, a file named that cannot be read, no broker.
bool ReadMqttConfig(const std::string& path, const std::string& credentialsDir,
                    const std::string& hostName, MqttConfig& config, FileProblem& problem);

// True when `name` can be one level of an MQTT topic name: not empty, no '/', '+', '#' or NUL.
bool IsTopicLevel(const std::string& name);

} // namespace ledsign_tool
