#include <windows.h>

#include <string>

#include "platform/RunningProgram.h"

namespace kestrel {

std::filesystem::path runningProgramFile() {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n =
            GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) return {};
        if (n < buffer.size()) {
            buffer.resize(n);
            return std::filesystem::path(buffer);
        }
        // Cut short: a longer path (\\?\ prefixed) needs more room.
        if (buffer.size() >= 32768) return {};
        buffer.resize(buffer.size() * 2);
    }
}

std::string processTag() {
    return std::to_string(GetCurrentProcessId());
}

} // namespace kestrel
