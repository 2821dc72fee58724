#include "tools/ledsign/MqttConfig.h"

#include "tools/ledsign/Cli.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <set>
#include <system_error>

#include <sys/stat.h>

namespace ledsign_tool {

namespace {

namespace fs = std::filesystem;

constexpr const char* kKnownKeys =
    "broker, ca-file, cert-file, key-file, username, password-file, client-id, topic-prefix, "
    "signs, ha-discovery, ha-prefix, probe-interval";

// The files a configuration names, resolved once every entry is read.
struct NamedFiles {
    std::string PasswordFile;
    int PasswordLine = 0;
    int CaLine = 0;
    int CertLine = 0;
    int KeyLine = 0;
};

std::string ParseBroker(const std::string& value, MqttConfig& out) {
    const std::string bad =
        "bad broker '" + value + "' (mqtt://HOST[:PORT] or mqtts://HOST[:PORT])";
    std::string rest;
    if (value.rfind("mqtt://", 0) == 0) {
        rest = value.substr(7);
        out.Tls = false;
        out.Port = 1883;
    } else if (value.rfind("mqtts://", 0) == 0) {
        rest = value.substr(8);
        out.Tls = true;
        out.Port = 8883;
    } else {
        return bad;
    }
    if (!rest.empty() && rest.back() == '/') {
        rest.pop_back();
    }
    // [v6-address]:port, or host:port.
    std::string host = rest;
    std::string port;
    if (!rest.empty() && rest.front() == '[') {
        const auto close = rest.find(']');
        if (close == std::string::npos) {
            return bad;
        }
        host = rest.substr(1, close - 1);
        const std::string after = rest.substr(close + 1);
        if (!after.empty() && after.front() != ':') {
            return bad;
        }
        port = after.empty() ? "" : after.substr(1);
        if (!after.empty() && port.empty()) {
            return bad;
        }
    } else if (const auto colon = rest.rfind(':'); colon != std::string::npos) {
        host = rest.substr(0, colon);
        port = rest.substr(colon + 1);
        if (port.empty()) {
            return bad;
        }
    }
    if (host.empty() || host.find_first_of("/ @") != std::string::npos) {
        return bad;
    }
    std::uint64_t number = 0;
    if (!port.empty()) {
        if (!ParseDecimal(port, 1, 65535, number)) {
            return bad;
        }
        out.Port = static_cast<int>(number);
    }
    out.Host = host;
    return {};
}

std::vector<std::string> SplitNames(const std::string& value) {
    std::vector<std::string> names;
    std::string name;
    for (const char c : value + ",") {
        if (c == ',' || c == ' ' || c == '\t') {
            if (!name.empty()) {
                names.push_back(name);
            }
            name.clear();
        } else {
            name += c;
        }
    }
    return names;
}

// A topic prefix: one or more levels, no wildcard, no empty level.
bool IsTopicPrefix(const std::string& prefix) {
    std::size_t begin = 0;
    for (;;) {
        const auto slash = prefix.find('/', begin);
        if (!IsTopicLevel(prefix.substr(begin, slash - begin))) {
            return false;
        }
        if (slash == std::string::npos) {
            return true;
        }
        begin = slash + 1;
    }
}

std::string ApplyEntry(const KeyValueEntry& entry, MqttConfig& out, NamedFiles& files) {
    const std::string& key = entry.Key;
    const std::string& value = entry.Value;
    std::uint64_t number = 0;
    if (key == "broker") {
        return ParseBroker(value, out);
    }
    if (key == "password") {
        return "a password does not belong in the configuration: put it alone in a file that "
               "only the bridge may read and name that file with 'password-file'";
    }
    if (key == "ca-file" || key == "cert-file" || key == "key-file") {
        const bool ca = key == "ca-file";
        const bool cert = key == "cert-file";
        (ca ? out.CaFile : cert ? out.CertFile : out.KeyFile) = value;
        (ca ? files.CaLine : cert ? files.CertLine : files.KeyLine) = entry.Line;
    } else if (key == "username") {
        out.Username = value;
    } else if (key == "password-file") {
        files.PasswordFile = value;
        files.PasswordLine = entry.Line;
    } else if (key == "client-id") {
        if (!IsTopicLevel(value) || value.size() > 65535) {
            return "bad client-id '" + value + "' (no '/', '+' or '#': it is a topic level too)";
        }
        out.ClientId = value;
    } else if (key == "topic-prefix" || key == "ha-prefix") {
        if (!IsTopicPrefix(value)) {
            return "bad " + key + " '" + value +
                   "' (topic levels separated by '/', none empty, no '+' or '#')";
        }
        (key == "topic-prefix" ? out.TopicPrefix : out.HaPrefix) = value;
    } else if (key == "signs") {
        out.Signs = SplitNames(value);
        out.SignsLine = entry.Line;
    } else if (key == "ha-discovery") {
        if (value != "yes" && value != "no") {
            return "bad ha-discovery '" + value + "' (yes or no)";
        }
        out.HaDiscovery = value == "yes";
    } else if (key == "probe-interval") {
        if (!ParseDecimal(value, 1, 86400, number)) {
            return "bad probe-interval '" + value + "' (whole seconds, 1..86400)";
        }
        out.ProbeSeconds = static_cast<unsigned>(number);
    } else {
        return "unknown key '" + key + "' (known: " + kKnownKeys + ")";
    }
    return {};
}

// `name` as given, relative to `base` when it is relative and a base is given.
std::string Resolve(const std::string& name, const std::string& base) {
    const fs::path path(name);
    return path.is_absolute() || base.empty() ? name : (fs::path(base) / path).string();
}

// "" when `path` can be opened for reading, else why not.
std::string Unreadable(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (file) {
        return {};
    }
    const std::error_code code(errno, std::generic_category());
    return "cannot read " + path + ": " + code.message();
}

} // namespace

bool IsTopicLevel(const std::string& name) {
    return !name.empty() && name.find_first_of(std::string("/+#\0", 4)) == std::string::npos;
}

bool ReadMqttConfig(const std::string& path, const std::string& credentialsDir,
                    const std::string& hostName, MqttConfig& config, FileProblem& problem) {
    std::vector<KeyValueEntry> entries;
    if (!ReadKeyValueFile(path, false, entries, problem)) {
        return false;
    }
    config = MqttConfig{};
    NamedFiles files;
    std::set<std::string> seen;
    for (const KeyValueEntry& entry : entries) {
        std::string reason = seen.insert(entry.Key).second
                                 ? ApplyEntry(entry, config, files)
                                 : "'" + entry.Key + "' given a second time";
        if (!reason.empty()) {
            problem = {path, entry.Line, reason};
            return false;
        }
    }
    const auto fail = [&](int line, const std::string& reason) {
        problem = {path, line, reason};
        return false;
    };
    if (config.Host.empty()) {
        return fail(0, "no 'broker' (mqtt://HOST[:PORT] or mqtts://HOST[:PORT])");
    }
    problem.Line = 0;
    if (!config.Tls && (files.CaLine != 0 || files.CertLine != 0 || files.KeyLine != 0)) {
        return fail(std::max({files.CaLine, files.CertLine, files.KeyLine}),
                    "ca-file, cert-file and key-file need an mqtts:// broker");
    }
    if ((files.CertLine == 0) != (files.KeyLine == 0)) {
        return fail(std::max(files.CertLine, files.KeyLine), "cert-file and key-file go together");
    }
    if (files.PasswordLine != 0 && config.Username.empty()) {
        return fail(files.PasswordLine, "a password-file needs a username");
    }
    const std::string configDir = fs::path(path).parent_path().string();
    const std::string secretsDir = credentialsDir.empty() ? configDir : credentialsDir;
    config.CaFile = config.CaFile.empty() ? "" : Resolve(config.CaFile, configDir);
    config.CertFile = config.CertFile.empty() ? "" : Resolve(config.CertFile, configDir);
    config.KeyFile = config.KeyFile.empty() ? "" : Resolve(config.KeyFile, secretsDir);
    for (const auto& [file, line] :
         {std::pair{config.CaFile, files.CaLine}, std::pair{config.CertFile, files.CertLine},
          std::pair{config.KeyFile, files.KeyLine}}) {
        if (const std::string reason = file.empty() ? "" : Unreadable(file); !reason.empty()) {
            return fail(line, reason);
        }
    }
    if (files.PasswordLine != 0) {
        const std::string file = Resolve(files.PasswordFile, secretsDir);
        std::ifstream in(file, std::ios::binary);
        if (!in) {
            return fail(files.PasswordLine, Unreadable(file));
        }
        std::getline(in, config.Password);
        if (!config.Password.empty() && config.Password.back() == '\r') {
            config.Password.pop_back();
        }
        if (config.Password.empty()) {
            return fail(files.PasswordLine, "the password file " + file + " has no password");
        }
        struct stat st {};
        if (::stat(file.c_str(), &st) == 0 && (st.st_mode & S_IROTH) != 0) {
            config.Warnings.push_back("the password file " + file +
                                      " may be read by every user; chmod o-r it");
        }
    }
    if (config.ClientId.empty()) {
        std::string host;
        for (const char c : hostName) {
            host += IsTopicLevel(std::string(1, c)) && c != ' ' ? c : '-';
        }
        config.ClientId = "ledsign-" + (host.empty() ? std::string("host") : host);
    }
    return true;
}

} // namespace ledsign_tool
