// Windows side of AtomicFileWriter. Permission bits, owners and symbolic links are POSIX
// matters and are not handled here: a new file gets the folder's inherited security, and a
// target is always the named path itself. Writing in place when the folder refuses the
// temporary file works as on POSIX.

#include "messages/platform/AtomicFilePlatform.h"
#include "preview/platform/WideNames.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>
#include <windows.h>

// Names arrive as UTF-8 and go to the wide calls: the narrow ones would read them in the ANSI
// code page and miss any file whose name it cannot spell.

namespace atomic_file_platform {

namespace {

// A name for the attempt-th try: the process id keeps processes apart, the clock and the
// attempt number keep apart the writers of one process; _O_EXCL settles any clash that is left.
std::string TempNameFor(const std::string& target, int attempt) {
    const auto ticks = static_cast<unsigned long long>(
        std::chrono::steady_clock::now().time_since_epoch().count());
    const unsigned long long mixed = ticks * 0x9E3779B97F4A7C15ull + static_cast<unsigned>(attempt);
    char suffix[48];
    std::snprintf(suffix, sizeof suffix, ".tmp%d-%llx", _getpid(), mixed & 0xFFFFFFFFFFull);
    return target + suffix;
}

} // namespace

Target Resolve(const std::string& target) {
    Target result{target, TargetKind::Missing};
    const DWORD attributes = GetFileAttributesW(WidenUtf8(target).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return result;
    }
    // A directory cannot be opened for writing, so a save to it fails, as it must.
    result.Kind =
        (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? TargetKind::Other : TargetKind::RegularFile;
    return result;
}

bool IsWritable(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(WidenUtf8(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) == 0;
}

std::FILE* CreateTemp(const std::string& target, std::string& tempName, bool& folderRefused) {
    folderRefused = false;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = TempNameFor(target, attempt);
        const std::wstring wideName = WidenUtf8(name);
        if (wideName.empty()) {
            return nullptr; // not UTF-8: no file of that name can exist
        }
        const int fd = _wopen(wideName.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY,
                              _S_IREAD | _S_IWRITE);
        if (fd < 0) {
            if (errno == EEXIST) {
                continue;
            }
            folderRefused = errno == EACCES || errno == ENAMETOOLONG;
            return nullptr;
        }
        std::FILE* file = _fdopen(fd, "wb");
        if (file == nullptr) {
            _close(fd);
            DeleteFileW(wideName.c_str());
            return nullptr;
        }
        tempName = name;
        return file;
    }
    return nullptr;
}

std::FILE* OpenForOverwrite(const std::string& path) {
    const int fd = _wopen(WidenUtf8(path).c_str(), _O_WRONLY | _O_BINARY);
    if (fd < 0) {
        return nullptr;
    }
    std::FILE* file = _fdopen(fd, "wb"); // _fdopen never truncates
    if (file == nullptr) {
        _close(fd);
    }
    return file;
}

bool TruncateHere(std::FILE* file) {
    const long long end = _ftelli64(file);
    return end >= 0 && _chsize_s(_fileno(file), end) == 0;
}

bool SyncToDisk(std::FILE* file) {
    return _commit(_fileno(file)) == 0;
}

bool ReplaceWith(const std::string& from, const std::string& to) {
    // MOVEFILE_WRITE_THROUGH returns only once the rename is on the disk.
    return MoveFileExW(WidenUtf8(from).c_str(), WidenUtf8(to).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

void Remove(const std::string& name) {
    DeleteFileW(WidenUtf8(name).c_str());
}

} // namespace atomic_file_platform
