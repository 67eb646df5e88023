#pragma once
// What every fuzz target shares: the libFuzzer entry point, the input as
// bytes, and a check that stops the run with a message when a reader breaks
// a promise (a crash is found by the sanitizers, a wrong result by these).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "text/Cp932.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace kestrel::fuzz {

inline std::string_view bytesOf(const uint8_t* data, size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

[[noreturn]] inline void fail(const char* what, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: broken: %s\n", file, line, what);
    std::abort();
}

// Whether a message names the file it is about.
inline bool names(std::string_view message, std::string_view file) {
    return message.find(file) != std::string_view::npos;
}

} // namespace kestrel::fuzz

#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) ::kestrel::fuzz::fail(#condition, __FILE__, __LINE__);                   \
    } while (false)

namespace kestrel::fuzz {

// The text of a CP932 file as its reader gets it, or nothing when the bytes
// cannot be decoded; the message then names the file.
inline std::optional<std::string> decodedText(const uint8_t* data, size_t size,
                                              const std::filesystem::path& file) {
    try {
        return decodeCp932File(bytesOf(data, size), file);
    } catch (const FileError& e) {
        FUZZ_CHECK(names(e.what(), displayPath(file)));
        return std::nullopt;
    }
}

} // namespace kestrel::fuzz
