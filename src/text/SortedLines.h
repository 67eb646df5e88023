#pragma once
// Lines of text kept in ascending order of their whole text, as the sorted
// lists of the screens show them. Characters compare by code point with
// ASCII letters folded to one case; a line equal to lines already held goes
// after them. In ranking order the lines that begin with "--" (students
// without a run) stand after every other line, and lines that begin with a
// rank of three digits or more stand after rank 99, in the order of ranks.
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
    void clear() { m_lines.clear(); }
    int size() const { return static_cast<int>(m_lines.size()); }
    bool empty() const { return m_lines.empty(); }
    const std::string& at(int index) const { return m_lines.at(static_cast<size_t>(index)); }
    const std::vector<std::string>& lines() const { return m_lines; }
    bool rankingOrder() const { return m_ranking; }

    // Whether `a` goes before `b` (UTF-8 texts).
    static bool before(std::string_view a, std::string_view b, bool rankingOrder);

private:
    std::vector<std::string> m_lines;
    bool m_ranking;
};

} // namespace kestrel
