#include "platform/Win32SharedFile.h"

#include <windows.h>

#include <aclapi.h>

#include <algorithm>

#include "platform/Win32Text.h"

namespace kestrel {
namespace {

// Codes this compiler's headers do not name.
constexpr DWORD kDiskQuotaExceeded = 1295;    // ERROR_DISK_QUOTA_EXCEEDED
constexpr DWORD kDirectoryNotSupported = 336; // kDirectoryNotSupported

} // namespace

std::string utf8FromWide(std::wstring_view wide) {
    if (wide.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                      nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0)
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n,
                            nullptr, nullptr);
    return out;
}

std::wstring wideFromUtf8(std::string_view utf8) {
    if (utf8.empty()) return {};
    const int n =
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0)
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
    return out;
}

std::string win32ErrorText(uint32_t code) {
    wchar_t* text = nullptr;
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring wide = n && text ? std::wstring(text, n) : std::wstring();
    if (text) LocalFree(text);
    while (!wide.empty() && (wide.back() == L'\n' || wide.back() == L'\r' || wide.back() == L' ' ||
                             wide.back() == L'.' || wide.back() == L'\x3002'))
        wide.pop_back();
    if (wide.empty()) return "Windows error " + std::to_string(code);
    return utf8FromWide(wide);
}

FileStatus win32FileStatus(uint32_t code) {
    FileStatus s;
    switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_INVALID_DRIVE:
        s.fault = FileFault::NotFound;
        break;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        s.fault = FileFault::Sharing;
        break;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
    case ERROR_NETWORK_ACCESS_DENIED:
        s.fault = FileFault::Refused;
        break;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
    case kDiskQuotaExceeded:
        s.fault = FileFault::NoSpace;
        break;
    default:
        s.fault = FileFault::Other;
    }
    s.number = static_cast<int>(code);
    s.description = win32ErrorText(code);
    return s;
}

FileStatus win32SharingStatus(uint32_t code) {
    FileStatus s = win32FileStatus(code);
    s.fault = FileFault::Sharing;
    return s;
}

FileStatus FileStatus::inputOutputError() {
    return win32FileStatus(ERROR_READ_FAULT);
}

bool FileStatus::storageFailed() const {
    if (fault == FileFault::None) return false;
    switch (number) {
    case ERROR_READ_FAULT:
    case ERROR_WRITE_FAULT:
    case ERROR_CRC:
    case ERROR_IO_DEVICE:
    case ERROR_SECTOR_NOT_FOUND:
    case ERROR_NETNAME_DELETED:
    case ERROR_UNEXP_NET_ERR:
    case ERROR_SEM_TIMEOUT:
    case ERROR_DEV_NOT_EXIST:
        return true;
    default:
        return false;
    }
}

bool FileStatus::isFolder() const {
    return fault != FileFault::None && number == kDirectoryNotSupported;
}

SharedFileSystem& localFileSystem() {
    static Win32SharedFileSystem files;
    return files;
}

namespace {

constexpr int kUnlockAttempts = 5;
// The whole file and everything past its end, as the Linux PCs lock it.
constexpr DWORD kWholeLow = MAXDWORD, kWholeHigh = MAXDWORD;

// A read or write of a file that opened fine: a refusal means another PC
// holds the range.
FileStatus transferStatus(DWORD err) {
    if (err == ERROR_LOCK_VIOLATION || err == ERROR_ACCESS_DENIED || err == ERROR_SHARING_VIOLATION)
        return win32SharingStatus(err);
    return win32FileStatus(err);
}

OVERLAPPED at(uint64_t offset) {
    OVERLAPPED o{};
    o.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFu);
    o.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return o;
}

class Win32SharedFile : public SharedFile {
public:
    explicit Win32SharedFile(HANDLE h) : m_handle(h) {}
    // A destructor cannot tell a failed close: a caller who needs to know
    // (after a write) closes first and reads the status.
    ~Win32SharedFile() override { (void)close(); }
    Win32SharedFile(const Win32SharedFile&) = delete;
    Win32SharedFile& operator=(const Win32SharedFile&) = delete;

    FileStatus lockExclusive() override { return setLock(LOCKFILE_EXCLUSIVE_LOCK); }

    FileStatus lockShared() override { return setLock(0); }

    FileStatus unlock() override {
        if (m_locked) releaseLock();
        return FileStatus::success();
    }

    FileStatus size(uint64_t& bytes) override {
        // Asked of the open handle: the server answers, not a folder cache.
        FILE_STANDARD_INFO st{};
        if (!GetFileInformationByHandleEx(m_handle, FileStandardInfo, &st, sizeof st))
            return transferStatus(GetLastError());
        bytes = static_cast<uint64_t>(st.EndOfFile.QuadPart);
        return FileStatus::success();
    }

