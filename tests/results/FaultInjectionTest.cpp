// The results log's load, append, correction and delete on the real system
// calls while libfiu makes them fail, each call in turn and at random: never
// a record reported as written that is not whole on disk, never a record
// lost or torn, never a lock left held, never a hang, and the messages the
// teacher knows.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>

#include "results/ResultsLogEdit.h"
#include "results/ResultsTestSupport.h"

extern char** environ;

using namespace kestrel;
using namespace kestrel::test;

#ifdef KESTREL_FAULTY_LOG

namespace {

constexpr int kOriginals = 5;

struct Outcome {
    int exit = -1;
    bool loadOk = false;
    int loaded = 0;
    std::string loadMessage;
    bool stepOk = false;
    std::string stepMessage;
    bool lockFree = false;
    long calls = 0;
    long failed = 0;
};

std::string rest(std::istringstream& in) {
    std::string s;
    std::getline(in, s);
    return s.empty() ? s : s.substr(1);
}

// Runs the helper under libfiu's POSIX preload and reads what it printed.
Outcome runFaulty(const TempDir& dir, const std::string& step,
                  const std::vector<std::string>& mode) {
    std::vector<std::string> args{KESTREL_FAULTY_LOG, dir.path().string() + "/", step};
    args.insert(args.end(), mode.begin(), mode.end());
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    std::vector<std::string> env;
    std::string asan = "ASAN_OPTIONS=verify_asan_link_order=0";
    for (char** e = environ; *e; ++e) {
        const std::string var = *e;
        if (var.rfind("LD_PRELOAD=", 0) == 0) continue;
        if (var.rfind("ASAN_OPTIONS=", 0) == 0) {
            asan += ":" + var.substr(13);
            continue;
        }
        env.push_back(var);
    }
    env.push_back(std::string("LD_PRELOAD=") + KESTREL_FIU_PRELOAD);
    env.push_back(asan);
    std::vector<char*> envp;
    for (std::string& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    const std::string out = (dir / "out.txt").string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    Outcome o;
    const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return o;

    // Never a hang: a run that does not end is killed and fails the test.
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            ADD_FAILURE() << "hung: " << mode[0] << " " << mode[1];
            return o;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    o.exit = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);

    std::istringstream text(readBytes(out));
    std::string line;
    while (std::getline(text, line)) {
        std::istringstream in(line);
        std::string what, result;
        in >> what >> result;
        if (what == "load") {
            o.loadOk = result == "ok";
            in >> o.loaded;
            o.loadMessage = rest(in);
        } else if (what == step) {
            o.stepOk = result == "ok";
            o.stepMessage = rest(in);
        } else if (what == "lock") {
            o.lockFree = result == "free";
        } else if (what == "calls") {
            o.calls = std::stol(result);
            std::string word;
            in >> word >> o.failed;
        }
    }
    return o;
}

ResultRecord theRun() {
    ResultRecord r;
    r.date = 46000;
    r.timeOfDay = 0.5;
    r.studentNumber = 7;
    r.level = 2;
    r.seconds = 33;
    return r;
}

struct Totals {
    long runs = 0, faults = 0, done = 0, refused = 0;
};

// What the log must hold after a step: the originals with the step's change
// made whole, or not made at all.
struct Expected {
    std::vector<ResultRecord> before, after;
};

Expected expectedFor(const std::string& step, const std::vector<ResultRecord>& originals) {
    Expected e{originals, originals};
    if (step == "append") {
        e.after.push_back(theRun());
    } else if (step == "correct") {
        e.after[2].studentNumber = 42;
        e.after[2].seconds = 4242;
    } else {
        e.after.erase(e.after.begin() + 1);
    }
    return e;
}

std::vector<std::string> bytesOf(const std::vector<ResultRecord>& records) {
    std::vector<std::string> out;
    for (const ResultRecord& r : records) {
        const ResultBytes b = encodeResultRecord(r);
        out.emplace_back(b.begin(), b.end());
    }
    return out;
}

// One run's checks against the log it left.
void check(const TempDir& dir, const std::string& step, const std::vector<ResultRecord>& originals,
           const Outcome& o, const std::string& what, Totals& totals) {
    ++totals.runs;
    totals.faults += o.failed;
    ASSERT_EQ(o.exit, 0) << what << ": the helper itself failed";
    EXPECT_TRUE(o.lockFree) << what;
    if (o.loadOk) {
        EXPECT_EQ(o.loaded, kOriginals) << what;
    } else {
        EXPECT_TRUE(o.loadMessage.rfind("成績ランダムファイル表示", 0) == 0 ||
                    o.loadMessage.rfind("ファイルがありません", 0) == 0)
            << what << ": " << o.loadMessage;
    }
    if (step == "append" && !o.stepOk) {
        EXPECT_EQ(o.stepMessage.rfind("成績ランダムファイル記録", 0), 0u)
            << what << ": " << o.stepMessage;
    }
    if (o.stepOk)
        ++totals.done;
    else
        ++totals.refused;

    // The next PC's load finishes what a delete left undone; the log is then
    // whole, old or new, and new when the step reported success.
    LogContext next;
    next.ctx.folders.DataFolder = dir.path().string() + "/";
    ASSERT_TRUE(LoadResults(next.ctx)) << what;
    const std::filesystem::path log = dir / kResultsLogName;
    const Expected e = expectedFor(step, originals);
    const std::vector<std::string> now = bytesOf(decodeLog(readBytes(log)));
    const bool isNew = now == bytesOf(e.after);
    EXPECT_TRUE(isNew || now == bytesOf(e.before)) << what << ": a record lost or torn";
    if (o.stepOk) {
        EXPECT_TRUE(isNew) << what << ": reported done but not on disk";
    }
    EXPECT_FALSE(std::filesystem::exists(dir / kDeletePlanName)) << what;

    // The next PC's append lands whole after whatever was left, a cut
    // record included.
    next.signIn(9, 1);
    ASSERT_TRUE(next.append().ok()) << what;
    const std::vector<ResultRecord> after = decodeLog(readBytes(log));
    ASSERT_EQ(after.size(), now.size() + 1) << what;
    EXPECT_EQ(after.back().studentNumber, 9) << what;
    EXPECT_EQ(readBytes(log).size() % kResultRecordSize, 0u) << what;
}

std::vector<ResultRecord> freshLog(const TempDir& dir) {
    std::vector<ResultRecord> originals;
    for (int i = 1; i <= kOriginals; ++i)
        originals.push_back(runRecord(45990 + i, i, 1 + i % 5, 30 + i));
    writeBytes(dir / kResultsLogName, logBytes(originals));
    return originals;
}

} // namespace

