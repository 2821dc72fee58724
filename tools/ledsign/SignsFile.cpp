#include "tools/ledsign/SignsFile.h"

#include "preview/Utf8Files.h"

#include "tools/ledsign/Cli.h"
#include "tools/ledsign/System.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <sstream>

namespace ledsign_tool {

namespace {

std::vector<std::string> SplitGroups(const std::string& value) {
    std::string spaced = value;
    std::replace(spaced.begin(), spaced.end(), ',', ' ');
    std::istringstream words(spaced);
    std::vector<std::string> groups;
    for (std::string word; words >> word;) {
        groups.push_back(word);
    }
    return groups;
}

// Applies one `key = value` of a sign; "" when valid, else the reason.
std::string ApplyKey(const KeyValueEntry& entry, NamedSign& sign) {
    if (entry.Key == "port") {
        sign.Port = entry.Value;
    } else if (entry.Key == "address") {
        std::uint64_t address = 0;
        if (!ParseDecimal(entry.Value, 0, 0xFFFF, address)) {
            return "bad address '" + entry.Value + "' (0..65535)";
        }
        sign.Address = static_cast<unsigned>(address);
    } else if (entry.Key == "groups") {
        sign.Groups = SplitGroups(entry.Value);
    } else {
        return "unknown key '" + entry.Key + "' (known: port, address, groups)";
    }
    return {};
}

} // namespace

bool SignBook::Load(const std::vector<std::string>& files, bool missingIsEmpty,
                    FileProblem& problem) {
    for (const std::string& path : files) {
        std::error_code error;
        if (missingIsEmpty && !std::filesystem::exists(Utf8ToPath(path), error)) {
            continue;
        }
        if (!LoadFile(path, problem)) {
            return false;
        }
    }
    return true;
}

bool SignBook::LoadFile(const std::string& path, FileProblem& problem) {
    if (const std::string reason = UntrustedFileReason(path); !reason.empty()) {
        problem = {path, 0, reason};
        return false;
    }
    std::vector<KeyValueEntry> entries;
    if (!ReadKeyValueFile(path, true, entries, problem)) {
        return false;
    }
    read_.push_back(path);
    std::vector<NamedSign> signs;
    std::map<std::string, int> firstLine;
    int sectionLine = 0;
    const auto finish = [&]() -> bool {
        if (!signs.empty() && signs.back().Port.empty()) {
            problem = {path, sectionLine, "sign '" + signs.back().Name + "' has no port"};
            return false;
        }
        return true;
    };
    for (const KeyValueEntry& entry : entries) {
        if (entry.Key.empty()) { // a section's own line
            if (!finish()) {
                return false;
            }
            const auto [first, added] = firstLine.emplace(entry.Section, entry.Line);
            if (!added) {
                problem = {path, entry.Line,
                           "sign '" + entry.Section + "' is defined twice (first at line " +
                               std::to_string(first->second) + ")"};
                return false;
            }
            sectionLine = entry.Line;
            signs.push_back({entry.Section, {}, {}, {}});
            continue;
        }
        if (signs.empty()) {
            problem = {path, entry.Line, "'" + entry.Key + "' before the first [NAME] section"};
            return false;
        }
        if (const std::string reason = ApplyKey(entry, signs.back()); !reason.empty()) {
            problem = {path, entry.Line, reason};
            return false;
        }
    }
    if (!finish()) {
        return false;
    }
    for (NamedSign& sign : signs) {
        const auto same = std::find_if(signs_.begin(), signs_.end(),
                                       [&](const NamedSign& s) { return s.Name == sign.Name; });
        if (same != signs_.end()) {
            *same = std::move(sign);
        } else {
            signs_.push_back(std::move(sign));
        }
    }
    return true;
}

const NamedSign* SignBook::Find(const std::string& name) const {
    const auto found = std::find_if(signs_.begin(), signs_.end(),
                                    [&](const NamedSign& s) { return s.Name == name; });
    return found == signs_.end() ? nullptr : &*found;
}

std::string SignBook::FilesRead() const {
    std::string files;
    for (const std::string& path : read_) {
        files += (files.empty() ? "" : ", ") + path;
    }
    return files.empty() ? "no signs file" : files;
}

} // namespace ledsign_tool
