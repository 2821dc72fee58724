#include "messages/platform/AtomicFilePlatform.h"
#include "messages/platform/WideNames.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>
#include <windows.h>

// Names arrive as UTF-8 and go to the wide calls: the narrow ones would read them in the ANSI
// code page and miss any file whose name it cannot spell.

namespace atomic_file_platform {

Target Resolve(const std::string& target) {
    Target result{target, true};
    const DWORD attributes = GetFileAttributesW(WidenUtf8(target).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        result.Replaceable = false; // opening it fails, as it must
    }
    return result;
}

std::FILE* CreateTemp(const std::string& target, std::string& tempName) {
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = target + ".tmp" + std::to_string(_getpid()) + "-" +
                                 std::to_string(counter.fetch_add(1));
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
