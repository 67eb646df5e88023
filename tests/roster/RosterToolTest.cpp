// The roster tool as a teacher runs it, on a temporary installation: out to
// a spreadsheet file and back unchanged, a school's sheet previewed with its
// problems, written only without errors, the old roster kept, and the new
// one read by the name screen's reader as the preview showed it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <map>

#include "results/ResultRecord.h"
#include "roster/Grades.h"
#include "roster/OneRosterPackage.h"
#include "roster/RosterChecks.h"
#include "roster/RosterDisplay.h"
#include "startup/Calendar.h"
#include "support/Installation.h"
#include "text/Cp932.h"

using namespace kestrel;
using namespace kestrel::test;

#ifdef KESTREL_ROSTER_PROGRAM
namespace {

struct Tool {
    Installation inst;
    std::filesystem::path program = inst.installCommand(KESTREL_ROSTER_PROGRAM);
    std::string output;

    std::filesystem::path roster() const { return inst.file(Installation::kRosterFile); }
    std::filesystem::path file(const std::string& name) const { return inst.root() / name; }
    // Runs the tool with `args`; its output (and errors) in `output`.
    int run(const std::string& args) {
        const auto out = inst.root() / "out.txt";
        const std::string command = program.string() + " " + args + " > " + out.string() + " 2>&1";
        const int status = std::system(command.c_str());
        output = readBytes(out);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::vector<std::filesystem::path> keptCopies() const {
        std::vector<std::filesystem::path> out;
        for (const auto& e : std::filesystem::directory_iterator(roster().parent_path()))
            if (e.path().filename().string().rfind("新名簿_", 0) == 0) out.push_back(e.path());
        return out;
    }
};

} // namespace

TEST(RosterTool, OutToASpreadsheetAndBackUnchanged) {
    Tool t;
    t.inst.write(Installation::kRosterFile, "1,2016,1,1,\"佐藤, 花子\",0,,\r\n"
                                            "2,2015,1,2,鈴木大翔,1,,転出\r\n"
                                            "900,1985,0,0,山田先生,0,,担任\r\n");
    const std::string before = readBytes(t.roster());
    for (const char* encoding : {"", " --utf8"}) {
        const auto csv = t.file("class.csv");
        ASSERT_EQ(t.run("--to " + csv.string() + encoding), 0) << t.output;
        EXPECT_NE(t.output.find("3 人"), std::string::npos) << t.output;
        ASSERT_EQ(t.run("--from " + csv.string() + " --write"), 0) << t.output;
        EXPECT_EQ(readBytes(t.roster()), before) << encoding;
        EXPECT_NE(t.output.find("もうこの名簿です"), std::string::npos) << t.output;
    }
    EXPECT_TRUE(t.keptCopies().empty());
    // Usage mistakes change nothing.
    for (const char* args : {"", "--to", "--from a.csv --utf8", "--to a.csv --write", "--bogus"})
        EXPECT_EQ(t.run(args), 2) << args;
}

TEST(RosterTool, ASchoolsSheetIsPreviewedAndWrittenOnlyWithoutErrors) {
    Tool t;
    const std::string before = readBytes(t.roster());
    const auto csv = t.file("new.csv");
    // A spreadsheet's own columns, grades instead of birth years, and
    // problems: a duplicate number and a character CP932 has not.
    writeBytes(csv, "\xEF\xBB\xBF名前,番号,学年\r\n"
                    "青木　太郎,1,小３\r\n"
                    "𠮷田　さくら,2,小３\r\n"
                    "上田　ゆい,1,小４\r\n");
    EXPECT_EQ(t.run("--from " + csv.string() + " --write"), 1);
    EXPECT_NE(t.output.find("UTF-8、BOM つき"), std::string::npos) << t.output;
    EXPECT_NE(t.output.find("CSV の 3行目：名前「𠮷田　さくら」の文字 「𠮷」（U+20BB7）"),
              std::string::npos)
        << t.output;
    EXPECT_NE(t.output.find("CSV の 4行目：番号 1 は CSV の 2行目 と同じです"), std::string::npos)
        << t.output;
    EXPECT_NE(t.output.find("小3 青木　太郎"), std::string::npos) << t.output;
    EXPECT_NE(t.output.find("書きませんでした"), std::string::npos) << t.output;
    EXPECT_EQ(readBytes(t.roster()), before);

    // Mended: a preview first, then the roster written; the old one is kept.
    writeBytes(csv, "\xEF\xBB\xBF名前,番号,学年\r\n"
                    "青木　太郎,1,小３\r\n"
                    "吉田　さくら,2,小３\r\n"
                    "上田　ゆい,3,小４\r\n");
    ASSERT_EQ(t.run("--from " + csv.string()), 0) << t.output;
    EXPECT_NE(t.output.find("問題はありません"), std::string::npos) << t.output;
    const std::string preview = t.output;
    EXPECT_EQ(readBytes(t.roster()), before);
    ASSERT_EQ(t.run("--from " + csv.string() + " --write"), 0) << t.output;
    // The grades of the school year under way (from April, as configured).
    const CivilDate today = SystemClock().today();
    const int year = schoolYearOf(today.year, today.month, 4);
    const std::string third = std::to_string(year - 9), fourth = std::to_string(year - 10);
    EXPECT_EQ(readBytes(t.roster()),
              utf8ToCp932("1," + third + ",,,青木　太郎,,,\r\n" + "2," + third +
                          ",,,吉田　さくら,,,\r\n" + "3," + fourth + ",,,上田　ゆい,,,\r\n"));
    const auto kept = t.keptCopies();
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(readBytes(kept[0]), before);
    EXPECT_NE(t.output.find(kept[0].filename().string()), std::string::npos);
    for (const auto& e : std::filesystem::directory_iterator(t.roster().parent_path()))
        EXPECT_EQ(e.path().string().find(".tmp"), std::string::npos) << e.path();

    // The name screen's reader shows what the preview showed.
    auto roster = std::make_unique<RosterTables>();
    roster->SchoolYear = static_cast<int16_t>(year);
    NameListState lists;
    startNameLists(lists);
    auto summary = std::make_unique<ResultsSummary>();
    SharedConfig config;
    readRoster(*roster, lists, *summary, t.inst.sharedFolder(), config);
    filterNameLists(lists, *roster);
    ASSERT_EQ(lists.List1.size(), 4u);
    for (size_t i = 1; i < lists.List1.size(); ++i)
        EXPECT_NE(preview.find("  " + lists.List1[i] + "\n"), std::string::npos) << lists.List1[i];
}
// The preview's figures are the log's or none: a log or criteria file that
// cannot be read stops the tool with the file and the reason, before the
// roster is written, instead of showing every student without a run.
TEST(RosterTool, APreviewShowsTheLogsFiguresOrStopsSayingWhy) {
    const std::string sheet = "名前,番号,学年\r\n青木　太郎,1,小３\r\n";
    const std::string log = "共有データ/四捨五入/成績累積データ.dat"; // beside the criteria
    struct Case {
        const char* what;
        std::function<void(Tool&)> prepare;
        int status;
        std::vector<std::string> said; // in the output
    };
    const CivilDate today = SystemClock().today();
    const std::string todaysRun = [&] {
        ResultRecord r;
        r.date = static_cast<double>(dayNumber(today));
        r.studentNumber = 1;
        r.level = 1;
        r.seconds = 50;
        const ResultBytes b = encodeResultRecord(r);
        return std::string(reinterpret_cast<const char*>(b.data()), b.size());
    }();
    const Case cases[] = {
        {"no log yet: no runs", [](Tool&) {}, 0, {"青木"}},
        {"a run today", [&](Tool& t) { writeBytes(t.inst.file(log), todaysRun); }, 0, {"青木"}},
        {"a log that is a folder",
         [&](Tool& t) { std::filesystem::create_directories(t.inst.file(log)); },
         1,
         {"成績累積データ.dat」が読めない", "名簿は書きませんでした"}},
        {"no criteria",
         [](Tool& t) { t.inst.remove(Installation::kCriteriaFile); },
         1,
         {"タイム回数データ.txt", "見つかりません", "名簿は書きませんでした"}},
    };
    std::map<std::string, std::string> previews;
    for (const Case& c : cases) {
        Tool t;
        c.prepare(t);
        const std::string before = readBytes(t.roster());
        const auto csv = t.file("class.csv");
        writeBytes(csv, sheet);
        const bool hadLog = std::filesystem::exists(t.inst.file(log));
        EXPECT_EQ(t.run("--from " + csv.string() + " --write"), c.status) << c.what << t.output;
        for (const std::string& text : c.said)
            EXPECT_NE(t.output.find(text), std::string::npos) << c.what << "\n" << t.output;
        if (c.status != 0) {
            EXPECT_EQ(readBytes(t.roster()), before) << c.what;
            EXPECT_EQ(t.output.find("名前の画面（"), std::string::npos) << c.what;
        } else {
            previews[c.what] = t.output.substr(t.output.find("青木"));
        }
        // The log is read, never made.
        EXPECT_EQ(std::filesystem::exists(t.inst.file(log)), hadLog) << c.what;
    }
    // Today's run shows beside the name.
    EXPECT_NE(previews["no log yet: no runs"], previews["a run today"]);
}
namespace {

// The results log of the installation, with a run of each student number.
void logRuns(Tool& t, const std::vector<int>& students) {
    std::string bytes;
    for (const int s : students) {
        ResultRecord r;
        r.date = static_cast<double>(dayNumber(SystemClock().today()));
        r.studentNumber = static_cast<int16_t>(s);
        r.level = 1;
        r.seconds = 50;
        const ResultBytes b = encodeResultRecord(r);
        bytes.append(reinterpret_cast<const char*>(b.data()), b.size());
    }
    writeBytes(t.inst.file("共有データ/四捨五入/成績累積データ.dat"), bytes);
}

// Each entry's number by its name.
std::map<std::string, int> numbersByName(const std::string& rosterText) {
    std::map<std::string, int> out;
    for (const RosterRow& row : rosterRows(rosterText))
        out[row.fields[kNameField]] = std::stoi(row.fields[kNumberField]);
    return out;
}

int schoolYearNow() {
    const CivilDate today = SystemClock().today();
    return schoolYearOf(today.year, today.month, 4);
}

} // namespace

// A school's package, as a folder, previewed and then written; the next
// year's package, as a zip, keeps every returning child's number and gives
// the new ones numbers that no record of the log carries.
TEST(RosterTool, AOneRosterPackageBecomesTheRosterAndTheNextYearKeepsTheNumbers) {
    Tool t;
    const int year = schoolYearNow();
    // The roster made by hand has numbers 1 and 2; 94 and 95 are in the log
    // from a roster of long ago.
    logRuns(t, {1, 2, 94, 95});
    const Package pkg = threeClasses(year);
    writeFolder(t.file("pkg"), pkg.files({Edition::JapanProfile, true, false}));
    const std::string before = readBytes(t.roster());
    const std::filesystem::path book = t.inst.file("共有データ/名簿番号.txt");

    ASSERT_EQ(t.run("--from-oneroster " + t.file("pkg").string()), 0) << t.output;
    for (const std::string& said :
         {"（OneRoster 1.2_JP、" + std::to_string(year) + "年度）：クラス 3、生徒 90 人、先生 3 人",
          std::string("3年2組：生徒 30 人、先生 1 人"), std::string("大+ 森田先生"),
          std::string("小3 佐藤蓮"), std::string("（93 人）"),
          std::string("新しい番号 93 人（3〜93、96、97）"), std::string("問題はありません"),
          std::string("--write をつけて")})
        EXPECT_NE(t.output.find(said), std::string::npos) << said << "\n" << t.output;
    EXPECT_EQ(readBytes(t.roster()), before);
    EXPECT_FALSE(std::filesystem::exists(book));

    ASSERT_EQ(t.run("--from-oneroster " + t.file("pkg").string() + " --write"), 0) << t.output;
    const std::string first = cp932ToUtf8(readBytes(t.roster()));
    EXPECT_EQ(rosterRows(first).size(), 93u);
    EXPECT_EQ(t.keptCopies().size(), 1u);
    // The number file: CP932, CR LF, a header and one person a row.
    const std::string numbers = cp932ToUtf8(readBytes(book));
    EXPECT_TRUE(numbers.starts_with("番号,sourcedId,userMasterIdentifier,名前,生まれ年\r\n"));
    EXPECT_NE(numbers.find("\r\n3,u0,m0,佐藤蓮," + std::to_string(year - 9) + "\r\n"),
              std::string::npos)
        << numbers;
    EXPECT_EQ(parseNumberBook(numbers, "名簿番号.txt").size(), 93u);
    // The name screen's reader lists them.
    auto roster = std::make_unique<RosterTables>();
    roster->SchoolYear = static_cast<int16_t>(year);
    NameListState lists;
    startNameLists(lists);
    auto summary = std::make_unique<ResultsSummary>();
    readRoster(*roster, lists, *summary, t.inst.sharedFolder(), SharedConfig{});
    filterNameLists(lists, *roster);
    EXPECT_EQ(lists.List1.size(), 94u);

    // The next year, from a zip: the returning keep their numbers.
    writeBytes(t.file("next.zip"), zipOf(nextYear(pkg).files({Edition::V1_2, false, true}), true));
    ASSERT_EQ(t.run("--from-oneroster " + t.file("next.zip").string() + " --write"), 0) << t.output;
    EXPECT_NE(t.output.find("前からの番号 90 人、新しい番号 5 人（98〜102）"), std::string::npos)
        << t.output;
    const std::map<std::string, int> was = numbersByName(first),
                                     is = numbersByName(cp932ToUtf8(readBytes(t.roster())));
    EXPECT_EQ(is.size(), 95u);
    int returning = 0;
    for (const auto& [name, number] : is)
        if (was.count(name)) {
            EXPECT_EQ(number, was.at(name)) << name;
            ++returning;
        }
    EXPECT_EQ(returning, 90);
    EXPECT_EQ(parseNumberBook(cp932ToUtf8(readBytes(book)), "名簿番号.txt").size(), 98u);
    // Each roster written kept the one before, also within one second.
    EXPECT_EQ(t.keptCopies().size(), 2u);

    // The same package again changes nothing.
    ASSERT_EQ(t.run("--from-oneroster " + t.file("next.zip").string() + " --class 4年2組"), 0)
        << t.output;
    EXPECT_NE(t.output.find("クラス 1、生徒 "), std::string::npos) << t.output;
}

// A package with a fault is told, and neither the roster nor the number
// file is written.
TEST(RosterTool, APackageWithAFaultWritesNothing) {
    const struct {
        const char* what;
        std::function<void(Package&)> breakIt;
        const char* says;
    } cases[] = {
        {"a delta package", [](Package& p) { p.manifest["file.enrollments"] = "delta"; },
         "、value の列：file.enrollments が delta"},
        {"no givenName column", [](Package& p) { p.dropped.insert("users.csv:givenName"); },
         "users.csv の 1行目、givenName の列"},
        {"a student in no class", [](Package& p) { p.people[4].cls.clear(); },
         "、sourcedId の列：生徒「伊藤愛」（u4）が、どのクラスにも入っていません"},
        {"a name CP932 cannot hold", [](Package& p) { p.people[0].family = "𠮷田"; },
         "users.csv の 2行目、familyName の列：名前「𠮷田」"},
        {"one 出席番号 twice", [](Package& p) { p.people[2].seat = "2"; },
         "、metadata.jp.ShussekiNo の列：出席番号 2 は、3年1組 の "},
    };
    for (const auto& c : cases) {
        Tool t;
        Package pkg = threeClasses(schoolYearNow());
        c.breakIt(pkg);
        writeBytes(t.file("pkg.zip"), zipOf(pkg.files({}), false));
        const std::string before = readBytes(t.roster());
        EXPECT_EQ(t.run("--from-oneroster " + t.file("pkg.zip").string() + " --write"), 1)
            << c.what;
        EXPECT_NE(t.output.find(c.says), std::string::npos) << c.what << "\n" << t.output;
        EXPECT_NE(t.output.find("名簿は書きませんでした"), std::string::npos) << t.output;
        EXPECT_EQ(readBytes(t.roster()), before) << c.what;
        EXPECT_FALSE(std::filesystem::exists(t.inst.file("共有データ/名簿番号.txt"))) << c.what;
        EXPECT_TRUE(t.keptCopies().empty()) << c.what;
    }
    // Not a package at all.
    Tool t;
    writeBytes(t.file("class.csv"), "番号,名前\r\n");
    EXPECT_EQ(t.run("--from-oneroster " + t.file("class.csv").string()), 1);
    EXPECT_NE(t.output.find("zip ファイルではありません"), std::string::npos) << t.output;
    EXPECT_EQ(t.run("--class 3年1組 --from x.csv"), 2);
}

// The fix the program and the setup check give for a roster saved as UTF-8
// mends it in place: the same entries in CP932, the file as it was kept.
TEST(RosterTool, TheFixForARosterSavedAsUtf8MendsItInPlace) {
    Tool t;
    const std::string roster = "1,2016,1,1,山田　花子,0,,\r\n2,2016,1,2,\"佐藤, 一郎\",0,,係\r\n";
    writeBytes(t.roster(), roster);
    const std::string fix = rosterEncodingMessage(displayPath(t.roster()));
    const size_t from = fix.find("kestrel-roster ") + std::string("kestrel-roster ").size();
    const std::string args = fix.substr(from, fix.find("」", from) - from);
    ASSERT_EQ(t.run(args), 0) << args << "\n" << t.output;
    EXPECT_NE(t.output.find("見出しのない名簿の形"), std::string::npos) << t.output;
    EXPECT_EQ(readBytes(t.roster()), utf8ToCp932(roster));
    const auto kept = t.keptCopies();
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(readBytes(kept[0]), roster);
}
#endif
