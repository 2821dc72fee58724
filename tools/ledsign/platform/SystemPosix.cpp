// POSIX: the signs files under /etc and the XDG configuration folder; the journal by
// JOURNAL_STREAM's "DEVICE:INODE".

#include "tools/ledsign/System.h"

#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace ledsign_tool {

std::vector<std::string> DefaultSignsFiles() {
    std::vector<std::string> files = {"/etc/ledsign/signs.conf"};
    const char* config = std::getenv("XDG_CONFIG_HOME");
    const char* home = std::getenv("HOME");
    if (config != nullptr && config[0] == '/') {
        files.push_back(std::string(config) + "/ledsign/signs.conf");
    } else if (home != nullptr && home[0] != '\0') {
        files.push_back(std::string(home) + "/.config/ledsign/signs.conf");
    }
    return files;
}

std::string UntrustedFileReason(const std::string& path) {
    struct stat st {};
    if (geteuid() != 0 || stat(path.c_str(), &st) != 0) {
        return {}; // not root, or the read that follows tells what is wrong
    }
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
    if (st.st_uid != 0) {
        return "it belongs to user " + std::to_string(st.st_uid) +
               ", and root does not read a file others may write";
    }
    if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        return std::string("its mode ") + mode +
               " lets others write it, and root does not read such a file";
    }
    return {};
}

bool StandardErrorIsJournal() {
    const char* stream = std::getenv("JOURNAL_STREAM");
    struct stat st {};
    unsigned long long device = 0;
    unsigned long long inode = 0;
    if (stream == nullptr || std::sscanf(stream, "%llu:%llu", &device, &inode) != 2 ||
        fstat(STDERR_FILENO, &st) != 0) {
        return false;
    }
    return static_cast<unsigned long long>(st.st_dev) == device &&
           static_cast<unsigned long long>(st.st_ino) == inode;
}

} // namespace ledsign_tool
