#include <system_error>
#include <unistd.h>

#include "platform/RunningProgram.h"

namespace kestrel {

std::filesystem::path runningProgramFile() {
    std::error_code ec;
    std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::path() : self;
}

std::string processTag() {
    return std::to_string(::getpid());
}

} // namespace kestrel
