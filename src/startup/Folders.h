#pragma once
// Finding the shared folder and the school's configuration at start-up: the
// path file beside the program's installation names the shared folder, which
// holds the shared configuration, the roster, the sounds and one data folder
// per program of the family.
#include <array>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

#include "startup/AppFolders.h"
#include "text/Cp932.h"

namespace kestrel {

// A start-up step that failed. what() is a Japanese message for the teacher
// that names the file and the problem.
class StartupError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

inline constexpr const char* kPathFileName = "パスデータ.txt";
inline constexpr const char* kSharedConfigFileName = "共通データ.txt";
inline constexpr const char* kSoundFolderName = "音フォルダ";
inline constexpr int kConfigItemCount =
    10; // items of the path file and of the shared configuration

// "dir" -> "dir/"; an empty text stays empty.
std::string withTrailingSeparator(std::string folder);

// A path written the Windows way as a path of this system: "\" becomes "/",
// a drive letter ("D:") stands for the root on Linux and stays on Windows,
// and a relative path is taken relative to `baseFolder` (which ends with
// "/"). ".." is kept as written.
std::string mapWrittenPath(std::string_view written, std::string_view baseFolder);

// The folder holding the program file, with "/" between its names and at
// its end.
std::string programFolderOf(const std::filesystem::path& programFile);
// The last component of a folder path ("/opt/a/X/" -> "X").
std::string programFolderNameOf(std::string_view programFolder);
// The folder one above the program folder, where the path file lies.
std::string pathFileFolderOf(std::string_view programFolder);

// All folders from the program file and the first item of the path file.
AppFolders deriveFolders(const std::filesystem::path& programFile,
                         std::string_view sharedFolderItem);

// Item 2 of the shared configuration: a leading five-character school code
// when those five characters start with a number other than 0, then the name.
struct SchoolIdentity {
    std::string code; // five characters, or empty
    std::string name;
};
SchoolIdentity splitSchoolCode(std::string_view item2);

// The shared configuration from its ten items.
SharedConfig sharedConfigFrom(const std::array<std::string, kConfigItemCount>& items);

// SchoolYearStartMonth as a whole number: its leading number without the
// fraction, held within int, so that whatever the file holds reads safely
// (a month outside 1..12 only puts every date in one school year).
int startMonthOf(const SharedConfig& config);

// The first ten items of a CP932 text file. Throws StartupError when the file
// is missing, unreadable, not CP932 or holds fewer than ten items; `purpose`
// (one Japanese sentence) tells the teacher what the file is for.
std::array<std::string, kConfigItemCount> readTenItems(const std::filesystem::path& file,
                                                       const std::string& purpose);
// The same from the file's bytes, already read.
std::array<std::string, kConfigItemCount> tenItemsOf(std::string_view cp932Bytes,
                                                     const std::filesystem::path& file,
                                                     const std::string& purpose);
// What the path file's items give: the folders. Throws StartupError naming
// `pathFile` when its first item is empty.
AppFolders foldersFromPathItems(const std::array<std::string, kConfigItemCount>& items,
                                const std::filesystem::path& programFile,
                                const std::filesystem::path& pathFile);
// The purposes the messages of the two files give.
extern const std::string kPathFilePurpose;
extern const std::string kConfigPurpose;

// Throws StartupError when the shared folder is not there (a server not
// reached, a name misspelt) or is no folder: the message names the folder
// and the line of `pathFile` it was `written` in, so that the teacher looks
// at the folder rather than at the files inside it.
void requireSharedFolder(const AppFolders& folders, std::string_view written,
                         const std::filesystem::path& pathFile);

// The folders and the shared configuration, from the path file beside the
// program folder of `programFile`. Throws StartupError naming the file and
// the problem.
struct FolderSetup {
    AppFolders folders;
    SharedConfig config;
};
FolderSetup readFolderSetup(const std::filesystem::path& programFile);

// A start-up file that could not be read, as the teacher is told: the
// file's error and a line that says what the file is for.
enum class StartupFile { Criteria, SoundTable };
StartupError startupFileError(const FileError& e, StartupFile file);

} // namespace kestrel
