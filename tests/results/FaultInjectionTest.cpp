// The results log's load and append on the real system calls while libfiu
// makes them fail, each call in turn and at random: never a record reported
// as written that is not whole on disk, never a lock left held, never a
// torn record, never a hang, and the messages the teacher knows.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>

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
    bool appendOk = false;
    std::string appendMessage;
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
Outcome runFaulty(const TempDir& dir, const std::vector<std::string>& mode) {
    std::vector<std::string> args{KESTREL_FAULTY_LOG, dir.path().string() + "/"};
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
        } else if (what == "append") {
            o.appendOk = result == "ok";
            o.appendMessage = rest(in);
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
    long runs = 0, faults = 0, appended = 0, refused = 0;
};

// One run's checks against the log it left.
void check(const TempDir& dir, const std::vector<ResultRecord>& originals, const Outcome& o,
           const std::string& what, Totals& totals) {
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

    const std::filesystem::path log = dir / kResultsLogName;
    const std::vector<ResultRecord> records = decodeLog(readBytes(log));
    const ResultBytes run = encodeResultRecord(theRun());
    ASSERT_GE(records.size(), originals.size()) << what << ": a record was lost";
    for (size_t i = 0; i < originals.size(); ++i)
        EXPECT_EQ(encodeResultRecord(records[i]), encodeResultRecord(originals[i])) << what;
    // Whatever whole record follows is the run itself, never a torn one.
    EXPECT_LE(records.size(), originals.size() + 1) << what;
    if (records.size() > originals.size()) {
        EXPECT_EQ(encodeResultRecord(records.back()), run) << what << ": torn record";
    }
    if (o.appendOk) {
        ++totals.appended;
        EXPECT_EQ(records.size(), originals.size() + 1) << what << ": reported but not on disk";
    } else {
        ++totals.refused;
        EXPECT_EQ(o.appendMessage.rfind("成績ランダムファイル記録", 0), 0u)
            << what << ": " << o.appendMessage;
    }

    // The next PC's append lands whole after whatever was left, a cut
    // record included.
    LogContext next;
    next.ctx.folders.DataFolder = dir.path().string() + "/";
    next.signIn(9, 1);
    ASSERT_TRUE(next.append().ok()) << what;
    const std::vector<ResultRecord> after = decodeLog(readBytes(log));
    ASSERT_EQ(after.size(), records.size() + 1) << what;
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

TEST(FaultInjection, EachCallOfTheLoadAndTheAppendFailsInTurn) {
    Totals totals;
    // A run without faults counts the calls.
    TempDir first;
    freshLog(first);
    const Outcome clean = runFaulty(first, {"nth", "0"});
    ASSERT_TRUE(clean.loadOk && clean.appendOk) << clean.loadMessage << clean.appendMessage;
    ASSERT_GT(clean.calls, 8);
    for (long n = 1; n <= clean.calls; ++n) {
        TempDir dir;
        const std::vector<ResultRecord> originals = freshLog(dir);
        const Outcome o = runFaulty(dir, {"nth", std::to_string(n)});
        EXPECT_EQ(o.failed, 1) << "call " << n;
        check(dir, originals, o, "call " + std::to_string(n), totals);
    }
    std::printf("[ figures  ] %ld runs, %ld faults injected, %ld appended, %ld refused\n",
                totals.runs, totals.faults, totals.appended, totals.refused);
}

TEST(FaultInjection, CallsFailAtRandom) {
    Totals totals;
    for (int seed = 1; seed <= 80; ++seed) {
        TempDir dir;
        const std::vector<ResultRecord> originals = freshLog(dir);
        const Outcome o = runFaulty(dir, {"random", std::to_string(seed), "0.15"});
        check(dir, originals, o, "seed " + std::to_string(seed), totals);
    }
    EXPECT_GT(totals.faults, 40);
    EXPECT_GT(totals.appended, 0);
    EXPECT_GT(totals.refused, 0);
    std::printf("[ figures  ] %ld runs, %ld faults injected, %ld appended, %ld refused\n",
                totals.runs, totals.faults, totals.appended, totals.refused);
}

#else

TEST(FaultInjection, NeedsLibfiuWithoutSanitizers) {
    GTEST_SKIP() << "runs in the build without sanitizers, with libfiu (scripts/install-deps.sh)";
}

#endif
