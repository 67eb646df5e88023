#pragma once
// A network share as the PCs of a classroom see it, for the shared-file
// protocol's tests. One server holds the files and the lock of every open
// handle; each PC is a client (a FileCalls) with descriptors and an
// attribute cache of its own. Like an SMB server it refuses a read of a
// file another handle holds exclusively, and a write or truncation of one
// another handle holds at all (EACCES), although the file opened fine. Like
// a client's cache, fstat and a new open answer with the length this client
// last saw; only lseek(SEEK_END) asks the server.
#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/PosixFileCalls.h"

namespace kestrel::test {

class SmbShare {
public:
    class Client : public FileCalls {
    public:
        Client(SmbShare& share, int id) : m_share(share), m_id(id) {}

        int open(const char* path, int flags, mode_t) override {
            if (m_share.readOnly && (flags & O_ACCMODE) != O_RDONLY) return fail(EACCES);
            auto file = m_share.files.find(path);
            if (file != m_share.files.end() && (flags & O_CREAT) && (flags & O_EXCL))
                return fail(EEXIST);
            if (file == m_share.files.end()) {
                if (!(flags & O_CREAT)) return fail(ENOENT);
                file = m_share.files.emplace(path, std::string()).first;
            }
            // The cache keeps the length it saw last, however old.
            m_cache.try_emplace(path, file->second.size());
            const int fd = m_share.m_nextHandle++;
            m_share.m_handles[fd] = {m_id, path, F_UNLCK};
            ++m_share.opens;
            return fd;
        }
        int close(int fd) override {
            if (!mine(fd)) return fail(EBADF);
            m_share.m_handles.erase(fd);
            return 0;
        }
        ssize_t pread(int fd, void* buffer, size_t bytes, off_t offset) override {
            if (!mine(fd)) return fail(EBADF);
            if (m_share.heldByOther(fd, F_WRLCK)) return fail(EACCES);
            const std::string& data = m_share.files[path(fd)];
            if (static_cast<size_t>(offset) >= data.size()) return 0;
            const size_t n = std::min(bytes, data.size() - static_cast<size_t>(offset));
            std::memcpy(buffer, data.data() + offset, n);
            return static_cast<ssize_t>(n);
        }
        ssize_t pwrite(int fd, const void* in, size_t bytes, off_t offset) override {
            if (!mine(fd)) return fail(EBADF);
            if (m_share.heldByOther(fd, F_RDLCK)) return fail(EACCES);
            std::string& data = m_share.files[path(fd)];
            if (data.size() < static_cast<size_t>(offset) + bytes)
                data.resize(static_cast<size_t>(offset) + bytes, '\0');
            std::memcpy(data.data() + offset, in, bytes);
            size_t& cached = m_cache[path(fd)];
            cached = std::max(cached, static_cast<size_t>(offset) + bytes);
            return static_cast<ssize_t>(bytes);
        }
        off_t lseek(int fd, off_t offset, int whence) override {
            if (!mine(fd)) return fail(EBADF);
            if (whence != SEEK_END) return offset;
            const size_t length = m_share.files[path(fd)].size();
            m_cache[path(fd)] = length; // revalidated
            return static_cast<off_t>(length) + offset;
        }
        int fstat(int fd, struct stat* st) override {
            if (!mine(fd)) return fail(EBADF);
            *st = {};
            st->st_size = static_cast<off_t>(m_cache[path(fd)]);
            return 0;
        }
        int fsync(int fd) override { return mine(fd) ? 0 : fail(EBADF); }
        // The server's mount options decide the modes of a share's files.
        int fchmod(int fd, mode_t) override { return mine(fd) ? 0 : fail(EBADF); }
        int ftruncate(int fd, off_t length) override {
            if (!mine(fd)) return fail(EBADF);
            if (m_share.heldByOther(fd, F_RDLCK)) return fail(EACCES);
            m_share.files[path(fd)].resize(static_cast<size_t>(length));
            m_cache[path(fd)] = static_cast<size_t>(length);
            return 0;
        }
        int unlink(const char* path) override {
            auto file = m_share.files.find(path);
            if (file == m_share.files.end()) return fail(ENOENT);
            // A file another handle holds open cannot be removed on a share.
            for (const auto& [fd, h] : m_share.m_handles)
                if (h.path == path) return fail(EACCES);
            m_share.files.erase(file);
            m_cache.erase(path);
            return 0;
        }
        int stat(const char* path, struct stat* st) override {
            auto file = m_share.files.find(path);
            if (file == m_share.files.end()) return fail(ENOENT);
            *st = {};
            st->st_mode = S_IFREG | 0664;
            st->st_size = static_cast<off_t>(file->second.size());
            return 0;
        }
        int rename(const char* from, const char* to) override {
            auto file = m_share.files.find(from);
            if (file == m_share.files.end()) return fail(ENOENT);
            // A file another handle holds open cannot be renamed or replaced on a share.
            for (const auto& [fd, h] : m_share.m_handles)
                if (h.path == from || h.path == to) return fail(EACCES);
            std::string bytes = std::move(file->second);
            m_share.files.erase(file);
            m_share.files[to] = std::move(bytes);
            m_cache.erase(from);
            m_cache.erase(to);
            return 0;
        }
        int lockWhole(int fd, short type) override {
            if (!mine(fd)) return fail(EBADF);
            if (type == F_WRLCK && m_share.heldByOther(fd, F_RDLCK)) return fail(EAGAIN);
            if (type == F_RDLCK && m_share.heldByOther(fd, F_WRLCK)) return fail(EAGAIN);
            m_share.m_handles[fd].lock = type;
            return 0;
        }

    private:
        static int fail(int err) {
            errno = err;
            return -1;
        }
        bool mine(int fd) const {
            auto h = m_share.m_handles.find(fd);
            return h != m_share.m_handles.end() && h->second.client == m_id;
        }
        const std::string& path(int fd) const { return m_share.m_handles.at(fd).path; }

        SmbShare& m_share;
        int m_id;
        std::map<std::string, size_t> m_cache; // path -> length last seen
    };

    // PC `n`'s view of the share (created on first use).
    Client& client(int n) {
        auto& c = m_clients[n];
        if (!c) c = std::make_unique<Client>(*this, n);
        return *c;
    }

    std::map<std::string, std::string> files; // path -> bytes on the server
    bool readOnly = false;                    // opens for writing are refused
    int opens = 0;

private:
    struct Handle {
        int client;
        std::string path;
        short lock;
    };
    // Whether a handle other than `fd` holds a lock on its file that stops
    // `wanted`: any lock stops a write, an exclusive one stops a read.
    bool heldByOther(int fd, short wanted) const {
        const std::string& p = m_handles.at(fd).path;
        for (const auto& [other, h] : m_handles) {
            if (other == fd || h.path != p || h.lock == F_UNLCK) continue;
            if (wanted == F_RDLCK || h.lock == F_WRLCK) return true;
        }
        return false;
    }

    std::map<int, Handle> m_handles;
    int m_nextHandle = 100;
    std::map<int, std::unique_ptr<Client>> m_clients;
};

} // namespace kestrel::test
