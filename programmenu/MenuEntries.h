#pragma once
// The program menu's entries: the drill programs installed beside its
// folder, each under the title a child reads on its screens where the menu
// knows the program, else under its folder's name.
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "roster/ProgramMenu.h"

namespace kestrel {

// The title of a program of the family, known by its program file
// ("kestrel", "kestrel.exe": 四捨五入と概数のドリル); nothing for another.
std::optional<std::string> familyTitleOf(const std::filesystem::path& program);

// installedPrograms() of `menuFolder`, in the same order, with each known
// program's folder name replaced by its title.
std::vector<InstalledProgram> menuEntries(const std::filesystem::path& menuFolder);

} // namespace kestrel
