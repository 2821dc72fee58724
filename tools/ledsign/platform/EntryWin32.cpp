// Windows: the narrow main() would get the arguments in the ANSI code page, losing every
// character it lacks (most of Polish under a Western code page). wmain (linked with -municode)
// gets them as UTF-16 and converts them to UTF-8 here, the one place where that happens.

#include "messages/platform/WideNames.h"
#include "tools/ledsign/Entry.h"

#include <cstdio>
#include <string>
#include <vector>

#include <windows.h>

int wmain(int argc, wchar_t** argv) {
    // The tool prints UTF-8; a console shows it as such only with the UTF-8 code page. Output
    // to a pipe or file is not converted either way. The previous code page is given back so
    // that the console window the user keeps is left as it was.
    const UINT outputCodePage = GetConsoleOutputCP();
    SetConsoleOutputCP(CP_UTF8);

    std::vector<std::string> arguments;
    arguments.reserve(static_cast<std::size_t>(argc));
    for (int i = 0; i < argc; ++i) {
        arguments.push_back(NarrowToUtf8(argv[i]));
    }
    std::vector<char*> pointers;
    for (std::string& argument : arguments) {
        pointers.push_back(argument.data());
    }
    pointers.push_back(nullptr);

    const int status = ledsign_tool::RunLedsign(argc, pointers.data());
    std::fflush(stdout);
    std::fflush(stderr);
    if (outputCodePage != 0) {
        SetConsoleOutputCP(outputCodePage);
    }
    return status;
}