TEST(FaultInjection, EachCallFailsInTurn) {
    for (const std::string step : {"append", "correct", "delete"}) {
        Totals totals;
        // A run without faults counts the calls.
        TempDir first;
        freshLog(first);
        const Outcome clean = runFaulty(first, step, {"nth", "0"});
        ASSERT_TRUE(clean.loadOk && clean.stepOk) << step << clean.loadMessage << clean.stepMessage;
        ASSERT_GT(clean.calls, 8) << step;
        for (long n = 1; n <= clean.calls; ++n) {
            TempDir dir;
            const std::vector<ResultRecord> originals = freshLog(dir);
            const Outcome o = runFaulty(dir, step, {"nth", std::to_string(n)});
            EXPECT_EQ(o.failed, 1) << step << " call " << n;
            check(dir, step, originals, o, step + " call " + std::to_string(n), totals);
        }
        std::printf("[ figures  ] %s: %ld runs, %ld faults injected, %ld done, %ld refused\n",
                    step.c_str(), totals.runs, totals.faults, totals.done, totals.refused);
    }
}

TEST(FaultInjection, CallsFailAtRandom) {
    // A delete makes twice the calls of a correction (its plan, the change
    // mark): a lower chance per call leaves some deletes that get through.
    const std::pair<std::string, std::string> steps[] = {
        {"append", "0.15"}, {"correct", "0.15"}, {"delete", "0.08"}};
    for (const auto& [step, chance] : steps) {
        Totals totals;
        for (int seed = 1; seed <= 60; ++seed) {
            TempDir dir;
            const std::vector<ResultRecord> originals = freshLog(dir);
            const Outcome o = runFaulty(dir, step, {"random", std::to_string(seed), chance});
            check(dir, step, originals, o, step + " seed " + std::to_string(seed), totals);
        }
        EXPECT_GT(totals.faults, 30) << step;
        EXPECT_GT(totals.done, 0) << step;
        EXPECT_GT(totals.refused, 0) << step;
        std::printf("[ figures  ] %s: %ld runs, %ld faults injected, %ld done, %ld refused\n",
                    step.c_str(), totals.runs, totals.faults, totals.done, totals.refused);
    }
}

#else

TEST(FaultInjection, NeedsLibfiuWithoutSanitizers) {
    GTEST_SKIP() << "runs in the build without sanitizers, with libfiu (scripts/install-deps.sh)";
}

#endif
