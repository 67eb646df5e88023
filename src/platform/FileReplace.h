#pragma once
// Replacing a file that other PCs read without a lock (the roster): the new
// bytes go to a temporary file beside it, which is synced and renamed over
// the old one, and the folder is synced. A reader meanwhile sees the old
// file or the new one, never half of one, and a crash leaves one of them.
#include <filesystem>
#include <string>
#include <string_view>

namespace kestrel {

// False with the system's text for what failed in `error`; the old file
// is then as it was and no temporary file is left.
bool replaceFileDurably(const std::filesystem::path& path, std::string_view bytes,
                        std::string& error);

} // namespace kestrel
