#pragma once
// The test doubles of the platform services, and a context wired to them:
// one set for the tests, the helper programs the tests start and the
// benchmarks.
#include <deque>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "context/Context.h"
#include "platform/MountTable.h"
#include "platform/Services.h"
#include "platform/ShutdownRequests.h"
#include "platform/Utf8Path.h"
#include "support/SystemFiles.h"

namespace kestrel::test {

class FakeClock : public Clock {
public:
    LocalTime now() override { return m_now; }
    uint32_t tickMs() override { return m_tick; }
    double monotonicSeconds() override { return m_monotonic; }

    // set, setDate and setSeconds move the wall clock alone, as a change of
    // the system's time does; advance moves every clock.
    void set(CivilDate date, double secondsOfDay) {
        m_now.date = date;
        m_now.secondsOfDay = secondsOfDay;
    }
    void setDate(CivilDate date) { m_now.date = date; }
    void setSeconds(double secondsOfDay) { m_now.secondsOfDay = secondsOfDay; }
    // Moves time forward; past midnight the date moves on.
    void advance(double seconds);

private:
    LocalTime m_now{CivilDate{2025, 6, 10}, 10 * 3600.0};
    uint32_t m_tick = 1000;
    double m_monotonic = 5000;
    double m_tickRemainder = 0;
};

// The system's date and time, with a millisecond tick a hundred times faster
// than real time: the one-second waits of the sharing protocol take ten real
// milliseconds in the helper programs.
class FastClock : public Clock {
public:
    LocalTime now() override { return m_system.now(); }
    uint32_t tickMs() override;
    double monotonicSeconds() override { return m_system.monotonicSeconds(); }

private:
    SystemClock m_system;
};

class FakeRandom : public Random {
public:
    void seed(double s) override { seeds.push_back(s); }
    // The scripted values first, then `fallback`.
    float next() override;
    void push(float r) { values.push_back(r); }

    std::deque<float> values;
    float fallback = 0.0f;
    std::vector<double> seeds;
    int drawn = 0;
};

class FakeDialogs : public Dialogs {
public:
    struct Shown {
        std::string text, title;
        MessageButtons buttons;
    };
    MessageAnswer message(const std::string& text, const std::string& title,
                          MessageButtons buttons) override;

    std::deque<MessageAnswer> answers; // scripted; when empty: Ok, Yes or Ok
    std::vector<Shown> shown;
    bool echo = false;  // prints every text to stderr (helper programs)
    bool abort = false; // a message aborts (benchmarks measure no failures)
};

// Throws ProgramEnded, so that the caller stops where it stood; a helper
// program ends its process instead.
class FakeExit : public ProgramExit {
public:
    void endProgram(int status) override;
    // Holds as the program's own exit keeps them: an end requested from
    // outside during a hold comes at the last release.
    void holdEnd() override { m_requests.hold(); }
    void releaseEnd() override;
    void requestEnd(int status);

    std::vector<int> statuses;
    bool endProcess = false;
    bool held() const { return m_requests.held(); }

private:
    ShutdownRequests m_requests;
};

class FakeEventPump : public EventPump {
public:
    explicit FakeEventPump(FakeClock* clock = nullptr) : m_clock(clock) {}
    void processEvents() override;
    void idle(int ms) override;

    int processed = 0;
    int idled = 0;
    // Runs on every processEvents (a key press or tick arriving meanwhile).
    std::function<void()> onProcess;
    // Real microseconds an idle() sleeps, so that other processes get their turn.
    int sleepMicros = 0;

private:
    FakeClock* m_clock;
};

class FakeAudio : public Audio {
public:
    PlayResult playToEnd(const std::filesystem::path& wavFile) override;

    std::vector<std::string> played; // file names as asked for, in order
    std::deque<PlayResult> results;  // scripted; when empty: success
    double secondsPerPlay = 0;       // advances the clock when set
    FakeClock* clock = nullptr;
};

class FakeLauncher : public ProcessLauncher {
public:
    bool startDetached(const std::string& program, const std::vector<std::string>& arguments,
                       std::string& error) override;
    std::string program;
    std::vector<std::string> arguments;
    int starts = 0;
    bool fail = false;
    std::string failText = "起動できません";
};

// A mount table as a test lays it out.
class FakeMountTable : public MountTable {
public:
    FileStatus mounts(std::vector<Mount>& out) override {
        out = failure.ok() ? list : std::vector<Mount>{};
        return failure;
    }
    std::string source() const override { return name; }
    std::vector<Mount> list;
    FileStatus failure;                        // a table that cannot be read
    std::string name = "/proc/self/mountinfo"; // where the table would be read
};

// Keeps every job's request and pages; answers with `result`, or hands the
// job on to `forwardTo` (a real printer writing a PDF file) when set.
class FakePrinter : public Printer {
public:
    PrintResult print(const PrintRequest& request, const std::vector<Drawing>& pages) override;

    std::vector<PrintRequest> requests;
    std::vector<std::vector<Drawing>> jobs;
    PrintResult result; // printed
    Printer* forwardTo = nullptr;
};

// The fakes of the services other than the clock and the event pump.
struct FakeServices {
    FakeRandom random;
    FakeDialogs dialogs;
    FakeExit exit;
    FakeAudio audio;
    FakeLauncher processes;
    FakePrinter printer;

    Services with(Clock& clock, EventPump& events) {
        return Services{clock, random, dialogs, exit, events, audio, processes, printer};
    }
};

// The fakes and a context that uses them.
struct TestContext : FakeServices {
    FakeClock clock;
    FakeEventPump events{&clock};
    // The real files and mounts of this PC, as the program has them.
    Context ctx{with(clock, events), std::make_unique<SystemSharedFileSystem>(),
                std::make_unique<SystemMountTable>()};

    TestContext() { audio.clock = &clock; }
};

// Criteria that rule tests start from, for levels 1..lastLevel: target
// 60 s, minimum 120 s, cleared by 3 runs and 30 points within 7 days,
// multiplier 1, no over-practice limit.
void setUniformCriteria(Context& ctx, int lastLevel);

// A fresh empty folder below the system's temporary folder, removed with the object.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return m_path; }
    // A UTF-8 name below the folder.
    std::filesystem::path operator/(const std::string& name) const {
        return m_path / pathFromUtf8(name);
    }

private:
    std::filesystem::path m_path;
};

// Writes bytes exactly as given.
void writeBytes(const std::filesystem::path& file, const std::string& bytes);
std::string readBytes(const std::filesystem::path& file);

// The checked-in test files.
std::filesystem::path testDataDir();

} // namespace kestrel::test
