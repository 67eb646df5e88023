#pragma once
// Lines of text kept in ascending order of their whole text, as the sorted
// lists of the screens show them on a Japanese desktop: lines compare by
// their CP932 (Shift-JIS) bytes, so that kana stand in the order of the
// kana table and the common kanji by their readings, with ASCII letters
// folded to one case; a character CP932 has not goes after all that it has.
// A line equal to lines already held goes after them. In ranking order the
// lines that begin with "--" (students without a run) stand after every
// other line, and lines that begin with a rank of three digits or more
// stand after rank 99, in the order of ranks.
#include <string>
#include <string_view>
#include <vector>

namespace kestrel {

class SortedLines {
public:
    explicit SortedLines(bool rankingOrder = false) : m_ranking(rankingOrder) {}

    // Inserts the line in its place; returns its index.
    int add(std::string line);
    // Replaces every line at once; same order as adding them one by one.
    void assign(std::vector<std::string> lines);
    void removeAt(int index);
    void clear() {
        m_lines.clear();
        m_keys.clear();
    }
    int size() const { return static_cast<int>(m_lines.size()); }
    bool empty() const { return m_lines.empty(); }
    const std::string& at(int index) const { return m_lines.at(static_cast<size_t>(index)); }
    const std::vector<std::string>& lines() const { return m_lines; }
    bool rankingOrder() const { return m_ranking; }

    // Whether `a` goes before `b` (UTF-8 texts).
    static bool before(std::string_view a, std::string_view b, bool rankingOrder);
    // What a UTF-8 line compares as: its CP932 bytes with ASCII capitals
    // made small; a character CP932 has not is 0xFF and its code point in
    // three bytes. Lines of plain order compare as their keys' bytes.
    static std::string sortKey(std::string_view utf8);
    // Whether the line of key `a` goes before that of key `b`.
    static bool keyBefore(std::string_view a, std::string_view b, bool rankingOrder);

private:
    std::vector<std::string> m_lines;
    std::vector<std::string> m_keys; // sortKey of each line
    bool m_ranking;
};

} // namespace kestrel
