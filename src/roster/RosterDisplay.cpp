#include "roster/RosterDisplay.h"

#include <cerrno>
#include <filesystem>
#include <stdexcept>

#include "platform/SharedFile.h"
#include "platform/Utf8Path.h"
#include "text/Characters.h"
#include "text/Cp932.h"
#include "text/LeadingNumber.h"

namespace kestrel {
namespace {

// The system's error as the teacher reads it, naming the file.
std::string describeFailure(const FileStatus& s, const std::string& file) {
    const std::string f = "「" + file + "」";
    if (s.fault == FileFault::NotFound) return f + "が見つかりません。";
    // A read refused on a share is a refusal too.
    if (s.fault == FileFault::Refused || s.fault == FileFault::Sharing)
        return f + "を開く許可がありません。";
    if (s.isFolder()) return f + "はフォルダーです。";
    if (s.storageFailed()) return f + "の読み込み中に入出力エラーが起きました。";
    return f + "を読めません（" + s.description + "）。";
}

std::string rosterFileBytes(const std::filesystem::path& path, const std::string& name) {
    std::string bytes;
    const FileStatus s = readWholeFile(localFileSystem(), path, bytes);
    if (!s.ok()) throw RosterError(describeFailure(s, name), s.number);
    return bytes;
}

// The entries of the roster's bytes, through the CP932 decoding. Throws RosterError.
std::vector<RosterFileEntry> rosterEntriesOf(std::string_view bytes, const std::string& name) {
    std::string text;
    try {
        text = cp932ToUtf8(bytes);
    } catch (const std::invalid_argument&) {
        throw RosterError(rosterEncodingMessage(name), EILSEQ, true);
    }
    return parseRoster(text, name);
}

// The roster tables and List2 from the entries of the file named `name`.
void buildRoster(RosterTables& t, NameListState& s, const ResultsSummary& summary,
                 const std::vector<RosterFileEntry>& entries, const std::string& name,
                 const SharedConfig& config) {
    const bool listStatus2 = leadingNumber(config.ListStatus2Entries) == 1;

    const std::vector<StudentFigures> figures = allStudentFigures(summary);
    std::vector<std::string> lines;
    lines.reserve(entries.size());
    s.List2.clear();
    t.Roster.assign(1, RosterEntry{});
    t.Roster.reserve(entries.size() + 1);
    int p = 0;
    for (const RosterFileEntry& fe : entries) {
        const RosterEntry& e = fe.entry;
        if (e.number < 0 || e.number > kMaxStudent)
            throw RosterError("「" + name + "」の番号 " + std::to_string(e.number) +
                                  " は 0 から 5000 の外です。",
                              ERANGE);
        const auto n = static_cast<size_t>(e.number);
        t.StudentNames[n] = e.name;
        t.BirthYears[n] = e.birthYear;
        const int grade = GradeNumber(t.SchoolYear, e.birthYear);
        if (grade >= 0 && grade <= 10) t.GradeLabels[n] = GradeLabel(grade);

        const int16_t status = (fe.status == 2 && listStatus2) ? int16_t{0} : fe.status;
        if (status != 0) continue;
        // Only a listed student needs a place; unlisted ones after the
        // 5000th never overflow the table.
        if (p + 1 > kMaxStudent)
            throw RosterError("「" + name + "」に表示する生徒が 5000 人を超えています。", ERANGE);
        ++p;
        t.RosterNumbers[static_cast<size_t>(p)] = e.number;
        t.Roster.push_back(e);
        s.progressMarker = 4;
        if (auto line = RosterLine(e, grade, s.NameListMode, figures[n]))
            lines.push_back(std::move(*line));
        s.progressMarker = 3;
    }
    // Sorted at once, in the order adding them one by one would give.
    s.List2.assign(std::move(lines));
    s.progressMarker = 10;
    t.RosterCount = static_cast<int16_t>(p);
}

} // namespace

std::vector<RosterFileEntry> readRosterEntries(const std::string& sharedFolder) {
    const std::filesystem::path path = pathFromUtf8(sharedFolder, kRosterFile);
    const std::string name = displayPath(path);
    return rosterEntriesOf(rosterFileBytes(path, name), name);
}

void readRosterBytes(RosterTables& t, NameListState& s, const ResultsSummary& summary,
                     std::string_view bytes, const std::string& name, const SharedConfig& config) {
    buildRoster(t, s, summary, rosterEntriesOf(bytes, name), name, config);
}

void readRoster(RosterTables& t, NameListState& s, const ResultsSummary& summary,
                const std::string& sharedFolder, const SharedConfig& config) {
    const std::string name = displayPath(pathFromUtf8(sharedFolder, kRosterFile));
    buildRoster(t, s, summary, readRosterEntries(sharedFolder), name, config);
}

std::string chosenNameText(std::string_view line) {
    return trimSpaces(firstCharacters(line, 10));
}

// Up to the first "/": a name holding a "/" shows only its part before it.
std::string signedInNameText(std::string_view line) {
    const size_t slash = line.find('/');
    return trimSpaces(slash == std::string_view::npos ? line : line.substr(0, slash));
}

std::string markerText(double marker) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g", marker);
    return buf;
}

void startNameLists(NameListState& s) {
    s.List1.assign(1, kNobodyLine);
    s.List2.clear();
    s.List3.clear();
    s.List4.clear();
    s.numbers.clear();
    s.List1Index = -1;
}

void filterNameLists(NameListState& s, const RosterTables& t) {
    for (const std::string& line : s.List2.lines()) {
        const RosterLineParts parts = splitRosterLine(line);
        if (!GradeFilterKeeps(s.filterText, GradeNumber(t.SchoolYear, parts.birthYear))) continue;
        s.List1.push_back(parts.shown);
        s.List3.push_back(parts.kept);
        s.numbers.push_back(parts.number);
    }
    s.List1Index = 0;
}

int NameListState::numberOfLine(int line) const {
    if (line < 1 || static_cast<size_t>(line) > numbers.size()) return -1;
    return numbers[static_cast<size_t>(line - 1)];
}

} // namespace kestrel
