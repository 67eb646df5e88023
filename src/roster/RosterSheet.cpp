#include "roster/RosterSheet.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <set>

#include "roster/Grades.h"
#include "roster/RosterDisplay.h"
#include "startup/CriteriaTable.h"
#include "text/Characters.h"
#include "text/Cp932.h"
#include "text/CsvText.h"
#include "text/ItemReader.h"

namespace kestrel {
namespace {

const char* const kLineEnd = "\r\n";
const char* const kByteOrderMark = "\xEF\xBB\xBF";

bool isTextField(int f) {
    return std::find(std::begin(kTextFields), std::end(kTextFields), f) != std::end(kTextFields);
}

std::string codePointText(char32_t code) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "U+%04X", static_cast<unsigned>(code));
    return buf;
}

// The first character of `text` that CP932 cannot hold, with its code point.
std::optional<std::string> firstUnwritable(std::string_view text) {
    try {
        utf8ToCp932(text);
        return std::nullopt;
    } catch (const std::invalid_argument&) {
    }
    for (size_t i = 0; i < text.size();) {
        const Utf8Char c = utf8At(text, i);
        const size_t n = std::max<size_t>(c.length, 1);
        const std::string_view one = text.substr(i, n);
        try {
            utf8ToCp932(one);
        } catch (const std::invalid_argument&) {
            return "「" + std::string(one) + "」（" + codePointText(c.code) + "）";
        }
        i += n;
    }
    return "";
}

// Header names compare without blanks around them and with full-width
// digits and letters as half-width ones, as a spreadsheet user types them.
std::string headerKey(std::string_view cell) {
    std::string out;
    const std::string t = trimBlanks(cell);
    for (size_t i = 0; i < t.size();) {
        const Utf8Char c = utf8At(t, i);
        const size_t n = std::max<size_t>(c.length, 1);
        if (c.code >= 0xFF01 && c.code <= 0xFF5E)
            out += static_cast<char>(c.code - 0xFF01 + 0x21);
        else if (c.code != 0x3000)
            out += t.substr(i, n);
        i += n;
    }
    return out;
}

// Which field a header names; -1 for none.
int fieldOfHeader(std::string_view cell) {
    const std::string key = headerKey(cell);
    for (int f = 0; f < kRosterFields; ++f)
        if (key == headerKey(rosterFieldName(f))) return f;
    if (key == "学年") return kBirthYearField;
    return -1;
}

// The grade a birth-year cell names ("幼３" .. "高３", full-width or
// half-width digits), if any.
std::optional<int> gradeOfCell(std::string_view cell) {
    const std::string key = headerKey(cell);
    for (int g = 0; g <= 12; ++g)
        if (key == GradeTag(g)) return g;
    return std::nullopt;
}

// A row a spreadsheet leaves under its table: nothing but blanks.
bool blankRow(const std::vector<std::string>& cells) {
    return std::all_of(cells.begin(), cells.end(),
                       [](const std::string& c) { return headerKey(c).empty(); });
}

std::string rowName(int row) {
    return "CSV の " + std::to_string(row) + "行目";
}

// Whether the roster writes the field in quotes, so that it reads back whole.
bool needsQuotes(std::string_view field) {
    if (field.empty()) return false;
    const bool edges = field.front() == ' ' || field.front() == '\t' || field.back() == ' ' ||
                       field.back() == '\t';
    return field.find(',') != std::string_view::npos || edges || field.front() == '"';
}

// A field as the roster writes it.
std::string writtenField(std::string_view field) {
    return needsQuotes(field) ? "\"" + std::string(field) + "\"" : std::string(field);
}

} // namespace

std::string rosterColumnName(int field) {
    return rosterFieldName(field);
}

std::string rosterSheet(const std::vector<RosterRow>& rows, bool utf8) {
    std::string text;
    for (int f = 0; f < kRosterFields; ++f)
        text += (f ? "," : "") + csvField(rosterColumnName(f));
    text += kLineEnd;
    for (const RosterRow& row : rows) {
        for (int f = 0; f < kRosterFields; ++f)
            text += (f ? "," : "") + csvField(row.fields[static_cast<size_t>(f)]);
        text += kLineEnd;
    }
    return utf8 ? kByteOrderMark + text : utf8ToCp932(text);
}

