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

    // Makes `linkPath` a symbolic link to the slave, replacing what is there. The link is
    // removed by the destructor if it still points at this slave. Returns false on failure.
    bool Link(const std::string& linkPath);

private:
    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
    std::string linkPath_;
};

} // namespace sign_emulator
