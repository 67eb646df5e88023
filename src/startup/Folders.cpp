#include "startup/Folders.h"

#include <cmath>
#include <limits>

#include "platform/Utf8Path.h"
#include "text/Cp932.h"
#include "text/ItemReader.h"
#include "text/LeadingNumber.h"

namespace kestrel {
namespace {

// Byte offset after the first `count` characters of UTF-8 text.
size_t utf8Offset(std::string_view text, size_t count) {
    size_t i = 0;
    while (i < text.size() && count > 0) {
        ++i;
        while (i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80)
            ++i;
        --count;
    }
    return i;
}

bool isDriveLetter(std::string_view s) {
    return s.size() >= 2 && s[1] == ':' &&
           ((s[0] >= 'A' && s[0] <= 'Z') || (s[0] >= 'a' && s[0] <= 'z'));
}

// A file error of start-up, with a line that says what the file is for.
[[noreturn]] void rethrowForStartup(const FileError& e, const std::string& purpose) {
    throw StartupError(std::string(e.what()) + "\r\n" + purpose);
}

// What to add to a path file that holds only `present` items: the shared
// folder first, then items this program reads but does not use.
std::string missingPathItems(int present) {
    const std::string last = std::to_string(kConfigItemCount);
    if (present == 0)
        return "1項目目に共有フォルダの場所を書き、続けて2項目目から" + last +
               "項目目を1行に1項目ずつ書きます（使わない項目なので「2」から「" + last +
               "」の数字でかまいません）。\r\n";
    const std::string first = std::to_string(present + 1);
    return first + "項目目から" + last +
           "項目目を1行に1項目ずつ書き足します（使わない項目なので「" + first + "」から「" + last +
           "」の数字でかまいません）。\r\n";
}

const std::string kCriteriaPurpose = "このファイルにはレベルごとの基準タイムを書きます。";
const std::string kSoundTablePurpose = "このファイルには正解や間違いの音を書きます。";

} // namespace

const std::string kPathFilePurpose = "このファイルには共有フォルダの場所を書きます。";
const std::string kConfigPurpose = "このファイルには学校の設定を書きます。";

std::string withTrailingSeparator(std::string folder) {
    if (!folder.empty() && folder.back() != '/') folder += '/';
    return folder;
}

std::string mapWrittenPath(std::string_view written, std::string_view baseFolder) {
    std::string path(written);
    for (char& c : path)
        if (c == '\\') c = '/';
    if (isDriveLetter(path)) {
        const std::string drive = path.substr(0, 2);
        path.erase(0, 2);
        if (path.empty() || path.front() != '/') path.insert(path.begin(), '/');
        // Where drives have letters the path stays on its drive.
        if (systemNamesDrives()) return drive + path;
    }
    if (path.empty() || path.front() != '/')
        path = withTrailingSeparator(std::string(baseFolder)) + path;
    return path;
}

std::string programFolderOf(const std::filesystem::path& programFile) {
    std::filesystem::path absolute = std::filesystem::absolute(programFile).lexically_normal();
    return withTrailingSeparator(genericUtf8OfPath(absolute.parent_path()));
}

std::string programFolderNameOf(std::string_view programFolder) {
    std::string_view folder = programFolder;
    while (!folder.empty() && folder.back() == '/')
        folder.remove_suffix(1);
    const size_t slash = folder.rfind('/');
    return std::string(slash == std::string_view::npos ? folder : folder.substr(slash + 1));
}

std::string pathFileFolderOf(std::string_view programFolder) {
    std::string_view folder = programFolder;
    while (folder.size() > 1 && folder.back() == '/')
        folder.remove_suffix(1);
    const size_t slash = folder.rfind('/');
    if (slash == std::string_view::npos) return "../";
    return std::string(folder.substr(0, slash + 1));
}

AppFolders deriveFolders(const std::filesystem::path& programFile,
                         std::string_view sharedFolderItem) {
    AppFolders f;
    f.ProgramFolder = programFolderOf(programFile);
    // A missing trailing separator would run the folder and the file names
    // together ("sharedX/"), so it is added.
    f.SharedFolder =
        withTrailingSeparator(mapWrittenPath(sharedFolderItem, pathFileFolderOf(f.ProgramFolder)));
    f.ProgramFolderName = programFolderNameOf(f.ProgramFolder);
    f.DataFolder = f.SharedFolder + f.ProgramFolderName + "/";
    f.SoundFolder = f.SharedFolder + kSoundFolderName + "/";
    return f;
}

SchoolIdentity splitSchoolCode(std::string_view item2) {
    const size_t five = utf8Offset(item2, 5);
    if (leadingNumber(item2.substr(0, five)) != 0)
        return {std::string(item2.substr(0, five)), std::string(item2.substr(five))};
    return {std::string(), std::string(item2)};
}

SharedConfig sharedConfigFrom(const std::array<std::string, kConfigItemCount>& items) {
    SharedConfig c;
    c.items = items;
    c.SchoolYearStartMonth = items[0];
    SchoolIdentity school = splitSchoolCode(items[1]);
    c.SchoolCode = std::move(school.code);
    c.SchoolName = std::move(school.name);
    c.ListStatus2Entries = items[2];
    c.TeacherPassword = items[5];
    return c;
}

int startMonthOf(const SharedConfig& config) {
    const double month = std::trunc(leadingNumber(config.SchoolYearStartMonth));
    if (month >= static_cast<double>(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    if (month <= static_cast<double>(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    return static_cast<int>(month);
}

std::array<std::string, kConfigItemCount> readTenItems(const std::filesystem::path& file,
                                                       const std::string& purpose) {
    std::string bytes;
    try {
        bytes = readFileBytes(file);
    } catch (const FileError& e) {
        rethrowForStartup(e, purpose);
    }
    return tenItemsOf(bytes, file, purpose);
}

std::array<std::string, kConfigItemCount> tenItemsOf(std::string_view cp932Bytes,
                                                     const std::filesystem::path& file,
                                                     const std::string& purpose) {
    std::string text;
    try {
        text = decodeCp932File(cp932Bytes, file);
    } catch (const FileError& e) {
        rethrowForStartup(e, purpose);
    }
    ItemReader reader(std::move(text));
    std::array<std::string, kConfigItemCount> items;
    for (int i = 0; i < kConfigItemCount; ++i) {
        std::optional<std::string> item = reader.next();
        if (!item)
            throw StartupError("ファイル「" + displayPath(file) + "」の項目が足りません。" +
                               std::to_string(kConfigItemCount) + "項目が必要ですが、" +
                               std::to_string(i) + "項目しかありません。\r\n" +
                               (purpose == kPathFilePurpose ? missingPathItems(i) : "") + purpose);
        items[static_cast<size_t>(i)] = std::move(*item);
    }
    return items;
}

AppFolders foldersFromPathItems(const std::array<std::string, kConfigItemCount>& items,
                                const std::filesystem::path& programFile,
                                const std::filesystem::path& pathFile) {
    if (items[0].empty())
        throw StartupError("ファイル「" + displayPath(pathFile) +
                           "」の1項目目（共有フォルダ）が空です。\r\n" + kPathFilePurpose);
    return deriveFolders(programFile, items[0]);
}

void requireSharedFolder(const AppFolders& folders, std::string_view written,
                         const std::filesystem::path& pathFile) {
    const std::filesystem::path shared = pathFromUtf8(folders.SharedFolder);
    std::error_code ec;
    // Without its trailing separator, so that a file reads as a file.
    const std::filesystem::file_status status =
        std::filesystem::status(shared.has_filename() ? shared : shared.parent_path(), ec);
    std::string problem;
    if (status.type() == std::filesystem::file_type::not_found)
        problem = "が見つかりません。";
    else if (ec)
        problem = "を開けません（" + ec.message() + "）。";
    else if (status.type() != std::filesystem::file_type::directory)
        problem = "はフォルダではありません。";
    else
        return;
    throw StartupError("共有フォルダ「" + displayPath(shared) + "」" + problem +
                       "\r\nこのフォルダは、ファイル「" + displayPath(pathFile) + "」の1行目に「" +
                       std::string(written) +
                       "」と書かれています。共有フォルダのあるサーバーにネットワークで"
                       "つながっているか、この場所が正しいかを確かめてください。\r\n" +
                       kPathFilePurpose);
}

FolderSetup readFolderSetup(const std::filesystem::path& programFile) {
    const std::string programFolder = programFolderOf(programFile);
    const std::filesystem::path pathFile =
        pathFromUtf8(pathFileFolderOf(programFolder), kPathFileName);
    FolderSetup setup;
    const std::array<std::string, kConfigItemCount> items =
        readTenItems(pathFile, kPathFilePurpose);
    setup.folders = foldersFromPathItems(items, programFile, pathFile);
    requireSharedFolder(setup.folders, items[0], pathFile);
    const std::filesystem::path configFile =
        pathFromUtf8(setup.folders.SharedFolder, kSharedConfigFileName);
    setup.config = sharedConfigFrom(readTenItems(configFile, kConfigPurpose));
    return setup;
}

StartupError startupFileError(const FileError& e, StartupFile file) {
    return StartupError(std::string(e.what()) + "\r\n" +
                        (file == StartupFile::Criteria ? kCriteriaPurpose : kSoundTablePurpose));
}

} // namespace kestrel
