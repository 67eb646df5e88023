// The roster from a OneRoster package of the school's system: every edition
// and way of writing the files gives the same roster, the numbers survive
// the next school year, and every fault of a package is told with its file,
// row and column.
#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "roster/OneRosterPackage.h"
#include "roster/RosterSheet.h"
#include "text/Cp932.h"

using namespace kestrel;
using namespace kestrel::test;

namespace {

OneRosterSettings settings(int schoolYear) {
    OneRosterSettings s;
    s.schoolYear = schoolYear;
    s.schoolName = "テスト小学校";
    return s;
}

std::vector<bool> noneUsed() {
    return std::vector<bool>(kMaxStudent + 1, false);
}

std::string told(const OneRosterImport& im) {
    std::string out;
    for (const SheetProblem& p : im.problems)
        out += p.message + "\n";
    return out;
}

bool tells(const OneRosterImport& im, FindingLevel level, const std::string& part) {
    for (const SheetProblem& p : im.problems)
        if (p.level == level && p.message.find(part) != std::string::npos) return true;
    return false;
}

// The CSV row of a file that first holds `text` (the header is row 1).
int rowOf(const std::vector<PackageFile>& files, const std::string& file, const std::string& text) {
    for (const PackageFile& f : files) {
        if (f.name != file) continue;
        int row = 1;
        for (size_t at = 0; at < f.bytes.size(); ++row) {
            const size_t end = f.bytes.find("\r\n", at);
            if (f.bytes.substr(at, end - at).find(text) != std::string::npos) return row;
            at = end + 2;
        }
    }
    return 0;
}

// Number of each person of the import by userMasterIdentifier, else sourcedId.
std::map<std::string, int> numbersOf(const OneRosterImport& im) {
    std::map<std::string, int> out;
    for (const RosterRow& row : im.rows) {
        const int n = std::stoi(row.fields[kNumberField]);
        const NumberedPerson& p = im.numbers.at(n);
        out[p.masterId.empty() ? p.sourcedId : p.masterId] = n;
    }
    return out;
}

// `bytes` with the byte at `at` made `value`.
std::string withByte(std::string bytes, size_t at, unsigned char value) {
    bytes.replace(at, 1, 1, static_cast<char>(value));
    return bytes;
}

} // namespace

TEST(OneRoster, ThreeClassesBecomeOneRosterInEveryEditionAndWayOfWriting) {
    const Package pkg = threeClasses(2025);
    std::string first;
    for (const Edition edition : {Edition::V1_2, Edition::V1_2_1, Edition::JapanProfile})
        for (const bool bom : {false, true})
            for (const bool quoted : {false, true}) {
                SCOPED_TRACE(std::string(editionVersion(edition)) + (bom ? " bom" : "") +
                             (quoted ? " quoted" : ""));
                const OneRosterImport im = importOneRoster(pkg.files({edition, bom, quoted}),
                                                           settings(2025), {}, {}, noneUsed());
                ASSERT_FALSE(im.hasErrors()) << told(im);
                EXPECT_EQ(im.edition, editionVersion(edition));
                EXPECT_EQ(im.schoolYear, 2025);
                ASSERT_EQ(im.classes.size(), 3u);
                for (const ImportedClass& c : im.classes) {
                    EXPECT_EQ(c.students, 30);
                    EXPECT_EQ(c.teachers, 1);
                }
                EXPECT_EQ(im.rows.size(), 93u);
                EXPECT_EQ(im.freshNumbers.size(), 93u);
                EXPECT_EQ(im.numbers.size(), 93u);
                if (first.empty()) first = im.rosterText();
                EXPECT_EQ(im.rosterText(), first);
            }
    // Class by class in the order of the 出席番号, the teachers last: family
    // name first, the kana as 項目7, the class as 項目8, and the birth year
    // that makes P3 a third-grader of 2025.
    const std::vector<RosterRow> rows = rosterRows(first);
    EXPECT_EQ(rows[0].fields, (std::array<std::string, 8>{"1", "2016", "", "", "佐藤蓮", "0",
                                                          "サトウ レン", "3年1組"}));
    EXPECT_EQ(rows[30].fields[kNameField], "佐藤陽翔");
    EXPECT_EQ(rows[30].fields[7], "3年2組");
    EXPECT_EQ(rows[90].fields,
              (std::array<std::string, 8>{"91", "1985", "", "", "森田先生", "0", "", "3年1組"}));
    EXPECT_TRUE(isTeacherName(rows[92].fields[kNameField]));

    // The name screen lists them all: the teachers above, then the children
    // as their list sorts them.
    auto summary = std::make_unique<ResultsSummary>();
    const std::vector<std::string> lines = nameScreenLines(first, *summary, {}, 2025);
    ASSERT_EQ(lines.size(), 93u);
    EXPECT_TRUE(lines[0].starts_with("大+ ")) << lines[0];
    for (size_t k = 3; k < lines.size(); ++k)
        EXPECT_TRUE(lines[k].starts_with("小3 ")) << lines[k];
}

