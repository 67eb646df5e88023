#pragma once
// Where the program, the shared folder and its data and sound folders are,
// and the school's shared configuration. Folders end with "/".
#include <array>
#include <string>

namespace kestrel {

struct AppFolders {
    std::string ProgramFolder;     // the folder holding the program file
    std::string SharedFolder;      // first item of the path file, mapped to this system
    std::string ProgramFolderName; // last component of the program folder
    std::string DataFolder;        // SharedFolder + ProgramFolderName + "/"
    std::string SoundFolder;       // SharedFolder + "音フォルダ/"
};

struct SharedConfig {
    std::array<std::string, 10> items{}; // the ten items as read, items[0] is item 1
    std::string SchoolYearStartMonth;
    std::string SchoolCode; // five characters, or empty
    std::string SchoolName;
    std::string ListStatus2Entries;
    std::string TeacherPassword;
};

} // namespace kestrel
