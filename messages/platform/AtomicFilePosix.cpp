#include "messages/platform/AtomicFilePlatform.h"

#include <atomic>
#include <cerrno>
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

} // namespace

Target Resolve(const std::string& target) {
    Target result{target, true};
    // Follow a chain of links by hand so that a link to a file that does not exist yet still
    // leads to where the file is to be created. The bound stops a loop of links.
    for (int depth = 0; depth < 40; ++depth) {
        struct stat info {};
        if (lstat(result.Path.c_str(), &info) != 0) {
            return result; // does not exist: a new regular file
        }
        if (!S_ISLNK(info.st_mode)) {
            result.Replaceable = S_ISREG(info.st_mode);
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

std::FILE* CreateTemp(const std::string& target, std::string& tempName) {
    static std::atomic<unsigned> counter{0};
    mode_t mode = 0666; // narrowed by the umask like any new file
    struct stat info {};
    const bool exists = stat(target.c_str(), &info) == 0;
    if (exists) {
        mode = info.st_mode & 07777;
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name =
            target + ".tmp" + std::to_string(getpid()) + "-" + std::to_string(counter.fetch_add(1));
        const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd < 0) {
            if (errno == EEXIST) {
                continue;
            }
            return nullptr;
        }
        if (exists) {
            (void)fchmod(fd, mode); // the umask must not narrow an existing file's rights
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
