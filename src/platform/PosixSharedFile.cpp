#include "platform/PosixSharedFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <grp.h>
#include <pwd.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrel {

std::string posixErrorText(int err) {
    switch (err) {
    case EROFS:
        return "読み取り専用のファイルシステムです";
    case EACCES:
        return "アクセスが拒否されました";
    case EPERM:
        return "この操作は許可されていません";
    case ENOENT:
        return "ファイルまたはフォルダがありません";
    case ENOTDIR:
        return "フォルダではありません";
    case EISDIR:
        return "フォルダです";
    case ENOSPC:
        return "ディスクに空きがありません";
    case EDQUOT:
        return "ディスクの割り当て（クォータ）を超えました";
    case EIO:
        return "入出力エラーです";
    case ESTALE:
        return "ネットワーク上のファイルが古くなりました（サーバーでなくなったか、移されました）";
    case ETIMEDOUT:
        return "ネットワークの接続が時間切れになりました";
    case EHOSTDOWN:
    case EHOSTUNREACH:
        return "サーバーに届きません";
    case ENOTCONN:
    case ECONNRESET:
    case ECONNABORTED:
        return "サーバーとの接続が切れました";
    case ENAMETOOLONG:
        return "名前が長すぎます";
    case EEXIST:
        return "同じ名前のファイルがあります";
    case EBUSY:
        return "使用中です";
    case EAGAIN:
        return "ほかのプログラムが使っています";
    default:
        return std::strerror(err);
    }
}

FileStatus posixFileStatus(int err) {
    FileStatus s;
    switch (err) {
    case ENOENT:
    case ENOTDIR:
        s.fault = FileFault::NotFound;
        break;
    case EACCES:
    case EPERM:
    case EROFS:
        s.fault = FileFault::Refused;
        break;
    case ENOSPC:
    case EDQUOT:
        s.fault = FileFault::NoSpace;
        break;
    default:
        s.fault = FileFault::Other;
    }
    s.number = err;
    s.description = posixErrorText(err);
    return s;
}

FileStatus posixSharingStatus(int err) {
    FileStatus s;
    s.fault = FileFault::Sharing;
    s.number = err;
    s.description = posixErrorText(err);
    return s;
}

FileStatus FileStatus::inputOutputError() {
    return posixFileStatus(EIO);
}

bool FileStatus::storageFailed() const {
    return fault != FileFault::None && number == EIO;
}

bool FileStatus::isFolder() const {
    return fault != FileFault::None && number == EISDIR;
}

SharedFileSystem& localFileSystem() {
    static PosixSharedFileSystem files;
    return files;
}

namespace {

constexpr int kUnlockAttempts = 5;

// An errno from a read or write of a file that opened fine: a refusal
// (EACCES, EAGAIN) means another PC holds the range.
FileStatus transferStatus(int err) {
    if (err == EACCES || err == EAGAIN) return posixSharingStatus(err);
    return posixFileStatus(err);
}

class PosixSharedFile : public SharedFile {
public:
    PosixSharedFile(FileCalls& calls, int fd) : m_calls(calls), m_fd(fd) {}
    // A destructor cannot tell a failed close: a caller who needs to know
    // (after a write) closes first and reads the status.
    ~PosixSharedFile() override { (void)close(); }
    PosixSharedFile(const PosixSharedFile&) = delete;
    PosixSharedFile& operator=(const PosixSharedFile&) = delete;

    FileStatus lockExclusive() override { return setLock(F_WRLCK); }

    FileStatus lockShared() override { return setLock(F_RDLCK); }

    FileStatus unlock() override { return setLock(F_UNLCK); }

    FileStatus size(uint64_t& bytes) override {
        // Seeking to the end asks the server; fstat may answer from the
        // attribute cache on cifs and NFS.
        const off_t end = m_calls.lseek(m_fd, 0, SEEK_END);
        if (end < 0) return transferStatus(errno);
        bytes = static_cast<uint64_t>(end);
        return FileStatus::success();
    }

