#include "text/SortedLines.h"

#include <algorithm>

namespace kestrel {
namespace {

unsigned char folded(char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u >= 'A' && u <= 'Z') ? static_cast<unsigned char>(u - 'A' + 'a') : u;
}

// UTF-8 byte order is code point order, and every byte of a multi-byte
// character is above 0x7F, so folding single ASCII bytes is enough.
int compareFolded(std::string_view a, std::string_view b) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const unsigned char x = folded(a[i]);
        const unsigned char y = folded(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
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
// rank 99, and by its number among the long ranks. 0xFF never occurs in
// UTF-8, so it follows every mark.
int compareLongRanks(std::string_view a, std::string_view b) {
    const size_t da = leadingDigits(a) >= 3 ? leadingDigits(a) : 0;
    const size_t db = leadingDigits(b) >= 3 ? leadingDigits(b) : 0;
    if (da != 0 && db != 0) {
        if (da != db) return da < db ? -1 : 1;
        return compareFolded(a, b);
    }
    static constexpr std::string_view kLongRankHead = "99\xFF";
    if (da != 0) return -compareFolded(b.substr(0, kLongRankHead.size()), kLongRankHead);
    return compareFolded(a.substr(0, kLongRankHead.size()), kLongRankHead);
}

} // namespace

bool SortedLines::before(std::string_view a, std::string_view b, bool rankingOrder) {
    if (rankingOrder) {
        const bool ua = unranked(a);
        const bool ub = unranked(b);
        if (ua != ub) return ub;
        if (leadingDigits(a) >= 3 || leadingDigits(b) >= 3) return compareLongRanks(a, b) < 0;
    }
    return compareFolded(a, b) < 0;
}

int SortedLines::add(std::string line) {
    const auto pos = std::upper_bound(
        m_lines.begin(), m_lines.end(), line,
        [this](const std::string& x, const std::string& y) { return before(x, y, m_ranking); });
    const auto at = m_lines.insert(pos, std::move(line));
    return static_cast<int>(at - m_lines.begin());
}

void SortedLines::assign(std::vector<std::string> lines) {
    const auto order = [this](const std::string& x, const std::string& y) {
        return before(x, y, m_ranking);
    };
    // Rankings come in their order already: one pass tells, where a sort
    // would compare them all again.
    if (!std::is_sorted(lines.begin(), lines.end(), order))
        std::stable_sort(lines.begin(), lines.end(), order);
    m_lines = std::move(lines);
}

void SortedLines::removeAt(int index) {
    if (index < 0 || index >= size()) return;
    m_lines.erase(m_lines.begin() + index);
}

} // namespace kestrel
