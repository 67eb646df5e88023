#include "startup/CriteriaTable.h"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <limits>
#include <stdexcept>

#include "platform/Utf8Path.h"
#include "text/Cp932.h"
#include "text/ItemReader.h"
#include "text/LeadingNumber.h"

namespace kestrel {
namespace {

// Whole-number fields take the nearest integer (halves to even), held
// inside the field's range so that a wild value cannot overflow.
template <class T> T toInteger(double v) {
    if (std::isnan(v)) return 0;
    v = std::nearbyint(v);
    if (v <= static_cast<double>(std::numeric_limits<T>::min()))
        return std::numeric_limits<T>::min();
    if (v >= static_cast<double>(std::numeric_limits<T>::max()))
        return std::numeric_limits<T>::max();
    return static_cast<T>(v);
}

float toSingle(double v) {
    if (std::isnan(v)) return 0;
    if (v > FLT_MAX) return FLT_MAX;
    if (v < -FLT_MAX) return -FLT_MAX;
    return static_cast<float>(v);
}

std::string formatSingle(float v) {
    char buf[32];
    auto result = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, result.ptr);
}

// The text as read while it still stands for the field's value, otherwise
// the value itself.
template <class T> std::string integerCell(const std::string& text, T value) {
    return toInteger<T>(criteriaValue(text)) == value ? text : std::to_string(value);
}

std::string singleCell(const std::string& text, float value) {
    return toSingle(criteriaValue(text)) == value ? text : formatSingle(value);
}

void checkColumn(int column) {
    if (column < 1 || column > kCriteriaColumns)
        throw std::out_of_range("criteria column " + std::to_string(column));
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

// Whether the cell would read back otherwise than written bare: a comma or
// line break would split it, a leading quote would open a quoted value, and
// blanks at either end would be dropped.
bool needsQuotes(const std::string& cell) {
    if (cell.empty()) return false;
    return cell.find_first_of(",\r\n") != std::string::npos || cell.front() == '"' ||
           isBlank(cell.front()) || isBlank(cell.back());
}

void appendLine(std::string& out, const CriteriaCells& cells) {
    for (int c = 0; c < kCriteriaColumns; ++c) {
        const std::string& cell = cells[static_cast<size_t>(c)];
        if (needsQuotes(cell)) {
            out += '"';
            for (char ch : cell) {
                if (ch == '"') out += '"'; // a quote inside stands doubled
                out += ch;
            }
            out += '"';
        } else {
            out += cell;
        }
        out += c + 1 < kCriteriaColumns ? "," : "\r\n";
    }
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Digits with an optional sign; with `fraction`, one decimal point too.
bool isPlainNumber(std::string_view text, bool fraction) {
    size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    bool digits = false, point = false;
    for (; i < text.size(); ++i) {
        if (isDigit(text[i]))
            digits = true;
        else if (fraction && text[i] == '.' && !point)
            point = true;
        else
            return false;
    }
    return digits;
}

std::string plainFigure(double v) {
    char buf[32];
    auto result = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed);
    return std::string(buf, result.ptr);
}

} // namespace

std::optional<CriteriaColumnRange> criteriaColumnRange(int column) {
    checkColumn(column);
    // Times stay below 99999, which stands for a run without a result.
    static const CriteriaColumnRange ranges[9] = {
        {1, 99998, true, false, "秒"},
        {1, 99998, true, false, "秒"},
        {0, std::numeric_limits<int32_t>::max(), true, false, "ポイント"},
        {0, std::numeric_limits<int16_t>::max(), true, false, "回"},
        {0, 1000, false, false, "倍"},
        {0, 1e9, true, true, "回"},
        {0, 1e9, true, true, "ポイント"},
        {0, 100000, true, true, "日"},
        {0, 100000, true, true, "日"},
    };
    if (column > 9) return std::nullopt;
    return ranges[column - 1];
}

std::optional<std::string> criteriaCellExpectation(int column, std::string_view cellText) {
    const std::optional<CriteriaColumnRange> range = criteriaColumnRange(column);
    if (!range) return std::nullopt;
    const std::string text = trimBlanks(cellText);
    if (text.empty() && range->mayBeEmpty) return std::nullopt;
    if (isPlainNumber(text, !range->whole)) {
        const double value = criteriaValue(text);
        if (value >= range->low && value <= range->high) return std::nullopt;
    }
    std::string expected = plainFigure(range->low) + " から " + plainFigure(range->high) +
                           " までの" + (range->whole ? "整数" : "数");
    if (*range->unit) expected += std::string("（") + range->unit + "）";
    if (range->mayBeEmpty) expected += "か空";
    return expected;
}

const CriteriaCells& standardCriteriaCaptions() {
    static const CriteriaCells captions{"目標Time",  "最低Time", "ｸﾘｱﾎﾟｲﾝﾄ", "ｸﾘｱ回数",
                                        "ﾎﾟｲﾝﾄ倍率", "禁回",     "禁点",     "判期間",
                                        "禁期間",    "",         "",         ""};
    return captions;
}

double criteriaValue(std::string_view cellText) {
    return leadingNumber(cellText);
}

std::string criteriaCell(const LevelCriteria& row, int column) {
    checkColumn(column);
    switch (column) {
    case 1:
        return integerCell(row.numberTexts[0], row.targetTime);
    case 2:
        return integerCell(row.numberTexts[1], row.minimumTime);
    case 3:
        return integerCell(row.numberTexts[2], row.clearPoints);
    case 4:
        return integerCell(row.numberTexts[3], row.clearCount);
    case 5:
        return singleCell(row.numberTexts[4], row.pointMultiplier);
    case 6:
        return row.overPracticeCount;
    case 7:
        return row.overPracticePoints;
    case 8:
        return row.passPeriodDays;
    case 9:
        return row.overPracticePeriodDays;
    case 10:
        return row.reserved10;
    case 11:
        return row.reserved11;
    default:
        return row.reserved12;
    }
}

void setCriteriaCell(LevelCriteria& row, int column, std::string text) {
    checkColumn(column);
    const double value = criteriaValue(text);
    switch (column) {
    case 1:
        row.targetTime = toInteger<int32_t>(value);
        break;
    case 2:
        row.minimumTime = toInteger<int32_t>(value);
        break;
    case 3:
        row.clearPoints = toInteger<int32_t>(value);
        break;
    case 4:
        row.clearCount = toInteger<int16_t>(value);
        break;
    case 5:
        row.pointMultiplier = toSingle(value);
        break;
    case 6:
        row.overPracticeCount = std::move(text);
        return;
    case 7:
        row.overPracticePoints = std::move(text);
        return;
    case 8:
        row.passPeriodDays = std::move(text);
        return;
    case 9:
        row.overPracticePeriodDays = std::move(text);
        return;
    case 10:
        row.reserved10 = std::move(text);
        return;
    case 11:
        row.reserved11 = std::move(text);
        return;
    default:
        row.reserved12 = std::move(text);
        return;
    }
    row.numberTexts[static_cast<size_t>(column - 1)] = std::move(text);
}

CriteriaCells criteriaCells(const LevelCriteria& row) {
    CriteriaCells cells;
    for (int c = 1; c <= kCriteriaColumns; ++c)
        cells[static_cast<size_t>(c - 1)] = criteriaCell(row, c);
    return cells;
}

LevelCriteria criteriaFromCells(const CriteriaCells& cells) {
    LevelCriteria row;
    for (int c = 1; c <= kCriteriaColumns; ++c)
        setCriteriaCell(row, c, cells[static_cast<size_t>(c - 1)]);
    return row;
}

CriteriaTable parseCriteriaTable(std::string_view text) {
    const std::vector<std::string> items = readItems(text, ItemReader::Quotes::Doubled);
    CriteriaTable table;
    const size_t lines = (items.size() + kCriteriaColumns - 1) / kCriteriaColumns;
    for (size_t line = 0; line < lines && line <= static_cast<size_t>(kMaxLevel); ++line) {
        CriteriaCells cells;
        for (size_t c = 0; c < static_cast<size_t>(kCriteriaColumns); ++c) {
            const size_t i = line * kCriteriaColumns + c;
            if (i < items.size()) cells[c] = items[i];
        }
        if (line == 0) {
            table.captions = std::move(cells);
        } else {
            table.rows[line] = criteriaFromCells(cells);
            table.rowCount = static_cast<int>(line);
        }
    }
    // Rows past level 35 are passed over whole, cut or not.
    if (items.size() % kCriteriaColumns != 0 && lines - 1 <= static_cast<size_t>(kMaxLevel))
        table.cutRow = static_cast<int>(lines - 1);
    return table;
}

std::string cutCriteriaRowMessage(std::string_view text, const std::filesystem::path& file) {
    // Values are counted across lines, so the row the file ends in is not
    // always where a value went missing: name the first line that does not
    // hold twelve values.
    size_t lineNumber = 0, row = 0, values = 0;
    bool found = false;
    for (size_t at = 0; at <= text.size() && !found;) {
        size_t end = text.find('\n', at);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(at, end - at);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        ++lineNumber;
        at = end + 1;
        if (trimBlanks(line).empty()) continue;
        values = readItems(line, ItemReader::Quotes::Doubled).size();
        if (values != static_cast<size_t>(kCriteriaColumns)) {
            found = true;
            break;
        }
        ++row;
    }
    std::string where = std::to_string(lineNumber) + "行目（" +
                        (row == 0 ? std::string("見出しの行") : "レベル" + std::to_string(row)) +
                        "）";
    std::string message = "ファイル「" + displayPath(file) + "」の" + where;
    if (found)
        message += "の値が " + std::to_string(values) + " 個です。";
    else
        message += "で値が足りないまま終わっています。";
    message += "1 行に 12 個の値をカンマで区切って書きます。"
               "使わない最後の 3 個は空にして、「60,120,300,10,1,30,0,7,1,,,」のように"
               "カンマを 11 個書きます。";
    return message;
}

std::string formatCriteriaTable(const CriteriaTable& table) {
    std::string out;
    appendLine(out, table.captions);
    const int rows = std::min(std::max(table.rowCount, 0), kMaxLevel);
    for (int level = 1; level <= rows; ++level)
        appendLine(out, criteriaCells(table[level]));
    return out;
}

std::string noCriteriaRowsMessage(const std::filesystem::path& file) {
    return "ファイル「" + displayPath(file) +
           "」にはレベルの行がありません（見出しの行のあとが空です）。"
           "1 行目は見出しの行で、2 行目からレベル 1、レベル 2、…の基準を 1 行に 1 レベルずつ"
           "書きます。1 行に 12 個の値（目標タイム、最低タイム、クリアポイント、クリア回数、"
           "ポイント倍率、やりすぎ禁止の回数とポイント、合格判定とやりすぎ判定の日数、"
           "使わない 3 個）をカンマで区切り、「60,120,300,10,1,30,0,7,1,,,」のように書きます。";
}

CriteriaTable readCriteriaFile(const std::filesystem::path& file) {
    const std::string text = readCp932File(file);
    CriteriaTable table = parseCriteriaTable(text);
    if (table.cutRow >= 0)
        throw FileError(FileError::Kind::Io, file, cutCriteriaRowMessage(text, file));
    // Without rows every level would read as 0: no time-out, and the first
    // run clears it.
    if (table.rowCount == 0)
        throw FileError(FileError::Kind::Io, file, noCriteriaRowsMessage(file));
    return table;
}

void writeCriteriaFile(const std::filesystem::path& file, const CriteriaTable& table) {
    writeCp932File(file, formatCriteriaTable(table));
}

std::filesystem::path criteriaFilePath(const AppFolders& folders) {
    return pathFromUtf8(folders.DataFolder, kCriteriaFileName);
}

} // namespace kestrel
