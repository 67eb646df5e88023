#pragma once
// Starts a program in a new process with CreateProcessW: no shell, the
// arguments quoted so that the program's runtime splits them back exactly
// as given, and no waiting for it to end.
#include <string>
#include <vector>

#include "platform/ProcessLauncher.h"

namespace kestrel {

class Win32ProcessLauncher : public ProcessLauncher {
public:
    // A program named without a folder is looked up as Windows does (the
    // program's folder, the system folders, PATH).
    bool startDetached(const std::string& program, const std::vector<std::string>& arguments,
                       std::string& error) override;
};

// The command line that hands `arguments` to `program` unchanged, quoted
// by the rules the C runtime's argument splitting undoes.
std::wstring win32CommandLine(const std::string& program,
                              const std::vector<std::string>& arguments);

} // namespace kestrel
