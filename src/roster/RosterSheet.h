#pragma once
// The roster as a spreadsheet file and back. A school keeps its class lists
// in a spreadsheet; the roster tool writes "新名簿.txt" as a CSV file with a
// header row and reads such a file back, checks it by the roster's rules
// and makes the roster's text from it.
//
// A CSV file may be UTF-8 (with or without a byte-order mark) or CP932,
// which is told by its bytes. Columns are found by their header names in
// any order; the birth-year column also takes a grade of the school year
// under way ("小１".."中３", half-width digits too), which becomes the birth
// year by the grade rule. A text that CP932 cannot hold is an error naming
// the row and the character: nothing is replaced.
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "results/ResultsSummary.h"
#include "roster/RosterChecks.h"
#include "startup/AppFolders.h"

namespace kestrel {

enum class SheetEncoding { Cp932, Utf8, Utf8WithBom };

// The header row's name of field 0..7, as the CSV file has them.
std::string rosterColumnName(int field);

// The rows of a roster text (UTF-8, as read from the file) as a CSV file:
// the header row, then one row per entry with its fields as read; CR LF;
// CP932, or UTF-8 with a byte-order mark.
std::string rosterSheet(const std::vector<RosterRow>& rows, bool utf8);

// A problem of the CSV file. `row` is the spreadsheet's row (1 is the
// header row), 0 for the file as a whole.
struct SheetProblem {
    int row = 0;
    FindingLevel level = FindingLevel::Error;
    std::string message; // Japanese, beginning with the row
};

struct RosterImport {
    SheetEncoding encoding = SheetEncoding::Cp932;
    // The file has no header row and begins with a number: a roster of the
    // roster's own layout (eight fields an entry) in another encoding. Its
    // rows are named by the entry ("3人目").
    bool rosterLayout = false;
    std::vector<RosterRow> rows;        // one per student row, `where` naming its spreadsheet row
    std::vector<int> sheetRows;         // the spreadsheet row of each
    std::vector<SheetProblem> problems; // in the order of the rows
    bool hasErrors() const;
    // The roster's text of the rows (UTF-8, CR LF), of those without an
    // error when `withoutErrors`.
    std::string rosterText(bool withoutErrors = false) const;
};

// A spreadsheet file's text as UTF-8 and its encoding, told by its bytes;
// nothing when they are neither UTF-8 nor CP932 (or a byte-order mark
// stands before bytes that are no UTF-8).
std::optional<std::string> sheetText(std::string_view bytes, SheetEncoding& encoding);
// The first character of UTF-8 text that CP932 has not, as messages show
// it ("「𠮷」（U+20BB7）"); nothing when CP932 holds it all.
std::optional<std::string> unwritableCharacter(std::string_view text);

// Reads a CSV file's bytes, converts grades to birth years and checks the
// rows by the roster's rules for `settings`. A column headed 学年 holds
// grades as teachers write them (gradeOfText); one it cannot read is an
// error naming the column.
RosterImport importRosterSheet(std::string_view bytes, const RosterCheckSettings& settings);

// A roster's text: eight fields a line, each in double quotes where the
// roster's reader needs them (a comma, blanks at either end), CR LF.
std::string rosterFileText(const std::vector<RosterRow>& rows);
// Why a field cannot be written so that the roster's reader gives it back
// (a line break, or quotes where the field must be quoted); nothing when it can.
std::optional<std::string> unwritableField(std::string_view field);

// The lines of the name screen's list (without its line 0) for a roster
// text (UTF-8), with the figures of `summary`, all grades, NameListMode 0.
// Throws RosterError when the text is no roster.
std::vector<std::string> nameScreenLines(std::string_view rosterText, const ResultsSummary& summary,
                                         const SharedConfig& config, int16_t schoolYear);

// The figures beside the names in the tool's preview: those of the log as
// it stands, which is neither created nor changed; a missing log has none.
// When the criteria or the log cannot be read there are no figures, and
// `error` says which file and the system's reason: zeros would pass for a
// class that never practised.
struct PreviewFigures {
    std::unique_ptr<ResultsSummary> summary; // null when `error` is set
    std::string error;                       // Japanese
};
PreviewFigures previewFigures(const LogAccess& log, const std::filesystem::path& criteriaFile);

// The dated name the previous roster is kept under: "新名簿_20260405_153012.txt".
std::string keptRosterName(int year, int month, int day, int secondsOfDay);

} // namespace kestrel
