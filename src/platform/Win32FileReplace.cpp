#include <windows.h>

#include <algorithm>

#include "platform/FileReplace.h"
#include "platform/Win32SharedFile.h"

namespace kestrel {
namespace {

constexpr int kRenameTries = 10; // a reader without delete sharing holds it a moment
constexpr DWORD kRenamePauseMs = 100;

bool writeAll(HANDLE h, std::string_view bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const DWORD ask = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 30));
        DWORD n = 0;
        if (!WriteFile(h, bytes.data() + done, ask, &n, nullptr) || n == 0) return false;
        done += n;
    }
    return true;
}

} // namespace

bool replaceFileDurably(const std::filesystem::path& path, std::string_view bytes,
                        std::string& error) {
    std::filesystem::path temp = path;
    temp += ".tmp" + std::to_string(GetCurrentProcessId());
    // The new file takes its folder's access list, as the old one did.
    const HANDLE h = CreateFileW(temp.wstring().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        error = win32ErrorText(GetLastError());
        return false;
    }
    bool ok = writeAll(h, bytes) && FlushFileBuffers(h);
    DWORD err = ok ? ERROR_SUCCESS : GetLastError();
    if (!CloseHandle(h) && ok) {
        ok = false;
        err = GetLastError();
    }
    for (int attempt = 0; ok; ++attempt) {
        if (MoveFileExW(temp.wstring().c_str(), path.wstring().c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            break;
        err = GetLastError();
        if ((err != ERROR_SHARING_VIOLATION && err != ERROR_ACCESS_DENIED) ||
            attempt + 1 >= kRenameTries) {
            ok = false;
            break;
        }
        Sleep(kRenamePauseMs);
    }
    if (!ok) {
        DeleteFileW(temp.wstring().c_str());
        error = win32ErrorText(err);
        return false;
    }
    return true;
}

} // namespace kestrel
