// The roster: its entries, the roster tables, and the name screen's lists in
// every display mode and grade filter. Whatever the file holds, every line
// of the list signs in the student it shows.
#include <algorithm>
#include <memory>
#include <vector>

#include "FuzzTarget.h"
#include "roster/RosterDisplay.h"

using namespace kestrel;

namespace {

// Figures of a few students, large numbers among them, so that the list's
// fixed-width figures are cut as well as padded.
const ResultsSummary& summaryWithFigures() {
    static const std::unique_ptr<ResultsSummary> summary = [] {
        auto s = std::make_unique<ResultsSummary>();
        for (size_t student : {1u, 2u, 7u, 5000u}) {
            s->countToday[1][student] = static_cast<float>(student);
            s->pointsToday[2][student] = static_cast<int32_t>(student * 1000);
            s->countAll[3][student] = 32000;
            s->pointsAll[35][student] = 2000000000;
        }
        return s;
    }();
    return *summary;
}

const char* const kFilters[] = {"全学年", "小学生全体", "小１", "中学生全体", "中３", "家族"};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string fileName = "/srv/学校/共有データ/新名簿.txt";
    auto tables = std::make_unique<RosterTables>();
    tables->SchoolYear = 2025;
    NameListState lists;
    // The mode and the status-2 setting follow the input's length, so that
    // every one of them meets every kind of file.
    lists.NameListMode = static_cast<int>(size % 5); // 4 is outside the modes
    SharedConfig config;
    config.ListStatus2Entries = (size / 5) % 2 == 0 ? "1" : "0";
    try {
        startNameLists(lists);
        readRosterBytes(*tables, lists, summaryWithFigures(), fuzz::bytesOf(data, size), fileName,
                        config);
    } catch (const RosterError& e) {
        FUZZ_CHECK(fuzz::names(e.what(), fileName));
        return 0;
    }
    const RosterTables& t = *tables;
    FUZZ_CHECK(t.RosterCount >= 0 && t.RosterCount <= kMaxStudent);
    FUZZ_CHECK(t.Roster.size() == static_cast<size_t>(t.RosterCount) + 1);
    std::vector<int> listed;
    for (int p = 1; p <= t.RosterCount; ++p) {
        const int16_t number = t.RosterNumbers[static_cast<size_t>(p)];
        FUZZ_CHECK(number >= 0 && number <= kMaxStudent);
        FUZZ_CHECK(t.Roster[static_cast<size_t>(p)].number == number);
        FUZZ_CHECK(characterCount(t.Roster[static_cast<size_t>(p)].name) == kRosterTextLength);
        listed.push_back(number);
    }
    const bool modeShowsLines = lists.NameListMode >= 0 && lists.NameListMode <= 3;
    FUZZ_CHECK(lists.List2.size() == (modeShowsLines ? t.RosterCount : 0));

    for (const char* filter : kFilters) {
        lists.List1.assign(1, kNobodyLine);
        lists.List3.clear();
        lists.numbers.clear();
        lists.filterText = filter;
        filterNameLists(lists, t);
        FUZZ_CHECK(!lists.List1.empty() && lists.List1[0] == kNobodyLine);
        FUZZ_CHECK(lists.List3.size() + 1 == lists.List1.size());
        FUZZ_CHECK(lists.numbers.size() + 1 == lists.List1.size());
        std::vector<int> shown;
        for (int line = 1; line < static_cast<int>(lists.List1.size()); ++line)
            shown.push_back(lists.numberOfLine(line));
        if (std::string_view(filter) == "全学年" && modeShowsLines) {
            // Everybody listed, each once, under the number the file gives.
            std::vector<int> expected = listed;
            std::sort(expected.begin(), expected.end());
            std::sort(shown.begin(), shown.end());
            FUZZ_CHECK(shown == expected);
        } else {
            for (int number : shown)
                FUZZ_CHECK(std::find(listed.begin(), listed.end(), number) != listed.end());
        }
    }
    return 0;
}
