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

namespace kestrel {

// What went wrong, in the terms the callers decide on.
enum class FileFault {
    None,
    NotFound, // the file, or a folder on its way, is missing
    Sharing,  // held by another PC: try again later
    Refused,  // this account may not (a read-only share, the permissions)
    NoSpace,  // the storage, or the account's quota, is full
    Other,
};

// The outcome of a file operation. The system's code and text are there for
// the messages only: callers decide on `fault`.
struct [[nodiscard]] FileStatus {
    FileFault fault = FileFault::None;
    int number = 0;          // the system's code for it
    std::string description; // the system's text for it

    bool ok() const { return fault == FileFault::None; }
    static FileStatus success() { return {}; }
    // A read that the storage cut short although the file holds more.
    static FileStatus inputOutputError();
    // Whether the storage itself failed (a bad sector, a dropped connection).
    bool storageFailed() const;
    // Whether a folder stood where a file was asked for.
    bool isFolder() const;
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

// A file's or folder's entry, as far as the program asks: what it is, and
// which accounts besides its owner it lets in.
struct FileInfo {
    bool folder = false;
    bool groupMayRead = false, othersMayRead = false;
    bool groupMayWrite = false, othersMayWrite = false;
    std::string owner, group;    // account names; their numbers where they have none
    int64_t modifiedSeconds = 0; // the last change, in seconds since 1970-01-01 UTC
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
    // Gives the file `from` the name `to`, replacing a file of that name in
    // one step: a reader opens the one or the other, never neither.
    virtual FileStatus renameOver(const std::filesystem::path& from,
                                  const std::filesystem::path& to) = 0;
    // What the entry of a file or folder says about it.
    virtual FileStatus inspect(const std::filesystem::path& path, FileInfo& info) = 0;
    // Returns once the folder's entries (files created or removed in it) are
    // on the storage. A folder that cannot be synced this way counts as synced.
    virtual FileStatus syncFolder(const std::filesystem::path& folder) = 0;
};

// A file system used through another's: every call goes to `base`, which
// must outlive it (a school that owns its file system, served by a front
// that was handed one).
class ForwardingFileSystem : public SharedFileSystem {
public:
    explicit ForwardingFileSystem(SharedFileSystem& base) : m_base(base) {}
    std::unique_ptr<SharedFile> open(const std::filesystem::path& path, SharedAccess access,
                                     FileStatus& status) override {
        return m_base.open(path, access, status);
    }
    FileStatus remove(const std::filesystem::path& path) override { return m_base.remove(path); }
    FileStatus renameOver(const std::filesystem::path& from,
                          const std::filesystem::path& to) override {
        return m_base.renameOver(from, to);
    }
    FileStatus inspect(const std::filesystem::path& path, FileInfo& info) override {
        return m_base.inspect(path, info);
    }
    FileStatus syncFolder(const std::filesystem::path& folder) override {
        return m_base.syncFolder(folder);
    }

private:
    SharedFileSystem& m_base;
};

// Reads the whole file as it is now into `out` (what a short read got, on
// failure).
FileStatus readWholeFile(SharedFile& file, std::string& out);
// The one reader of a whole file by name: opened with `access` (never
// created), read whole and closed. Where `opened` is given, it tells a
// failed open from a failed read.
FileStatus readWholeFile(SharedFileSystem& files, const std::filesystem::path& path,
                         std::string& out, SharedAccess access = SharedAccess::ReadOnly,
                         bool* opened = nullptr);
// The same, at most `max` bytes; a missing file reads as empty.
FileStatus readFileIfExists(SharedFileSystem& files, const std::filesystem::path& path,
                            std::string& out, size_t max = SIZE_MAX);

// The files of this computer, as the build's platform reaches them, for
// what is read without a program context (the installation's text files).
// It keeps no state.
SharedFileSystem& localFileSystem();

} // namespace kestrel
