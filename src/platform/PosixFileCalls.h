#pragma once
// The POSIX system calls the shared files are made of, behind an interface,
// so that the real protocol code can run against a double that behaves as a
// network share does (locks enforced by the server on reads and writes, a
// file size that lags in the client's cache unless it is revalidated).
// Errors are reported the system's way: -1 and errno.
#include <cstddef>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>

namespace kestrel {

class FileCalls {
public:
    virtual ~FileCalls() = default;
    virtual int open(const char* path, int flags, mode_t mode) = 0;
    virtual int close(int fd) = 0;
    virtual ssize_t pread(int fd, void* buffer, size_t bytes, off_t offset) = 0;
    virtual ssize_t pwrite(int fd, const void* data, size_t bytes, off_t offset) = 0;
    // SEEK_END asks the server for the length; fstat may answer from a cache.
    virtual off_t lseek(int fd, off_t offset, int whence) = 0;
    virtual int fstat(int fd, struct stat* st) = 0;
    virtual int stat(const char* path, struct stat* st) = 0;
    virtual int fsync(int fd) = 0;
    virtual int ftruncate(int fd, off_t length) = 0;
    virtual int unlink(const char* path) = 0;
    virtual int rename(const char* from, const char* to) = 0;
    virtual int fchmod(int fd, mode_t mode) = 0;
    // An open-file-description lock (F_OFD_SETLK) of the whole file and
    // everything past its end: F_RDLCK, F_WRLCK or F_UNLCK. Never waits.
    virtual int lockWhole(int fd, short type) = 0;
};

// The calls of this system.
class SystemFileCalls : public FileCalls {
public:
    int open(const char* path, int flags, mode_t mode) override;
    int close(int fd) override;
    ssize_t pread(int fd, void* buffer, size_t bytes, off_t offset) override;
    ssize_t pwrite(int fd, const void* data, size_t bytes, off_t offset) override;
    off_t lseek(int fd, off_t offset, int whence) override;
    int fstat(int fd, struct stat* st) override;
    int stat(const char* path, struct stat* st) override;
    int fsync(int fd) override;
    int ftruncate(int fd, off_t length) override;
    int unlink(const char* path) override;
    int rename(const char* from, const char* to) override;
    int fchmod(int fd, mode_t mode) override;
    int lockWhole(int fd, short type) override;
};

// One instance for the program: the calls keep no state.
FileCalls& systemFileCalls();

} // namespace kestrel
