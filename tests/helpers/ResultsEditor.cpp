// Stands for the teacher's results manager on another PC.
// Usage:
//   ResultsEditor dataFolder delete number [stopAfterStep]
//       deletes record `number`; with stopAfterStep 1..5 the process kills
//       itself (SIGKILL) right after that step of the delete
//   ResultsEditor dataFolder restore index [stopAfterStep]
//       restores entry `index` (from 0, in file order) of the deleted
//       records; with stopAfterStep 1..4 it kills itself after that step
//   ResultsEditor dataFolder cycle count
//       deletes the first record and restores it, `count` times in a row
//   ResultsEditor dataFolder deleteFirst count
//       deletes the first record, `count` times in a row
//   ResultsEditor dataFolder correct number student
//       gives record `number` the student number `student`
// Each change reads the record first, as the edit panel does. Exits 0 when
// every change was made.
#include <csignal>
#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

#include "HelperServices.h"
#include "context/Procedures.h"
#include "results/DeletedRecords.h"
#include "results/ResultsLogEdit.h"

using namespace kestrel;

namespace {

bool readChosen(const LogAccess& log, uint64_t number, ResultBytes& chosen) {
    bool exists = false;
    const LogStatus s = readResultRecord(log, number, chosen, exists);
    if (!s.ok()) std::fprintf(stderr, "%s\n", s.message.c_str());
    return s.ok() && exists;
}

bool report(const LogEditStatus& s) {
    if (!s.ok())
        std::fprintf(stderr, "result %d: %s\n", static_cast<int>(s.result), s.message.c_str());
    return s.ok();
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s dataFolder delete|deleteFirst|correct ...\n", argv[0]);
        return 2;
    }
    helper::HelperContext h(argv[1]);
    const LogAccess log = resultsLog(h.ctx);
    const std::string mode = argv[2];
    const uint64_t number = std::stoull(argv[3]);
    ResultBytes chosen{};

    if (mode == "delete") {
        const int stopAfter = argc > 4 ? std::stoi(argv[4]) : 0;
        DeleteStepHook hook;
        if (stopAfter > 0)
            hook = [stopAfter](DeleteStep step) {
                if (static_cast<int>(step) + 1 == stopAfter) ::kill(::getpid(), SIGKILL);
            };
        if (!readChosen(log, number, chosen)) return 1;
        return report(deleteResultRecord(log, number, chosen, hook)) ? 0 : 1;
    }
    if (mode == "restore") {
        const int stopAfter = argc > 4 ? std::stoi(argv[4]) : 0;
        RestoreStepHook hook;
        if (stopAfter > 0)
            hook = [stopAfter](RestoreStep step) {
                if (static_cast<int>(step) + 1 == stopAfter) ::kill(::getpid(), SIGKILL);
            };
        std::vector<DeletedRecord> entries;
        if (!readDeletedRecords(log, entries).ok() || number >= entries.size()) return 1;
        uint64_t restoredAs = 0;
        return report(restoreDeletedRecord(log, entries[number], restoredAs, hook)) ? 0 : 1;
    }
    if (mode == "cycle") {
        for (uint64_t i = 0; i < number; ++i) {
            if (!readChosen(log, 1, chosen)) return 1;
            if (!report(deleteResultRecord(log, 1, chosen))) return 1;
            std::vector<DeletedRecord> entries;
            if (!readDeletedRecords(log, entries).ok() || entries.empty()) return 1;
            uint64_t restoredAs = 0;
            if (!report(restoreDeletedRecord(log, entries.back(), restoredAs))) return 1;
        }
        return 0;
    }
    if (mode == "deleteFirst") {
        for (uint64_t i = 0; i < number; ++i) {
            if (!readChosen(log, 1, chosen)) return 1;
            if (!report(deleteResultRecord(log, 1, chosen))) return 1;
        }
        return 0;
    }
    if (mode == "correct" && argc > 4) {
        if (!readChosen(log, number, chosen)) return 1;
        ResultRecord r = decodeResultRecord(chosen.data());
        r.studentNumber = static_cast<int16_t>(std::stoi(argv[4]));
        return report(correctResultRecord(log, number, chosen, encodeResultRecord(r))) ? 0 : 1;
    }
    std::fprintf(stderr, "unknown mode %s\n", mode.c_str());
    return 2;
}
