#include "teacher/CriteriaGrid.h"

#include <algorithm>
#include <stdexcept>

#include "text/ItemReader.h"

namespace kestrel {
namespace {

const char* const kLevelCaption = "レベル";

} // namespace

CriteriaGrid::CriteriaGrid() {
    load(CriteriaTable{});
}

void CriteriaGrid::load(const CriteriaTable& table) {
    const int levels = std::clamp(table.rowCount, 0, kMaxLevel);
    m_cells.assign(static_cast<size_t>(levels) + 1, {});
    m_marked.assign(static_cast<size_t>(levels) + 1, {});
    m_cells[0][0] = kLevelCaption;
    const CriteriaCells& captions = standardCriteriaCaptions();
    for (int c = 1; c <= kLastColumn; ++c)
        m_cells[0][static_cast<size_t>(c)] = captions[static_cast<size_t>(c - 1)];
    for (int r = 1; r <= levels; ++r) {
        auto& row = m_cells[static_cast<size_t>(r)];
        row[0] = std::to_string(r);
        const CriteriaCells cells = criteriaCells(table[r]);
        for (int c = 1; c <= kLastColumn; ++c)
            row[static_cast<size_t>(c)] = cells[static_cast<size_t>(c - 1)];
    }
    m_row = levels == 0 ? 0 : std::clamp(m_row, 1, levels);
    m_column = std::clamp(m_column, 1, kLastColumn);
    m_selectionEnd = m_row;
}

const std::string& CriteriaGrid::cell(int row, int column) const {
    return m_cells.at(static_cast<size_t>(row)).at(static_cast<size_t>(column));
}

bool CriteriaGrid::cellChanged(int row, int column) const {
    return m_marked.at(static_cast<size_t>(row)).at(static_cast<size_t>(column));
}

void CriteriaGrid::set(int row, int column, const std::string& text) {
    std::string& c = m_cells[static_cast<size_t>(row)][static_cast<size_t>(column)];
    if (c == text) return;
    c = text;
    m_marked[static_cast<size_t>(row)][static_cast<size_t>(column)] = true;
    m_changed = true;
}

bool CriteriaGrid::typed(const std::string& text) {
    if (m_row < 1 || cell(m_row, m_column) == text) return false;
    set(m_row, m_column, text);
    return true;
}

bool CriteriaGrid::key(Key key, const std::string& boxText) {
    if (m_row < 1) return false;
    const int row = m_row, column = m_column;
    switch (key) {
    case Key::Up:
        if (m_row > 1) --m_row;
        break;
    case Key::Down:
        if (m_row < rows()) ++m_row;
        break;
    case Key::Left:
        if (m_column > 1) --m_column;
        break;
    case Key::Right:
        if (m_column < kLastColumn) ++m_column;
        break;
    case Key::ShiftDown:
        if (m_selectionEnd < rows()) ++m_selectionEnd;
        for (int r = m_row; r <= m_selectionEnd; ++r)
            set(r, m_column, boxText);
        return false;
    case Key::Other:
        return false;
    }
    m_selectionEnd = m_row;
    return row != m_row || column != m_column;
}

bool CriteriaGrid::click(int row, int column) {
    if (row < 1 || row > rows() || column < 1 || column > kLastColumn) return false;
    m_row = m_selectionEnd = row;
    m_column = column;
    return true;
}

CriteriaTable CriteriaGrid::table() const {
    CriteriaTable t;
    for (int c = 1; c <= kLastColumn; ++c)
        t.captions[static_cast<size_t>(c - 1)] = cell(0, c);
    t.rowCount = rows();
    for (int r = 1; r <= rows(); ++r) {
        CriteriaCells cells;
        for (int c = 1; c <= kLastColumn; ++c)
            cells[static_cast<size_t>(c - 1)] = cell(r, c);
        t[r] = criteriaFromCells(cells);
    }
    return t;
}

std::optional<CriteriaGrid::Refusal> CriteriaGrid::refusal() const {
    for (int r = 1; r <= rows(); ++r)
        for (int c = 1; c <= kLastColumn; ++c) {
            const std::string& text = cell(r, c);
            const std::optional<std::string> expected = criteriaCellExpectation(c, text);
            if (!expected) continue;
            const std::string explanation = columnExplanation(c);
            const std::string title = explanation.substr(0, explanation.find('\n'));
            return Refusal{
                r, c,
                "レベル" + std::to_string(r) + "の「" +
                    standardCriteriaCaptions()[static_cast<size_t>(c - 1)] + "」（" + title + "）" +
                    (trimBlanks(text).empty() ? "が空です。" : "が「" + text + "」です。") +
                    "\r\n" + *expected + "にしてください。\r\nまだ記録していません。"};
        }
    return std::nullopt;
}

std::string columnExplanation(int column) {
    switch (column) {
    case 1:
        return "合格基準タイム\n\u3000大部分の人ががんばったら出せそうなタイムにしてください";
    case 2:
        return "合格最低ラインタイム\n  この５倍が時間切れになります";
    case 3:
        return "目標ポイント\n\u3000\u3000 目標ポイント";
    case 4:
        return "目標回数\n\u3000\u3000 目標回数";
    case 5:
        return "ポイント倍率\n  ポイントを何倍にして加算するか\n"
               "  むずかしいレベルや生徒のいやがるレベルは高くしてください";
    case 6:
        return "やりすぎ禁止回数\n  何回やったらやりすぎ禁止にするか\n  ";
    case 7:
        return "やりすぎ禁止ポイント\n  何ポイントとったらやりすぎ禁止にするか\n ";
    case 8:
        return "合格判定をする日数\n\u3000何日前からのポイントを有効にするか";
    case 9:
        return "やりすぎ判定をする日数\n\u3000何日前からのポイントを有効にするか";
    default:
        return {};
    }
}

} // namespace kestrel