TEST(OneRoster, ClassesAskedForByNameOrTheSchoolYearsOwn) {
    Package pkg = threeClasses(2026);
    OneRosterSettings s = settings(2025);
    s.classes = {"3年2組"};
    OneRosterImport im = importOneRoster(pkg.files({}), s, {}, {}, noneUsed());
    ASSERT_FALSE(im.hasErrors()) << told(im);
    EXPECT_EQ(im.rows.size(), 31u);
    ASSERT_EQ(im.classes.size(), 1u);
    EXPECT_EQ(im.classes[0].title, "3年2組");
    // Next year's package read before April: its own year's grades.
    EXPECT_EQ(im.schoolYear, 2026);
    EXPECT_EQ(im.rows[0].fields[kBirthYearField], "2017");

    s.classes = {"3年9組"};
    im = importOneRoster(pkg.files({}), s, {}, {}, noneUsed());
    EXPECT_TRUE(tells(im, FindingLevel::Error,
                      "classes.csv：クラス「3年9組」がありません。パッケージのクラス：3年1組、"
                      "3年2組、3年3組"))
        << told(im);
    EXPECT_TRUE(im.rows.empty());
}

TEST(OneRoster, TheNextYearKeepsEveryReturningChildsNumberAndGivesNewOnesUnusedOnes) {
    Package before = threeClasses(2025);
    // One child known by the sourcedId alone, both years.
    before.people[20].master.clear();
    const OneRosterImport first =
        importOneRoster(before.files({}), settings(2025), {}, {}, noneUsed());
    ASSERT_FALSE(first.hasErrors()) << told(first);
    // The number file as it is stored, and read back.
    const NumberBook book =
        parseNumberBook(cp932ToUtf8(utf8ToCp932(numberBookText(first.numbers))), "名簿番号.txt");
    ASSERT_EQ(book.size(), 93u);
    EXPECT_EQ(book.at(21).sourcedId, "u20");
    EXPECT_EQ(book.at(21).name, first.numbers.at(21).name);

    Package after = nextYear(before);
    // The school's system gave one child a new sourcedId; the master
    // identifier stays.
    for (PackagePerson& p : after.people)
        if (p.id == "u10") p.id = "u10-2026";
    // A new child of the name and birth year of one who left is another child.
    PackagePerson namesake = student(3, after.classes[0].id, 40, "P4");
    namesake.id = "u200";
    namesake.master = "m200";
    after.people.push_back(namesake);
    // Numbers 94 and 95 are in the log from a roster of long ago.
    std::vector<bool> used = noneUsed();
    for (int n : {1, 2, 50, 94, 95})
        used[static_cast<size_t>(n)] = true;
    const OneRosterImport next =
        importOneRoster(after.files({Edition::V1_2_1, true, true}), settings(2026), book,
                        rosterRows(first.rosterText()), used);
    ASSERT_FALSE(next.hasErrors()) << told(next);
    EXPECT_EQ(next.rows.size(), 96u); // 87 + 6 children, 3 teachers
    EXPECT_EQ(next.kept, 90);
    EXPECT_EQ(next.freshNumbers, (std::vector<int>{96, 97, 98, 99, 100, 101}));

    const std::map<std::string, int> was = numbersOf(first), is = numbersOf(next);
    for (const auto& [who, number] : is) {
        if (was.count(who))
            EXPECT_EQ(number, was.at(who)) << who;
        else
            EXPECT_GT(number, 95) << who;
    }
    for (const char* gone : {"m3", "m40", "m77"}) {
        EXPECT_FALSE(is.count(gone));
        // The departed keep their numbers in the file: never given again.
        EXPECT_EQ(next.numbers.at(was.at(gone)).masterId, gone);
    }
    EXPECT_EQ(next.numbers.size(), 99u);
    EXPECT_NE(is.at("m200"), was.at("m3"));
    EXPECT_EQ(next.numbers.at(was.at("m10")).sourcedId, "u10-2026");
    // A grade up a year later: the same birth year.
    for (const RosterRow& row : next.rows) {
        if (!isTeacherName(row.fields[kNameField])) {
            EXPECT_EQ(row.fields[kBirthYearField], "2016");
        }
    }
}

