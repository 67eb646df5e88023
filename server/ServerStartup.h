#pragma once
// What the server reads before it serves: the shared folder as the desktop
// program finds it (or as given on the command line), the school's
// configuration, the levels, the criteria table, the sound table and the
// page's files. Every failure is a StartupError whose Japanese message names
// the file and the problem, as the desktop program's start-up tells it.
#include <filesystem>
#include <map>
#include <string>

#include "ServerCore.h"
#include "platform/MountTable.h"

namespace kestrel::server {

// `sharedFolder` empty: the path file beside the program folder of
// `programFile` names the shared folder. Otherwise that folder is the shared
// folder, and the data folder in it is named after the program folder as
// the desktop program's is. `mounts` may be null (no check of the share's
// locks).
ServerSetup loadServerSetup(const std::filesystem::path& programFile,
                            const std::string& sharedFolder, MountTable* mounts);

// The page's files: every plain file directly in `folder` whose name is
// made of letters, digits, ".", "-" and "_" (at most 64 files of 4 MB),
// read into memory by their request path ("/app.js"). A missing folder
// gives none.
std::map<std::string, StaticFile> loadStaticFiles(const std::filesystem::path& folder);

} // namespace kestrel::server