bool RosterImport::hasErrors() const {
    return std::any_of(problems.begin(), problems.end(),
                       [](const SheetProblem& p) { return p.level == FindingLevel::Error; });
}

std::string RosterImport::rosterText(bool withoutErrors) const {
    if (!withoutErrors) return rosterFileText(rows);
    std::vector<RosterRow> kept;
    for (size_t i = 0; i < rows.size(); ++i) {
        const bool failed =
            std::any_of(problems.begin(), problems.end(), [&](const SheetProblem& p) {
                return p.level == FindingLevel::Error && p.row == sheetRows[i];
            });
        if (!failed) kept.push_back(rows[i]);
    }
    return rosterFileText(kept);
}

std::optional<std::string> sheetText(std::string_view bytes, SheetEncoding& encoding) {
    if (bytes.substr(0, 3) == kByteOrderMark) {
        encoding = SheetEncoding::Utf8WithBom;
        if (!isUtf8(bytes.substr(3))) return std::nullopt;
        return std::string(bytes.substr(3));
    }
    if (isUtf8(bytes)) {
        encoding = SheetEncoding::Utf8;
        return std::string(bytes);
    }
    encoding = SheetEncoding::Cp932;
    try {
        return cp932ToUtf8(bytes);
    } catch (const std::invalid_argument&) {
        return std::nullopt;
    }
}

std::optional<std::string> unwritableCharacter(std::string_view text) {
    return firstUnwritable(text);
}

