#pragma once
// Starting another program in a new process, without waiting for it.
#include <filesystem>
#include <string>
#include <vector>

namespace kestrel {

class ProcessLauncher {
public:
    virtual ~ProcessLauncher() = default;
    // Starts `program` with `arguments` (no shell). On failure returns false
    // and puts the system's text into `error`.
    virtual bool startDetached(const std::string& program,
                               const std::vector<std::string>& arguments, std::string& error) = 0;
};

// Whether this account may start `file` as a program.
bool mayStartProgram(const std::filesystem::path& file);

} // namespace kestrel
