#pragma once
// Where the running program's file is, so that a command finds the path file
// beside its folder as the program does.
#include <filesystem>
#include <system_error>

namespace kestrel {

// Empty when the system does not tell.
inline std::filesystem::path runningProgramFile() {
    std::error_code ec;
    std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::path() : self;
}

} // namespace kestrel
