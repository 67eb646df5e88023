#include "text/SortedLines.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <numeric>
#include <stdexcept>

#include "text/Characters.h"
#include "text/Cp932.h"

namespace kestrel {
namespace {

// The CP932 bytes of every character of the Basic Multilingual Plane met so
// far: 0 not looked up yet, else kKnown, the byte count (0: CP932 has not
// the character) and up to two bytes. Atomic, because the classroom
// server sorts lists on several threads; two threads that look up one
// character store the same value.
constexpr uint32_t kKnown = 0x80000000u;
std::array<std::atomic<uint32_t>, 0x10000> g_cp932;

uint32_t cp932Of(char32_t code) {
    std::atomic<uint32_t>& slot = g_cp932[code];
    uint32_t v = slot.load(std::memory_order_relaxed);
    if (v != 0) return v;
    std::string utf8;
    if (code < 0x800) {
        utf8 += static_cast<char>(0xC0 | (code >> 6));
    } else {
        utf8 += static_cast<char>(0xE0 | (code >> 12));
        utf8 += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    }
    utf8 += static_cast<char>(0x80 | (code & 0x3F));
    v = kKnown;
    try {
        const std::string bytes = utf8ToCp932(utf8);
        if (bytes.size() == 1)
            v |= (1u << 16) | static_cast<unsigned char>(bytes[0]);
        else if (bytes.size() == 2)
            v |= (2u << 16) | (static_cast<uint32_t>(static_cast<unsigned char>(bytes[0])) << 8) |
                 static_cast<unsigned char>(bytes[1]);
    } catch (const std::invalid_argument&) {
    }
    slot.store(v, std::memory_order_relaxed);
    return v;
}

// A character CP932 has not: 0xFF, which is no CP932 byte, and its code
// point, so that it sorts after every character CP932 has.
char* putForeign(char* out, uint32_t code) {
    *out++ = '\xFF';
    *out++ = static_cast<char>((code >> 16) & 0xFF);
    *out++ = static_cast<char>((code >> 8) & 0xFF);
    *out++ = static_cast<char>(code & 0xFF);
    return out;
}

int compareBytes(std::string_view a, std::string_view b) {
    const int c = a.compare(b);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

bool unranked(std::string_view line) {
    return line.starts_with("--");
}

size_t leadingDigits(std::string_view line) {
    size_t n = 0;
    while (n < line.size() && line[n] >= '0' && line[n] <= '9')
        ++n;
    return n;
}

// A rank of three digits or more would sort among the two-digit ranks by
// its text; it sorts as if "99" and 0xFF stood in front of it, so after
// rank 99, and by its number among the long ranks. 0xFF is no CP932 byte,
// so it follows every mark.
int compareLongRanks(std::string_view a, std::string_view b) {
    const size_t da = leadingDigits(a) >= 3 ? leadingDigits(a) : 0;
    const size_t db = leadingDigits(b) >= 3 ? leadingDigits(b) : 0;
    if (da != 0 && db != 0) {
        if (da != db) return da < db ? -1 : 1;
        return compareBytes(a, b);
    }
    static constexpr std::string_view kLongRankHead = "99\xFF";
    if (da != 0) return -compareBytes(b.substr(0, kLongRankHead.size()), kLongRankHead);
    return compareBytes(a.substr(0, kLongRankHead.size()), kLongRankHead);
}

} // namespace

std::string SortedLines::sortKey(std::string_view s) {
    // No character takes more than four bytes of key, nor more than four
    // times its UTF-8 bytes.
    std::string key(s.size() * 4, '\0');
    char* out = key.data();
    for (size_t i = 0; i < s.size();) {
        const auto byte = static_cast<unsigned char>(s[i]);
        if (byte < 0x80) {
            *out++ = (byte >= 'A' && byte <= 'Z') ? static_cast<char>(byte - 'A' + 'a') : s[i];
            ++i;
            continue;
        }
        Utf8Char c;
        // Kana and kanji, most of a Japanese line, without a call.
        // (Lead bytes 0xE0 and 0xED can begin overlong forms and surrogates.)
        if (byte >= 0xE1 && byte <= 0xEF && byte != 0xED && i + 2 < s.size() &&
            (static_cast<unsigned char>(s[i + 1]) & 0xC0) == 0x80 &&
            (static_cast<unsigned char>(s[i + 2]) & 0xC0) == 0x80)
            c = {3, static_cast<char32_t>(((byte & 0x0F) << 12) |
                                          ((static_cast<unsigned char>(s[i + 1]) & 0x3F) << 6) |
                                          (static_cast<unsigned char>(s[i + 2]) & 0x3F))};
        else
            c = utf8At(s, i);
        if (c.length == 0) {
            out = putForeign(out, 0x110000u + byte); // a stray byte: after every character
            ++i;
            continue;
        }
        i += c.length;
        const uint32_t v = c.code < 0x10000 ? cp932Of(c.code) : kKnown;
        const uint32_t n = (v >> 16) & 0xFF;
        if (n == 0) {
            out = putForeign(out, c.code);
        } else {
            if (n == 2) *out++ = static_cast<char>((v >> 8) & 0xFF);
            *out++ = static_cast<char>(v & 0xFF);
        }
    }
    key.resize(static_cast<size_t>(out - key.data()));
    return key;
}

bool SortedLines::keyBefore(std::string_view a, std::string_view b, bool rankingOrder) {
    if (rankingOrder) {
        const bool ua = unranked(a);
        const bool ub = unranked(b);
        if (ua != ub) return ub;
        if (leadingDigits(a) >= 3 || leadingDigits(b) >= 3) return compareLongRanks(a, b) < 0;
    }
    return compareBytes(a, b) < 0;
}

bool SortedLines::before(std::string_view a, std::string_view b, bool rankingOrder) {
    return keyBefore(sortKey(a), sortKey(b), rankingOrder);
}

int SortedLines::add(std::string line) {
    std::string key = sortKey(line);
    const auto pos = std::upper_bound(
        m_keys.begin(), m_keys.end(), key,
        [this](const std::string& x, const std::string& y) { return keyBefore(x, y, m_ranking); });
    const auto at = pos - m_keys.begin();
    m_keys.insert(pos, std::move(key));
    m_lines.insert(m_lines.begin() + at, std::move(line));
    return static_cast<int>(at);
}

void SortedLines::assign(std::vector<std::string> lines) {
    std::vector<std::string> keys;
    keys.reserve(lines.size());
    for (const std::string& line : lines)
        keys.push_back(sortKey(line));
    const auto order = [this](const std::string& x, const std::string& y) {
        return keyBefore(x, y, m_ranking);
    };
    // Rankings come in their order already: one pass tells, where a sort
    // would compare them all again.
    if (!std::is_sorted(keys.begin(), keys.end(), order)) {
        std::vector<size_t> index(lines.size());
        std::iota(index.begin(), index.end(), size_t{0});
        std::stable_sort(index.begin(), index.end(),
                         [&](size_t x, size_t y) { return order(keys[x], keys[y]); });
        std::vector<std::string> sortedLines, sortedKeys;
        sortedLines.reserve(lines.size());
        sortedKeys.reserve(lines.size());
        for (const size_t k : index) {
            sortedLines.push_back(std::move(lines[k]));
            sortedKeys.push_back(std::move(keys[k]));
        }
        lines = std::move(sortedLines);
        keys = std::move(sortedKeys);
    }
    m_lines = std::move(lines);
    m_keys = std::move(keys);
}

void SortedLines::removeAt(int index) {
    if (index < 0 || index >= size()) return;
    m_lines.erase(m_lines.begin() + index);
    m_keys.erase(m_keys.begin() + index);
}

} // namespace kestrel
