#include "text/Cp932.h"

#include <stdexcept>

#include "platform/FileReplace.h"
#include "platform/SharedFile.h"
#include "platform/TextCodec.h"
#include "platform/Utf8Path.h"

namespace kestrel {
namespace {

std::string convert(std::string_view in, TextEncoding from, TextEncoding to) {
    std::string out;
    size_t failedAt = 0;
    if (!convertText(in, from, to, out, failedAt))
        throw std::invalid_argument("cannot convert byte offset " + std::to_string(failedAt));
    return out;
}

} // namespace

std::string cp932ToUtf8(std::string_view cp932) {
    return convert(cp932, TextEncoding::Cp932, TextEncoding::Utf8);
}
std::string utf8ToCp932(std::string_view utf8) {
    return convert(utf8, TextEncoding::Utf8, TextEncoding::Cp932);
}

std::string displayPath(const std::filesystem::path& path) {
    return utf8OfPath(path);
}

std::string readFileBytes(const std::filesystem::path& path) {
    std::string bytes;
    bool opened = false;
    const FileStatus s =
        readWholeFile(localFileSystem(), path, bytes, SharedAccess::ReadOnly, &opened);
    if (s.ok()) return bytes;
    if (s.fault == FileFault::NotFound)
        throw FileError(FileError::Kind::NotFound, path,
                        "ファイル「" + displayPath(path) + "」が見つかりません。");
    if (!opened)
        throw FileError(FileError::Kind::Io, path,
                        "ファイル「" + displayPath(path) + "」を開けません。(" + s.description +
                            ")");
    throw FileError(FileError::Kind::Io, path,
                    "ファイル「" + displayPath(path) + "」を読めません。");
}

std::string decodeCp932File(std::string_view bytes, const std::filesystem::path& path) {
    try {
        return cp932ToUtf8(bytes);
    } catch (const std::invalid_argument&) {
        throw FileError(FileError::Kind::Encoding, path,
                        "ファイル「" + displayPath(path) +
                            "」の文字コードがシフトJIS(CP932)ではありません。");
    }
}

std::string readCp932File(const std::filesystem::path& path) {
    return decodeCp932File(readFileBytes(path), path);
}

void writeCp932File(const std::filesystem::path& path, std::string_view utf8) {
    std::string bytes;
    try {
        bytes = utf8ToCp932(utf8);
    } catch (const std::invalid_argument&) {
        throw FileError(FileError::Kind::Encoding, path,
                        "ファイル「" + displayPath(path) + "」に書けない文字があります。");
    }
    // Written beside the target and renamed over it, so that a reader on
    // another PC never sees half a file and a failed write keeps the old one;
    // the new file keeps the old one's permissions, so that the other
    // accounts of the folder can still write it.
    std::string error;
    if (!replaceFileDurably(path, bytes, error))
        throw FileError(FileError::Kind::Io, path,
                        "ファイル「" + displayPath(path) + "」に書き込めません。");
}

} // namespace kestrel