    FileStatus readAt(uint64_t offset, void* buffer, size_t bytes, size_t& got) override {
        got = 0;
        auto* out = static_cast<unsigned char*>(buffer);
        while (got < bytes) {
            const DWORD ask = static_cast<DWORD>(std::min<size_t>(bytes - got, 1u << 30));
            OVERLAPPED o = at(offset + got);
            DWORD n = 0;
            if (!ReadFile(m_handle, out + got, ask, &n, &o)) {
                const DWORD err = GetLastError();
                if (err == ERROR_HANDLE_EOF) break;
                return transferStatus(err);
            }
            if (n == 0) break;
            got += n;
        }
        return FileStatus::success();
    }

    FileStatus writeAt(uint64_t offset, const void* data, size_t bytes) override {
        const auto* in = static_cast<const unsigned char*>(data);
        size_t done = 0;
        while (done < bytes) {
            const DWORD ask = static_cast<DWORD>(std::min<size_t>(bytes - done, 1u << 30));
            OVERLAPPED o = at(offset + done);
            DWORD n = 0;
            if (!WriteFile(m_handle, in + done, ask, &n, &o)) return transferStatus(GetLastError());
            if (n == 0) return win32FileStatus(ERROR_WRITE_FAULT);
            done += n;
        }
        return FileStatus::success();
    }

    FileStatus sync() override {
        if (!FlushFileBuffers(m_handle)) return win32FileStatus(GetLastError());
        return FileStatus::success();
    }

    FileStatus truncate(uint64_t length) override {
        FILE_END_OF_FILE_INFO eof{};
        eof.EndOfFile.QuadPart = static_cast<LONGLONG>(length);
        if (!SetFileInformationByHandle(m_handle, FileEndOfFileInfo, &eof, sizeof eof))
            return transferStatus(GetLastError());
        return FileStatus::success();
    }