RosterImport importRosterSheet(std::string_view bytes, const RosterCheckSettings& settings) {
    RosterImport im;
    // Rows are named by the spreadsheet's row, or in a file of the roster's
    // own layout by the entry, as the roster's checks name them.
    auto where = [&](int row) {
        return im.rosterLayout ? std::to_string(row) + "人目" : rowName(row);
    };
    auto problem = [&](int row, FindingLevel level, const std::string& text) {
        im.problems.push_back({row, level, (row > 0 ? where(row) + "：" : std::string()) + text});
    };

    const std::optional<std::string> decoded = sheetText(bytes, im.encoding);
    if (!decoded) {
        problem(0, FindingLevel::Error,
                im.encoding == SheetEncoding::Utf8WithBom
                    ? "UTF-8 の印（BOM）がありますが、UTF-8 として読めないところがあります。"
                    : "文字コードが UTF-8 でもシフトJIS(CP932) でもありません。表計算ソフトで「CSV "
                      "UTF-8」か「CSV」の形で保存し直して下さい。");
        return im;
    }
    const std::string& text = *decoded;

    const auto cells = csvRows(text);
    size_t headerAt = 0;
    while (headerAt < cells.size() && blankRow(cells[headerAt]))
        ++headerAt;
    if (headerAt == cells.size()) {
        problem(0, FindingLevel::Error, "CSV ファイルが空です。");
        return im;
    }
    const std::vector<std::string>& header = cells[headerAt];
    const bool anyHeader = std::any_of(header.begin(), header.end(),
                                       [](const std::string& c) { return fieldOfHeader(c) >= 0; });
    int16_t firstNumber = 0;
    const std::string firstCell = header.empty() ? std::string() : trimBlanks(header[0]);
    if (!anyHeader && !firstCell.empty() &&
        readRosterNumber(firstCell, firstNumber) == RosterNumber::Ok) {
        // No header, a number first: the roster's own layout (eight fields
        // an entry), saved in another encoding. It is read as the program
        // reads the roster.
        im.rosterLayout = true;
        im.rows = rosterRows(text);
        for (size_t i = 0; i < im.rows.size(); ++i) {
            const int entry = static_cast<int>(i) + 1;
            im.sheetRows.push_back(entry);
            for (int f : kTextFields) {
                const std::string& cell = im.rows[i].fields[static_cast<size_t>(f)];
                if (const std::optional<std::string> bad = firstUnwritable(cell))
                    problem(entry, FindingLevel::Error,
                            rosterColumnName(f) + "「" + cell + "」の文字 " + *bad +
                                " は、名簿の文字コード（シフトJIS）で書けません。ほかの字に直"
                                "して下さい。");
            }
        }
        for (const RosterFinding& f : checkRosterRows(im.rows, settings))
            im.problems.push_back({im.sheetRows[f.row], f.level, f.message});
        std::stable_sort(
            im.problems.begin(), im.problems.end(),
            [](const SheetProblem& a, const SheetProblem& b) { return a.row < b.row; });
        return im;
    }

    // Which column holds each field.
    const int headerRow = static_cast<int>(headerAt) + 1;
    std::array<int, kRosterFields> column;
    column.fill(-1);
    std::string gradeHeader; // the header's own text when the column holds grades
    std::set<int> gradeRows; // rows whose grade could not be read
    std::vector<std::string> unknown;
    for (size_t c = 0; c < header.size(); ++c) {
        if (headerKey(header[c]).empty()) continue;
        const int f = fieldOfHeader(header[c]);
        if (f < 0) {
            unknown.push_back("「" + trimBlanks(header[c]) + "」");
            continue;
        }
        if (column[static_cast<size_t>(f)] >= 0) {
            problem(headerRow, FindingLevel::Error,
                    "「" + rosterColumnName(f) +
                        "」の列が 2 つあります。どちらを使うか決められ"
                        "ません。");
            continue;
        }
        column[static_cast<size_t>(f)] = static_cast<int>(c);
        if (f == kBirthYearField && headerKey(header[c]) == "学年")
            gradeHeader = trimBlanks(header[c]);
    }
    if (!unknown.empty()) {
        std::string list;
        for (const std::string& u : unknown)
            list += u;
        problem(headerRow, FindingLevel::Warning, "見出し " + list + " の列は名簿に入りません。");
    }
    for (int f : {kNumberField, kBirthYearField, kNameField})
        if (column[static_cast<size_t>(f)] < 0)
            problem(headerRow, FindingLevel::Error,
                    "「" + rosterColumnName(f) + "」" +
                        (f == kBirthYearField ? "（または「学年」）" : "") +
                        "の見出しの列がありません。1 行目に、番号、生まれ年、項目3、項目4、名前、"
                        "状態、項目7、項目8 の見出しを書きます。");
    if (im.hasErrors()) return im;

    for (size_t r = headerAt + 1; r < cells.size(); ++r) {
        if (blankRow(cells[r])) continue;
        const int sheetRow = static_cast<int>(r) + 1;
        RosterRow row;
        row.where = rowName(sheetRow);
        for (int f = 0; f < kRosterFields; ++f) {
            const int c = column[static_cast<size_t>(f)];
            std::string cell = c >= 0 && static_cast<size_t>(c) < cells[r].size()
                                   ? cells[r][static_cast<size_t>(c)]
                                   : std::string();
            if (!isTextField(f)) cell = trimBlanks(cell);
            if (f == kBirthYearField && !gradeHeader.empty()) {
                // A column headed 学年 holds grades as teachers write them;
                // a birth year of four digits is taken as one too.
                const std::string plain = headerKey(cell);
                const bool year =
                    plain.size() == 4 && std::all_of(plain.begin(), plain.end(),
                                                     [](char d) { return d >= '0' && d <= '9'; });
                if (year)
                    cell = plain;
                else if (const std::optional<int> g = gradeOfText(cell))
                    cell = std::to_string(settings.schoolYear - 6 - *g);
                else if (!plain.empty() && gradeRows.insert(sheetRow).second)
                    problem(sheetRow, FindingLevel::Error,
                            "「" + gradeHeader + "」の列の「" + cell +
                                "」を学年として読めません。3、3年、小3、小学3年、中1 のように"
                                "書くか、見出しを「生まれ年」にして生まれた年度を 4 けたで書きま"
                                "す。");
            } else if (f == kBirthYearField) {
                if (const std::optional<int> g = gradeOfCell(cell))
                    cell = std::to_string(settings.schoolYear - 6 - *g);
            }
            if (isTextField(f)) {
                if (const std::optional<std::string> bad = firstUnwritable(cell))
                    problem(sheetRow, FindingLevel::Error,
                            rosterColumnName(f) + "「" + cell + "」の文字 " + *bad +
                                " は、名簿の文字コード（シフトJIS）で書けません。ほかの字に直"
                                "して下さい。");
                else if (const std::optional<std::string> why = unwritableField(cell))
                    problem(sheetRow, FindingLevel::Error, rosterColumnName(f) + *why);
            }
            row.fields[static_cast<size_t>(f)] = std::move(cell);
        }
        im.rows.push_back(std::move(row));
        im.sheetRows.push_back(sheetRow);
    }
    if (im.rows.empty()) {
        problem(headerRow, FindingLevel::Error,
                "見出しの下に生徒の行がありません。空の名簿は書きません。");
        return im;
    }
    // A grade that could not be read is told once, by its column, not again
    // as a birth year.
    const std::string birthYear = rosterColumnName(kBirthYearField);
    for (const RosterFinding& f : checkRosterRows(im.rows, settings)) {
        const int row = im.sheetRows[f.row];
        if (gradeRows.count(row) && f.message.find("：" + birthYear) != std::string::npos) continue;
        im.problems.push_back({row, f.level, f.message});
    }
    std::stable_sort(im.problems.begin(), im.problems.end(),
                     [](const SheetProblem& a, const SheetProblem& b) { return a.row < b.row; });
    return im;
}

