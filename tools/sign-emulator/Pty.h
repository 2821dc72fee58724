#pragma once
// The sign's end of a pseudo-terminal: the slave side, which a client opens like a serial
// port, is set to raw 9600 8N1 and kept open by the sign itself so that the line settings
// survive clients opening and closing it, and the master never reports a hang-up.

#include <string>

namespace sign_emulator {

class Pty {
public:
    Pty() = default;
    ~Pty();
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    // Creates the pair. Returns false (with errno set) when it cannot.
    bool Open();
    int Master() const { return master_; }
    const std::string& SlavePath() const { return slavePath_; }

    enum class LinkResult {
        Linked,   // `linkPath` now points at the slave
        Occupied, // something other than a symbolic link is there, and is left untouched
        Failed,   // the link could not be made (errno says why); nothing changed at the path
    };

    // Makes `linkPath` a symbolic link to the slave. Only a symbolic link found there (a stale
    // one from an earlier run) is replaced, atomically: the new link is made under a temporary
    // name in the same folder and renamed over the old one, so a client never finds the path
    // missing. A regular file, a folder, a device node, a FIFO or a socket is never removed:
    // Occupied, with `occupant` naming what is there ("a regular file"). The link is removed by
    // the destructor if it still points at this slave.
    LinkResult Link(const std::string& linkPath, std::string& occupant);

private:
    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
    std::string linkPath_;
};

} // namespace sign_emulator
