#include "roster/OneRoster.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <map>
#include <optional>
#include <set>

#include "platform/Utf8Path.h"
#include "results/ResultRecord.h"
#include "roster/Grades.h"
#include "roster/Zip.h"
#include "text/Characters.h"
#include "text/Cp932.h"
#include "text/CsvText.h"
#include "text/ItemReader.h"

namespace kestrel {
namespace {

namespace fs = std::filesystem;

const char* const kLineEnd = "\r\n";
const char* const kNumberHeader = "番号,sourcedId,userMasterIdentifier,名前,生まれ年";

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

bool endsWithCsv(const std::string& name) {
    return lower(name).ends_with(".csv");
}

// The name of a file without the folders in front of it.
std::string baseName(const std::string& name) {
    const size_t slash = name.find_last_of("/\\");
    return slash == std::string::npos ? name : name.substr(slash + 1);
}

std::string quoted(const std::string& text) {
    return "「" + text + "」";
}

// A whole number of the package's cells ("5", " 12 "); nothing for any other text.
std::optional<int> wholeNumber(std::string_view text) {
    const std::string t = trimBlanks(text);
    if (t.empty() || t.size() > 9) return std::nullopt;
    int value = 0;
    for (const char c : t) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

// One CSV file of the package: its header, and its rows with the CSV row
// each came from (the header's row is headerLine).
struct Table {
    std::string file;
    bool present = false;
    int headerLine = 0;
    std::vector<std::string> header;
    std::vector<std::vector<std::string>> rows;
    std::vector<int> line;
    int statusColumn = -1;

    // The column of a header name, compared without case ("shussekiNo" and
    // "ShussekiNo" are one column); -1 when there is none.
    int column(std::string_view name) const {
        const std::string want = lower(name);
        for (size_t c = 0; c < header.size(); ++c)
            if (lower(header[c]) == want) return static_cast<int>(c);
        return -1;
    }
    std::string at(size_t row, int c) const {
        if (c < 0 || static_cast<size_t>(c) >= rows[row].size()) return {};
        return trimBlanks(rows[row][static_cast<size_t>(c)]);
    }
    // A row that a bulk package marks for deletion takes no part.
    bool deleted(size_t row) const { return lower(at(row, statusColumn)) == "tobedeleted"; }
};

class Problems {
public:
    explicit Problems(std::vector<SheetProblem>& out) : m_out(out) {}

    // "users.csv の 5行目、familyName の列：" and the text.
    void at(FindingLevel level, const Table& t, int line, std::string_view column,
            const std::string& text) {
        std::string where = t.file + " の " + std::to_string(line) + "行目";
        if (!column.empty()) where += "、" + std::string(column) + " の列";
        m_out.push_back({0, level, where + "：" + text});
    }
    void error(const Table& t, int line, std::string_view column, const std::string& text) {
        at(FindingLevel::Error, t, line, column, text);
    }
    void warning(const Table& t, int line, std::string_view column, const std::string& text) {
        at(FindingLevel::Warning, t, line, column, text);
    }
    void file(const std::string& file, const std::string& text) {
        m_out.push_back({0, FindingLevel::Error, file + "：" + text});
    }

private:
    std::vector<SheetProblem>& m_out;
};

const PackageFile* findFile(const std::vector<PackageFile>& files, const std::string& name) {
    for (const PackageFile& f : files)
        if (lower(f.name) == lower(name)) return &f;
    return nullptr;
}

Table tableOf(const std::vector<PackageFile>& files, const std::string& name, Problems& problems) {
    Table t;
    t.file = name;
    const PackageFile* f = findFile(files, name);
    if (!f) return t;
    SheetEncoding encoding;
    const std::optional<std::string> text = sheetText(f->bytes, encoding);
    if (!text) {
        problems.file(name,
                      "文字コードが UTF-8 として読めません。書き出したままのファイルを使います。");
        return t;
    }
    t.present = true;
    const auto cells = csvRows(*text);
    for (size_t r = 0; r < cells.size(); ++r) {
        if (std::all_of(cells[r].begin(), cells[r].end(),
                        [](const std::string& c) { return trimBlanks(c).empty(); }))
            continue;
        if (t.headerLine == 0) {
            t.headerLine = static_cast<int>(r) + 1;
            for (const std::string& h : cells[r])
                t.header.push_back(trimBlanks(h));
            continue;
        }
        t.rows.push_back(cells[r]);
        t.line.push_back(static_cast<int>(r) + 1);
    }
    if (t.headerLine == 0) t.headerLine = 1;
    t.statusColumn = t.column("status");
    return t;
}

// The columns a file must have; false when one is missing (each is told).
bool requireColumns(const Table& t, std::initializer_list<const char*> names, Problems& problems) {
    bool all = true;
    for (const char* name : names)
        if (t.column(name) < 0) {
            problems.error(t, t.headerLine, name,
                           "見出しにこの列がありません。" + t.file + " には、かならず要ります。");
            all = false;
        }
    return all;
}

// The grade code of a package's grade ("P3", "J1", "H2", "E3").
std::optional<int> packageGrade(std::string_view cell) {
    for (const std::string& part : readItems(cell)) {
        const std::string g = trimBlanks(part);
        if (g.size() != 2 || g[1] < '1' || g[1] > '9') continue;
        const int n = g[1] - '0';
        switch (g[0]) {
        case 'P':
        case 'p':
            if (n <= 6) return n;
            break;
        case 'J':
        case 'j':
            if (n <= 3) return n + 6;
            break;
        case 'H':
        case 'h':
            if (n <= 3) return n + 9;
            break;
        case 'E':
        case 'e':
            if (n <= 3) return n - 3; // the three kindergarten years
            break;
        }
    }
    return std::nullopt;
}

// The school year a session's start date falls in ("2025-04-01").
std::optional<int> yearOfDate(std::string_view date, int startMonth) {
    if (date.size() < 7 || date[4] != '-') return std::nullopt;
    const std::optional<int> y = wholeNumber(date.substr(0, 4));
    const std::optional<int> m = wholeNumber(date.substr(5, 2));
    if (!y || !m || *m < 1 || *m > 12) return std::nullopt;
    return schoolYearOf(*y, *m, startMonth);
}

// The year of a title such as "2025年度" (full-width digits too).
std::optional<int> yearOfTitle(std::string_view title) {
    std::string digits;
    for (size_t i = 0; i < title.size();) {
        const Utf8Char c = utf8At(title, i);
        const size_t n = c.length ? c.length : 1;
        if (c.code >= '0' && c.code <= '9')
            digits += static_cast<char>(c.code);
        else if (c.code >= 0xFF10 && c.code <= 0xFF19)
            digits += static_cast<char>('0' + (c.code - 0xFF10));
        else if (digits.size() == 4 && title.substr(i).starts_with("年度"))
            return wholeNumber(digits);
        else
            digits.clear();
        i += n;
    }
    return std::nullopt;
}

// Names as the name screen shows them: family name first, the parts run
// together, a blank only between two parts written in Latin letters.
std::string joinedName(const std::vector<std::string>& parts) {
    std::string name;
    for (const std::string& p : parts) {
        if (p.empty()) continue;
        const auto latin = [](char c) {
            return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
        };
        if (!name.empty() && latin(name.back()) && latin(p.front())) name += ' ';
        name += p;
    }
    return name;
}

// A name compared across the roster and the package: blanks do not count.
std::string nameKey(std::string_view name) {
    std::string out;
    for (size_t i = 0; i < name.size();) {
        const Utf8Char c = utf8At(name, i);
        const size_t n = c.length ? c.length : 1;
        if (c.code != ' ' && c.code != '\t' && c.code != 0x3000) out += name.substr(i, n);
        i += n;
    }
    return out;
}

struct Session {
    std::string parent;
    int year = 0;
};

struct Class {
    std::string id, title, code, school, grades;
    int year = 0;
    int line = 0;
};

// A student's or teacher's place in the classes asked for.
struct Membership {
    size_t cls = 0; // index into the classes
    std::optional<int> seat;
    int line = 0;
};

struct Person {
    size_t user = 0; // row of users.csv
    bool teacher = false;
    size_t cls = 0;
    std::optional<int> seat;
    int enrollmentLine = 0;
    std::string name, kana;
    int birthYear = 0;
    int number = 0;
};

} // namespace

std::vector<PackageFile> packageOfZip(std::string_view bytes, const std::string& zipName) {
    std::vector<ZipFile> entries;
    std::string error;
    if (!readZip(bytes, entries, error)) throw RosterError(quoted(zipName) + "：" + error, EINVAL);
    std::vector<PackageFile> files;
    for (ZipFile& e : entries) {
        const std::string name = baseName(e.name);
        if (!endsWithCsv(name)) continue;
        if (findFile(files, name))
            throw RosterError(quoted(zipName) + "：zip の中に " + name +
                                  " が 2 つあります。一つのパッケージだけを zip にします。",
                              EINVAL);
        files.push_back({name, std::move(e.bytes)});
    }
    return files;
}

std::vector<PackageFile> readPackage(const fs::path& path) {
    const std::string shown = displayPath(path);
    std::error_code ec;
    try {
        if (!fs::is_directory(path, ec)) {
            const std::string bytes = readFileBytes(path);
            if (!bytes.starts_with(std::string_view("PK\x03\x04", 4)) &&
                !bytes.starts_with(std::string_view("PK\x05\x06", 4)))
                throw RosterError(quoted(shown) +
                                      "は zip ファイルではありません。OneRoster のパッケージの "
                                      "zip ファイルか、それを展開したフォルダを指定します。",
                                  EINVAL);
            return packageOfZip(bytes, shown);
        }
        // The folder of the files, or the one folder inside it that holds
        // them (a zip unpacked into a folder of its own).
        fs::path folder = path;
        if (!fs::exists(folder / "manifest.csv", ec)) {
            std::vector<fs::path> inner;
            for (const auto& e : fs::directory_iterator(path, ec))
                if (e.is_directory(ec) && fs::exists(e.path() / "manifest.csv", ec))
                    inner.push_back(e.path());
            if (inner.size() == 1) folder = inner[0];
        }
        std::vector<PackageFile> files;
        for (const auto& e : fs::directory_iterator(folder, ec)) {
            const std::string name = utf8OfPath(e.path().filename());
            if (!e.is_regular_file(ec) || !endsWithCsv(name)) continue;
            files.push_back({name, readFileBytes(e.path())});
        }
        if (ec)
            throw RosterError(
                quoted(shown) + "のファイルの一覧を読めません（" + ec.message() + "）。", EIO);
        std::sort(files.begin(), files.end(),
                  [](const PackageFile& a, const PackageFile& b) { return a.name < b.name; });
        return files;
    } catch (const FileError& e) {
        throw RosterError(e.what(), EIO);
    }
}

NumberBook parseNumberBook(std::string_view utf8, const std::string& fileName) {
    NumberBook book;
    const auto rows = csvRows(utf8);
    bool header = false;
    for (size_t r = 0; r < rows.size(); ++r) {
        const auto& cells = rows[r];
        if (std::all_of(cells.begin(), cells.end(),
                        [](const std::string& c) { return trimBlanks(c).empty(); }))
            continue;
        const std::string where = quoted(fileName) + "の " + std::to_string(r + 1) + "行目";
        if (!header) {
            if (trimBlanks(cells[0]) != "番号")
                throw RosterError(
                    where + "が見出し（" + std::string(kNumberHeader) +
                        "）ではありません。このファイルは kestrel-roster が書きます。",
                    EINVAL);
            header = true;
            continue;
        }
        const auto cell = [&](size_t c) { return c < cells.size() ? trimBlanks(cells[c]) : ""; };
        const std::optional<int> number = wholeNumber(cell(0));
        if (!number || *number < 1 || *number > kMaxStudent)
            throw RosterError(
                where + "の番号「" + cell(0) + "」が 1 から 5000 の数ではありません。", EINVAL);
        if (book.count(*number))
            throw RosterError(where + "の番号 " + std::to_string(*number) + " は 2 回目です。",
                              EINVAL);
        NumberedPerson p;
        p.sourcedId = cell(1);
        p.masterId = cell(2);
        p.name = cell(3);
        p.birthYear = wholeNumber(cell(4)).value_or(0);
        book.emplace(*number, std::move(p));
    }
    return book;
}

std::string numberBookText(const NumberBook& book) {
    std::string text = std::string(kNumberHeader) + kLineEnd;
    for (const auto& [number, p] : book)
        text += std::to_string(number) + "," + csvField(p.sourcedId) + "," + csvField(p.masterId) +
                "," + csvField(p.name) + "," + std::to_string(p.birthYear) + kLineEnd;
    return text;
}

LogStatus loggedStudentNumbers(const LogAccess& log, std::vector<bool>& used) {
    class Numbers : public LogReader {
    public:
        explicit Numbers(std::vector<bool>& used) : m_used(used) {}
        void begin() override { m_used.assign(static_cast<size_t>(kMaxStudent) + 1, false); }
        void block(const unsigned char* bytes, size_t count) override {
            for (size_t k = 0; k < count; ++k) {
                const int n = decodeRecordedRun(bytes + k * kResultRecordSize).studentNumber;
                if (n >= 0 && n <= kMaxStudent) m_used[static_cast<size_t>(n)] = true;
            }
        }

    private:
        std::vector<bool>& m_used;
    } numbers(used);
    LogReadOptions options;
    options.lastRecords = kWholeLog;
    options.missingIsEmpty = true;
    options.createMissing = false;
    used.assign(static_cast<size_t>(kMaxStudent) + 1, false);
    return readResultsLog(log, numbers, options);
}

bool OneRosterImport::hasErrors() const {
    return std::any_of(problems.begin(), problems.end(),
                       [](const SheetProblem& p) { return p.level == FindingLevel::Error; });
}

OneRosterImport importOneRoster(const std::vector<PackageFile>& files,
                                const OneRosterSettings& settings, const NumberBook& book,
                                const std::vector<RosterRow>& roster,
                                const std::vector<bool>& used) {
    OneRosterImport im;
    Problems problems(im.problems);

    // The manifest: a bulk package, and which edition.
    const Table manifest = tableOf(files, "manifest.csv", problems);
    if (!manifest.present) {
        problems.file("manifest.csv", "ファイルがありません。OneRoster の CSV のパッケージ（zip "
                                      "ファイルか、それを展開したフォルダ）を指定します。");
        return im;
    }
    if (!requireColumns(manifest, {"propertyName", "value"}, problems)) return im;
    {
        const int name = manifest.column("propertyName"), value = manifest.column("value");
        for (size_t r = 0; r < manifest.rows.size(); ++r) {
            const std::string property = manifest.at(r, name);
            const std::string v = lower(manifest.at(r, value));
            if (lower(property) == "oneroster.version") im.edition = manifest.at(r, value);
            if (lower(property).starts_with("file.") && v == "delta")
                problems.error(manifest, manifest.line[r],
                               manifest.header[static_cast<size_t>(value)],
                               property + " が delta（前からの変更分だけ）です。変更分だけの"
                                          "パッケージからは名簿を作れません。全件（bulk）で書き出"
                                          "したパッケージを使います。");
        }
    }
    if (im.hasErrors()) return im;

    const Table users = tableOf(files, "users.csv", problems);
    const Table enrollments = tableOf(files, "enrollments.csv", problems);
    const Table classesFile = tableOf(files, "classes.csv", problems);
    const Table sessions = tableOf(files, "academicSessions.csv", problems);
    const Table orgs = tableOf(files, "orgs.csv", problems);
    const Table roles = tableOf(files, "roles.csv", problems);
    for (const Table* t : {&users, &enrollments})
        if (!findFile(files, t->file))
            problems.file(t->file, "ファイルがありません。名簿には、生徒と先生（users.csv）と、"
                                   "クラスの名簿（enrollments.csv）が要ります。");
    if (im.hasErrors()) return im;
    bool columns = requireColumns(users, {"sourcedId", "givenName", "familyName"}, problems);
    columns &= requireColumns(enrollments, {"classSourcedId", "userSourcedId", "role"}, problems);
    if (classesFile.present)
        columns &= requireColumns(classesFile, {"sourcedId", "title"}, problems);
    if (sessions.present) columns &= requireColumns(sessions, {"sourcedId", "type"}, problems);
    if (!columns) return im;

    // School years of the sessions: from the start date, the title
    // ("2025年度") or the schoolYear column, or from the session above.
    std::map<std::string, Session> sessionOf;
    if (sessions.present) {
        const int id = sessions.column("sourcedId"), start = sessions.column("startDate"),
                  title = sessions.column("title"), year = sessions.column("schoolYear"),
                  parent = sessions.column("parentSourcedId");
        for (size_t r = 0; r < sessions.rows.size(); ++r) {
            if (sessions.deleted(r)) continue;
            Session s;
            s.parent = sessions.at(r, parent);
            s.year = yearOfDate(sessions.at(r, start), settings.startMonth)
                         .value_or(yearOfTitle(sessions.at(r, title))
                                       .value_or(wholeNumber(sessions.at(r, year)).value_or(0)));
            sessionOf[sessions.at(r, id)] = s;
        }
    }
    const auto yearOfSession = [&](std::string id) {
        for (int depth = 0; depth < 8; ++depth) {
            const auto it = sessionOf.find(id);
            if (it == sessionOf.end()) return 0;
            if (it->second.year > 0) return it->second.year;
            id = it->second.parent;
        }
        return 0;
    };

    std::map<std::string, std::string> orgName;
    if (orgs.present) {
        const int id = orgs.column("sourcedId"), name = orgs.column("name");
        for (size_t r = 0; r < orgs.rows.size(); ++r)
            orgName[orgs.at(r, id)] = orgs.at(r, name);
    }

    // The classes; without classes.csv, those that enrollments.csv names.
    std::vector<Class> classes;
    std::map<std::string, size_t> classOf;
    if (classesFile.present) {
        const Table& c = classesFile;
        const int id = c.column("sourcedId"), title = c.column("title"),
                  code = c.column("classCode"), school = c.column("schoolSourcedId"),
                  terms = c.column("termSourcedIds"), grades = c.column("grades");
        for (size_t r = 0; r < c.rows.size(); ++r) {
            if (c.deleted(r) || classOf.count(c.at(r, id))) continue;
            Class k{c.at(r, id), c.at(r, title), c.at(r, code), c.at(r, school), c.at(r, grades),
                    0,           c.line[r]};
            for (const std::string& term : readItems(c.at(r, terms)))
                if (const int y = yearOfSession(trimBlanks(term)); y > 0 && k.year == 0) k.year = y;
            classOf[k.id] = classes.size();
            classes.push_back(std::move(k));
        }
    } else {
        const int id = enrollments.column("classSourcedId");
        for (size_t r = 0; r < enrollments.rows.size(); ++r) {
            const std::string cid = enrollments.at(r, id);
            if (cid.empty() || classOf.count(cid)) continue;
            classOf[cid] = classes.size();
            classes.push_back({cid, cid, "", "", "", 0, 0});
        }
    }

    // The classes asked for: by name, or those of the school year under
    // way, else of the latest year the package has.
    std::vector<bool> chosen(classes.size(), false);
    if (!settings.classes.empty()) {
        std::string known;
        for (const Class& k : classes)
            known += (known.empty() ? "" : "、") + k.title;
        for (const std::string& want : settings.classes) {
            bool found = false;
            for (size_t k = 0; k < classes.size(); ++k)
                if (classes[k].title == trimBlanks(want) ||
                    (!classes[k].code.empty() && classes[k].code == trimBlanks(want))) {
                    chosen[k] = true;
                    found = true;
                    im.schoolYear = std::max(im.schoolYear, classes[k].year);
                }
            if (!found)
                problems.file("classes.csv", "クラス" + quoted(want) +
                                                 "がありません。パッケージのクラス：" + known);
        }
        if (im.schoolYear == 0) im.schoolYear = settings.schoolYear;
    } else {
        std::set<int> years;
        for (const Class& k : classes)
            if (k.year > 0) years.insert(k.year);
        im.schoolYear = years.empty() || years.count(settings.schoolYear) ? settings.schoolYear
                                                                          : *years.rbegin();
        std::set<std::string> schools;
        for (size_t k = 0; k < classes.size(); ++k)
            if (years.empty() || classes[k].year == im.schoolYear) {
                chosen[k] = true;
                if (!classes[k].school.empty()) schools.insert(classes[k].school);
            }
        // A district's package: the school of the shared configuration.
        if (schools.size() > 1) {
            std::string ours, names;
            for (const std::string& s : schools) {
                const std::string name = orgName.count(s) ? orgName[s] : s;
                names += (names.empty() ? "" : "、") + name;
                if (!settings.schoolName.empty() &&
                    trimBlanks(name) == trimBlanks(settings.schoolName))
                    ours = s;
            }
            if (ours.empty())
                problems.file("classes.csv", std::to_string(im.schoolYear) + "年度のクラスが " +
                                                 std::to_string(schools.size()) +
                                                 " 校にあります（" + names +
                                                 "）。共通データの学校名の学校がないので、"
                                                 "--class でクラスを選びます。");
            for (size_t k = 0; k < classes.size(); ++k)
                if (chosen[k] && classes[k].school != ours) chosen[k] = false;
        }
    }
    if (im.hasErrors()) return im;

    // The people.
    const int uid = users.column("sourcedId"), master = users.column("userMasterIdentifier"),
              grades = users.column("grades"), homeClass = users.column("metadata.jp.homeClass");
    std::map<std::string, size_t> userOf;
    std::map<std::string, int> masterLine;
    for (size_t r = 0; r < users.rows.size(); ++r) {
        if (users.deleted(r)) continue;
        const std::string id = users.at(r, uid);
        if (id.empty()) {
            problems.error(users, users.line[r], "sourcedId", "sourcedId が空です。");
            continue;
        }
        if (const auto it = userOf.find(id); it != userOf.end()) {
            problems.error(users, users.line[r], "sourcedId",
                           "sourcedId " + quoted(id) + "は " +
                               std::to_string(users.line[it->second]) + "行目と同じです。");
            continue;
        }
        userOf[id] = r;
        const std::string m = users.at(r, master);
        if (m.empty()) continue;
        if (const auto [it, fresh] = masterLine.emplace(m, users.line[r]); !fresh)
            problems.error(users, users.line[r], "userMasterIdentifier",
                           "userMasterIdentifier " + quoted(m) + "は " +
                               std::to_string(it->second) + "行目と同じです。");
    }
    std::set<std::string> studentRole, otherRole;
    if (roles.present) {
        const int user = roles.column("userSourcedId"), role = roles.column("role");
        for (size_t r = 0; r < roles.rows.size(); ++r)
            if (!roles.deleted(r))
                (lower(roles.at(r, role)) == "student" ? studentRole : otherRole)
                    .insert(roles.at(r, user));
    }

    // The enrollments: who is in which class, and the 出席番号 there.
    const int ecls = enrollments.column("classSourcedId"),
              euser = enrollments.column("userSourcedId"), erole = enrollments.column("role");
    const int eseat = enrollments.column("metadata.jp.ShussekiNo");
    const std::string seatColumn =
        eseat >= 0 ? enrollments.header[static_cast<size_t>(eseat)] : "metadata.jp.ShussekiNo";
    std::map<size_t, std::vector<Membership>> studentIn; // users.csv row to classes asked for
    std::map<size_t, std::vector<size_t>> teacherIn;
    std::set<size_t> enrolledStudent, enrolledOther;
    // Class and 出席番号 to the row that has it and whose it is.
    std::map<std::pair<size_t, int>, std::pair<int, size_t>> seatLine;
    for (size_t r = 0; r < enrollments.rows.size(); ++r) {
        if (enrollments.deleted(r)) continue;
        const int line = enrollments.line[r];
        const std::string who = enrollments.at(r, euser);
        const auto u = userOf.find(who);
        if (u == userOf.end()) {
            problems.error(enrollments, line, "userSourcedId",
                           quoted(who) + "は users.csv にいません。");
            continue;
        }
        const std::string role = lower(enrollments.at(r, erole));
        (role == "student" ? enrolledStudent : enrolledOther).insert(u->second);
        const auto k = classOf.find(enrollments.at(r, ecls));
        if (k == classOf.end() || !chosen[k->second]) continue;
        if (role == "teacher") {
            teacherIn[u->second].push_back(k->second);
            continue;
        }
        if (role != "student") continue;
        Membership m{k->second, std::nullopt, line};
        const std::string seat = enrollments.at(r, eseat);
        if (!seat.empty()) {
            m.seat = wholeNumber(seat);
            if (!m.seat) {
                problems.error(enrollments, line, seatColumn,
                               "出席番号" + quoted(seat) + "が整数ではありません。");
                continue;
            }
            // The same child twice in a class is no second child.
            if (const auto [it, fresh] =
                    seatLine.emplace(std::pair{k->second, *m.seat}, std::pair{line, u->second});
                !fresh && it->second.second != u->second)
                problems.error(enrollments, line, seatColumn,
                               "出席番号 " + std::to_string(*m.seat) + " は、" +
                                   classes[k->second].title + " の " +
                                   std::to_string(it->second.first) +
                                   "行目（enrollments.csv）と同じです。一つのクラスで 2 人が同じ"
                                   "出席番号です。");
        }
        studentIn[u->second].push_back(m);
    }

    // A student in no class at all is a fault of the package.
    for (const auto& [id, r] : userOf) {
        const bool student = studentRole.count(id) || (!roles.present && !enrolledOther.count(r) &&
                                                       !users.at(r, grades).empty());
        if (student && !enrolledStudent.count(r))
            problems.error(users, users.line[r], "sourcedId",
                           "生徒" +
                               quoted(users.at(r, users.column("familyName")) +
                                      users.at(r, users.column("givenName"))) +
                               "（" + id +
                               "）が、どのクラスにも入っていません（enrollments.csv に student "
                               "の行がありません）。");
    }

    // A person's name, preferred names first; the column each part came from
    // names it in a message.
    struct NamePart {
        std::string text, column;
    };
    const auto part = [&](size_t r, const char* preferred, const char* plain) {
        const std::string p = users.at(r, users.column(preferred));
        return p.empty() ? NamePart{users.at(r, users.column(plain)), plain}
                         : NamePart{p, preferred};
    };
    const auto writable = [&](size_t r, const std::vector<NamePart>& parts) {
        bool ok = true;
        for (const NamePart& p : parts) {
            if (const std::optional<std::string> bad = unwritableCharacter(p.text)) {
                problems.error(users, users.line[r], p.column,
                               "名前" + quoted(p.text) + "の文字 " + *bad +
                                   " は、名簿の文字コード（シフトJIS）で書けません。学校のシステム"
                                   "で、ふだん使う名前（preferred… の列）に書ける字の名前を入れ"
                                   "て、書き出しなおします。");
                ok = false;
            } else if (const std::optional<std::string> why = unwritableField(p.text)) {
                problems.error(users, users.line[r], p.column, "名前" + *why);
                ok = false;
            }
        }
        return ok;
    };
    const auto kanaOf = [&](size_t r) {
        const NamePart family =
            part(r, "metadata.jp.kanaPreferredFamilyName", "metadata.jp.kanaFamilyName");
        const NamePart given =
            part(r, "metadata.jp.kanaPreferredGivenName", "metadata.jp.kanaGivenName");
        std::string kana =
            family.text + (family.text.empty() || given.text.empty() ? "" : " ") + given.text;
        if (unwritableCharacter(kana) || unwritableField(kana)) kana.clear();
        return kana;
    };

    std::vector<Person> people;
    for (const auto& [r, memberships] : studentIn) {
        // The home class where the package names one, else the first class.
        const std::string home = users.at(r, homeClass);
        const Membership* m = &memberships.front();
        for (const Membership& x : memberships) {
            if (x.cls < m->cls) m = &x;
        }
        for (const Membership& x : memberships)
            if (!home.empty() && classes[x.cls].id == home) m = &x;
        const NamePart family = part(r, "preferredFamilyName", "familyName");
        const NamePart given = part(r, "preferredGivenName", "givenName");
        const NamePart middle = part(r, "preferredMiddleName", "middleName");
        if (family.text.empty() && given.text.empty()) {
            problems.error(users, users.line[r], "familyName", "名前がありません。");
            continue;
        }
        std::optional<int> grade = packageGrade(users.at(r, grades));
        if (!grade) grade = packageGrade(classes[m->cls].grades);
        if (!grade) {
            problems.error(users, users.line[r], "grades",
                           "学年" + quoted(users.at(r, grades)) +
                               "が読めません。P1〜P6、J1〜J3、H1〜H3、E1〜E3 のどれかにします。");
            continue;
        }
        if (!writable(r, {family, given, middle})) continue;
        Person p;
        p.user = r;
        p.cls = m->cls;
        p.seat = m->seat;
        p.enrollmentLine = m->line;
        p.name = joinedName({family.text, given.text, middle.text});
        p.kana = kanaOf(r);
        p.birthYear = im.schoolYear - 6 - *grade;
        people.push_back(std::move(p));
    }
    std::stable_sort(people.begin(), people.end(), [](const Person& a, const Person& b) {
        if (a.cls != b.cls) return a.cls < b.cls;
        const int sa = a.seat.value_or(INT_MAX), sb = b.seat.value_or(INT_MAX);
        if (sa != sb) return sa < sb;
        return a.enrollmentLine < b.enrollmentLine;
    });

    // Teachers of the classes, marked as the program marks a teacher: their
    // family name and "先生", the whole name where two share a family name.
    std::vector<Person> teachers;
    std::map<std::string, int> familyCount;
    for (const auto& [r, cls] : teacherIn) {
        if (studentIn.count(r)) continue;
        ++familyCount[part(r, "preferredFamilyName", "familyName").text];
    }
    for (const auto& [r, cls] : teacherIn) {
        if (studentIn.count(r)) continue;
        const NamePart family = part(r, "preferredFamilyName", "familyName");
        const NamePart given = part(r, "preferredGivenName", "givenName");
        if (!writable(r, {family, given})) continue;
        Person p;
        p.user = r;
        p.teacher = true;
        p.cls = *std::min_element(cls.begin(), cls.end());
        p.name = (familyCount[family.text] > 1 || family.text.empty()
                      ? joinedName({family.text, given.text})
                      : family.text) +
                 "先生";
        p.kana = kanaOf(r);
        // Grown-ups: no grade, above every child in the name list.
        p.birthYear = im.schoolYear - 40;
        teachers.push_back(std::move(p));
    }
    std::stable_sort(teachers.begin(), teachers.end(),
                     [](const Person& a, const Person& b) { return a.cls < b.cls; });
    people.insert(people.end(), teachers.begin(), teachers.end());

    // Numbers: the one the number file has for the person; for a person it
    // has not, the number of the one entry of a roster made by hand (not in
    // the file) of the same name and birth year; else a number nobody has
    // used. A departed person of the file is never matched by name: a new
    // child of the same name is another child.
    std::set<int> taken;
    const auto byKey = [&](const Person& p) {
        const std::string id = users.at(p.user, uid), m = users.at(p.user, master);
        for (const auto& [number, b] : book)
            if (!m.empty() && b.masterId == m && !taken.count(number)) return number;
        for (const auto& [number, b] : book)
            if (b.sourcedId == id && (m.empty() || b.masterId.empty() || b.masterId == m) &&
                !taken.count(number))
                return number;
        return 0;
    };
    std::vector<bool> matched(people.size(), false);
    for (size_t k = 0; k < people.size(); ++k)
        if (const int n = byKey(people[k])) {
            people[k].number = n;
            taken.insert(n);
            matched[k] = true;
        }
    struct Candidate {
        int number;
        std::string name;
        int birthYear;
    };
    std::vector<Candidate> candidates;
    for (const RosterRow& row : roster) {
        int16_t number = 0, year = 0;
        if (readRosterNumber(row.fields[kNumberField], number) != RosterNumber::Ok ||
            readRosterNumber(row.fields[kBirthYearField], year) != RosterNumber::Ok || number < 1 ||
            number > kMaxStudent || book.count(number))
            continue;
        candidates.push_back({number, trimSpaces(row.fields[kNameField]), year});
    }
    for (size_t k = 0; k < people.size(); ++k) {
        Person& p = people[k];
        if (matched[k]) continue;
        const Candidate* only = nullptr;
        int found = 0;
        for (const Candidate& c : candidates) {
            if (taken.count(c.number) || nameKey(c.name) != nameKey(p.name)) continue;
            if (!p.teacher && c.birthYear != p.birthYear) continue;
            only = &c;
            ++found;
        }
        if (found != 1) continue;
        p.number = only->number;
        taken.insert(p.number);
        matched[k] = true;
        problems.warning(users, users.line[p.user], "sourcedId",
                         "番号の表（" + std::string(kNumberFile) + "）にない人ですが、前の" +
                             quoted(only->name) + "（番号 " + std::to_string(p.number) +
                             "）と名前" + (p.teacher ? "" : "と生まれ年") +
                             "が同じなので、その番号を引きつぎます。別の人なら、名簿を直します。");
    }
    std::vector<bool> inUse = used;
    inUse.resize(static_cast<size_t>(kMaxStudent) + 1, false);
    for (const RosterRow& row : roster) {
        int16_t number = 0;
        if (readRosterNumber(row.fields[kNumberField], number) == RosterNumber::Ok && number >= 0 &&
            number <= kMaxStudent)
            inUse[static_cast<size_t>(number)] = true;
    }
    for (const auto& [number, b] : book)
        inUse[static_cast<size_t>(number)] = true;
    for (const int n : taken)
        inUse[static_cast<size_t>(n)] = true;
    size_t next = 1;
    for (size_t k = 0; k < people.size(); ++k) {
        if (matched[k]) continue;
        while (next <= static_cast<size_t>(kMaxStudent) && inUse[next])
            ++next;
        if (next > static_cast<size_t>(kMaxStudent)) {
            problems.error(users, users.line[people[k].user], "sourcedId",
                           "使っていない番号が残っていません（1 から 5000 まで、成績か名簿か番号の"
                           "表で使われています）。");
            continue;
        }
        people[k].number = static_cast<int>(next);
        inUse[next] = true;
        im.freshNumbers.push_back(people[k].number);
    }

    // The roster's entries, the number file, and the classes' counts.
    im.numbers = book;
    std::vector<int> students(classes.size(), 0), teachersOf(classes.size(), 0);
    for (size_t k = 0; k < people.size(); ++k) {
        const Person& p = people[k];
        if (p.number == 0) continue;
        const std::string id = users.at(p.user, uid);
        if (unwritableCharacter(id)) {
            problems.error(users, users.line[p.user], "sourcedId",
                           quoted(id) + "に、番号の表（シフトJIS）に書けない文字があります。");
            continue;
        }
        if (matched[k]) ++im.kept;
        (p.teacher ? teachersOf : students)[p.cls]++;
        im.numbers[p.number] = {id, users.at(p.user, master), p.name, p.birthYear};
        RosterRow row;
        row.where = users.file + " の " + std::to_string(users.line[p.user]) + "行目";
        row.fields[kNumberField] = std::to_string(p.number);
        row.fields[kBirthYearField] = std::to_string(p.birthYear);
        row.fields[kNameField] = p.name;
        row.fields[kStatusField] = "0";
        row.fields[6] = p.kana;
        std::string title = classes[p.cls].title;
        if (unwritableCharacter(title) || unwritableField(title)) title.clear();
        row.fields[7] = title;
        im.rows.push_back(std::move(row));
    }
    for (size_t k = 0; k < classes.size(); ++k)
        if (chosen[k]) im.classes.push_back({classes[k].title, students[k], teachersOf[k]});

    RosterCheckSettings checks;
    checks.schoolYear = settings.schoolYear;
    checks.listStatus2 = settings.listStatus2;
    for (const RosterFinding& f : checkRosterRows(im.rows, checks))
        im.problems.push_back({0, f.level, f.message});
    return im;
}

} // namespace kestrel
