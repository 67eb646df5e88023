#include "platform/SharedFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrel {

FileStatus FileStatus::fromErrno(int err) {
    FileStatus s;
    s.fault = (err == ENOENT || err == ENOTDIR) ? FileFault::NotFound : FileFault::Other;
    s.number = err;
    s.description = std::strerror(err);
    return s;
}

FileStatus FileStatus::lockConflict(int err) {
    FileStatus s;
    s.fault = FileFault::Sharing;
    s.number = err;
    s.description = std::strerror(err);
    return s;
}

namespace {

class PosixSharedFile : public SharedFile {
public:
    explicit PosixSharedFile(int fd) : m_fd(fd) {}
    ~PosixSharedFile() override { close(); }
    PosixSharedFile(const PosixSharedFile&) = delete;
    PosixSharedFile& operator=(const PosixSharedFile&) = delete;

    FileStatus lockExclusive() override { return setLock(F_WRLCK); }

    FileStatus probeUnlocked() override {
        FileStatus s = setLock(F_RDLCK);
        if (!s.ok()) return s;
        return setLock(F_UNLCK);
    }

    FileStatus unlock() override { return setLock(F_UNLCK); }

    FileStatus size(uint64_t& bytes) override {
        struct stat st {};
        if (::fstat(m_fd, &st) != 0) return FileStatus::fromErrno(errno);
        bytes = static_cast<uint64_t>(st.st_size);
        return FileStatus::success();
    }

    FileStatus readAt(uint64_t offset, void* buffer, size_t bytes, size_t& got) override {
        got = 0;
        auto* out = static_cast<unsigned char*>(buffer);
        while (got < bytes) {
            const ssize_t n =
                ::pread(m_fd, out + got, bytes - got, static_cast<off_t>(offset + got));
            if (n < 0) {
                if (errno == EINTR) continue;
                return FileStatus::fromErrno(errno);
            }
            if (n == 0) break;
            got += static_cast<size_t>(n);
        }
        return FileStatus::success();
    }

    FileStatus writeAt(uint64_t offset, const void* data, size_t bytes) override {
        const auto* in = static_cast<const unsigned char*>(data);
        size_t done = 0;
        while (done < bytes) {
            const ssize_t n =
                ::pwrite(m_fd, in + done, bytes - done, static_cast<off_t>(offset + done));
            if (n < 0) {
                if (errno == EINTR) continue;
                return FileStatus::fromErrno(errno);
            }
            if (n == 0) return FileStatus::fromErrno(EIO);
            done += static_cast<size_t>(n);
        }
        return FileStatus::success();
    }

    FileStatus sync() override {
        while (::fsync(m_fd) != 0) {
            if (errno != EINTR) return FileStatus::fromErrno(errno);
        }
        return FileStatus::success();
    }

    FileStatus truncate(uint64_t length) override {
        while (::ftruncate(m_fd, static_cast<off_t>(length)) != 0) {
            if (errno != EINTR) return FileStatus::fromErrno(errno);
        }
        return FileStatus::success();
    }

    FileStatus close() override {
        if (m_fd < 0) return FileStatus::success();
        const int fd = m_fd;
        m_fd = -1;
        // After close() the descriptor is gone even when it reports EINTR;
        // retrying could close someone else's descriptor.
        if (::close(fd) != 0 && errno != EINTR) return FileStatus::fromErrno(errno);
        return FileStatus::success();
    }

private:
    FileStatus setLock(short type) {
        struct flock fl {};
        fl.l_type = type;
        fl.l_whence = SEEK_SET;
        fl.l_start = 0;
        fl.l_len = 0; // to the end of the file and beyond
        fl.l_pid = 0; // required by OFD locks
        while (::fcntl(m_fd, F_OFD_SETLK, &fl) != 0) {
            const int err = errno;
            if (err == EINTR) continue;
            if (err == EAGAIN || err == EACCES) return FileStatus::lockConflict(err);
            return FileStatus::fromErrno(err);
        }
        return FileStatus::success();
    }

    int m_fd;
};

int openRetrying(const char* path, int flags) {
    for (;;) {
        const int fd = ::open(path, flags | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EINTR) return fd;
    }
}

} // namespace

std::unique_ptr<SharedFile> PosixSharedFileSystem::open(const std::filesystem::path& path,
                                                        SharedAccess access, FileStatus& status) {
    int fd =
        openRetrying(path.c_str(), access == SharedAccess::Existing ? O_RDWR : O_RDWR | O_CREAT);
    if (fd < 0 && access != SharedAccess::Write &&
        (errno == EACCES || errno == EROFS || errno == EPERM)) {
        fd = openRetrying(path.c_str(), O_RDONLY);
    }
    if (fd < 0) {
        status = FileStatus::fromErrno(errno);
        return nullptr;
    }
    status = FileStatus::success();
    return std::make_unique<PosixSharedFile>(fd);
}

FileStatus PosixSharedFileSystem::remove(const std::filesystem::path& path) {
    if (::unlink(path.c_str()) != 0) return FileStatus::fromErrno(errno);
    return FileStatus::success();
}

FileStatus PosixSharedFileSystem::syncFolder(const std::filesystem::path& folder) {
    const int fd = openRetrying(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return FileStatus::fromErrno(errno);
    int err = 0;
    while (::fsync(fd) != 0) {
        if (errno == EINTR) continue;
        // Some network file systems cannot sync a folder; their entries are
        // on the server once the call that made them returned.
        if (errno != EINVAL && errno != EROFS && errno != EBADF) err = errno;
        break;
    }
    ::close(fd);
    return err ? FileStatus::fromErrno(err) : FileStatus::success();
}

} // namespace kestrel
