#pragma once
// The criteria of every level: target and minimum times, what clears a
// level, the point multiplier and the over-practice limits. Kept in the
// data folder as "タイム回数データ.txt": a caption line, then one line of
// twelve comma-separated values per level.
#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "startup/AppFolders.h"
#include "startup/ProgramDefinition.h"

namespace kestrel {

inline constexpr int kCriteriaColumns = 12;
inline constexpr const char* kCriteriaFileName = "タイム回数データ.txt";

// The twelve cells of one line, column 1 at index 0.
using CriteriaCells = std::array<std::string, kCriteriaColumns>;

struct LevelCriteria {
    int32_t targetTime = 0;  // seconds
    int32_t minimumTime = 0; // seconds; the run's time-out is five times this
    int32_t clearPoints = 0;
    int16_t clearCount = 0;
    float pointMultiplier = 0;
    // Held as the text read from the file and compared numerically.
    std::string overPracticeCount;
    std::string overPracticePoints;
    std::string passPeriodDays;
    std::string overPracticePeriodDays;
    std::string reserved10;
    std::string reserved11;
    std::string reserved12;
    // The text of cells 1 to 5 as read, so that writing the table back keeps
    // it byte for byte. A numeric field changed since is written as its value.
    std::array<std::string, 5> numberTexts{};
};

// The caption line the criteria editor writes: nine captions, three empty.
const CriteriaCells& standardCriteriaCaptions();

struct CriteriaTable {
    std::array<LevelCriteria, kMaxLevel + 1> rows{};     // level L at index L; 0 unused
    int rowCount = 0;                                    // level rows the file held (at most 35)
    CriteriaCells captions = standardCriteriaCaptions(); // the caption line as read
    // The row (0 the caption line) that the file ended inside of, its
    // missing values read as empty; -1 when every row was whole.
    int cutRow = -1;

    LevelCriteria& operator[](int level) { return rows.at(static_cast<size_t>(level)); }
    const LevelCriteria& operator[](int level) const { return rows.at(static_cast<size_t>(level)); }
};

// The number a text cell stands for: its leading number; empty or no number is 0.
double criteriaValue(std::string_view cellText);

// What a value of column 1 to 9 may be: a whole number (any number for
// the point multiplier) from `low` to `high`, or empty where an empty value
// switches a rule off. Columns 10 to 12 hold any text.
struct CriteriaColumnRange {
    double low, high;
    bool whole;
    bool mayBeEmpty;
    const char* unit; // "秒", "回", ... or empty
};
std::optional<CriteriaColumnRange> criteriaColumnRange(int column);
// What to write instead of `cellText` in column 1..12, in words a teacher
// can act on ("1 から 99998 までの整数（秒）"), or nothing when it is a
// value of the column's range.
std::optional<std::string> criteriaCellExpectation(int column, std::string_view cellText);

// The text of column 1..12 of a row, and setting it (the numeric field of
// columns 1 to 5 follows the text). Other columns are std::out_of_range.
std::string criteriaCell(const LevelCriteria& row, int column);
void setCriteriaCell(LevelCriteria& row, int column, std::string text);
CriteriaCells criteriaCells(const LevelCriteria& row);
LevelCriteria criteriaFromCells(const CriteriaCells& cells);

// Reads the text of a criteria file: twelve values per row, row 0 the
// caption line; rows past level 35 are ignored, a short last row is filled
// with empty values and noted in `cutRow`.
CriteriaTable parseCriteriaTable(std::string_view text);
// The file text: the caption line and rows 1..rowCount, each cell's text, a
// comma after cells 1 to 11 and CR LF after cell 12. A cell that would not
// read back as written bare (a comma, a line break, a leading quote, blanks
// at either end) is quoted, with its quotes doubled; every other cell is
// written as it is, so that a file is reproduced byte for byte.
std::string formatCriteriaTable(const CriteriaTable& table);

// Why a file whose values end inside a row is not read: the first line
// that does not hold twelve values, and what to write there.
std::string cutCriteriaRowMessage(std::string_view text, const std::filesystem::path& file);

// Why a file of no level rows (empty, or the caption line alone) is not
// read, and what a row holds.
std::string noCriteriaRowsMessage(const std::filesystem::path& file);

// Throw FileError naming the file, also for a file that ends inside a row
// or holds no level rows: missing values would read as 0 (no time-out, a
// level cleared by any run), so the file is refused rather than guessed at.
CriteriaTable readCriteriaFile(const std::filesystem::path& file);
void writeCriteriaFile(const std::filesystem::path& file, const CriteriaTable& table);

std::filesystem::path criteriaFilePath(const AppFolders& folders);

} // namespace kestrel
