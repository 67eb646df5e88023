#include "text/Cp932.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iconv.h>
#include <sstream>

#include "platform/FileReplace.h"

namespace kestrel {
namespace {

std::string convert(std::string_view in, const char* to, const char* from) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        throw std::runtime_error(std::string("iconv_open failed: ") + from + " -> " + to);
    std::string out;
    out.resize(in.size() * 2 + 16);
    char* inPtr = const_cast<char*>(in.data());
    size_t inLeft = in.size();
    char* outPtr = out.data();
    size_t outLeft = out.size();
    while (inLeft > 0) {
        size_t rc = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
        if (rc != static_cast<size_t>(-1)) break;
        if (errno == E2BIG) {
            size_t used = static_cast<size_t>(outPtr - out.data());
            out.resize(out.size() * 2);
            outPtr = out.data() + used;
            outLeft = out.size() - used;
            continue;
        }
        size_t offset = in.size() - inLeft;
        iconv_close(cd);
        throw std::invalid_argument("cannot convert byte offset " + std::to_string(offset));
    }
    out.resize(static_cast<size_t>(outPtr - out.data()));
    iconv_close(cd);
    return out;
}

} // namespace

std::string cp932ToUtf8(std::string_view cp932) {
    return convert(cp932, "UTF-8", "CP932");
}
std::string utf8ToCp932(std::string_view utf8) {
    return convert(utf8, "CP932", "UTF-8");
}

std::string displayPath(const std::filesystem::path& path) {
    return path.string();
}

std::string readFileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::error_code ec;
        if (!std::filesystem::exists(path, ec))
            throw FileError(FileError::Kind::NotFound, path,
                            "ファイル「" + displayPath(path) + "」が見つかりません。");
        throw FileError(FileError::Kind::Io, path,
                        "ファイル「" + displayPath(path) + "」を開けません。(" +
                            std::strerror(errno) + ")");
    }
    std::ostringstream buf;
    buf << in.rdbuf();
    if (in.bad())
        throw FileError(FileError::Kind::Io, path,
                        "ファイル「" + displayPath(path) + "」を読めません。");
    return std::move(buf).str();
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
