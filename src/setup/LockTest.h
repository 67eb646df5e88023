#pragma once
// The two-PC lock test: run at the same time on two PCs that share the data
// folder, it finds whether the exclusive lock of one PC keeps the other out,
// which every append to the results log relies on.
//
// Each side announces itself in a file of its own in the data folder and
// waits for the other. Then both try, again and again, to take the
// exclusive lock of one probe file; a side that holds it says so in its
// file, holds it for longer than a share's caches lag, and then reads the
// other's file. Seeing the other hold it too means that the locks stay on
// each PC. Every file the test makes is its own and removed at its end,
// also when it is stopped.
#include <filesystem>
#include <functional>
#include <string>

#include "platform/SharedFile.h"
#include "setup/SetupCheck.h"

namespace kestrel {

struct LockTestOptions {
    std::filesystem::path dataFolder;
    std::string self;                            // this side's name: host and process
    double partnerWaitSeconds = 60;              // for the other side to start
    double testSeconds = 25;                     // for the lock to change hands
    double holdSeconds = 2.5;                    // a hold, longer than any cache lags
    std::function<void(const std::string&)> say; // progress for the person waiting
    std::function<bool()> stopped;               // the test is to end at once
};

// The report's line of the test ("locks"). At most partnerWaitSeconds +
// testSeconds + a few seconds.
CheckLine runLockTest(SharedFileSystem& files, const LockTestOptions& options);

// The probe files of the test, by their common prefix, in `dataFolder`.
inline constexpr const char* kLockTestPrefix = ".kestrel-doctor-locks";

} // namespace kestrel
