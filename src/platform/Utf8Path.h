#pragma once
// The program's texts are UTF-8; a file's name becomes a path, and a path
// becomes text again, only through these two. A narrow string given to
// std::filesystem::path is read in the system's code page: UTF-8 on Linux,
// where these keep the bytes as they are, but the ANSI code page on
// Windows, where a Japanese name would turn into another file's name.
#include <filesystem>
#include <string>
#include <string_view>

namespace kestrel {

// The path named by UTF-8 text. On Windows, text that is not UTF-8 throws
// std::filesystem::filesystem_error, as the standard library's conversion does.
inline std::filesystem::path pathFromUtf8(std::string_view utf8) {
    return std::filesystem::path(
        std::u8string_view(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size()));
}

// A folder's UTF-8 text joined with a UTF-8 name, as `pathFromUtf8(folder) /
// pathFromUtf8(name)`.
inline std::filesystem::path pathFromUtf8(std::string_view folder, std::string_view name) {
    return pathFromUtf8(folder) / pathFromUtf8(name);
}

// The UTF-8 text of a path, for messages, comparisons and the stored texts.
inline std::string utf8OfPath(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(reinterpret_cast<const char*>(text.data()), text.size());
}

// The same with "/" between the names on every system, as the program's
// folder texts join them (Windows takes either separator; Linux has only "/").
inline std::string genericUtf8OfPath(const std::filesystem::path& path) {
    const std::u8string text = path.generic_u8string();
    return std::string(reinterpret_cast<const char*>(text.data()), text.size());
}

// Whether this system names its drives by letter ("D:"), as Windows does.
inline bool systemNamesDrives() {
    return std::filesystem::path("C:/").has_root_name();
}

} // namespace kestrel