    FileIdentity identity() override {
        BY_HANDLE_FILE_INFORMATION info{};
        if (m_handle == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(m_handle, &info))
            return {};
        return {true, info.dwVolumeSerialNumber,
                (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
    }

    FileStatus close() override {
        if (m_handle == INVALID_HANDLE_VALUE) return FileStatus::success();
        // A lock still held (a step failed on the way) goes first, so that
        // no other PC waits for it whatever the close does.
        if (m_locked) releaseLock();
        const HANDLE h = m_handle;
        m_handle = INVALID_HANDLE_VALUE;
        if (!CloseHandle(h)) return win32FileStatus(GetLastError());
        return FileStatus::success();
    }

private:
    // Unlocking fails only for a passing reason; it is worth a few tries.
    void releaseLock() {
        for (int attempt = 0; attempt < kUnlockAttempts; ++attempt) {
            OVERLAPPED o = at(0);
            if (UnlockFileEx(m_handle, 0, kWholeLow, kWholeHigh, &o) ||
                GetLastError() == ERROR_NOT_LOCKED)
                break;
        }
        m_locked = false;
    }

    FileStatus setLock(DWORD flags) {
        // Windows neither stacks nor converts a handle's locks of one range
        // as fcntl does: the lock held goes first.
        if (m_locked) releaseLock();
        OVERLAPPED o = at(0);
        if (!LockFileEx(m_handle, flags | LOCKFILE_FAIL_IMMEDIATELY, 0, kWholeLow, kWholeHigh,
                        &o)) {
            const DWORD err = GetLastError();
            if (err == ERROR_LOCK_VIOLATION || err == ERROR_SHARING_VIOLATION ||
                err == ERROR_IO_PENDING)
                return win32SharingStatus(ERROR_LOCK_VIOLATION);
            return win32FileStatus(err);
        }
        m_locked = true;
        return FileStatus::success();
    }

    HANDLE m_handle;
    bool m_locked = false;
};

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

HANDLE openHandle(const std::filesystem::path& path, DWORD access, DWORD disposition) {
    return CreateFileW(path.wstring().c_str(), access, kShareAll, nullptr, disposition,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool isFolderPath(const std::filesystem::path& path) {
    const DWORD attributes = GetFileAttributesW(path.wstring().c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool refusal(DWORD err) {
    return err == ERROR_ACCESS_DENIED || err == ERROR_WRITE_PROTECT ||
           err == ERROR_NETWORK_ACCESS_DENIED;
}

} // namespace

std::unique_ptr<SharedFile> Win32SharedFileSystem::open(const std::filesystem::path& path,
                                                        SharedAccess access, FileStatus& status) {
    constexpr DWORD kReadWrite = GENERIC_READ | GENERIC_WRITE;
    HANDLE h = INVALID_HANDLE_VALUE;
    switch (access) {
    case SharedAccess::ReadOnly:
        h = openHandle(path, GENERIC_READ, OPEN_EXISTING);
        break;
    case SharedAccess::Existing:
        h = openHandle(path, kReadWrite, OPEN_EXISTING);
        break;
    case SharedAccess::Write:
    case SharedAccess::Read:
        // Creates it when missing; another PC creating it at the same
        // moment makes both open the one file.
        h = openHandle(path, kReadWrite, OPEN_ALWAYS);
        break;
    }
    DWORD err = h == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
    // A folder where a file was asked for is refused as a folder.
    if (h == INVALID_HANDLE_VALUE && err == ERROR_ACCESS_DENIED && isFolderPath(path)) {
        status = win32FileStatus(kDirectoryNotSupported);
        return nullptr;
    }
    if (h == INVALID_HANDLE_VALUE && refusal(err) && access != SharedAccess::Write &&
        access != SharedAccess::ReadOnly) {
        const DWORD refused = err;
        h = openHandle(path, GENERIC_READ, OPEN_EXISTING);
        err = h == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
        if (h == INVALID_HANDLE_VALUE &&
            (err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND)) {
            // Missing, and this account may not create it: the message says why.
            status = win32FileStatus(err);
            status.number = static_cast<int>(refused);
            status.description = win32ErrorText(refused);
            return nullptr;
        }
    }
    if (h == INVALID_HANDLE_VALUE) {
        status = win32FileStatus(err);
        return nullptr;
    }
    status = FileStatus::success();
    return std::make_unique<Win32SharedFile>(h);
}

FileStatus Win32SharedFileSystem::remove(const std::filesystem::path& path) {
    if (!DeleteFileW(path.wstring().c_str())) return win32FileStatus(GetLastError());
    return FileStatus::success();
}

FileStatus Win32SharedFileSystem::renameOver(const std::filesystem::path& from,
                                             const std::filesystem::path& to) {
    // Windows replaces no file that another handle has open, delete
    // sharing or not: a reader (another PC's, for the moment of its read)
    // is waited for a little before the replacement counts as failed.
    constexpr int kTries = 40;
    constexpr DWORD kPauseMs = 50;
    for (int attempt = 1;; ++attempt) {
        if (MoveFileExW(from.wstring().c_str(), to.wstring().c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return FileStatus::success();
        const DWORD err = GetLastError();
        if ((err != ERROR_ACCESS_DENIED && err != ERROR_SHARING_VIOLATION) || attempt >= kTries)
            return win32FileStatus(err);
        Sleep(kPauseMs);
    }
}

namespace {

// The account that owns the file, as DOMAIN\name; empty when unknown.
std::string ownerOf(const std::filesystem::path& path) {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    std::wstring wide = path.wstring();
    if (GetNamedSecurityInfoW(wide.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner,
                              nullptr, nullptr, nullptr, &sd) != ERROR_SUCCESS)
        return {};
    wchar_t name[256], domain[256];
    DWORD nameLength = 256, domainLength = 256;
    SID_NAME_USE use;
    std::string out;
    if (owner && LookupAccountSidW(nullptr, owner, name, &nameLength, domain, &domainLength, &use))
        out = utf8FromWide(std::wstring(domain, domainLength) + L"\\" +
                           std::wstring(name, nameLength));
    LocalFree(sd);
    return out;
}

} // namespace

FileStatus Win32SharedFileSystem::inspect(const std::filesystem::path& path, FileInfo& info) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.wstring().c_str(), GetFileExInfoStandard, &data))
        return win32FileStatus(GetLastError());
    info = FileInfo{};
    info.folder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    // Who else may read or write is in the file's access list, which a new
    // file takes over from its folder: the group and others flags stay
    // false for folder and file alike, so they never differ.
    info.owner = ownerOf(path);
    // 100-nanosecond steps since 1601-01-01.
    const uint64_t ticks = (static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                           data.ftLastWriteTime.dwLowDateTime;
    info.modifiedSeconds = static_cast<int64_t>(ticks / 10000000u) - 11644473600LL;
    return FileStatus::success();
}

FileStatus Win32SharedFileSystem::syncFolder(const std::filesystem::path& folder) {
    // A folder opened as a handle of its own flushes its entries (NTFS);
    // one that cannot be opened or flushed so (a share, a FAT disk) has
    // made them durable its own way.
    const std::filesystem::path p = folder.empty() ? std::filesystem::path(L".") : folder;
    const HANDLE h = CreateFileW(p.wstring().c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll,
                                 nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD err = GetLastError();
        if (err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND) return win32FileStatus(err);
        return FileStatus::success();
    }
    DWORD err = ERROR_SUCCESS;
    if (!FlushFileBuffers(h)) {
        err = GetLastError();
        if (err == ERROR_INVALID_FUNCTION || err == ERROR_ACCESS_DENIED ||
            err == ERROR_NOT_SUPPORTED || err == ERROR_INVALID_PARAMETER)
            err = ERROR_SUCCESS;
    }
    CloseHandle(h);
    return err == ERROR_SUCCESS ? FileStatus::success() : win32FileStatus(err);
}

} // namespace kestrel