// The first import over a roster made by hand: a child of the same name and
// birth year keeps the number their results carry, and is told.
TEST(OneRoster, AHandMadeRostersChildrenKeepTheirNumbersByNameAndBirthYear) {
    const Package pkg = threeClasses(2025);
    const std::vector<RosterRow> roster = rosterRows("17,2016,0,0,佐藤　蓮,0,,\r\n"
                                                     "18,2015,0,0,鈴木悠真,0,,\r\n"
                                                     "19,1980,0,0,森田先生,0,,\r\n");
    std::vector<bool> used = noneUsed();
    used[1] = true;
    const OneRosterImport im = importOneRoster(pkg.files({}), settings(2025), {}, roster, used);
    ASSERT_FALSE(im.hasErrors()) << told(im);
    const std::map<std::string, int> numbers = numbersOf(im);
    EXPECT_EQ(numbers.at("m0"), 17); // 佐藤蓮, born 2016 as the package has it
    EXPECT_NE(numbers.at("m1"), 18); // 鈴木悠真 of another birth year is another child
    EXPECT_EQ(numbers.at("t1"), 19); // the teacher by name
    EXPECT_TRUE(tells(im, FindingLevel::Warning, "「佐藤　蓮」（番号 17）と名前と生まれ年が同じ"))
        << told(im);
    for (const int n : im.freshNumbers)
        EXPECT_TRUE(n != 1 && n != 17 && n != 18 && n != 19) << n;
}

