#pragma once
// Text files of the shared folder are in Windows' Japanese code page (CP932)
// with CR LF line ends; inside the program all text is UTF-8.
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

namespace kestrel {

// A file that could not be read or written, or whose bytes are not CP932.
// `what()` is a Japanese message that names the file and the problem.
class FileError : public std::runtime_error {
public:
    enum class Kind { NotFound, Io, Encoding, Content };
    FileError(Kind kind, std::filesystem::path path, const std::string& message)
        : std::runtime_error(message), m_kind(kind), m_path(std::move(path)) {}
    Kind kind() const { return m_kind; }
    const std::filesystem::path& path() const { return m_path; }

private:
    Kind m_kind;
    std::filesystem::path m_path;
};

// Conversions; throw std::invalid_argument on bytes or characters that have
// no counterpart in the other encoding.
std::string cp932ToUtf8(std::string_view cp932);
std::string utf8ToCp932(std::string_view utf8);

// Reads a whole CP932 file as UTF-8 text. Throws FileError.
std::string readCp932File(const std::filesystem::path& path);
// The two halves of it: the file's bytes, and the bytes of `path` as UTF-8
// text (FileError::Kind::Encoding naming the file when they are not CP932).
std::string readFileBytes(const std::filesystem::path& path);
std::string decodeCp932File(std::string_view bytes, const std::filesystem::path& path);
// Writes UTF-8 text as CP932, replacing the file. The text carries its own
// line ends. Throws FileError.
void writeCp932File(const std::filesystem::path& path, std::string_view utf8);

// A file name for messages: the path as the user knows it.
std::string displayPath(const std::filesystem::path& path);

} // namespace kestrel
