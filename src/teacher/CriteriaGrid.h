#pragma once
// The criteria editor's grid apart from its widgets: the caption row and
// one row per level, the cell being edited and the rows selected below it,
// which cells were changed, and the moves of the keys. Row 0 and column 0
// are fixed: the keys and clicks reach rows 1..N and columns 1..12 only.
#include <array>
#include <optional>
#include <string>
#include <vector>

#include "startup/CriteriaTable.h"

namespace kestrel {

class CriteriaGrid {
public:
    static constexpr int kColumns = 13; // column 0 the level, 1..12 the values
    static constexpr int kLastColumn = 12;

    // The caption row alone; nothing to edit.
    CriteriaGrid();

    // The caption row, then one row per level of `table`, each cell's text
    // as the file holds it; no cell is changed any more, but the changed
    // mark stays. The current cell stays where it was, within the new rows.
    void load(const CriteriaTable& table);
    int rows() const { return static_cast<int>(m_cells.size()) - 1; } // N
    const std::string& cell(int row, int column) const;
    // Changed by typing or filling since the last load.
    bool cellChanged(int row, int column) const;
    // Set by any change of a cell; cleared by a save.
    bool changed() const { return m_changed; }
    void clearChanged() { m_changed = false; }

    // The cell under the text box (row 1 column 1 to start with, row 0
    // when there are no rows) and the last row of the selection below it.
    int row() const { return m_row; }
    int column() const { return m_column; }
    int selectionEnd() const { return m_selectionEnd; }

    // The text box's text changed: when it differs from the cell, the cell
    // takes it and is marked. Returns whether the cell changed.
    bool typed(const std::string& text);

    enum class Key { Up, Down, ShiftDown, Left, Right, Other };
    // Up, Down, Left, Right move within rows 1..N and columns 1..12 and end
    // any selection; Shift+Down selects one row more and writes `boxText`
    // into the column from the current row to the end of the selection.
    // Returns whether the current cell moved.
    bool key(Key key, const std::string& boxText);
    // A click on a cell: it becomes the current one. False for a fixed cell.
    bool click(int row, int column);

    // What a save writes: row 0's captions and rows 1..N.
    CriteriaTable table() const;

    // The first cell, row by row, whose text the program would not read as
    // the teacher meant it, with a message that names its level and column
    // and says what to write; nothing when every cell may be saved.
    struct Refusal {
        int row, column;
        std::string message;
    };
    std::optional<Refusal> refusal() const;

private:
    void set(int row, int column, const std::string& text);

    std::vector<std::array<std::string, kColumns>> m_cells;
    std::vector<std::array<bool, kColumns>> m_marked;
    int m_row = 0, m_column = 1, m_selectionEnd = 0;
    bool m_changed = false;
};

// The explanation of a column, one part per line ("\n"); empty for columns
// 0 and 10 to 12.
std::string columnExplanation(int column);

} // namespace kestrel
