// A OneRoster package of a school's system: a zip of its CSV files, or the
// files one after another, each after a line "@@ name". Whatever the bytes,
// the reader ends with a roster or with errors that name their file; a
// roster's numbers are each given once, within 1..5000, a new one never a
// number already used, and the roster and the number file read back.
#include <set>
#include <vector>

#include "FuzzTarget.h"
#include "roster/OneRoster.h"
#include "roster/RosterDisplay.h"

using namespace kestrel;

namespace {

std::vector<PackageFile> textPackage(std::string_view bytes) {
    std::vector<PackageFile> files;
    size_t at = 0;
    while (at < bytes.size()) {
        size_t end = bytes.find("\n@@ ", at);
        if (end == std::string_view::npos) end = bytes.size();
        std::string_view part = bytes.substr(at, end - at);
        if (part.starts_with("@@ ")) part.remove_prefix(3);
        const size_t line = part.find('\n');
        if (line != std::string_view::npos)
            files.push_back(
                {std::string(part.substr(0, line)), std::string(part.substr(line + 1))});
        at = end + 1;
    }
    return files;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes = fuzz::bytesOf(data, size);
    std::vector<PackageFile> files;
    if (bytes.starts_with("PK")) {
        try {
            files = packageOfZip(bytes, "pkg.zip");
        } catch (const RosterError& e) {
            FUZZ_CHECK(fuzz::names(e.what(), "pkg.zip"));
            return 0;
        }
    } else {
        files = textPackage(bytes);
    }

    OneRosterSettings settings;
    settings.schoolYear = 2025;
    settings.schoolName = "テスト小学校";
    NumberBook book;
    book[1] = {"u1", "m1", "佐藤蓮", 2016};
    book[7] = {"u7", "", "鈴木花子", 2015};
    const std::vector<RosterRow> roster = rosterRows("3,2016,0,0,高橋ゆい,0,,\r\n"
                                                     "4,1985,0,0,森田先生,0,,\r\n");
    std::vector<bool> used(static_cast<size_t>(kMaxStudent) + 1, false);
    used[2] = used[5] = true;

    const OneRosterImport im = importOneRoster(files, settings, book, roster, used);
    for (const SheetProblem& p : im.problems)
        FUZZ_CHECK(p.message.find(".csv") != std::string::npos);
    if (im.hasErrors()) return 0;

    std::set<int> numbers;
    for (const RosterRow& row : im.rows) {
        int16_t n = 0;
        FUZZ_CHECK(readRosterNumber(row.fields[kNumberField], n) == RosterNumber::Ok);
        FUZZ_CHECK(n >= 1 && n <= kMaxStudent);
        FUZZ_CHECK(numbers.insert(n).second);
        FUZZ_CHECK(im.numbers.count(n) == 1);
    }
    for (const int n : im.freshNumbers)
        FUZZ_CHECK(!used[static_cast<size_t>(n)] && !book.count(n) && n != 3 && n != 4);
    for (const auto& [n, person] : book)
        FUZZ_CHECK(im.numbers.count(n) == 1);

    // The roster is CP932 and reads back entry for entry.
    std::string cp932;
    try {
        cp932 = utf8ToCp932(im.rosterText());
    } catch (const std::invalid_argument&) {
        FUZZ_CHECK(!"the roster holds a character CP932 has not");
    }
    const std::vector<RosterFileEntry> entries = parseRoster(cp932ToUtf8(cp932), "新名簿.txt");
    FUZZ_CHECK(entries.size() == im.rows.size());
    const NumberBook back = parseNumberBook(numberBookText(im.numbers), "名簿番号.txt");
    FUZZ_CHECK(back.size() == im.numbers.size());
    return 0;
}
