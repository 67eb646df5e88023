// Runs steps of the results log against the real system calls while
// libfiu makes them fail: the load of the summary, then the append of one
// run, the correction of record 3 or the delete of record 2. Started by the
// fault-injection tests with libfiu's POSIX preload, which fails open,
// close, pread, pwrite, fsync, ftruncate, rename and unlink; the file locks
// and the length (fcntl, lseek), which the preload does not cover, fail
// through points of this program's own.
// Usage: FaultyLog dataFolder append|correct|delete nth N | random SEED PROBABILITY
// Prints what each step did, whether the log's lock is free afterwards and
// how many calls were made and failed.
#include <fiu-control.h>
#include <fiu.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "context/Procedures.h"
#include "helpers/HelperServices.h"
#include "results/ResultsLogEdit.h"
#include "results/ResultsSummary.h"

using namespace kestrel;

namespace {

bool g_armed = false;
bool g_random = false;
long g_failAt = 0;
double g_probability = 0;
std::mt19937 g_rng;
long g_calls = 0;
long g_failed = 0;

int decide(const char*, int*, void**, unsigned int*) {
    if (!g_armed) return 0;
    ++g_calls;
    const bool fail = g_random ? std::uniform_real_distribution<double>(0, 1)(g_rng) < g_probability
                               : g_calls == g_failAt;
    if (fail) ++g_failed;
    return fail ? 1 : 0;
}

int pick(std::initializer_list<int> errors) {
    const auto i = std::uniform_int_distribution<size_t>(0, errors.size() - 1)(g_rng);
    return *(errors.begin() + i);
}

// The system's calls, with failure points where the preload has none.
class InjectedCalls : public SystemFileCalls {
public:
    int lockWhole(int fd, short type) override {
        if (fiu_fail("kestrel/io/fcntl")) {
            errno = pick({EINTR, ENOLCK, EIO, EAGAIN});
            return -1;
        }
        return SystemFileCalls::lockWhole(fd, type);
    }
    off_t lseek(int fd, off_t offset, int whence) override {
        if (fiu_fail("kestrel/io/lseek")) {
            errno = pick({EIO, EOVERFLOW});
            return -1;
        }
        return SystemFileCalls::lseek(fd, offset, whence);
    }
};

const char* const kPoints[] = {
    "posix/io/oc/open",    "posix/io/oc/close",     "posix/io/rw/pread",   "posix/io/rw/pwrite",
    "posix/io/sync/fsync", "posix/io/rw/ftruncate", "posix/io/dir/rename", "posix/io/dir/unlink",
    "kestrel/io/fcntl",    "kestrel/io/lseek",
};

// A message on one line of the report.
std::string oneLine(std::string text) {
    for (char& c : text)
        if (c == '\r' || c == '\n') c = ' ';
    return text;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 5) {
        std::fprintf(stderr, "usage: %s dataFolder append|correct|delete nth N | random SEED P\n",
                     argv[0]);
        return 2;
    }
    const std::string step = argv[2];
    const std::string mode = argv[3];
    if (mode == "nth") {
        g_failAt = std::atol(argv[4]);
    } else if (mode == "random" && argc >= 6) {
        g_random = true;
        g_rng.seed(static_cast<unsigned>(std::atol(argv[4])));
        g_probability = std::atof(argv[5]);
    } else {
        return 2;
    }
    fiu_init(0);
    for (const char* point : kPoints)
        fiu_enable_external(point, 1, nullptr, 0, decide);

    helper::HelperContext h(argv[1]);
    h.exit.endProcess = false;
    test::setUniformCriteria(h.ctx, 5);
    InjectedCalls calls;
    h.ctx.sharedFiles = std::make_unique<PosixSharedFileSystem>(calls);
    const LogAccess log = resultsLog(h.ctx);

    g_armed = true;
    const LogStatus load = BuildSummary(*h.ctx.summary, h.ctx.runEntries, h.ctx.criteria, log);
    g_armed = false;
    std::printf("load %s %d %s\n", load.ok() ? "ok" : "failed", h.ctx.runEntries.count(),
                oneLine(load.message).c_str());

    if (step == "append") {
        ResultRecord run;
        run.date = 46000;
        run.timeOfDay = 0.5;
        run.studentNumber = 7;
        run.level = 2;
        run.seconds = 33;
        g_armed = true;
        const LogStatus append = AppendResult(log, run);
        g_armed = false;
        std::printf("append %s %s\n", append.ok() ? "ok" : "failed",
                    oneLine(append.message).c_str());
    } else {
        // The teacher chose the record as the list showed it, before the faults.
        const uint64_t number = step == "correct" ? 3 : 2;
        ResultBytes chosen{};
        bool exists = false;
        if (!readResultRecord(log, number, chosen, exists).ok() || !exists) return 3;
        ResultRecord corrected = decodeResultRecord(chosen.data());
        corrected.studentNumber = 42;
        corrected.seconds = 4242;
        g_armed = true;
        const LogEditStatus edit =
            step == "correct"
                ? correctResultRecord(log, number, chosen, encodeResultRecord(corrected))
                : deleteResultRecord(log, number, chosen);
        g_armed = false;
        std::printf("%s %s %s\n", step.c_str(), edit.ok() ? "ok" : "failed",
                    oneLine(edit.message).c_str());
    }

    // Nothing may stay locked: another descriptor takes the lock at once.
    PosixSharedFileSystem plain;
    FileStatus s;
    std::unique_ptr<SharedFile> other = plain.open(log.path, SharedAccess::Write, s);
    std::printf("lock %s\n", other && other->lockExclusive().ok() ? "free" : "held");
    std::printf("calls %ld failed %ld\n", g_calls, g_failed);
    return 0;
}