TEST(OneRoster, EveryFaultNamesTheFileTheRowAndTheColumn) {
    const struct Case {
        const char* what;
        std::function<void(Package&)> breakIt;
        // The message's start, found in the files written: file, text to find its row, column.
        std::function<std::string(const std::vector<PackageFile>&)> says;
    } cases[] = {
        {"a delta package", [](Package& p) { p.manifest["file.users"] = "delta"; },
         [](const std::vector<PackageFile>& f) {
             return "manifest.csv の " + std::to_string(rowOf(f, "manifest.csv", "file.users,")) +
                    "行目、value の列：file.users が delta";
         }},
        {"no family name column", [](Package& p) { p.dropped.insert("users.csv:familyName"); },
         [](const std::vector<PackageFile>&) {
             return std::string("users.csv の 1行目、familyName の列：見出しにこの列がありません");
         }},
        {"no class column of the enrollments",
         [](Package& p) { p.dropped.insert("enrollments.csv:classSourcedId"); },
         [](const std::vector<PackageFile>&) {
             return std::string("enrollments.csv の 1行目、classSourcedId の列：");
         }},
        {"a student in no class", [](Package& p) { p.people.push_back(student(95, "", 0, "P3")); },
         [](const std::vector<PackageFile>& f) {
             return "users.csv の " + std::to_string(rowOf(f, "users.csv", "u95,")) +
                    "行目、sourcedId の列：生徒「渡辺朝陽」（u95）が、どのクラスにも入っていません";
         }},
        {"a name CP932 cannot hold", [](Package& p) { p.people[5].family = "𠮷田"; },
         [](const std::vector<PackageFile>& f) {
             return "users.csv の " + std::to_string(rowOf(f, "users.csv", "u5,")) +
                    "行目、familyName の列：名前「𠮷田」の文字 「𠮷」（U+20BB7） は";
         }},
        {"a preferred name CP932 cannot hold",
         [](Package& p) { p.people[6].preferredGiven = "ゆう😀"; },
         [](const std::vector<PackageFile>& f) {
             return "users.csv の " + std::to_string(rowOf(f, "users.csv", "u6,")) +
                    "行目、preferredGivenName の列：名前「ゆう😀」の文字 「😀」（U+1F600）";
         }},
        {"two children with one 出席番号 in a class", [](Package& p) { p.people[32].seat = "1"; },
         [](const std::vector<PackageFile>& f) {
             return "enrollments.csv の " + std::to_string(rowOf(f, "enrollments.csv", "e-u31,")) +
                    "行目、metadata.jp.ShussekiNo の列：出席番号 1 は、3年2組 の " +
                    std::to_string(rowOf(f, "enrollments.csv", "e-u30,")) + "行目";
         }},
        {"a 出席番号 that is no number", [](Package& p) { p.people[7].seat = "七"; },
         [](const std::vector<PackageFile>& f) {
             return "enrollments.csv の " + std::to_string(rowOf(f, "enrollments.csv", "e-u7,")) +
                    "行目、metadata.jp.ShussekiNo の列：出席番号「七」が整数ではありません";
         }},
    };
    for (const Case& c : cases) {
        Package pkg = threeClasses(2025);
        c.breakIt(pkg);
        const std::vector<PackageFile> files = pkg.files({});
        const OneRosterImport im = importOneRoster(files, settings(2025), {}, {}, noneUsed());
        EXPECT_TRUE(im.hasErrors()) << c.what;
        const std::string says = c.says(files);
        EXPECT_TRUE(tells(im, FindingLevel::Error, says)) << c.what << "\n"
                                                          << says << "\n"
                                                          << told(im);
    }
    // A file missing, or one that is no CSV of the package.
    Package pkg = threeClasses(2025);
    std::vector<PackageFile> files = pkg.files({});
    std::erase_if(files, [](const PackageFile& f) { return f.name == "users.csv"; });
    OneRosterImport im = importOneRoster(files, settings(2025), {}, {}, noneUsed());
    EXPECT_TRUE(tells(im, FindingLevel::Error, "users.csv：ファイルがありません")) << told(im);
    files = pkg.files({});
    std::erase_if(files, [](const PackageFile& f) { return f.name == "manifest.csv"; });
    im = importOneRoster(files, settings(2025), {}, {}, noneUsed());
    EXPECT_TRUE(tells(im, FindingLevel::Error, "manifest.csv：ファイルがありません")) << told(im);
    files = pkg.files({});
    files[4].bytes = "\x81\x20\xFF";
    im = importOneRoster(files, settings(2025), {}, {}, noneUsed());
    EXPECT_TRUE(tells(im, FindingLevel::Error, "users.csv：文字コードが UTF-8 として読めません"))
        << told(im);
}

