#pragma once
// Handing control back to the program menu of the family of classroom
// programs: it is started beside the program's own folder, and this
// program ends.
#include <filesystem>
#include <string>
#include <vector>

#include "startup/AppFolders.h"

namespace kestrel {

inline constexpr const char* kProgramMenuFolder = "起動";
inline constexpr const char* kProgramMenuFile = "プログラムメニューc.exe";
inline constexpr const char* kProgramMenuArgument = "001";

struct ProgramMenuCommand {
    std::string program; // ProgramFolder + "../起動/プログラムメニューc.exe", ".." as written
    std::vector<std::string> arguments;
    // The program and its arguments separated by single spaces.
    std::string commandLine() const;
};

ProgramMenuCommand programMenuCommand(const AppFolders& folders);

// A program of the family, installed in its own folder beside the program
// menu's folder.
struct InstalledProgram {
    std::string folderName;
    std::filesystem::path program;
};
// The sibling folders of `menuFolder` that hold an executable file, by
// folder name. A folder's program is the executable named like the folder
// (case aside), else the first executable by name.
std::vector<InstalledProgram> installedPrograms(const std::filesystem::path& menuFolder);

} // namespace kestrel
