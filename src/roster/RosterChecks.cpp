#include "roster/RosterChecks.h"

#include <map>

#include "text/Characters.h"
#include "text/ItemReader.h"

namespace kestrel {
namespace {

struct Checker {
    const std::vector<RosterRow>& rows;
    const RosterCheckSettings& settings;
    std::vector<RosterFinding> findings;
    std::map<int, size_t> firstOfNumber;

    void add(size_t row, FindingLevel level, const std::string& text) {
        findings.push_back({row, level, rows[row].where + "：" + text});
    }

    void check(size_t r) {
        const RosterRow& row = rows[r];
        if (!row.complete) {
            add(r, FindingLevel::Error,
                "項目が 8 つそろわないまま名簿が終わっています。プログラムは名簿を読めずに止まり"
                "ます。1 人 1 行、8 項目（足りない項目はコンマだけ）で書きます。");
            return;
        }
        std::array<int16_t, kRosterFields> n{};
        bool numbersRead = true;
        for (int f : kNumberFields) {
            const RosterNumber read =
                readRosterNumber(row.fields[static_cast<size_t>(f)], n[static_cast<size_t>(f)]);
            if (read == RosterNumber::Ok) continue;
            numbersRead = false;
            add(r, FindingLevel::Error,
                std::string(rosterFieldName(f)) + "「" +
                    trimBlanks(row.fields[static_cast<size_t>(f)]) + "」が" +
                    (read == RosterNumber::TooLarge ? "大きすぎます" : "数ではありません") +
                    "。プログラムは名簿を読めずに止まります。項目の数がちがって、ずれていることも"
                    "あります。");
        }
        if (!numbersRead) return;

        const int number = n[kNumberField];
        if (number < 0 || number > kMaxStudent) {
            add(r, FindingLevel::Error,
                "番号 " + std::to_string(number) +
                    " は 0 から 5000 の外です。プログラムは名簿を読めずに止まります。1 から 5000 "
                    "の番号にします。");
            return;
        }
        if (number == 0)
            add(r, FindingLevel::Error,
                "番号が 0 です。番号 0 の人の成績は、どの集計にも入りません。1 から 5000 の番号に"
                "します。");
        const auto [first, isNew] = firstOfNumber.emplace(number, r);
        if (!isNew)
            add(r, FindingLevel::Error,
                "番号 " + std::to_string(number) + " は " + rows[first->second].where +
                    " と同じです。2 人の成績がまざります。一人ひとりにちがう番号をつけます。");

        const int status = n[kStatusField];
        if (status != 0 && status != 1 && status != 2)
            add(r, FindingLevel::Warning,
                "状態 " + std::to_string(status) +
                    " は 0（出す）、1（出さない）、2（見学など）のどれでもないので、名前の画面に出"
                    "ません。");
        const bool listed = status == 0 || (status == 2 && settings.listStatus2);

        const std::string name = trimSpaces(row.fields[kNameField]);
        const size_t length = characterCount(name);
        if (length == 0)
            add(r, FindingLevel::Warning, "名前がありません。名前の画面には空の行が出ます。");
        else if (length > static_cast<size_t>(kRosterTextLength))
            add(r, FindingLevel::Warning,
                "名前「" + name + "」が " + std::to_string(length) + " 文字で、" +
                    std::to_string(kRosterTextLength) + " 文字より後ろが切れます。");
        else if (listed && length > static_cast<size_t>(kNameCharactersShown))
            add(r, FindingLevel::Warning,
                "名前「" + name + "」が " + std::to_string(length) +
                    " 文字で、一覧に入りきりません（" + std::to_string(kNameCharactersShown) +
                    " 文字まで）。名前の画面で右の数字がずれ、成績の一覧では切れます。");

        // A teacher has no grade, and a student who is not listed needs none.
        const int grade = GradeNumber(settings.schoolYear, n[kBirthYearField]);
        if (listed && !isTeacherName(name) && GradeLabel(grade).empty())
            add(r, FindingLevel::Warning,
                "生まれ年 " + std::to_string(n[kBirthYearField]) + " では、" +
                    std::to_string(settings.schoolYear) + "年度の学年が「" + GradeTag(grade) +
                    "」になり、学年の名前（幼３、小１〜中３、高１）がつきません。生まれ年は、生"
                    "まれた年度を 4 けたで書きます。");
    }
};

} // namespace

std::vector<RosterRow> rosterRows(std::string_view text) {
    std::vector<RosterRow> rows;
    ItemReader reader{std::string(text)};
    while (!reader.atEnd()) {
        RosterRow row;
        row.where = std::to_string(rows.size() + 1) + "人目";
        for (std::string& field : row.fields) {
            std::optional<std::string> item = reader.next();
            if (!item) {
                row.complete = false;
                break;
            }
            field = std::move(*item);
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

std::vector<RosterFinding> checkRosterRows(const std::vector<RosterRow>& rows,
                                           const RosterCheckSettings& settings) {
    Checker c{rows, settings, {}, {}};
    for (size_t r = 0; r < rows.size(); ++r)
        c.check(r);
    return std::move(c.findings);
}

} // namespace kestrel
