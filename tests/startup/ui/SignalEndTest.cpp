// Ending on a log-off or shutdown: a signal ends the program with status 0,
// but never while work holds the end (an append to the results log).
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QMessageBox>
#include <QThread>
#include <QTimer>
#include <chrono>
#include <cstring>
#include <fstream>
#include <optional>
#include <signal.h>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <vector>

#include "app/App.h"
#include "app/AppExit.h"
#include "platform/ui/PosixShutdownSignal.h"
#include "startup/ui/BASEFRM.h"
#include "support/Installation.h"

#ifndef KESTREL_PROGRAM
#define KESTREL_PROGRAM KESTREL_BINARY_DIR "/src/kestrel"
#endif

extern char** environ;

using namespace kestrel;
using kestrel::test::Installation;
using kestrel::test::TestContext;
namespace fs = std::filesystem;
using SteadyClock = std::chrono::steady_clock;

namespace {

// Runs events until `done` holds; the limit is only a guard against a hang.
template <class Pred> bool pumpUntil(Pred done) {
    const auto limit = SteadyClock::now() + std::chrono::seconds(10);
    while (!done() && SteadyClock::now() < limit) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        QThread::msleep(5);
    }
    return done();
}

// The program's pieces as main wires them, with an end that is recorded
// instead of ending the test.
struct Wired {
    TestContext t;
    std::vector<int> ended;
    AppExit exit{[this](int status) { ended.push_back(status); }};
    App app{t.ctx};
    PosixShutdownSignal watcher;
    int signalsSeen = 0;

    Wired() {
        exit.attach(&app);
        QObject::connect(&watcher, &PosixShutdownSignal::received, [this](int) {
            ++signalsSeen;
            exit.requestEnd(0);
        });
        app.show<BASEFRM>();
    }
    void deliver(int sig) {
        const int before = signalsSeen;
        ASSERT_EQ(raise(sig), 0);
        ASSERT_TRUE(pumpUntil([&] { return signalsSeen > before; }));
    }
};

TEST(SignalEnd, AnUnheldSignalUnloadsTheScreensAndEndsWithStatusZero) {
    Wired w;
    w.deliver(SIGTERM);
    EXPECT_EQ(w.ended, std::vector<int>{0});
    EXPECT_EQ(w.app.loadedCount(), 0);
}

TEST(SignalEnd, ASignalDuringAHeldAppendEndsOnlyAtTheLastRelease) {
    Wired w;
    w.exit.holdEnd(); // the append
    w.exit.holdEnd(); // a nested step of it
    w.deliver(SIGTERM);
    w.deliver(SIGHUP);
    EXPECT_TRUE(w.ended.empty());
    EXPECT_EQ(w.app.loadedCount(), 1);

    w.exit.releaseEnd();
    EXPECT_TRUE(w.ended.empty());
    w.exit.releaseEnd();
    EXPECT_EQ(w.ended, std::vector<int>{0});
    EXPECT_EQ(w.app.loadedCount(), 0);

    // Served once: a later append does not end the program again.
    w.exit.holdEnd();
    w.exit.releaseEnd();
    EXPECT_EQ(w.ended, std::vector<int>{0});
}

TEST(SignalEnd, ASignalWhileAMessageBoxWaitsEndsWithoutFreeingTheBox) {
    // The box lives on the stack, as the real dialogs service makes it.
    Wired w;
    {
        QMessageBox box(w.app.find<BASEFRM>());
        box.setText(QStringLiteral("待っています"));
        QTimer::singleShot(0, [] { raise(SIGTERM); });
        QTimer::singleShot(10000, &box, &QDialog::reject); // against a hang only
        box.exec();
        EXPECT_EQ(w.ended, std::vector<int>{0});
        EXPECT_EQ(w.app.loadedCount(), 0);
    }
}

TEST(SignalEnd, AnEndFromInsideIsNotHeld) {
    // The program's own end (its menu, a failure) is decided by the caller.
    Wired w;
    w.exit.holdEnd();
    w.exit.endProgram(1);
    EXPECT_EQ(w.ended, std::vector<int>{1});
    w.exit.releaseEnd();
    EXPECT_EQ(w.ended, std::vector<int>{1});
}

// The built program, started from a temporary installation, headless.
class RunningProgram {
public:
    explicit RunningProgram(const Installation& inst) {
        const fs::path program = inst.programFile();
        fs::create_directories(program.parent_path());
        // A link would name the build folder as the program's folder.
        fs::copy_file(KESTREL_PROGRAM, program, fs::copy_options::overwrite_existing);

        // Headless and silent, as this test binary runs.
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        std::string arg0 = program.string();
        char* argv[] = {arg0.data(), nullptr};

        // Started as a desktop starts it: no end signal blocked or ignored.
        posix_spawnattr_t attr;
        posix_spawnattr_init(&attr);
        sigset_t none, defaults;
        sigemptyset(&none);
        sigemptyset(&defaults);
        for (int sig : PosixShutdownSignal::kSignals)
            sigaddset(&defaults, sig);
        posix_spawnattr_setsigmask(&attr, &none);
        posix_spawnattr_setsigdefault(&attr, &defaults);
        posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
        const int rc = posix_spawn(&m_pid, argv[0], nullptr, &attr, argv, environ);
        posix_spawnattr_destroy(&attr);
        if (rc != 0) {
            m_pid = -1;
            m_problem = std::string("cannot start the program: ") + std::strerror(rc);
        }
    }
    ~RunningProgram() {
        if (m_pid > 0 && !m_status) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
    }
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;