TEST(Zip, StoredAndDeflatedEntriesAndBrokenArchives) {
    // A dynamic-code block with back references, as a zip tool writes it.
    std::string text = "sourcedId,familyName,givenName,grades\r\n";
    const char* const family[] = {"青木", "阿部", "井上", "上田", "中島", "佐藤", "鈴木", "高橋"};
    const char* const given[] = {"太郎", "花子", "ゆい", "蓮", "さくら", "湊"};
    for (int i = 0; i < 24; ++i)
        text += "s" + std::to_string(i) + "," + family[i % 8] + "," + given[i % 6] + ",P" +
                std::to_string(1 + i % 6) + "\r\n";
    const std::string hex =
        "5dd04d4ac34018c6f1bde04d9e4566f2d1f6086e64ae104c94825568507099b68846d0a216bbd05d1755a9288a"
        "a8203dcc2431730b07e41d67ba1b9ecdff376fb67fd0df4a938d04db71afbb7bb419f752ec740fd3bdbf573f4e"
        "d26c7d2df3a0ee2eebdb39aad9831a9e43303d32a8e9520de7688a976a3186e07ae428bf26e54701393896f908"
        "c2d7a30fbdfc5c3fa3b97a8208f412e86551bdbe43e613995fc8c12944a8f710e5f7b8b999a1fe2c2022bd4450"
        "276fabe916d4e3b4be3f73d26d42dae98e41529a7986e8b61923a689334e4ee7e33e29ed3c0b486af75968a806"
        "1019e80aa045d87f409bb00ea0630e6a9fde3347b5009c192c0138375217c07dc212e017";
    std::string deflated;
    for (size_t k = 0; k < hex.size(); k += 2)
        deflated += static_cast<char>(std::stoi(hex.substr(k, 2), nullptr, 16));
    std::string out;
    ASSERT_TRUE(inflateRaw(deflated, out, 1 << 20));
    EXPECT_EQ(out, text);
    EXPECT_EQ(crc32Of(out), 0x2556e5fbu);
    EXPECT_FALSE(inflateRaw(deflated, out, text.size() - 1)) << "more than it may unpack";
    for (size_t cut : {size_t{0}, size_t{1}, deflated.size() / 2, deflated.size() - 1})
        EXPECT_FALSE(inflateRaw(deflated.substr(0, cut), out, 1 << 20)) << cut;

    // Stored and deflated, at the top or in a folder: the same files.
    const std::vector<PackageFile> files = threeClasses(2025).files({});
    for (const bool deflate : {false, true})
        for (const char* folder : {"", "oneroster/"}) {
            const std::vector<PackageFile> back =
                packageOfZip(zipOf(files, deflate, folder), "pkg.zip");
            ASSERT_EQ(back.size(), files.size());
            for (size_t k = 0; k < files.size(); ++k) {
                EXPECT_EQ(back[k].name, files[k].name);
                EXPECT_EQ(back[k].bytes, files[k].bytes);
            }
        }

    // Broken archives are refused, naming the zip and what is wrong.
    const std::string zip = zipOf(files, true);
    const size_t data = 30 + std::string("manifest.csv").size() + 5;
    const struct {
        const char* what;
        std::function<std::string(std::string)> breakIt;
        const char* says;
    } broken[] = {
        {"cut in half", [](std::string z) { return z.substr(0, z.size() / 2); }, "終わりの目録"},
        {"a byte changed",
         [&](std::string z) {
             return withByte(z, data, static_cast<unsigned char>(z.at(data) ^ 0x01));
         },
         "manifest.csv"},
        {"encrypted",
         [](std::string z) {
             const size_t at = z.find("PK\x01\x02");
             return withByte(z, at + 8, static_cast<unsigned char>(z.at(at + 8) | 1));
         },
         "暗号化"},
        {"another method", [](std::string z) { return withByte(z, z.find("PK\x01\x02") + 10, 12); },
         "方式 12"},
        {"a directory past the end", [](std::string z) { return withByte(z, z.size() - 3, 0x7F); },
         "ファイルの外"},
    };
    for (const auto& b : broken) {
        try {
            packageOfZip(b.breakIt(zip), "pkg.zip");
            ADD_FAILURE() << b.what;
        } catch (const RosterError& e) {
            const std::string what = e.what();
            EXPECT_EQ(what.rfind("「pkg.zip」：", 0), 0u) << b.what << ": " << what;
            EXPECT_NE(what.find(b.says), std::string::npos) << b.what << ": " << what;
        }
    }
}