std::optional<std::string> unwritableField(std::string_view field) {
    if (field.find_first_of("\r\n") != std::string_view::npos)
        return std::string("に改行が入っています。名簿の 1 人は 1 行なので、改行を消して下さい。");
    if (needsQuotes(field) && field.find('"') != std::string_view::npos)
        return "「" + std::string(field) +
               "」は、「\"」と、コンマか前後の空白が両方あるので、名簿に書けません。どちらかを"
               "消して下さい。";
    return std::nullopt;
}

std::string rosterFileText(const std::vector<RosterRow>& rows) {
    std::string text;
    for (const RosterRow& row : rows) {
        for (int f = 0; f < kRosterFields; ++f) {
            if (f) text += ",";
            text += writtenField(row.fields[static_cast<size_t>(f)]);
        }
        text += kLineEnd;
    }
    return text;
}

std::vector<std::string> nameScreenLines(std::string_view rosterText, const ResultsSummary& summary,
                                         const SharedConfig& config, int16_t schoolYear) {
    auto roster = std::make_unique<RosterTables>();
    roster->SchoolYear = schoolYear;
    NameListState lists;
    startNameLists(lists);
    readRosterBytes(*roster, lists, summary, utf8ToCp932(rosterText), kRosterFile, config);
    filterNameLists(lists, *roster);
    return std::vector<std::string>(lists.List1.begin() + 1, lists.List1.end());
}

PreviewFigures previewFigures(const LogAccess& log, const std::filesystem::path& criteriaFile) {
    PreviewFigures out;
    CriteriaTable criteria;
    try {
        criteria = readCriteriaFile(criteriaFile);
    } catch (const FileError& e) {
        out.error =
            "レベルの基準が読めないので、名前の画面の成績を出せません。" + std::string(e.what());
        return out;
    }
    auto summary = std::make_unique<ResultsSummary>();
    SummaryScope scope;
    scope.read.missingIsEmpty = true;
    scope.read.createMissing = false;
    RunEntries runs;
    const LogStatus status = BuildSummary(*summary, runs, criteria, log, scope);
    if (!status.ok()) {
        out.error = "成績のファイル「" + displayPath(log.path) +
                    "」が読めないので、名前の画面の成績を出せません。（" + status.message + "）";
        return out;
    }
    out.summary = std::move(summary);
    return out;
}

std::string keptRosterName(int year, int month, int day, int secondsOfDay) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "_%04d%02d%02d_%02d%02d%02d.txt", year, month, day,
                  secondsOfDay / 3600, secondsOfDay / 60 % 60, secondsOfDay % 60);
    return "新名簿" + std::string(buf);
}

} // namespace kestrel
