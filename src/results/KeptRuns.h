#pragma once
// Runs whose record could not go into the shared log (a share that turned
// read-only or went away, a full disk) are kept on the PC that made them,
// in a folder every account of that PC can write, until the log can be
// written again: then each goes into the log once, with the date and time
// of the run itself.
//
// A kept run is one small file: a mark, the log it belongs to and the
// record's 44 bytes, with a checksum. It is written under a temporary name,
// synced and renamed, so that a crash leaves the whole file or none. It
// goes into the log by AppendResultUnlessThere (the log holding its bytes
// already counts as done: a crash came after the append and before the
// removal) and only then is its file removed.
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/SharedFile.h"
#include "results/ResultRecord.h"
#include "results/ResultsLogIO.h"

namespace kestrel {

// What the child is told of a run kept for later, on a PC or the server.
inline constexpr const char* kKeptRunText = "きろくを とっておきました。先生に しらせてください。";

// The ending of a kept run's file.
inline constexpr const char* kKeptRunEnding = ".kept";

// A kept run's bytes, and back; nothing for bytes that are not a whole,
// unchanged kept run.
std::string encodeKeptRun(const std::filesystem::path& logPath, const ResultRecord& record);
struct KeptRun {
    std::filesystem::path logPath;
    ResultRecord record;
};
std::optional<KeptRun> decodeKeptRun(const std::string& bytes);

struct KeepOutcome {
    std::filesystem::path file; // the kept run's file; empty when it could not be kept
    std::string problem;        // why not, for the teacher: the folders tried and their faults
    bool ok() const { return !file.empty(); }
};

// Keeps `record` of the log at `logPath` in the first of `folders` where it
// can be written (made when missing).
KeepOutcome keepRun(SharedFileSystem& files, const std::vector<std::filesystem::path>& folders,
                    const std::filesystem::path& logPath, const ResultRecord& record);

struct KeptRunsFlush {
    int appended = 0;     // runs now in the log
    int alreadyThere = 0; // runs the log held already (their files were left by a crash)
    int waiting = 0;      // runs of this log still kept: the log could not be written
    LogStatus status;     // the first failure of an append
};

// Puts every kept run of `log` (runs of another log are left alone) into
// the log in the order they were made, removing each file once its record
// stands in the log. Stops at the first append that fails.
KeptRunsFlush appendKeptRuns(const std::vector<std::filesystem::path>& folders,
                             const LogAccess& log);

// The kept runs of `logPath` in `folders`, oldest first, as files.
std::vector<std::filesystem::path> keptRunFiles(const std::vector<std::filesystem::path>& folders,
                                                const std::filesystem::path& logPath,
                                                SharedFileSystem& files);

} // namespace kestrel
