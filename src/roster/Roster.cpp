#include "roster/Roster.h"

#include <cerrno>
#include <charconv>
#include <cstdlib>

#include "results/ResultsSummary.h"
#include "text/Characters.h"
#include "text/ItemReader.h"

namespace kestrel {
namespace {

const char* const kIdeographicSpace = "\u3000";

std::string lastChars(const std::string& text, size_t k) {
    return text.size() <= k ? text : text.substr(text.size() - k);
}

std::string rightAligned(int64_t n, size_t spaces, size_t width) {
    return lastChars(std::string(spaces, ' ') + std::to_string(n), width);
}

const char* const kFieldNames[kRosterFields] = {"番号", "生まれ年", "項目3", "項目4",
                                                "名前", "状態",     "項目7", "項目8"};

int16_t numberField(const std::string& text, int field, int entryIndex,
                    const std::string& fileName) {
    int16_t value = 0;
    const RosterNumber read = readRosterNumber(text, value);
    if (read == RosterNumber::Ok) return value;
    const std::string where = "「" + fileName + "」の" + std::to_string(entryIndex) + "人目の" +
                              kFieldNames[field] + "「" + trimBlanks(text) + "」";
    if (read == RosterNumber::TooLarge) throw RosterError(where + "が大きすぎます。", ERANGE);
    throw RosterError(where + "が数ではありません。", EINVAL);
}

} // namespace

RosterNumber readRosterNumber(std::string_view text, int16_t& value) {
    value = 0;
    const std::string t = trimBlanks(text);
    if (t.empty()) return RosterNumber::Ok;
    const char* begin = t.data();
    const char* end = t.data() + t.size();
    if (*begin == '+') ++begin;
    int v = 0;
    const auto [ptr, ec] = std::from_chars(begin, end, v);
    if (ec == std::errc::result_out_of_range ||
        (ec == std::errc() && ptr == end && (v < INT16_MIN || v > INT16_MAX)))
        return RosterNumber::TooLarge;
    if (ec != std::errc() || ptr != end) return RosterNumber::NotANumber;
    value = static_cast<int16_t>(v);
    return RosterNumber::Ok;
}

bool isTeacherName(std::string_view name) {
    return name.find("★") != std::string_view::npos || name.find("先生") != std::string_view::npos;
}

const char* rosterFieldName(int field) {
    return field >= 0 && field < kRosterFields ? kFieldNames[field] : "";
}

RosterTables::RosterTables() : Roster(1) {}

std::string rosterEncodingMessage(const std::string& file) {
    return "名簿「" + file +
           "」の文字コードがシフトJIS(CP932)ではありません（表計算ソフトの UTF-8 の CSV など）。"
           "「kestrel-roster --from \"" +
           file +
           "\" --write」で、シフトJIS(CP932)の名簿に書きなおせます（今のファイルは日付つきの"
           "名前で残ります）。";
}

std::vector<RosterFileEntry> parseRoster(std::string_view text, const std::string& fileName) {
    std::vector<RosterFileEntry> entries;
    ItemReader reader{std::string(text)};
    while (!reader.atEnd()) {
        const int index = static_cast<int>(entries.size()) + 1;
        std::array<std::string, kRosterFields> f;
        for (int i = 0; i < kRosterFields; ++i) {
            std::optional<std::string> item = reader.next();
            if (!item)
                throw RosterError("「" + fileName + "」の" + std::to_string(index) +
                                      "人目の項目が途中で終わっています。",
                                  EINVAL);
            f[static_cast<size_t>(i)] = std::move(*item);
        }
        RosterFileEntry e;
        e.entry.number = numberField(f[0], 0, index, fileName);
        e.entry.birthYear = numberField(f[1], 1, index, fileName);
        e.entry.extra1 = numberField(f[2], 2, index, fileName);
        e.entry.extra2 = numberField(f[3], 3, index, fileName);
        e.entry.name = fixedText(f[4], kRosterTextLength);
        e.status = numberField(f[5], 5, index, fileName);
        e.entry.extraText1 = fixedText(f[6], kRosterTextLength);
        e.entry.extraText2 = fixedText(f[7], kRosterTextLength);
        entries.push_back(std::move(e));
    }
    return entries;
}

StudentFigures studentFigures(const ResultsSummary& summary, int number) {
    StudentFigures f;
    if (number < 0 || number > kMaxStudent) return f;
    const auto s = static_cast<size_t>(number);
    double today = 0;
    for (size_t level = 1; level <= static_cast<size_t>(kMaxLevel); ++level) {
        today += summary.countToday[level][s];
        f.pointsToday += summary.pointsToday[level][s];
        f.countAll += summary.countAll[level][s];
        f.pointsAll += summary.pointsAll[level][s];
    }
    f.countToday = static_cast<int64_t>(today);
    return f;
}

std::vector<StudentFigures> allStudentFigures(const ResultsSummary& summary) {
    std::vector<StudentFigures> all(static_cast<size_t>(kMaxStudent) + 1);
    std::vector<double> today(all.size(), 0.0);
    for (size_t level = 1; level <= static_cast<size_t>(kMaxLevel); ++level) {
        for (size_t s = 0; s < all.size(); ++s) {
            today[s] += summary.countToday[level][s];
            all[s].pointsToday += summary.pointsToday[level][s];
            all[s].countAll += summary.countAll[level][s];
            all[s].pointsAll += summary.pointsAll[level][s];
        }
    }
    for (size_t s = 0; s < all.size(); ++s)
        all[s].countToday = static_cast<int64_t>(today[s]);
    return all;
}

std::string todayRunsText(int64_t n) {
    return n != 0 ? rightAligned(n, 2, 3) + "回" : "     ";
}

std::string todayPointsText(int64_t n) {
    return n != 0 ? rightAligned(n, 3, 4) : std::string("  ") + kIdeographicSpace;
}

std::string totalRunsText(int64_t n) {
    return n != 0 ? rightAligned(n, 6, 5) + "回" : std::string("     ") + kIdeographicSpace;
}

std::string totalPointsText(int64_t n) {
    return n != 0 ? rightAligned(n, 6, 7) : "       ";
}

std::string birthYearText(int birthYear) {
    if (birthYear >= 0 && birthYear < 1000) {
        std::string digits = std::to_string(birthYear);
        return std::string(4 - digits.size(), '0') + digits;
    }
    return std::to_string(birthYear);
}

std::optional<std::string> RosterLine(const RosterEntry& entry, int gradeNumber, int NameListMode,
                                      const StudentFigures& figures) {
    std::string first, second;
    switch (NameListMode) {
    case 0:
        first = todayRunsText(figures.countToday);
        second = totalRunsText(figures.countAll);
        break;
    case 1:
        first = todayPointsText(figures.pointsToday);
        second = totalPointsText(figures.pointsAll);
        break;
    case 2:
        first = todayPointsText(figures.pointsToday);
        second = todayRunsText(figures.countToday);
        break;
    case 3:
        first = totalPointsText(figures.pointsAll);
        second = totalRunsText(figures.countAll);
        break;
    default:
        return std::nullopt;
    }
    const size_t width = (gradeNumber <= 0 && NameListMode != 1) ? 11 : 9;
    std::string line = birthYearText(entry.birthYear);
    const std::string nameColumn = GradeTag(gradeNumber) + " " + trimSpaces(entry.name);
    line += nameColumn;
    // A name too long for the column gets no padding rather than a negative count.
    for (size_t n = characterCount(nameColumn); n < width; ++n)
        line += kIdeographicSpace;
    line += first + "/" + second + "*" + std::to_string(entry.number);
    return line;
}

RosterLineParts splitRosterLine(std::string_view line) {
    RosterLineParts parts;
    size_t yearEnd = 0;
    if (yearEnd < line.size() && line[yearEnd] == '-') ++yearEnd;
    while (yearEnd < line.size() && line[yearEnd] >= '0' && line[yearEnd] <= '9')
        ++yearEnd;
    parts.birthYear = std::atoi(std::string(line.substr(0, yearEnd)).c_str());
    // The number follows the last "*": a name may hold one too.
    const size_t star = line.rfind('*');
    const std::string_view rest = line.substr(yearEnd);
    if (star == std::string_view::npos || star < yearEnd) {
        parts.shown = std::string(rest);
        parts.kept = std::string(rest);
        return parts;
    }
    parts.shown = std::string(line.substr(yearEnd, star - yearEnd));
    parts.kept = std::string(rest);
    int number = 0;
    const std::string_view digits = line.substr(star + 1);
    const auto [ptr, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
    if (ec == std::errc() && ptr != digits.data()) parts.number = number;
    return parts;
}

} // namespace kestrel
