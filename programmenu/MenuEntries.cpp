#include "MenuEntries.h"

#include "platform/Utf8Path.h"
#include "startup/ProgramDefinition.h"

namespace kestrel {

std::optional<std::string> familyTitleOf(const std::filesystem::path& program) {
    std::string stem = utf8OfPath(program.stem());
    for (char& c : stem)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (stem != "kestrel") return std::nullopt;
    ProgramDefinition drill;
    DefineProgram(drill);
    return drill.ProgramTitle;
}

std::vector<InstalledProgram> menuEntries(const std::filesystem::path& menuFolder) {
    std::vector<InstalledProgram> entries = installedPrograms(menuFolder);
    for (InstalledProgram& e : entries)
        if (std::optional<std::string> title = familyTitleOf(e.program))
            e.folderName = std::move(*title);
    return entries;
}

} // namespace kestrel
