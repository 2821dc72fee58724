#pragma once
// What ledsign asks of the system beyond the core: where the signs files are, whether a file
// read by root may be written by others, and whether standard error goes to the systemd
// journal. One implementation per platform (platform/System*.cpp).

#include <string>
#include <vector>

namespace ledsign_tool {

// The signs files to read when --signs-file is not given, the system's first and the user's
// last (a later file's sign replaces an earlier one's of the same name): on POSIX
// /etc/ledsign/signs.conf and $XDG_CONFIG_HOME/ledsign/signs.conf (~/.config by default), on
// Windows %ProgramData%\ledsign\signs.conf and %APPDATA%\ledsign\signs.conf.
std::vector<std::string> DefaultSignsFiles();

// Why `path` is not to be trusted: when this program runs as root and the file may be written by
// another user (owned by one, or writable by its group or by everyone), the reason; else "".
std::string UntrustedFileReason(const std::string& path);

// True when JOURNAL_STREAM names the file this process's standard error is (started by systemd
// with its output to the journal).
bool StandardErrorIsJournal();

} // namespace ledsign_tool
