#pragma once
// The shared results log: appending the run just made, loading the most
// recent records, the summary rebuilt from them, and the rules and helpers
// that read it. Every PC appends to the same file; see platform/SharedFile.h
// for how appends and reads keep out of each other's way.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "platform/SharedFile.h"
#include "results/ResultRecord.h"
#include "results/ResultsSummary.h"
#include "context/Context.h"

namespace kestrel {

constexpr int32_t kMaxLoadedRecords = 20000;   // the most recent records a load reads
constexpr int32_t kCountedSecondsBelow = 6000; // slower runs add points but no count
constexpr int kOverallBestStudents = 1000;     // students 1..1000 make the overall best

// Opens the log in DataFolder (a missing log is created empty). Null on
// failure, with `status` telling why.
std::unique_ptr<SharedFile> OpenResultsLog(Context& ctx, SharedAccess access, FileStatus& status);

// Appends one record of the current run (student, level, RunTime, school
// code, the clock) at the end of the last whole record. A file held by
// another PC is retried every second without limit; any other failure shows
// a message and ends the program. True only once the record is on disk.
bool AppendResult(Context& ctx);

// End-of-run bookkeeping for the end screen: sets RecordFlags against the
// summary last built, lowers the best times, and appends the run. Called
// once per recorded run with level = CurrentLevel. False when it failed.
bool RecordRun(Context& ctx, int level);

// Reads the 20000 most recent whole records into RunEntries and sets
// bestTime and overallBest. Waits and retries while the log is held by
// another PC or its folder is missing (up to the fourth miss); other
// failures show a message and end the program. False when it failed.
bool LoadResults(Context& ctx);

// Clears and rebuilds the whole summary from the log (it calls LoadResults).
bool BuildSummary(Context& ctx);

// Points of one run before the level's multiplier: 5 to 55 up to the target
// time, then 4, 1 and 0. With `firstThreeDigits` a time of 1000 seconds or
// more is judged by its first three digits (1234 counts as 123), as the log's
// figures are; without it, by its full value, as the end screen shows it.
int32_t basePoints(int32_t seconds, int32_t targetTime, bool firstThreeDigits = true);
// p times the multiplier, truncated.
int32_t scalePoints(int32_t points, float multiplier);
// The points a run of the log adds at level L.
int32_t RunPoints(const CriteriaTable& criteria, int32_t seconds, int level);

// Within the pass period: enough runs and enough points.
bool LevelCleared(const Context& ctx, int level, int student);
// Within the over-practice period: too many runs or too many points (a
// limit of 0 is off).
bool OverPractice(const Context& ctx, int level, int student);

namespace detail {
template <typename Keys, typename Items, typename Item>
void mergeByKey(int a, int b, Keys& keys, Items& items, std::vector<int32_t>& leftKeys,
                std::vector<Item>& leftItems) {
    if (a >= b) return;
    const int c = (a + b) / 2;
    mergeByKey(a, c, keys, items, leftKeys, leftItems);
    mergeByKey(c + 1, b, keys, items, leftKeys, leftItems);
    const int leftCount = c - a + 1;
    for (int k = 0; k < leftCount; ++k) {
        leftKeys[static_cast<size_t>(k)] = keys[a + k];
        leftItems[static_cast<size_t>(k)] = items[a + k];
    }
    int left = 0;
    int right = c + 1;
    int out = a;
    while (left < leftCount && right <= b) {
        // On equal keys the right half goes first.
        if (leftKeys[static_cast<size_t>(left)] < keys[right]) {
            keys[out] = leftKeys[static_cast<size_t>(left)];
            items[out] = leftItems[static_cast<size_t>(left)];
            ++left;
        } else {
            keys[out] = keys[right];
            items[out] = items[right];
            ++right;
        }
        ++out;
    }
    for (; left < leftCount; ++left, ++out) {
        keys[out] = leftKeys[static_cast<size_t>(left)];
        items[out] = leftItems[static_cast<size_t>(left)];
    }
}
} // namespace detail

// Sorts keys[1..n] ascending and moves items[1..n] with them (index 0 is
// not used). A top-down merge sort in which equal keys do not keep their
// order: of two equal keys the later one comes first after one pass.
template <typename Keys, typename Items> void SortByKey(int n, Keys& keys, Items& items) {
    using Item = std::remove_cvref_t<decltype(items[0])>;
    if (n < 2) return;
    std::vector<int32_t> leftKeys(static_cast<size_t>(n / 2 + 1));
    std::vector<Item> leftItems(static_cast<size_t>(n / 2 + 1));
    detail::mergeByKey(1, n, keys, items, leftKeys, leftItems);
}

} // namespace kestrel
