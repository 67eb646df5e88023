#pragma once
// An in-memory shared folder whose files fail on command: the Nth write or
// sync, a number of exclusive or shared lock attempts held by "another PC",
// a number of opens of a missing folder, the Nth remove or rename. Counts what was done, so tests
// can show that a failure is never taken for success and no descriptor is left open. It can also
// stop the program at its Nth change of a file (a crash), and forget everything that was not synced
// (a power loss).
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "support/SystemFiles.h"

namespace kestrel::test {

// Thrown by the fake at the change it was told to crash at.
struct SimulatedCrash {
    int operation = 0;
};

class FakeSharedFileSystem : public SharedFileSystem {
public:
    std::map<std::filesystem::path, std::string> files; // path -> bytes

    // Scripted failures. Numbers of calls count from 1; 0 means never.
    int failOnWrite = 0;
    size_t bytesBeforeFailure = 0; // written before the failing write gives up
    int failOnSync = 0;
    int failOnRead = 0;
    // A damaged byte: every read that covers it fails, as on a bad sector.
    uint64_t badByte = UINT64_MAX;
    int failError = EIO;
    int sharingOnLock = 0;   // this many exclusive locks meet another PC's lock
    int sharingOnShared = 0; // this many shared locks meet another PC's lock
    int sharingOnWrite = 0;  // this many writes are refused as a range another PC holds
    int missingOnOpen = 0;   // this many opens find no folder
    int failOnTruncate = 0;
    int failOnRemove = 0;
    int failOnRename = 0;
    int failOnClose = 0; // the descriptor is gone all the same, as on the system
    // What inspect says of a folder (also one that holds no file yet), and of every file.
    std::map<std::filesystem::path, FileInfo> folders;
    FileInfo newFileInfo;
    // The change (a write, sync, truncate, creation or removal of a file, or
    // a sync of the folder) at which the program stops: SimulatedCrash is
    // thrown instead of making it.
    int crashOnChange = 0;

    // What happened.
    int opens = 0, writes = 0, syncs = 0, reads = 0, locks = 0, sharedLocks = 0, closes = 0;
    uint64_t bytesRead = 0;
    int truncates = 0, removes = 0, renames = 0, inspections = 0, folderSyncs = 0, changes = 0;
    int openNow = 0;
    bool locked = false;
    int sharedHolders = 0; // descriptors holding a shared lock
    // Runs before every read of a file: another PC acting in between.
    std::function<void(const std::filesystem::path&)> beforeRead;

    std::unique_ptr<SharedFile> open(const std::filesystem::path& path, SharedAccess access,
                                     FileStatus& status) override {
        ++opens;
        if (missingOnOpen > 0) {
            --missingOnOpen;
            status = posixFileStatus(ENOENT);
            return nullptr;
        }
        if (!files.count(path)) {
            if (access == SharedAccess::Existing || access == SharedAccess::ReadOnly) {
                status = posixFileStatus(ENOENT);
                return nullptr;
            }
            change();
            files.try_emplace(path);
        }
        ++openNow;
        status = FileStatus::success();
        return std::make_unique<File>(*this, path);
    }

    FileStatus remove(const std::filesystem::path& path) override {
        ++removes;
        if (failOnRemove == removes) return posixFileStatus(failError);
        if (!files.count(path)) return posixFileStatus(ENOENT);
        change();
        files.erase(path);
        ids.erase(path);
        return FileStatus::success();
    }

    FileStatus renameOver(const std::filesystem::path& from,
                          const std::filesystem::path& to) override {
        ++renames;
        if (failOnRename == renames) return posixFileStatus(failError);
        if (!files.count(from)) return posixFileStatus(ENOENT);
        change();
        files[to] = std::move(files[from]);
        files.erase(from);
        ids[to] = identityOf(from);
        ids.erase(from);
        return FileStatus::success();
    }

    FileStatus inspect(const std::filesystem::path& named, FileInfo& info) override {
        ++inspections;
        const std::filesystem::path path = named.has_filename() ? named : named.parent_path();
        const bool folder = std::any_of(files.begin(), files.end(), [&](const auto& f) {
            return f.first.parent_path() == path;
        });
        if (!files.count(path) && !folder && !folders.count(path)) return posixFileStatus(ENOENT);
        info = folders.count(path) ? folders[path] : newFileInfo;
        info.folder = !files.count(path);
        return FileStatus::success();
    }

    FileStatus syncFolder(const std::filesystem::path& folder) override {
        ++folderSyncs;
        change();
        for (auto it = durableNames.begin(); it != durableNames.end();)
            it = it->parent_path() == folder && !files.count(*it) ? durableNames.erase(it) : ++it;
        for (const auto& [path, bytes] : files)
            if (path.parent_path() == folder) durableNames.insert(path);
        return FileStatus::success();
    }

    // Puts another file in the place of `path`, as a rebuild through a copy does.
    void replace(const std::filesystem::path& path, std::string bytes) {
        files[path] = std::move(bytes);
        ids[path] = nextId++;
    }

