#pragma once
// Files of the shared folder that several PCs append to and read at once.
// Each operation opens its own descriptor, does all its I/O through it and
// closes it. A writer holds an exclusive lock over the whole file (and past
// its end) from reading the length until its data is on disk; a reader holds
// a shared lock for the whole of its read, so that no writer begins between
// its check and its read (a load that keeps what it read reads the bulk of
// a whole read without it, and checks under it that nothing but appends came
// in between: results/ResultsLogIO.h). Either meets the other's lock as a
// sharing error and tries again later.
//
// On a network share the server enforces the locks of other PCs: a read or
// write of a range another PC holds fails with a permission error although
// the file opened fine. That, too, is a sharing error. The length is taken
// from the server after the lock is held: a cached size may be a second old
// and would put a record over another PC's.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/FileCalls.h"

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
    // Classifies an errno from open or sync: a missing folder or file, or
    // anything else. A refused open is never a sharing error (a read-only
    // share must not be waited for without end).
    static FileStatus fromErrno(int err);
    // A lock conflict, or a read or write refused because another PC holds
    // the range: a sharing error.
    static FileStatus lockConflict(int err);
    // An errno from a read or write of a file that opened fine: a refusal
    // (EACCES, EAGAIN) means another PC holds the range.
    static FileStatus fromTransferErrno(int err);
};

// Which file a descriptor has open: a file put in the place of another
// under the same name (a log rebuilt through a copy) has another identity.
struct FileIdentity {
    bool known = false; // false where the storage cannot tell
    uint64_t device = 0;
    uint64_t inode = 0;
    bool operator==(const FileIdentity&) const = default;
};

// One open descriptor of a shared file.
class SharedFile {
public:
    virtual ~SharedFile() = default;
    // Exclusive lock of the whole file and everything past its end;
    // a lock held elsewhere gives FileFault::Sharing at once.
    virtual FileStatus lockExclusive() = 0;
    // Shared lock of the whole file and everything past its end; an
    // exclusive lock held elsewhere gives FileFault::Sharing at once.
    virtual FileStatus lockShared() = 0;
    virtual FileStatus unlock() = 0;
    // The length as the server knows it now, not as a cache remembers it.
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
    // The identity of the open file; not known unless the storage says.
    virtual FileIdentity identity() { return {}; }
};

enum class SharedAccess {
    Write,    // read and write; a missing file is created
    Read,     // as Write where the folder allows it, else read-only
    Existing, // as Read, but a missing file is NotFound and never created
    ReadOnly, // read-only, never created: a check that must leave the file as it is
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

// Reads the whole file as it is now into `out` (what a short read got, on failure).
FileStatus readWholeFile(SharedFile& file, std::string& out);
// The same by name, at most `max` bytes; a missing file reads as empty.
FileStatus readFileIfExists(SharedFileSystem& files, const std::filesystem::path& path,
                            std::string& out, size_t max = SIZE_MAX);

// POSIX descriptors with open-file-description locks (F_OFD_SETLK), which
// conflict between descriptors even inside one process.
class PosixSharedFileSystem : public SharedFileSystem {
public:
    explicit PosixSharedFileSystem(FileCalls& calls = systemFileCalls()) : m_calls(calls) {}
    std::unique_ptr<SharedFile> open(const std::filesystem::path& path, SharedAccess access,
                                     FileStatus& status) override;
    FileStatus remove(const std::filesystem::path& path) override;
    FileStatus syncFolder(const std::filesystem::path& folder) override;

private:
    FileCalls& m_calls;
};

} // namespace kestrel
