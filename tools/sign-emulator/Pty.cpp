#include "tools/sign-emulator/Pty.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace sign_emulator {

namespace {

// What stands at a path that is no symbolic link, named by its file type.
const char* DescribeFileType(mode_t mode) {
    static constexpr struct {
        mode_t Type;
        const char* Name;
    } kTypes[] = {
        {S_IFREG, "a regular file"}, {S_IFDIR, "a folder"}, {S_IFCHR, "a character device"},
        {S_IFBLK, "a block device"}, {S_IFIFO, "a FIFO"},   {S_IFSOCK, "a socket"},
    };
    for (const auto& t : kTypes) {
        if ((mode & S_IFMT) == t.Type) {
            return t.Name;
        }
    }
    return "a file of an unknown kind";
}

// A name in the folder of `path` for the new link until it is renamed over `path`: the same
// folder, so that the rename stays within one file system and is atomic.
std::string NameBeside(const std::string& path, unsigned attempt) {
    const std::size_t slash = path.rfind('/');
    const std::size_t start = slash == std::string::npos ? 0 : slash + 1;
    return path.substr(0, start) + "." + path.substr(start) + ".new-" + std::to_string(getpid()) +
           "-" + std::to_string(attempt);
}

} // namespace

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

Pty::LinkResult Pty::Link(const std::string& linkPath, std::string& occupant) {
    std::string made;
    for (unsigned attempt = 0;; ++attempt) {
        made = NameBeside(linkPath, attempt);
        if (symlink(slavePath_.c_str(), made.c_str()) == 0) {
            break;
        }
        // A name taken by another run's leftover is passed over; give up on a real failure.
        if (errno != EEXIST || attempt >= 100) {
            return LinkResult::Failed;
        }
    }
    // Looked at right before the rename, which would replace whatever is there: only what
    // appears at the path between these two calls could still be replaced.
    struct stat found {};
    if (lstat(linkPath.c_str(), &found) == 0 && !S_ISLNK(found.st_mode)) {
        unlink(made.c_str());
        occupant = DescribeFileType(found.st_mode);
        return LinkResult::Occupied;
    }
    if (rename(made.c_str(), linkPath.c_str()) != 0) {
        const int error = errno;
        unlink(made.c_str());
        errno = error;
        return LinkResult::Failed;
    }
    linkPath_ = linkPath;
    return LinkResult::Linked;
}

} // namespace sign_emulator
