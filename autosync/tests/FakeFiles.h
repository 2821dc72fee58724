#pragma once
// File stamps set by the test instead of read from the disk: a name without a stamp reads as a
// missing file.

#include "autosync/FileStamp.h"

#include <map>
#include <string>

class FakeFiles final : public FileStatusProvider {
public:
    FileStamp Stat(const std::string& name) override {
        const auto it = Stamps.find(name);
        return it == Stamps.end() ? FileStamp{} : it->second;
    }
    std::map<std::string, FileStamp> Stamps;
};
