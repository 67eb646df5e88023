#pragma once
// The shared files on Windows: handles opened with read, write and delete
// sharing, so that other PCs open, read and replace the files at once, and
// whole-file byte-range locks (LockFileEx) that the SMB server enforces for
// every PC and, through Samba, against the Linux PCs' locks too.
#include <cstdint>
#include <string>

#include "platform/SharedFile.h"

namespace kestrel {

class Win32SharedFileSystem : public SharedFileSystem {
public:
    std::unique_ptr<SharedFile> open(const std::filesystem::path& path, SharedAccess access,
                                     FileStatus& status) override;
    FileStatus remove(const std::filesystem::path& path) override;
    FileStatus renameOver(const std::filesystem::path& from,
                          const std::filesystem::path& to) override;
    FileStatus inspect(const std::filesystem::path& path, FileInfo& info) override;
    FileStatus syncFolder(const std::filesystem::path& folder) override;
};

// A system error code (GetLastError) in the program's terms, with the
// system's text in UTF-8. A refused open is never a sharing error (a
// read-only share must not be waited for without end); a lock conflict is.
FileStatus win32FileStatus(uint32_t code);
// A lock conflict, or a read or write refused because another PC holds the
// range: a sharing error.
FileStatus win32SharingStatus(uint32_t code);
// The system's text for an error code, in UTF-8, without the line break.
std::string win32ErrorText(uint32_t code);

} // namespace kestrel
