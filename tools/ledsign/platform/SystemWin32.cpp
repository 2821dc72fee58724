// Windows: the signs files under %ProgramData% and %APPDATA%; no journal, and no root.

#include "tools/ledsign/System.h"

#include "preview/platform/WideNames.h"

#include <cstdlib>
#include <windows.h>

namespace ledsign_tool {

namespace {

// The variable's value in UTF-8, as every file name in the tools is ("" when unset).
std::string Utf8Environment(const wchar_t* name) {
    const wchar_t* value = _wgetenv(name);
    if (value == nullptr || value[0] == L'\0') {
        return {};
    }
    return NarrowToUtf8(value);
}

} // namespace

std::vector<std::string> DefaultSignsFiles() {
    std::vector<std::string> files;
    for (const wchar_t* variable : {L"ProgramData", L"APPDATA"}) {
        const std::string folder = Utf8Environment(variable);
        if (!folder.empty()) {
            files.push_back(folder + "\\ledsign\\signs.conf");
        }
    }
    return files;
}

std::string UntrustedFileReason(const std::string&) {
    return {};
}

bool StandardErrorIsJournal() {
    return false;
}

} // namespace ledsign_tool
