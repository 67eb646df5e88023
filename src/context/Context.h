#pragma once
// The program-wide state and the platform services, in one object that
// every screen and procedure receives; each test builds a fresh one. It sits
// above the subsystems: they know nothing of it, and their functions take
// the parts of it they use.
#include <cstdint>
#include <filesystem>
#include <memory>

#include "drill/SoundCues.h"
#include "platform/MountTable.h"
#include "platform/Services.h"
#include "platform/SharedFile.h"
#include "results/ResultsSummary.h"
#include "roster/Roster.h"
#include "startup/AppFolders.h"
#include "startup/CriteriaTable.h"
#include "startup/ProgramDefinition.h"
#include "startup/SharedState.h"
#include "teacher/TimeHistogram.h"

namespace kestrel {

struct Context {
    // The services, and the files and mounts of this computer as the
    // program's main chose them.
    Context(Services s, std::unique_ptr<SharedFileSystem> files, std::unique_ptr<MountTable> table)
        : services(s), sharedFiles(std::move(files)), mounts(std::move(table)) {}
    // Without files or mounts, for code that reaches neither until they are set.
    explicit Context(Services s) : services(s) {}
    Context(const Context&) = delete;
    Context& operator=(const Context&) = delete;

    Services services;
    std::filesystem::path programFile; // the running program; its folder is ProgramFolder

    ProgramDefinition program;
    SharedState state;
    AppFolders folders;
    SharedConfig config;
    CriteriaTable criteria;

    // Sound cues: the sound table and the failure watch of the answer cues.
    SoundTable sounds;
    int16_t SoundFailureCount = 0; // failed answer cues in a row

    // Results: the summary rebuilt from the log, and the records it was built from.
    std::unique_ptr<ResultsSummary> summary = std::make_unique<ResultsSummary>();
    RunEntries runEntries;
    // The most recent records as last read: every load reads only what was
    // appended since, while the log has not changed otherwise.
    LogWindow resultsWindow;
    // The criteria editor's histograms over the whole log, kept between keys.
    std::unique_ptr<HistogramCache> histograms = std::make_unique<HistogramCache>();
    // Opens the shared results log; tests put a fake in its place.
    std::unique_ptr<SharedFileSystem> sharedFiles;
    // The mounts start-up checks the data folder's against; none, and the
    // check is not made (a test that needs no mounts).
    std::unique_ptr<MountTable> mounts;

    // Roster: the roster tables.
    RosterTables roster;
};

} // namespace kestrel
