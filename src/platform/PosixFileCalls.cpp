#include "platform/PosixFileCalls.h"

#include <cstdio>
#include <unistd.h>

namespace kestrel {

int SystemFileCalls::open(const char* path, int flags, mode_t mode) {
    return ::open(path, flags, mode);
}
int SystemFileCalls::close(int fd) {
    return ::close(fd);
}
ssize_t SystemFileCalls::pread(int fd, void* buffer, size_t bytes, off_t offset) {
    return ::pread(fd, buffer, bytes, offset);
}
ssize_t SystemFileCalls::pwrite(int fd, const void* data, size_t bytes, off_t offset) {
    return ::pwrite(fd, data, bytes, offset);
}
off_t SystemFileCalls::lseek(int fd, off_t offset, int whence) {
    return ::lseek(fd, offset, whence);
}
int SystemFileCalls::fstat(int fd, struct stat* st) {
    return ::fstat(fd, st);
}
int SystemFileCalls::stat(const char* path, struct stat* st) {
    return ::stat(path, st);
}
int SystemFileCalls::fsync(int fd) {
    return ::fsync(fd);
}
int SystemFileCalls::ftruncate(int fd, off_t length) {
    return ::ftruncate(fd, length);
}
int SystemFileCalls::unlink(const char* path) {
    return ::unlink(path);
}
int SystemFileCalls::rename(const char* from, const char* to) {
    return ::rename(from, to);
}
int SystemFileCalls::fchmod(int fd, mode_t mode) {
    return ::fchmod(fd, mode);
}
int SystemFileCalls::lockWhole(int fd, short type) {
    struct flock fl {};
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = 0;
    fl.l_len = 0; // to the end of the file and beyond
    fl.l_pid = 0; // required by OFD locks
    return ::fcntl(fd, F_OFD_SETLK, &fl);
}

FileCalls& systemFileCalls() {
    static SystemFileCalls calls;
    return calls;
}

} // namespace kestrel
