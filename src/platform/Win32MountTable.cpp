#include "platform/Win32MountTable.h"

#include <windows.h>

#include <winnetwk.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cwctype>
#include <vector>

#include "platform/Win32SharedFile.h"
#include "platform/Win32Text.h"

namespace kestrel {

std::string win32MountType(bool remote, unsigned long providerType, const std::string& providerName,
                           const std::string& fileSystem) {
    if (remote) {
        if (providerType == WNNC_NET_LANMAN) return "cifs";
        if (providerType == WNNC_NET_DAV) return "davfs";
        return providerName.empty() ? "unknown-network" : providerName;
    }
    std::string fs = fileSystem;
    std::transform(fs.begin(), fs.end(), fs.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (fs == "fat" || fs == "fat12" || fs == "fat16" || fs == "fat32") return "vfat";
    if (fs == "cdfs") return "iso9660";
    return fs.empty() ? "unknown" : fs;
}

namespace {

std::wstring withoutTrailingSlash(std::wstring root) {
    while (root.size() > 2 && (root.back() == L'\\' || root.back() == L'/'))
        root.pop_back();
    return root;
}

// The UNC name of a path on a network drive or share; empty when none.
std::wstring universalName(const std::wstring& path) {
    std::vector<unsigned char> buffer(2048);
    DWORD size = static_cast<DWORD>(buffer.size());
    if (WNetGetUniversalNameW(path.c_str(), UNIVERSAL_NAME_INFO_LEVEL, buffer.data(), &size) !=
        NO_ERROR)
        return {};
    const auto* info = reinterpret_cast<const UNIVERSAL_NAME_INFOW*>(buffer.data());
    return info->lpUniversalName ? info->lpUniversalName : L"";
}

// The network provider that serves a UNC name: its type and name.
bool providerOf(const std::wstring& unc, DWORD& type, std::string& name) {
    NETRESOURCEW want{};
    want.dwType = RESOURCETYPE_DISK;
    want.lpRemoteName = const_cast<wchar_t*>(unc.c_str());
    std::vector<unsigned char> buffer(4096);
    DWORD size = static_cast<DWORD>(buffer.size());
    wchar_t* rest = nullptr;
    if (WNetGetResourceInformationW(&want, buffer.data(), &size, &rest) != NO_ERROR) return false;
    const auto* found = reinterpret_cast<const NETRESOURCEW*>(buffer.data());
    if (!found->lpProvider) return false;
    name = utf8FromWide(found->lpProvider);
    NETINFOSTRUCT info{};
    info.cbStructure = sizeof info;
    if (WNetGetNetworkInformationW(found->lpProvider, &info) != NO_ERROR) return false;
    type = info.wNetType << 16; // the WNNC_NET_* constants carry the type in the high word
    return true;
}

// The volume whose root is `root` ("C:\", "\\server\share\").
FileStatus describe(const std::wstring& root, const std::wstring& path, Mount& m) {
    const UINT drive = GetDriveTypeW(root.c_str());
    if (drive == DRIVE_NO_ROOT_DIR) return win32FileStatus(ERROR_PATH_NOT_FOUND);
    const bool unc = root.size() > 2 && root[0] == L'\\' && root[1] == L'\\';
    const bool remote = drive == DRIVE_REMOTE || unc;
    m = Mount{};
    m.mountPoint = utf8FromWide(withoutTrailingSlash(root));
    std::wstring source = withoutTrailingSlash(root);
    DWORD providerType = 0;
    std::string providerName;
    if (remote) {
        const std::wstring named = unc ? withoutTrailingSlash(root) : universalName(path);
        if (!named.empty()) source = withoutTrailingSlash(named);
        if (!providerOf(source, providerType, providerName)) providerName.clear();
    }
    wchar_t fileSystem[MAX_PATH + 1] = {};
    if (!remote && !GetVolumeInformationW(root.c_str(), nullptr, 0, nullptr, nullptr, nullptr,
                                          fileSystem, MAX_PATH + 1))
        return win32FileStatus(GetLastError());
    m.source = utf8FromWide(source);
    m.type = win32MountType(remote, providerType, providerName, utf8FromWide(fileSystem));
    return FileStatus::success();
}

} // namespace

FileStatus Win32MountTable::mounts(std::vector<Mount>& out) {
    out.clear();
    wchar_t drives[512] = {};
    const DWORD n = GetLogicalDriveStringsW(511, drives);
    if (n == 0 || n > 511) return win32FileStatus(GetLastError());
    for (const wchar_t* d = drives; *d; d += wcslen(d) + 1) {
        Mount m;
        if (describe(d, d, m).ok()) out.push_back(std::move(m));
    }
    if (out.empty()) return FileStatus::inputOutputError();
    return FileStatus::success();
}

FileStatus Win32MountTable::mountOf(const std::string& path, std::optional<Mount>& out) {
    out.reset();
    const std::wstring wide = wideFromUtf8(path);
    wchar_t root[MAX_PATH + 1] = {};
    if (!GetVolumePathNameW(wide.c_str(), root, MAX_PATH + 1))
        return win32FileStatus(GetLastError());
    Mount m;
    const FileStatus s = describe(root, wide, m);
    if (!s.ok()) return s;
    out = std::move(m);
    return FileStatus::success();
}

bool win32PathWithin(const std::string& path, const std::string& root) {
    const auto normal = [](std::string s) {
        for (char& c : s) {
            if (c == '/') c = '\\';
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        }
        while (s.size() > 1 && s.back() == '\\')
            s.pop_back();
        return s;
    };
    const std::string p = normal(path), r = normal(root);
    if (r.empty() || p.size() < r.size() || p.compare(0, r.size(), r) != 0) return false;
    return p.size() == r.size() || p[r.size()] == '\\';
}

bool win32CloudAttributes(unsigned long attributes, unsigned long reparseTag) {
    constexpr unsigned long kCloud = FILE_ATTRIBUTE_OFFLINE | 0x00040000 /* RECALL_ON_OPEN */ |
                                     0x00080000 /* PINNED */ | 0x00100000 /* UNPINNED */ |
                                     0x00400000 /* RECALL_ON_DATA_ACCESS */;
    if (attributes & kCloud) return true;
    // IO_REPARSE_TAG_CLOUD and its sixteen variants (0x9000X01A).
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
           (reparseTag & 0xFFFF0FFFul) == 0x9000001Aul;
}

std::string win32SyncRootClient(const std::string& keyName) {
    const size_t bang = keyName.find('!');
    return keyName.substr(0, bang);
}

namespace {

std::wstring backslashed(std::wstring path) {
    std::replace(path.begin(), path.end(), L'/', L'\\');
    return path;
}

// The text values of a registry key (HKCU or HKLM), by value name.
std::vector<std::wstring> registryTexts(HKEY base, const std::wstring& key) {
    std::vector<std::wstring> out;
    HKEY k = nullptr;
    if (RegOpenKeyExW(base, key.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &k) != ERROR_SUCCESS)
        return out;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD nameSize = 256, type = 0;
        std::vector<wchar_t> data(2048);
        DWORD dataSize = static_cast<DWORD>(data.size() * sizeof(wchar_t));
        const LONG r = RegEnumValueW(k, i, name, &nameSize, nullptr, &type,
                                     reinterpret_cast<BYTE*>(data.data()), &dataSize);
        if (r == ERROR_NO_MORE_ITEMS) break;
        if (r != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) continue;
        data.resize(dataSize / sizeof(wchar_t));
        while (!data.empty() && data.back() == L'\0')
            data.pop_back();
        out.emplace_back(data.begin(), data.end());
    }
    RegCloseKey(k);
    return out;
}

std::vector<std::wstring> subkeys(HKEY base, const std::wstring& key) {
    std::vector<std::wstring> out;
    HKEY k = nullptr;
    if (RegOpenKeyExW(base, key.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &k) != ERROR_SUCCESS)
        return out;
    for (DWORD i = 0;; ++i) {
        wchar_t name[512];
        DWORD size = 512;
        if (RegEnumKeyExW(k, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        out.emplace_back(name, size);
    }
    RegCloseKey(k);
    return out;
}

// The folder that a cloud client syncs and that holds `folder`: OneDrive's
// own settings first, then the sync roots of every client and account.
std::optional<CloudFolder> syncRootHolding(const std::string& folder) {
    const auto holds = [&](const std::wstring& root) {
        return !root.empty() && win32PathWithin(folder, utf8FromWide(root));
    };
    for (const wchar_t* variable : {L"OneDrive", L"OneDriveCommercial", L"OneDriveConsumer"}) {
        const wchar_t* value = _wgetenv(variable);
        if (value && holds(value))
            return CloudFolder{"OneDrive", utf8FromWide(value), "OneDrive が同期するフォルダです"};
    }
    const std::wstring accounts = L"Software\\Microsoft\\OneDrive\\Accounts";
    for (const std::wstring& account : subkeys(HKEY_CURRENT_USER, accounts)) {
        HKEY k = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, (accounts + L"\\" + account).c_str(), 0, KEY_READ,
                          &k) != ERROR_SUCCESS)
            continue;
        wchar_t root[MAX_PATH * 2] = {};
        DWORD size = sizeof root - sizeof(wchar_t);
        DWORD type = 0;
        const bool read = RegQueryValueExW(k, L"UserFolder", nullptr, &type,
                                           reinterpret_cast<BYTE*>(root), &size) == ERROR_SUCCESS &&
                          type == REG_SZ;
        RegCloseKey(k);
        if (read && holds(root))
            return CloudFolder{"OneDrive", utf8FromWide(root), "OneDrive が同期するフォルダです"};
    }
    const std::wstring roots =
        L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\SyncRootManager";
    for (const std::wstring& id : subkeys(HKEY_LOCAL_MACHINE, roots))
        for (const std::wstring& root :
             registryTexts(HKEY_LOCAL_MACHINE, roots + L"\\" + id + L"\\UserSyncRoots"))
            if (holds(root)) {
                const std::string client = win32SyncRootClient(utf8FromWide(id));
                return CloudFolder{client, utf8FromWide(root),
                                   "Windows に " + client +
                                       " の同期フォルダとして登録されています"};
            }
    return std::nullopt;
}

// The folder itself or a file directly in it with cloud attributes.
std::optional<CloudFolder> cloudFileIn(const std::string& folder) {
    std::wstring wide = backslashed(wideFromUtf8(folder));
    while (wide.size() > 3 && wide.back() == L'\\')
        wide.pop_back();
    WIN32_FIND_DATAW found{};
    const auto cloud = [&](const std::wstring& name) {
        return CloudFolder{"クラウドの同期", utf8FromWide(name),
                           "ファイルに、クラウドに置かれたファイルの属性があります"};
    };
    HANDLE h =
        FindFirstFileExW(wide.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0);
    if (h != INVALID_HANDLE_VALUE) {
        FindClose(h);
        if (win32CloudAttributes(found.dwFileAttributes, found.dwReserved0)) return cloud(wide);
    }
    h = FindFirstFileExW((wide + L"\\*").c_str(), FindExInfoBasic, &found, FindExSearchNameMatch,
                         nullptr, 0);
    if (h == INVALID_HANDLE_VALUE) return std::nullopt;
    std::optional<CloudFolder> out;
    int seen = 0;
    do {
        if (win32CloudAttributes(found.dwFileAttributes, found.dwReserved0)) {
            out = cloud(wide + L"\\" + found.cFileName);
            break;
        }
    } while (++seen < 4000 && FindNextFileW(h, &found));
    FindClose(h);
    return out;
}

} // namespace

std::optional<CloudFolder> Win32MountTable::cloudFolderOf(const std::string& folder) {
    if (std::optional<CloudFolder> marked = markedCloudFolder(folder)) return marked;
    if (std::optional<CloudFolder> root = syncRootHolding(folder)) return root;
    return cloudFileIn(folder);
}

std::optional<std::string> Win32MountTable::networkNameOf(const std::string& path) {
    const std::wstring wide = backslashed(wideFromUtf8(path));
    const bool letter = wide.size() >= 2 && wide[1] == L':' && std::iswalpha(wide[0]);
    if (!letter) return std::nullopt;
    const std::wstring root = wide.substr(0, 2) + L"\\";
    if (GetDriveTypeW(root.c_str()) != DRIVE_REMOTE) return std::nullopt;
    const std::wstring unc = universalName(wide);
    if (unc.empty()) return std::nullopt;
    return utf8FromWide(unc);
}

} // namespace kestrel
