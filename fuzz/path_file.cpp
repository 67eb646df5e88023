// The path file beside the program folder: its ten items and the folders
// start-up derives from the first.
#include <filesystem>

#include "FuzzTarget.h"
#include "platform/Utf8Path.h"
#include "results/ResultRecord.h"
#include "startup/CriteriaTable.h"
#include "startup/Folders.h"

using namespace kestrel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Names and paths through UTF-8: a narrow string is read in the ANSI
    // code page on Windows.
    static const std::filesystem::path programFile = pathFromUtf8("/srv/学校/Kestrel/kestrel");
    static const std::filesystem::path pathFile = pathFromUtf8("/srv/学校/パスデータ.txt");
    try {
        const auto items = tenItemsOf(fuzz::bytesOf(data, size), pathFile, kPathFilePurpose);
        const AppFolders f = foldersFromPathItems(items, programFile, pathFile);
        FUZZ_CHECK(!f.SharedFolder.empty() && f.SharedFolder.back() == '/');
        FUZZ_CHECK(f.ProgramFolderName == "Kestrel");
        FUZZ_CHECK(f.DataFolder == f.SharedFolder + "Kestrel/");
        FUZZ_CHECK(f.SoundFolder == f.SharedFolder + kSoundFolderName + "/");
        // The files start-up and the results log open there.
        const auto config = pathFromUtf8(f.SharedFolder, kSharedConfigFileName);
        FUZZ_CHECK(config.filename() == pathFromUtf8(kSharedConfigFileName));
        FUZZ_CHECK(criteriaFilePath(f).filename() == pathFromUtf8(kCriteriaFileName));
        FUZZ_CHECK(resultsLogPath(f).filename() == pathFromUtf8(kResultsLogName));
    } catch (const StartupError& e) {
        FUZZ_CHECK(fuzz::names(e.what(), displayPath(pathFile)));
    }
    return 0;
}
