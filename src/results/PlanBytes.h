#pragma once
// What every plan of a change shares (results/Journal.h): a magic of eight
// bytes, a version, little-endian fields, and a checksum of all that at the
// end, which tells a plan written whole from one cut by a crash.
#include <cstddef>
#include <cstdint>
#include <string>

#include "results/ResultRecord.h"

namespace kestrel {

inline constexpr size_t kPlanChecksumSize = 8;

inline uint64_t planChecksum(const unsigned char* bytes, size_t count) {
    uint64_t h = 14695981039346656037ull; // FNV-1a
    for (size_t i = 0; i < count; ++i) {
        h ^= bytes[i];
        h *= 1099511628211ull;
    }
    return h;
}

// Whether the `body` bytes at `p` are followed by their checksum.
inline bool planChecksumHolds(const unsigned char* p, size_t body) {
    return le::read<uint64_t>(p + body) == planChecksum(p, body);
}

inline const unsigned char* bytesOf(const std::string& s) {
    return reinterpret_cast<const unsigned char*>(s.data());
}

// Builds a plan: the magic and version first, then its fields in order,
// sealed with the checksum.
class PlanWriter {
public:
    PlanWriter(const unsigned char (&magic)[8], uint32_t version)
        : m_bytes(reinterpret_cast<const char*>(magic), sizeof magic) {
        put(version);
    }
    template <typename T> void put(T value) {
        unsigned char b[sizeof(T)];
        le::write(b, value);
        append(b, sizeof b);
    }
    void append(const unsigned char* bytes, size_t count) {
        m_bytes.append(reinterpret_cast<const char*>(bytes), count);
    }
    void append(const std::string& bytes) { m_bytes += bytes; }
    std::string sealed() {
        put(planChecksum(bytesOf(m_bytes), m_bytes.size()));
        return std::move(m_bytes);
    }

private:
    std::string m_bytes;
};

} // namespace kestrel
