#include "platform/Win32ProcessLauncher.h"

#include <windows.h>

#include <algorithm>
#include <cwctype>

#include "platform/Win32SharedFile.h"
#include "platform/Win32Text.h"

namespace kestrel {
namespace {

// One argument: quoted when empty or holding blanks or quotes; backslashes
// are doubled only before a quote (and before the closing quote).
void appendQuoted(std::wstring& line, const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
        line += arg;
        return;
    }
    line += L'"';
    size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        if (c == L'"')
            line.append(backslashes * 2 + 1, L'\\');
        else
            line.append(backslashes, L'\\');
        backslashes = 0;
        line += c;
    }
    line.append(backslashes * 2, L'\\');
    line += L'"';
}

} // namespace

std::wstring win32CommandLine(const std::string& program,
                              const std::vector<std::string>& arguments) {
    std::wstring line;
    // The program's own name is split by other rules (no backslash
    // escapes): quoted as it is.
    const std::wstring name = wideFromUtf8(program);
    if (name.find_first_of(L" \t") != std::wstring::npos || name.empty())
        line = L'"' + name + L'"';
    else
        line = name;
    for (const std::string& a : arguments) {
        line += L' ';
        appendQuoted(line, wideFromUtf8(a));
    }
    return line;
}

bool Win32ProcessLauncher::startDetached(const std::string& program,
                                         const std::vector<std::string>& arguments,
                                         std::string& error) {
    std::wstring line = win32CommandLine(program, arguments);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    // Its own process group: the started program outlives this one and
    // its console.
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE,
                        CREATE_NEW_PROCESS_GROUP | CREATE_UNICODE_ENVIRONMENT, nullptr, nullptr,
                        &startup, &started)) {
        error = win32ErrorText(GetLastError());
        return false;
    }
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    error.clear();
    return true;
}

bool mayStartProgram(const std::filesystem::path& file) {
    const DWORD attributes = GetFileAttributesW(file.wstring().c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    std::wstring ext = file.extension().wstring();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](wchar_t c) { return static_cast<wchar_t>(std::towlower(c)); });
    if (ext != L".exe" && ext != L".com" && ext != L".bat" && ext != L".cmd") return false;
    // Readable by this account: Windows starts what it may read and execute.
    const HANDLE h = CreateFileW(file.wstring().c_str(), GENERIC_READ | GENERIC_EXECUTE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    CloseHandle(h);
    return true;
}

} // namespace kestrel
