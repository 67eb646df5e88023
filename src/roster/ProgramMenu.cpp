#include "roster/ProgramMenu.h"

#include <algorithm>
#include <system_error>

#include "platform/ProcessLauncher.h"
#include "platform/Utf8Path.h"
#include "startup/Folders.h"

namespace kestrel {
namespace {

std::string folded(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

bool isProgramFile(const std::filesystem::directory_entry& e) {
    std::error_code ec;
    return e.is_regular_file(ec) && mayStartProgram(e.path());
}

} // namespace

std::string ProgramMenuCommand::commandLine() const {
    std::string line = program;
    for (const std::string& a : arguments)
        line += " " + a;
    return line;
}

ProgramMenuCommand programMenuCommand(const AppFolders& folders) {
    std::string folder = folders.ProgramFolder;
    while (folder.size() > 1 && (folder.back() == '/' || folder.back() == '\\'))
        folder.pop_back();
    const std::string written = folder + "\\..\\" + kProgramMenuFolder + "\\" + kProgramMenuFile;
    return {mapWrittenPath(written, folders.ProgramFolder), {kProgramMenuArgument}};
}

} // namespace kestrel

namespace kestrel {

std::vector<InstalledProgram> installedPrograms(const std::filesystem::path& menuFolder) {
    namespace fs = std::filesystem;
    std::vector<InstalledProgram> found;
    std::error_code ec;
    const fs::path menu = fs::weakly_canonical(menuFolder, ec);
    const fs::path root = menu.parent_path();
    for (const fs::directory_entry& folder : fs::directory_iterator(root, ec)) {
        std::error_code e2;
        if (!folder.is_directory(e2) || fs::equivalent(folder.path(), menu, e2)) continue;
        std::vector<fs::path> programs;
        for (const fs::directory_entry& file : fs::directory_iterator(folder.path(), e2))
            if (isProgramFile(file)) programs.push_back(file.path());
        if (programs.empty()) continue;
        std::sort(programs.begin(), programs.end());
        const std::string name = utf8OfPath(folder.path().filename());
        const auto same = std::find_if(programs.begin(), programs.end(), [&](const fs::path& p) {
            return folded(utf8OfPath(p.stem())) == folded(name);
        });
        found.push_back({name, same != programs.end() ? *same : programs.front()});
    }
    std::sort(found.begin(), found.end(), [](const InstalledProgram& a, const InstalledProgram& b) {
        return a.folderName < b.folderName;
    });
    return found;
}

} // namespace kestrel
