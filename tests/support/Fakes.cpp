#include "support/Fakes.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>
#include <unistd.h>

#include "platform/Utf8Path.h"
#include "startup/Calendar.h"

namespace kestrel::test {

void FakeClock::advance(double seconds) {
    double s = m_now.secondsOfDay + seconds;
    while (s >= 86400.0) {
        s -= 86400.0;
        m_now.date = dateFromDayNumber(dayNumber(m_now.date) + 1);
    }
    m_now.secondsOfDay = s;
    m_monotonic += seconds;
    double ms = seconds * 1000.0 + m_tickRemainder;
    double whole = std::floor(ms);
    m_tickRemainder = ms - whole;
    m_tick += static_cast<uint32_t>(whole);
}

uint32_t FastClock::tickMs() {
    using namespace std::chrono;
    const auto us = duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
    return static_cast<uint32_t>(us / 10); // 100 ticks per real millisecond
}

float FakeRandom::next() {
    ++drawn;
    if (values.empty()) return fallback;
    float r = values.front();
    values.pop_front();
    return r;
}

MessageAnswer FakeDialogs::message(const std::string& text, const std::string& title,
                                   MessageButtons buttons) {
    if (echo) std::fprintf(stderr, "message: %s\n", text.c_str());
    if (abort) std::abort();
    shown.push_back({text, title, buttons});
    if (!answers.empty()) {
        MessageAnswer a = answers.front();
        answers.pop_front();
        return a;
    }
    return buttons == MessageButtons::YesNo ? MessageAnswer::Yes : MessageAnswer::Ok;
}

void FakeExit::endProgram(int status) {
    statuses.push_back(status);
    if (endProcess) std::_Exit(status);
    throw ProgramEnded(status);
}

void FakeExit::releaseEnd() {
    if (const std::optional<int> status = m_requests.release()) endProgram(*status);
}

void FakeExit::requestEnd(int status) {
    if (const std::optional<int> now = m_requests.request(status)) endProgram(*now);
}

void FakeEventPump::processEvents() {
    const Nested wait(*this);
    ++processed;
    if (onProcess) onProcess();
}

void FakeEventPump::idle(int ms) {
    ++idled;
    if (sleepMicros > 0) std::this_thread::sleep_for(std::chrono::microseconds(sleepMicros));
    if (m_clock) m_clock->advance(ms / 1000.0);
    processEvents();
}

PlayResult FakeAudio::playToEnd(const std::filesystem::path& wavFile) {
    played.push_back(utf8OfPath(wavFile));
    if (clock && secondsPerPlay > 0) clock->advance(secondsPerPlay);
    if (results.empty()) return {};
    PlayResult r = results.front();
    results.pop_front();
    return r;
}

bool FakeLauncher::startDetached(const std::string& p, const std::vector<std::string>& args,
                                 std::string& error) {
    ++starts;
    program = p;
    arguments = args;
    if (fail) {
        error = failText;
        return false;
    }
    return true;
}

PrintResult FakePrinter::print(const PrintRequest& request, const std::vector<Drawing>& pages) {
    requests.push_back(request);
    jobs.push_back(pages);
    return forwardTo ? forwardTo->print(request, pages) : result;
}

void setUniformCriteria(Context& ctx, int lastLevel) {
    for (int level = 1; level <= lastLevel; ++level) {
        LevelCriteria& c = ctx.criteria[level];
        c.targetTime = 60;
        c.minimumTime = 120;
        c.clearPoints = 30;
        c.clearCount = 3;
        c.pointMultiplier = 1.0f;
        c.overPracticeCount = "0";
        c.overPracticePoints = "0";
        c.passPeriodDays = "7";
        c.overPracticePeriodDays = "7";
    }
}

TempDir::TempDir() {
    static std::mt19937 rng(static_cast<unsigned>(::getpid()));
    for (;;) {
        auto candidate =
            std::filesystem::temp_directory_path() /
            ("kestrel-test-" + std::to_string(::getpid()) + "-" + std::to_string(rng()));
        if (std::filesystem::create_directory(candidate)) {
            m_path = candidate;
            return;
        }
    }
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
}

void writeBytes(const std::filesystem::path& file, const std::string& bytes) {
    std::filesystem::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string readBytes(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::filesystem::path testDataDir() {
    return KESTREL_TEST_DATA_DIR;
}

} // namespace kestrel::test
