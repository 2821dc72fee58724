#include "messages/platform/AtomicFilePlatform.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace atomic_file_platform {

namespace {

std::string DirectoryOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

// A name for the attempt-th try: the process id keeps processes apart, the clock and the
// attempt number keep apart the writers of one process; O_EXCL settles any clash that is left.
std::string TempNameFor(const std::string& target, int attempt) {
    const auto ticks = static_cast<unsigned long long>(
        std::chrono::steady_clock::now().time_since_epoch().count());
    const unsigned long long mixed = ticks * 0x9E3779B97F4A7C15ull + static_cast<unsigned>(attempt);
    char suffix[48];
    std::snprintf(suffix, sizeof suffix, ".tmp%ld-%llx", static_cast<long>(getpid()),
                  mixed & 0xFFFFFFFFFFull);
    return target + suffix;
}

// Gives the new file the existing file's owner and group as far as this process may: any user
// may pass a file to a group it belongs to, only a privileged one to another owner. Then the
// permission bits, which a change of owner may have cleared and the umask narrowed.
void CarryOverOwnerAndMode(int fd, const struct stat& existing) {
    // Best effort: a file that keeps this process's owner and group is what a new file would get.
    [[maybe_unused]] const bool carriedOver =
        fchown(fd, existing.st_uid, existing.st_gid) == 0 ||
        fchown(fd, static_cast<uid_t>(-1), existing.st_gid) == 0;
    (void)fchmod(fd, existing.st_mode & 07777);
}

} // namespace

Target Resolve(const std::string& target) {
    Target result{target, TargetKind::Missing};
    // Follow a chain of links by hand so that a link to a file that does not exist yet still
    // leads to where the file is to be created. The bound stops a loop of links.
    for (int depth = 0; depth < 40; ++depth) {
        struct stat info {};
        if (lstat(result.Path.c_str(), &info) != 0) {
            return result; // does not exist: a new regular file
        }
        if (!S_ISLNK(info.st_mode)) {
            result.Kind = S_ISREG(info.st_mode) ? TargetKind::RegularFile : TargetKind::Other;
            return result;
        }
        char buffer[PATH_MAX];
        const ssize_t length = readlink(result.Path.c_str(), buffer, sizeof buffer - 1);
        if (length <= 0) {
            return result;
        }
        std::string destination(buffer, static_cast<std::size_t>(length));
        if (destination.front() != '/') {
            destination.insert(0, DirectoryOf(result.Path) + "/");
        }
        result.Path = destination;
    }
    return result;
}

bool IsWritable(const std::string& path) {
    return faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0;
}

std::FILE* CreateTemp(const std::string& target, std::string& tempName, bool& folderRefused) {
    folderRefused = false;
    mode_t mode = 0666; // narrowed by the umask like any new file
    struct stat info {};
    const bool exists = stat(target.c_str(), &info) == 0;
    if (exists) {
        mode = info.st_mode & 0777;
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = TempNameFor(target, attempt);
        const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd < 0) {
            if (errno == EEXIST) {
                continue;
            }
            folderRefused = errno == EACCES || errno == EPERM || errno == ENAMETOOLONG;
            return nullptr;
        }
        if (exists) {
            CarryOverOwnerAndMode(fd, info);
        }
        std::FILE* file = fdopen(fd, "wb");
        if (file == nullptr) {
            close(fd);
            unlink(name.c_str());
            return nullptr;
        }
        tempName = name;
        return file;
    }
    return nullptr;
}

std::FILE* OpenForOverwrite(const std::string& path) {
    const int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
        return nullptr;
    }
    std::FILE* file = fdopen(fd, "wb"); // fdopen never truncates
    if (file == nullptr) {
        close(fd);
    }
    return file;
}

bool TruncateHere(std::FILE* file) {
    const off_t end = ftello(file);
    return end >= 0 && ftruncate(fileno(file), end) == 0;
}

bool SyncToDisk(std::FILE* file) {
    return fsync(fileno(file)) == 0;
}

bool ReplaceWith(const std::string& from, const std::string& to) {
    if (std::rename(from.c_str(), to.c_str()) != 0) {
        return false;
    }
    // Make the new directory entry itself durable; a failure here no longer endangers the old
    // content, so it is not reported.
    const int dir = open(DirectoryOf(to).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        (void)fsync(dir);
        close(dir);
    }
    return true;
}

void Remove(const std::string& name) {
    (void)unlink(name.c_str());
}

} // namespace atomic_file_platform
