// POSIX: arguments and the terminal already carry the locale's bytes (UTF-8 in practice).

#include "tools/ledsign/Entry.h"

int main(int argc, char** argv) {
    return ledsign_tool::RunLedsign(argc, argv);
}
