#include "platform/Win32MountTable.h"

#include <windows.h>

#include <winnetwk.h>

#include <algorithm>
#include <cctype>
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

} // namespace kestrel