    FileStatus readAt(uint64_t offset, void* buffer, size_t bytes, size_t& got) override {
        got = 0;
        auto* out = static_cast<unsigned char*>(buffer);
        while (got < bytes) {
            const ssize_t n =
                m_calls.pread(m_fd, out + got, bytes - got, static_cast<off_t>(offset + got));
            if (n < 0) {
                if (errno == EINTR) continue;
                return transferStatus(errno);
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
                m_calls.pwrite(m_fd, in + done, bytes - done, static_cast<off_t>(offset + done));
            if (n < 0) {
                if (errno == EINTR) continue;
                return transferStatus(errno);
            }
            if (n == 0) return posixFileStatus(EIO);
            done += static_cast<size_t>(n);
        }
        return FileStatus::success();
    }

    FileStatus sync() override {
        while (m_calls.fsync(m_fd) != 0) {
            if (errno != EINTR) return posixFileStatus(errno);
        }
        return FileStatus::success();
    }

    FileStatus truncate(uint64_t length) override {
        while (m_calls.ftruncate(m_fd, static_cast<off_t>(length)) != 0) {
            if (errno != EINTR) return posixFileStatus(errno);
        }
        return FileStatus::success();
    }

    FileIdentity identity() override {
        struct stat st {};
        if (m_fd < 0 || m_calls.fstat(m_fd, &st) != 0) return {};
        return {true, static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
    }

    FileStatus close() override {
        if (m_fd < 0) return FileStatus::success();
        // A lock still held (a step failed on the way) goes first, so that
        // no other PC waits for it whatever the close does.
        if (m_locked) releaseLock(m_fd);
        const int fd = m_fd;
        m_fd = -1;
        // After close() the descriptor is gone even when it reports EINTR;
        // retrying could close someone else's descriptor.
        if (m_calls.close(fd) != 0 && errno != EINTR) {
            const int err = errno;
            // Where a failed close left the descriptor open, its lock must not outlive it.
            releaseLock(fd);
            return posixFileStatus(err);
        }
        return FileStatus::success();
    }

private:
    // Unlocking fails only for a passing reason; it is worth a few tries.
    void releaseLock(int fd) {
        for (int attempt = 0; attempt < kUnlockAttempts; ++attempt) {
            if (m_calls.lockWhole(fd, F_UNLCK) == 0 || errno == EBADF) break;
        }
        m_locked = false;
    }

    FileStatus setLock(short type) {
        while (m_calls.lockWhole(m_fd, type) != 0) {
            const int err = errno;
            if (err == EINTR) continue;
            if (err == EAGAIN || err == EACCES) return posixSharingStatus(err);
            return posixFileStatus(err);
        }
        m_locked = type != F_UNLCK;
        return FileStatus::success();
    }

    FileCalls& m_calls;
    int m_fd;
    bool m_locked = false;
};

int openRetrying(FileCalls& calls, const char* path, int flags) {
    for (;;) {
        const int fd = calls.open(path, flags | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EINTR) return fd;
    }
}

// A file this PC creates in the shared folder must stay writable for every
// account that may write the folder: the next student's run is recorded by
// another account. The process's umask would leave it to its creator alone.
void shareLikeFolder(FileCalls& calls, int fd, const std::filesystem::path& path) {
    using std::filesystem::perms;
    std::error_code ec;
    const std::filesystem::path folder = path.has_parent_path() ? path.parent_path() : ".";
    const perms granted = std::filesystem::status(folder, ec).permissions();
    struct stat st {};
    if (ec || calls.fstat(fd, &st) != 0) return;
    mode_t mode = st.st_mode & 07777;
    if ((granted & perms::group_write) != perms::none) mode |= S_IRGRP | S_IWGRP;
    if ((granted & perms::others_write) != perms::none) mode |= S_IROTH | S_IWOTH;
    // Where the server decides the modes, a refusal changes nothing.
    if (mode != (st.st_mode & 07777)) calls.fchmod(fd, mode);
}

// Opens the file for reading and writing; creates it when it is missing and
// `create` allows it, and then shares it as its folder is shared.
int openReadWrite(FileCalls& calls, const std::filesystem::path& path, bool create) {
    for (int tries = 0; tries < 3; ++tries) {
        const int fd = openRetrying(calls, path.c_str(), O_RDWR);
        if (fd >= 0 || errno != ENOENT || !create) return fd;
        const int made = openRetrying(calls, path.c_str(), O_RDWR | O_CREAT | O_EXCL);
        if (made >= 0) {
            shareLikeFolder(calls, made, path);
            return made;
        }
        // Another PC created it in between: open theirs.
        if (errno != EEXIST) return made;
    }
    // Still neither there nor creatable alone (a link to a file yet to be
    // made): create it through the link.
    return openRetrying(calls, path.c_str(), O_RDWR | O_CREAT);
}

} // namespace

std::unique_ptr<SharedFile> PosixSharedFileSystem::open(const std::filesystem::path& path,
                                                        SharedAccess access, FileStatus& status) {
    int fd = access == SharedAccess::ReadOnly
                 ? openRetrying(m_calls, path.c_str(), O_RDONLY)
                 : openReadWrite(m_calls, path, access != SharedAccess::Existing);
    if (fd < 0 && access != SharedAccess::Write && access != SharedAccess::ReadOnly &&
        (errno == EACCES || errno == EROFS || errno == EPERM)) {
        const int refused = errno;
        fd = openRetrying(m_calls, path.c_str(), O_RDONLY);
        if (fd < 0 && errno == ENOENT) {
            // Missing, and this account may not create it: the message says why.
            status = posixFileStatus(ENOENT);
            status.number = refused;
            status.description = posixErrorText(refused);
            return nullptr;
        }
    }
    if (fd < 0) {
        status = posixFileStatus(errno);
        return nullptr;
    }
    // A folder opens for reading as a file does; a file is what was asked for.
    struct stat st {};
    if (access == SharedAccess::ReadOnly && m_calls.fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        m_calls.close(fd);
        status = posixFileStatus(EISDIR);
        return nullptr;
    }
    status = FileStatus::success();
    return std::make_unique<PosixSharedFile>(m_calls, fd);
}

FileStatus PosixSharedFileSystem::remove(const std::filesystem::path& path) {
    if (m_calls.unlink(path.c_str()) != 0) return posixFileStatus(errno);
    return FileStatus::success();
}

FileStatus PosixSharedFileSystem::renameOver(const std::filesystem::path& from,
                                             const std::filesystem::path& to) {
    if (m_calls.rename(from.c_str(), to.c_str()) != 0) return posixFileStatus(errno);
    return FileStatus::success();
}

FileStatus PosixSharedFileSystem::inspect(const std::filesystem::path& path, FileInfo& info) {
    struct stat st {};
    if (m_calls.stat(path.c_str(), &st) != 0) return posixFileStatus(errno);
    info.folder = S_ISDIR(st.st_mode);
    info.groupMayRead = (st.st_mode & S_IRGRP) != 0;
    info.othersMayRead = (st.st_mode & S_IROTH) != 0;
    info.groupMayWrite = (st.st_mode & S_IWGRP) != 0;
    info.othersMayWrite = (st.st_mode & S_IWOTH) != 0;
    const passwd* user = ::getpwuid(st.st_uid);
    info.owner = user ? user->pw_name : std::to_string(st.st_uid);
    const group* grp = ::getgrgid(st.st_gid);
    info.group = grp ? grp->gr_name : std::to_string(st.st_gid);
    info.modifiedSeconds = static_cast<int64_t>(st.st_mtime);
    return FileStatus::success();
}

FileStatus PosixSharedFileSystem::syncFolder(const std::filesystem::path& folder) {
    const int fd =
        openRetrying(m_calls, folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return posixFileStatus(errno);
    int err = 0;
    while (m_calls.fsync(fd) != 0) {
        if (errno == EINTR) continue;
        // Some network file systems cannot sync a folder; their entries are
        // on the server once the call that made them returned.
        if (errno != EINVAL && errno != EROFS && errno != EBADF) err = errno;
        break;
    }
    m_calls.close(fd);
    return err ? posixFileStatus(err) : FileStatus::success();
}

} // namespace kestrel
