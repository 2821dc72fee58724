#include "messages/AtomicFile.h"

#include "messages/platform/AtomicFilePlatform.h"
#include "preview/Utf8Files.h"

namespace platform = atomic_file_platform;

AtomicFileWriter::~AtomicFileWriter() {
    Abort();
}

std::FILE* AtomicFileWriter::Open(const char* target) {
    Abort();
    if (target == nullptr || *target == '\0') {
        return nullptr;
    }
    const platform::Target resolved = platform::Resolve(target);
    target_ = resolved.Path;
    bool folderRefused = false;
    switch (resolved.Kind) {
    case platform::TargetKind::Other:
        // A device or pipe cannot be swapped for a new file; write to it directly and let
        // Commit report every failed byte.
        way_ = Way::WriteOtherKind;
        file_ = OpenUtf8File(target_.c_str(), "wb");
        break;
    case platform::TargetKind::Missing:
        way_ = Way::Replace;
        file_ = platform::CreateTemp(target_, tempName_, folderRefused);
        break;
    case platform::TargetKind::RegularFile:
        if (!platform::IsWritable(target_)) {
            return nullptr; // renaming over it would defeat its protection
        }
        way_ = Way::Replace;
        file_ = platform::CreateTemp(target_, tempName_, folderRefused);
        if (file_ == nullptr && folderRefused) {
            way_ = Way::OverwriteFile;
            file_ = platform::OpenForOverwrite(target_);
        }
        break;
    }
    return file_;
}

int AtomicFileWriter::Commit() {
    if (file_ == nullptr) {
        return 1;
    }
    bool ok = std::ferror(file_) == 0 && std::fflush(file_) == 0;
    if (ok && way_ == Way::OverwriteFile) {
        ok = platform::TruncateHere(file_); // drop the old bytes past the new end
    }
    if (ok && way_ != Way::WriteOtherKind) {
        ok = platform::SyncToDisk(file_);
    }
    ok = (std::fclose(file_) == 0) && ok;
    file_ = nullptr;
    if (way_ != Way::Replace) {
        return ok ? 0 : 1;
    }
    if (!ok || !platform::ReplaceWith(tempName_, target_)) {
        platform::Remove(tempName_);
        tempName_.clear();
        return 1;
    }
    tempName_.clear();
    return 0;
}

void AtomicFileWriter::Abort() {
    if (file_ != nullptr) {
        std::fclose(file_);
        file_ = nullptr;
    }
    if (!tempName_.empty()) {
        platform::Remove(tempName_);
        tempName_.clear();
    }
}

int WriteFileAtomically(const char* target, const void* bytes, std::size_t size) {
    AtomicFileWriter writer;
    std::FILE* file = writer.Open(target);
    if (file == nullptr) {
        return 1;
    }
    if (size != 0 && std::fwrite(bytes, 1, size, file) != size) {
        return 1;
    }
    return writer.Commit();
}
