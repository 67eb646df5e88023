#pragma once
// The checks of the setup check, one function each; every one appends its
// lines to the report. Shared by the runner and the tests.
#include <optional>
#include <string>
#include <vector>

#include "platform/Utf8Path.h"
#include "setup/SetupCheck.h"
#include "startup/AppFolders.h"

namespace kestrel::setup {

struct Report {
    std::vector<CheckLine> lines;
    void add(const std::string& check, Verdict verdict, const std::filesystem::path& file,
             std::string message) {
        add(check, verdict, utf8OfPath(file), std::move(message));
    }
    // A file or folder already named in UTF-8 text.
    void add(const std::string& check, Verdict verdict, const std::string& file,
             std::string message) {
        lines.push_back({check, verdict, file, std::move(message)});
    }
    void add(const std::string& check, Verdict verdict, const char* file, std::string message) {
        add(check, verdict, std::string(file), std::move(message));
    }
};

// The path file and the shared folder it names: the folders when usable.
std::optional<AppFolders> checkPathFile(Report& report, const std::filesystem::path& programFile);
// The shared configuration: the configuration when it reads.
std::optional<SharedConfig> checkSharedConfig(Report& report, const AppFolders& folders);
void checkPassword(Report& report, const AppFolders& folders, const SharedConfig& config,
                   SharedFileSystem& files);
void checkRoster(Report& report, const AppFolders& folders, const SharedConfig& config,
                 const CivilDate& today);
void checkCriteria(Report& report, const AppFolders& folders);
void checkSounds(Report& report, const AppFolders& folders, SetupProbes& probes);
void checkFonts(Report& report, SetupProbes& probes);
void checkProgramMenu(Report& report, const AppFolders& folders);
void checkDataFolder(Report& report, const AppFolders& folders, SharedFileSystem& files);
void checkMount(Report& report, const AppFolders& folders, SetupProbes& probes);
// Runs this PC keeps because the log could not take them: how many, where,
// and when they go in.
void checkKeptRuns(Report& report, const AppFolders& folders, SetupCheckContext& context);
void checkResultsLog(Report& report, const AppFolders& folders, SetupCheckContext& context);

// Who may read, or write, a file or folder, for messages: "所有者 taro、
// グループ kyoushitsu のアカウント、このパソコンのほかのすべてのアカウント".
std::string whoMayRead(SharedFileSystem& files, const std::filesystem::path& path);
std::string whoMayWrite(SharedFileSystem& files, const std::filesystem::path& path);

} // namespace kestrel::setup
