#pragma once
// What the delete's and the restore's plans share: the checksum that tells a
// plan written whole from one cut by a crash.
#include <cstddef>
#include <cstdint>
#include <string>

namespace kestrel {

inline uint64_t planChecksum(const unsigned char* bytes, size_t count) {
    uint64_t h = 14695981039346656037ull; // FNV-1a
    for (size_t i = 0; i < count; ++i) {
        h ^= bytes[i];
        h *= 1099511628211ull;
    }
    return h;
}

inline const unsigned char* bytesOf(const std::string& s) {
    return reinterpret_cast<const unsigned char*>(s.data());
}

} // namespace kestrel
