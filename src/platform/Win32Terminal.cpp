#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <cstdio>

#include "platform/Terminal.h"
#include "platform/Win32Text.h"

namespace kestrel {

// A console is a character device; a file or a pipe is not.
bool standardOutputIsTerminal() {
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    return out != nullptr && out != INVALID_HANDLE_VALUE && GetFileType(out) == FILE_TYPE_CHAR;
}

// Split as the C runtime splits them, from the wide command line; the
// narrow argv only where that fails.
std::vector<std::string> commandArguments(int argc, char** argv) {
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> out;
    if (!wide) {
        for (int i = 1; i < argc; ++i)
            out.emplace_back(argv[i]);
        return out;
    }
    for (int i = 1; i < count; ++i)
        out.push_back(utf8FromWide(wide[i]));
    LocalFree(wide);
    return out;
}

void prepareTerminal() {
    SetConsoleOutputCP(CP_UTF8);
    std::fflush(stdout);
    _setmode(_fileno(stdout), _O_BINARY);
}

} // namespace kestrel