    // Everything as it stands is on the storage (a test's starting point).
    void settle() {
        durableNames.clear();
        for (const auto& [path, bytes] : files) {
            durableNames.insert(path);
            durable[path] = bytes;
        }
    }
    // The power fails: what was not synced is lost. A file keeps the bytes
    // of its last sync, and exists when its folder was synced since it was made.
    void powerLoss() {
        std::map<std::filesystem::path, std::string> kept;
        for (const auto& path : durableNames)
            kept[path] = durable.count(path) ? durable[path] : std::string();
        files = std::move(kept);
        locked = false;
    }

private:
    void change() {
        ++changes;
        if (crashOnChange == changes) throw SimulatedCrash{changes};
    }

    uint64_t identityOf(const std::filesystem::path& path) {
        auto [it, made] = ids.try_emplace(path, nextId);
        if (made) ++nextId;
        return it->second;
    }

    std::map<std::filesystem::path, uint64_t> ids; // identity of each file made
    uint64_t nextId = 1;
    std::map<std::filesystem::path, std::string> durable; // bytes as of the last sync
    std::set<std::filesystem::path> durableNames;         // files whose folder entry is synced

    class File : public SharedFile {
    public:
        File(FakeSharedFileSystem& fs, std::filesystem::path path)
            : m_fs(fs), m_path(std::move(path)) {}
        ~File() override { (void)close(); } // as the real files: callers close first

        FileStatus lockExclusive() override {
            ++m_fs.locks;
            const bool sharedElsewhere = m_fs.sharedHolders > (m_shared ? 1 : 0);
            if (m_fs.sharingOnLock > 0 || (m_fs.locked && !m_locked) || sharedElsewhere) {
                if (m_fs.sharingOnLock > 0) --m_fs.sharingOnLock;
                return posixSharingStatus(EAGAIN);
            }
            m_fs.locked = m_locked = true;
            return FileStatus::success();
        }
        FileStatus lockShared() override {
            ++m_fs.sharedLocks;
            if (m_fs.sharingOnShared > 0 || (m_fs.locked && !m_locked)) {
                if (m_fs.sharingOnShared > 0) --m_fs.sharingOnShared;
                return posixSharingStatus(EAGAIN);
            }
            if (!m_shared) ++m_fs.sharedHolders;
            m_shared = true;
            return FileStatus::success();
        }
        FileStatus unlock() override {
            if (m_locked) m_fs.locked = m_locked = false;
            if (m_shared) --m_fs.sharedHolders;
            m_shared = false;
            return FileStatus::success();
        }
        FileStatus size(uint64_t& bytes) override {
            bytes = data().size();
            return FileStatus::success();
        }
        FileStatus readAt(uint64_t offset, void* buffer, size_t bytes, size_t& got) override {
            if (m_fs.beforeRead) m_fs.beforeRead(m_path);
            ++m_fs.reads;
            got = 0;
            if (m_fs.failOnRead == m_fs.reads) return posixFileStatus(m_fs.failError);
            if (m_fs.badByte >= offset && m_fs.badByte - offset < bytes)
                return posixFileStatus(m_fs.failError);
            const std::string& d = data();
            if (offset < d.size()) got = std::min<size_t>(bytes, d.size() - offset);
            if (got > 0) std::memcpy(buffer, d.data() + offset, got);
            m_fs.bytesRead += got;
            return FileStatus::success();
        }
        FileStatus writeAt(uint64_t offset, const void* bytes, size_t count) override {
            ++m_fs.writes;
            if (m_fs.sharingOnWrite > 0) {
                --m_fs.sharingOnWrite;
                return posixSharingStatus(EACCES);
            }
            m_fs.change();
            const bool fail = m_fs.failOnWrite == m_fs.writes;
            const size_t n = fail ? std::min(count, m_fs.bytesBeforeFailure) : count;
            std::string& d = data();
            if (d.size() < offset + n) d.resize(offset + n, '\0');
            std::memcpy(d.data() + offset, bytes, n);
            return fail ? posixFileStatus(m_fs.failError) : FileStatus::success();
        }
        FileStatus sync() override {
            ++m_fs.syncs;
            if (m_fs.failOnSync == m_fs.syncs) return posixFileStatus(m_fs.failError);
            m_fs.change();
            m_fs.durable[m_path] = data();
            return FileStatus::success();
        }
        FileStatus truncate(uint64_t length) override {
            ++m_fs.truncates;
            if (m_fs.failOnTruncate == m_fs.truncates) return posixFileStatus(m_fs.failError);
            m_fs.change();
            data().resize(length, '\0');
            return FileStatus::success();
        }
        FileIdentity identity() override { return {true, 1, m_fs.identityOf(m_path)}; }
        FileStatus close() override {
            if (m_closed) return FileStatus::success();
            m_closed = true;
            (void)unlock(); // the double's unlock cannot fail; closing releases the lock
            ++m_fs.closes;
            --m_fs.openNow;
            if (m_fs.failOnClose == m_fs.closes) return posixFileStatus(m_fs.failError);
            return FileStatus::success();
        }

    private:
        std::string& data() { return m_fs.files[m_path]; }

        FakeSharedFileSystem& m_fs;
        std::filesystem::path m_path;
        bool m_locked = false;
        bool m_shared = false;
        bool m_closed = false;
    };
};

} // namespace kestrel::test
