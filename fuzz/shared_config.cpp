// The shared configuration: its ten items and the values the program takes
// from them (the school code stamped into every record, the school year's
// start month, whether status-2 entries are listed).
#include <filesystem>

#include "FuzzTarget.h"
#include "results/ResultRecord.h"
#include "roster/Grades.h"
#include "startup/Folders.h"
#include "text/Characters.h"
#include "text/LeadingNumber.h"

using namespace kestrel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::filesystem::path configFile = "/srv/学校/共有データ/共通データ.txt";
    try {
        const auto items = tenItemsOf(fuzz::bytesOf(data, size), configFile, kConfigPurpose);
        const SharedConfig c = sharedConfigFrom(items);
        FUZZ_CHECK(characterCount(c.SchoolCode) <= 5);
        FUZZ_CHECK(c.SchoolCode + c.SchoolName == items[1]);
        FUZZ_CHECK(c.TeacherPassword == items[5]);
        const ResultText code = resultText(c.SchoolCode);
        FUZZ_CHECK(resultTextUtf8(code).size() >= 1);
        for (int month = 1; month <= 12; ++month) {
            const int16_t year = schoolYearOf(2025, month, startMonthOf(c));
            FUZZ_CHECK(year == 2025 || year == 2024);
        }
        (void)(leadingNumber(c.ListStatus2Entries) == 1);
    } catch (const StartupError& e) {
        FUZZ_CHECK(fuzz::names(e.what(), displayPath(configFile)));
    }
    return 0;
}
