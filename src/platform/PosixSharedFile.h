#pragma once
// The shared files on POSIX: descriptors with open-file-description locks
// (F_OFD_SETLK), which conflict between descriptors even inside one process.
#include <cerrno>
#include <string>

#include "platform/PosixFileCalls.h"
#include "platform/SharedFile.h"

namespace kestrel {

class PosixSharedFileSystem : public SharedFileSystem {
public:
    explicit PosixSharedFileSystem(FileCalls& calls = systemFileCalls()) : m_calls(calls) {}
    std::unique_ptr<SharedFile> open(const std::filesystem::path& path, SharedAccess access,
                                     FileStatus& status) override;
    FileStatus remove(const std::filesystem::path& path) override;
    FileStatus renameOver(const std::filesystem::path& from,
                          const std::filesystem::path& to) override;
    FileStatus inspect(const std::filesystem::path& path, FileInfo& info) override;
    FileStatus syncFolder(const std::filesystem::path& folder) override;

private:
    FileCalls& m_calls;
};

// An errno in the program's terms: a missing folder or file, a refusal, a
// full storage, or anything else. A refused open is never a sharing error
// (a read-only share must not be waited for without end).
FileStatus posixFileStatus(int err);
// The system's text for an errno, in Japanese for the faults a teacher
// meets on a share (glibc has no Japanese texts without its locale data),
// else glibc's own.
std::string posixErrorText(int err);
// A lock conflict, or a read or write refused because another PC holds the
// range: a sharing error.
FileStatus posixSharingStatus(int err);

} // namespace kestrel
