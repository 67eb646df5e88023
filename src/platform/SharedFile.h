#pragma once
// Files of the shared folder that several PCs append to and read at once.
// Each operation opens its own descriptor, does all its I/O through it and
// closes it. A writer holds an exclusive lock over the whole file (and past
// its end) from reading the length until its data is on disk; a reader
// meets a held lock as a sharing error and tries again later.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

namespace kestrel {

// What went wrong, in the terms the callers decide on: a missing folder or
// file, a file held by another PC (retry later), or anything else.
enum class FileFault { None, NotFound, Sharing, Other };

struct FileStatus {
    FileFault fault = FileFault::None;
    int number = 0;          // the system's error number (errno)
    std::string description; // the system's text for it

    bool ok() const { return fault == FileFault::None; }
    static FileStatus success() { return {}; }
    // Classifies an errno from open, read, write or sync. A lock conflict is
    // the only sharing error: on this system a refused open is never one.
    static FileStatus fromErrno(int err);
    static FileStatus lockConflict(int err);
};

// One open descriptor of a shared file.
class SharedFile {
public:
    virtual ~SharedFile() = default;
    // Exclusive lock of the whole file and everything past its end;
    // a lock held elsewhere gives FileFault::Sharing at once.
    virtual FileStatus lockExclusive() = 0;
    // Sharing when another descriptor holds an exclusive lock; takes no
    // lock itself (a shared lock is tried and released at once).
    virtual FileStatus probeUnlocked() = 0;
    virtual FileStatus unlock() = 0;
    virtual FileStatus size(uint64_t& bytes) = 0;
    // Reads up to `bytes` at `offset`; fewer only at the end of the file.
    virtual FileStatus readAt(uint64_t offset, void* buffer, size_t bytes, size_t& got) = 0;
    // Writes all `bytes` at `offset`, or fails.
    virtual FileStatus writeAt(uint64_t offset, const void* data, size_t bytes) = 0;
    // Returns once the written data is on the storage.
    virtual FileStatus sync() = 0;
    // Cuts the file to `length` bytes (or lengthens it with zero bytes).
    virtual FileStatus truncate(uint64_t length) = 0;
    // Closes the descriptor, releasing its lock; a second call does nothing.
    virtual FileStatus close() = 0;
};

enum class SharedAccess {
    Write,    // read and write; a missing file is created
    Read,     // as Write where the folder allows it, else read-only
    Existing, // as Read, but a missing file is NotFound and never created
};

class SharedFileSystem {
public:
    virtual ~SharedFileSystem() = default;
    // Null on failure, with `status` telling why.
    virtual std::unique_ptr<SharedFile> open(const std::filesystem::path& path, SharedAccess access,
                                             FileStatus& status) = 0;
    // Deletes the file; NotFound when it is not there.
    virtual FileStatus remove(const std::filesystem::path& path) = 0;
    // Returns once the folder's entries (files created or removed in it) are
    // on the storage. A folder that cannot be synced this way counts as synced.
    virtual FileStatus syncFolder(const std::filesystem::path& folder) = 0;
};

// POSIX descriptors with open-file-description locks (F_OFD_SETLK), which
// conflict between descriptors even inside one process.
class PosixSharedFileSystem : public SharedFileSystem {
public:
    std::unique_ptr<SharedFile> open(const std::filesystem::path& path, SharedAccess access,
                                     FileStatus& status) override;
    FileStatus remove(const std::filesystem::path& path) override;
    FileStatus syncFolder(const std::filesystem::path& folder) override;
};

} // namespace kestrel
