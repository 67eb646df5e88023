#pragma once
// Whether a folder takes the files the program writes there: a probe file
// is created, written and synced, renamed and removed, as the results log
// and the files beside it are. Start-up tries the data folder so that a
// read-only share stops the program before a child starts a run, and the
// setup check tries every folder the program writes.
#include <filesystem>
#include <string>

#include "platform/SharedFile.h"

namespace kestrel {

// Empty when every step went; otherwise the step that failed with the
// system's text ("ファイルを作れません。…"). The probe's names start with
// `prefix` and end with this process's tag; what the system made of the new
// file goes to `made` where it is given. No probe stays behind.
std::string folderWriteProblem(SharedFileSystem& files, const std::filesystem::path& folder,
                               const std::string& prefix, FileInfo* made = nullptr);

// The teacher's message when the data folder takes no file: the folder,
// what failed, what it would cost and how this system mends it.
std::string readOnlyDataFolderMessage(const std::filesystem::path& folder,
                                      const std::string& problem, bool windows);

} // namespace kestrel
