#pragma once
// The shared test doubles as a benchmark needs them: a fixed clock, no
// sounds, no events; a message box aborts the run, as a benchmark that
// meets an error measures nothing.
#include <random>
#include <string>

#include "context/Context.h"
#include "platform/PosixFileCalls.h"
#include "platform/PosixMountTable.h"
#include "platform/PosixSharedFile.h"
#include "results/ResultRecord.h"
#include "roster/Roster.h"
#include "startup/Calendar.h"
#include "support/Fakes.h"

namespace kestrel::bench {

struct QuietServices : test::FakeServices {
    test::FakeClock clock; // 2025-06-10 10:00
    test::FakeEventPump events{&clock};

    QuietServices() { dialogs.abort = true; }
    // With another event pump, for screens whose repaints are part of the cost.
    Services with(EventPump& pump) { return FakeServices::with(clock, pump); }
    Services services() { return with(events); }
};

// The real files and mounts of this PC, as the program has them.
inline std::unique_ptr<SharedFileSystem> localFiles() {
    return std::make_unique<PosixSharedFileSystem>();
}
inline std::unique_ptr<MountTable> localMounts() {
    return std::make_unique<ProcMountTable>();
}

// The system's calls, counting the bytes read.
struct CountingCalls : SystemFileCalls {
    uint64_t bytesRead = 0;
    ssize_t pread(int fd, void* buffer, size_t bytes, off_t offset) override {
        const ssize_t n = SystemFileCalls::pread(fd, buffer, bytes, offset);
        if (n > 0) bytesRead += static_cast<uint64_t>(n);
        return n;
    }
};

// A school of `students` listed students numbered 1..n, in the roster's
// space-padded form, born over nine school years.
inline void fillRoster(RosterTables& r, int students, std::mt19937& rng) {
    r.SchoolYear = 2025;
    for (int s = 1; s <= students; ++s) {
        const auto S = static_cast<size_t>(s);
        r.RosterNumbers[S] = static_cast<int16_t>(s);
        r.StudentNames[S] = "せいと" + std::to_string(s) + std::string(12, ' ');
        r.BirthYears[S] = static_cast<int16_t>(2010 + rng() % 9);
    }
    r.RosterCount = static_cast<int16_t>(students);
}

// The bytes of a log of `records` runs of students 1..`students` at levels
// 1..5 over the `days` days up to 2025-06-10, one in fifty a time-out; a
// tenth of them carry `otherCode` when it is given, the rest `code`.
inline std::string classroomLog(int records, int students, int days, std::mt19937& rng,
                                const char* code = "", const char* otherCode = nullptr) {
    const double today = static_cast<double>(dayNumber(CivilDate{2025, 6, 10}));
    std::string bytes;
    bytes.reserve(static_cast<size_t>(records) * kResultRecordSize);
    for (int i = 0; i < records; ++i) {
        ResultRecord r;
        r.date = today - static_cast<double>(rng() % static_cast<unsigned>(days));
        r.timeOfDay = static_cast<double>(rng() % 86400) / 86400.0;
        r.studentNumber = static_cast<int16_t>(1 + rng() % static_cast<unsigned>(students));
        r.level = static_cast<int16_t>(1 + rng() % 5);
        r.seconds = rng() % 50 == 0 ? 99999 : static_cast<int32_t>(20 + rng() % 400);
        r.schoolCode = resultText(otherCode && rng() % 10 == 0 ? otherCode : code);
        const ResultBytes b = encodeResultRecord(r);
        bytes.append(reinterpret_cast<const char*>(b.data()), b.size());
    }
    return bytes;
}

} // namespace kestrel::bench
