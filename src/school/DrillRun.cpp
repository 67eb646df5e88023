#include "school/DrillRun.h"

#include <cmath>

#include "drill/DrillTexts.h"
#include "startup/Calendar.h"
#include "text/Characters.h"

namespace kestrel {
namespace {

// The levels whose runs make the run's number among today's runs.
constexpr int kTodayLevels = 15;

} // namespace

ResultRecord runRecord(const School& school, const SharedState& state, int level,
                       const LocalTime& wallNow) {
    ResultRecord r;
    r.date = static_cast<double>(dayNumber(wallNow.date));
    r.timeOfDay = dayFraction(wallNow.secondsOfDay);
    r.studentNumber = state.CurrentStudentNumber;
    r.level = static_cast<int16_t>(level);
    r.seconds = state.RunTime;
    r.schoolCode = resultText(school.config.SchoolCode);
    return r;
}

DrillRun::DrillRun(const School& school, SharedState& state, Random& random)
    : m_school(school), m_state(state), m_random(random), m_rules(state) {}

bool DrillRun::timed() const {
    const int level = m_state.CurrentLevel;
    return level >= 0 && level <= kMaxLevel &&
           m_school.program.LevelTimed[static_cast<size_t>(level)] == 1;
}

RunStart DrillRun::start(double monotonicNow, const LocalTime& wallNow, double barFullScale) {
    const ProgramDefinition& program = m_school.program;
    const ResultsSummary& summary = *m_school.summary;
    const int level = m_state.CurrentLevel;
    const int s = m_state.CurrentStudentNumber;
    const LevelCriteria& criteria = m_school.criteria[inLevelStudentArrays(level, 0) ? level : 0];

    m_rules.begin();
    RunStart out;
    RunHeader& h = out.header;
    h.timed = timed();
    if (h.timed) {
        m_rules.setLimits(criteria, barFullScale);
        h.limitSeconds = m_state.TimeLimitSeconds;
        h.targetTime = criteria.targetTime;
        h.minimumTime = criteria.minimumTime;
    }
    h.title = program.ProgramTitle;
    h.smallTitle = characterCount(h.title) > static_cast<size_t>(kTitleLengthForSmallFont);
    h.studentName = trimSpaces(m_state.CurrentStudentName);
    h.levelName =
        inLevelStudentArrays(level, 0) ? program.LevelNames[static_cast<size_t>(level)] : "";
    m_state.TodayRunCount = static_cast<int16_t>(todayRunCount(summary, s, kTodayLevels));
    h.schoolName = m_school.config.SchoolName;
    h.minutesSinceSignIn = minutesSinceSignIn(m_state, wallNow);
    const bool practice = isPracticeLevel(program, level);
    h.todayRun = runNumberText(practice, m_state.TodayRunCount);
    h.levelRun = runNumberText(practice, todayRunCountAt(summary, level, s));
    h.remaining = m_rules.remaining();

    m_rules.start(monotonicNow);
    m_clockStart = monotonicNow;
    m_ticks = 0;
    out.first = drawNext(monotonicNow);
    return out;
}

int DrillRun::hintDelay() const {
    return hintDelayMs(m_state.RightCount, m_state.ProblemsPerRun);
}

ShownProblem DrillRun::drawNext(double monotonicNow) {
    const int type = problemTypeForLevel(m_state.CurrentLevel, m_random);
    m_problem = kestrel::drawProblem(type, m_random);
    m_problemShownAt = monotonicNow;
    m_hintShown = false;
    return {m_problem, hintDelay()};
}

bool DrillRun::hintDue(double monotonicNow, double earlySeconds) const {
    if (m_hintShown || m_rules.flags().ConfirmState() != ConfirmStep::Entry) return true;
    return (monotonicNow - m_problemShownAt + earlySeconds) * 1000.0 >= hintDelay();
}

std::optional<ShownProblem> DrillRun::drawProblem(double monotonicNow) {
    if (!m_rules.mayDrawProblem()) return std::nullopt;
    return drawNext(monotonicNow);
}

Answered DrillRun::judge(double monotonicNow) {
    Answered a;
    m_rules.judge(m_problem.CorrectAnswer);
    a.problem = m_problem;
    a.entry = m_rules.EntryText;
    a.hintShown = m_hintShown;
    a.answerMs = std::llround((monotonicNow - m_problemShownAt) * 1000.0);
    // Once the run has ended nothing is judged: JudgeBusy has fallen.
    if (!m_rules.flags().JudgeBusy()) return a;
    a.verdict = m_rules.flags().JudgeResult();
    a.correctAnswer = correctAnswerText(m_problem.CorrectAnswer);
    a.working = workingFor(m_problem.ProblemText, m_problem.RoundPlace);
    // A wrong answer costs its penalty here; the run clock shows it at its
    // next tick, and only a tick sets the time that is recorded.
    m_rules.afterJudgement();
    a.elapsedSeconds = m_rules.elapsedAt(monotonicNow);
    return a;
}

std::optional<Answered> DrillRun::answer(std::string_view typed, double monotonicNow) {
    if (!RunRules::isTypedEntry(typed)) return std::nullopt;
    if (m_rules.flags().ConfirmState() != ConfirmStep::Entry) return std::nullopt;
    m_rules.EntryText = std::string(typed);
    if (m_rules.keyPress(u' ') != RunRules::Key::Judge) return std::nullopt;
    return judge(monotonicNow);
}

AfterAnswer DrillRun::proceed(double monotonicNow) {
    AfterAnswer out;
    const RunFlags& f = m_rules.flags();
    if (!f.JudgeBusy()) {
        out.remaining = remaining();
        return out;
    }
    if (f.ConfirmState() != ConfirmStep::Entry) {
        // The wrong answer stays on screen until "+" "+".
        m_rules.judgingDone();
        out.kind = AfterAnswer::Kind::Confirm;
        out.remaining = remaining();
        return out;
    }
    if (f.ended()) {
        m_rules.judgingDone();
        out.remaining = remaining();
        return out;
    }
    const bool last = m_rules.countRight();
    out.remaining = remaining();
    if (last) {
        // JudgeBusy stays until the end has been handed off.
        out.kind = AfterAnswer::Kind::Ended;
        return out;
    }
    m_rules.readyForNext();
    out.kind = AfterAnswer::Kind::Next;
    out.next = drawNext(monotonicNow);
    return out;
}

std::optional<ShownProblem> DrillRun::confirm(double monotonicNow) {
    const RunFlags& f = m_rules.flags();
    if (f.ended() || f.JudgeBusy() || f.ConfirmState() == ConfirmStep::Entry) return std::nullopt;
    m_rules.confirmed();
    return drawNext(monotonicNow);
}

RunRules::Tick DrillRun::catchUp(double monotonicNow) {
    RunRules::Tick last = RunRules::Tick::Running;
    // The ticks a one-second timer started with the clock would have made.
    const auto due = static_cast<int64_t>(std::floor(monotonicNow - m_clockStart));
    while (m_ticks < due && !m_rules.flags().ended()) {
        ++m_ticks;
        last = m_rules.measure(m_clockStart + static_cast<double>(m_ticks));
        if (last == RunRules::Tick::AtLimit && m_rules.timeOut()) return RunRules::Tick::TimeOut;
    }
    return last;
}

RunEnd DrillRun::finish(const LocalTime& wallNow) {
    RunEnd end;
    if (!m_rules.claimEnd()) return end;
    end.claimed = true;
    end.timeUp = m_rules.flags().TimeUp();
    // A practice run, and a run without a clock, have no time to record.
    if (isPracticeLevel(m_school.program, m_state.CurrentLevel) || !timed()) return end;
    m_state.RunTime = m_rules.runTime();
    end.record = runRecord(m_school, m_state, m_state.CurrentLevel, wallNow);
    return end;
}

} // namespace kestrel
