#include "tools/sign-emulator/Pty.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace sign_emulator {

Pty::~Pty() {
    if (!linkPath_.empty()) {
        char target[PATH_MAX];
        const ssize_t n = readlink(linkPath_.c_str(), target, sizeof target - 1);
        if (n >= 0 && std::string(target, static_cast<std::size_t>(n)) == slavePath_) {
            unlink(linkPath_.c_str());
        }
    }
    if (slave_ >= 0) {
        close(slave_);
    }
    if (master_ >= 0) {
        close(master_);
    }
}

bool Pty::Open() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
        return false;
    }
    const char* name = ptsname(master_);
    if (name == nullptr) {
        return false;
    }
    slavePath_ = name;
    slave_ = open(name, O_RDWR | O_NOCTTY);
    if (slave_ < 0) {
        return false;
    }
    termios tio{};
    if (tcgetattr(slave_, &tio) != 0) {
        return false;
    }
    cfmakeraw(&tio);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    cfsetispeed(&tio, B9600);
    cfsetospeed(&tio, B9600);
    if (tcsetattr(slave_, TCSANOW, &tio) != 0) {
        return false;
    }
    const int flags = fcntl(master_, F_GETFL);
    return flags >= 0 && fcntl(master_, F_SETFL, flags | O_NONBLOCK) == 0;
}

bool Pty::Link(const std::string& linkPath) {
    if (unlink(linkPath.c_str()) != 0 && errno != ENOENT) {
        return false;
    }
    if (symlink(slavePath_.c_str(), linkPath.c_str()) != 0) {
        return false;
    }
    linkPath_ = linkPath;
    return true;
}

} // namespace sign_emulator