    const std::string& problem() const { return m_problem; }

    // Until the program catches `sig` (its watcher is in place); false when
    // it ended first or the limit passed.
    bool waitUntilCatching(int sig, std::chrono::seconds limit) {
        const auto end = SteadyClock::now() + limit;
        while (SteadyClock::now() < end) {
            if (ended()) {
                m_problem =
                    "the program ended during start-up, wait status " + std::to_string(*m_status);
                return false;
            }
            if (catches(sig)) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        m_problem = "the program never caught signal " + std::to_string(sig);
        return false;
    }

    void send(int sig) const { kill(m_pid, sig); }

    // Until the program waits for the user: its processor time stands still
    // for half a second (the screen or message box waits for a key).
    bool waitUntilWaiting(std::chrono::seconds limit) {
        const auto end = SteadyClock::now() + limit;
        long long last = -1;
        int still = 0;
        while (SteadyClock::now() < end && !ended()) {
            const long long now = cpuTicks();
            still = now == last ? still + 1 : 0;
            if (still >= 5) return true;
            last = now;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    }

    // The wait status once the program has ended by itself within `limit`.
    std::optional<int> waitForEnd(std::chrono::seconds limit) {
        const auto end = SteadyClock::now() + limit;
        while (!ended() && SteadyClock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        return m_status;
    }

private:
    bool ended() {
        if (m_status) return true;
        int status = 0;
        if (waitpid(m_pid, &status, WNOHANG) == m_pid) m_status = status;
        return m_status.has_value();
    }
    // The caught-signals mask the kernel shows for the process.
    bool catches(int sig) const {
        std::ifstream in("/proc/" + std::to_string(m_pid) + "/status");
        std::string line;
        while (std::getline(in, line))
            if (line.rfind("SigCgt:", 0) == 0)
                return (std::stoull(line.substr(7), nullptr, 16) >> (sig - 1)) & 1;
        return false;
    }

    // The user and system time the kernel counts for the process.
    long long cpuTicks() const {
        std::ifstream in("/proc/" + std::to_string(m_pid) + "/stat");
        std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const size_t close = stat.rfind(')');
        if (close == std::string::npos) return -1;
        std::istringstream fields(stat.substr(close + 2));
        std::string field;
        long long utime = 0, stime = 0;
        for (int i = 3; i <= 15 && fields >> field; ++i) {
            if (i == 14) utime = std::stoll(field);
            if (i == 15) stime = std::stoll(field);
        }
        return utime + stime;
    }

    pid_t m_pid = -1;
    std::optional<int> m_status;
    std::string m_problem;
};

// Sends `sig` once the program has had time to come up, and expects it to
// end by itself with status 0.
void expectCleanEndOn(const Installation& inst, int sig) {
    RunningProgram program(inst);
    ASSERT_TRUE(program.problem().empty()) << program.problem();
    ASSERT_TRUE(program.waitUntilCatching(sig, std::chrono::seconds(60))) << program.problem();
    // Past the watcher, start-up goes on until the program waits for the
    // user: on its first screen, or at a start-up message.
    EXPECT_TRUE(program.waitUntilWaiting(std::chrono::seconds(60))) << "it never came to wait";
    program.send(sig);
    const std::optional<int> status = program.waitForEnd(std::chrono::seconds(20));
    ASSERT_TRUE(status) << "still running 20 s after signal " << sig;
    ASSERT_TRUE(WIFEXITED(*status)) << "ended by signal " << WTERMSIG(*status);
    EXPECT_EQ(WEXITSTATUS(*status), 0);
}

class ProgramEndsOn : public ::testing::TestWithParam<int> {};

TEST_P(ProgramEndsOn, TheNameScreen) {
    Installation inst;
    expectCleanEndOn(inst, GetParam());
}

INSTANTIATE_TEST_SUITE_P(SignalEnd, ProgramEndsOn, ::testing::Values(SIGTERM, SIGINT, SIGHUP),
                         [](const auto& info) { return std::string(sigabbrev_np(info.param)); });

TEST(SignalEnd, TheProgramEndsFromAStartupErrorMessage) {
    // Without the path file start-up stops at a message box, waiting for O.K.
    Installation inst;
    inst.remove(Installation::kPathFile);
    expectCleanEndOn(inst, SIGTERM);
}

} // namespace
