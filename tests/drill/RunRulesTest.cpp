#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>

#include "drill/RunRules.h"
#include "startup/Calendar.h"

using namespace kestrel;

namespace {

// The monotonic clock's reading at `seconds` past midnight of `date`.
double at(CivilDate date, double seconds) {
    return static_cast<double>(dayNumber(date)) * 86400.0 + seconds;
}

constexpr CivilDate kDay{2026, 12, 9};
constexpr CivilDate kNextDay{2026, 12, 10};
constexpr CivilDate kNewYear{2027, 1, 1};

} // namespace

TEST(RunRules, TheRunClockStaysRightAcrossMidnight) {
    struct Case {
        const char* what;
        double start, now;
        int wrongAnswers;
        int32_t elapsed;
    } cases[] = {
        {"same day", at(kDay, 36000), at(kDay, 36042.4), 0, 42},
        {"penalties", at(kDay, 36000), at(kDay, 36042.6), 3, 73},
        {"across midnight", at(kDay, 86390), at(kNextDay, 20), 0, 30},
        {"across midnight, penalties before it", at(kDay, 86395), at(kNextDay, 5), 2, 30},
        {"penalties reach back past midnight", at(kNextDay, 5), at(kNextDay, 8), 1, 13},
        {"across the year's end", at(CivilDate{2026, 12, 31}, 86399.5), at(kNewYear, 0.4), 0, 1},
    };
    for (const Case& c : cases) {
        SharedState st;
        RunRules rules(st);
        rules.start(c.start);
        for (int i = 0; i < c.wrongAnswers; ++i)
            rules.penalise();
        EXPECT_EQ(rules.elapsedAt(c.now), c.elapsed) << c.what;
        rules.tick(c.now);
        EXPECT_EQ(st.ElapsedSeconds, c.elapsed) << c.what;
    }
}

TEST(RunRules, ATimeOutAcrossMidnightIsATimeOut) {
    // A run from 23:59:50 that is still going at 00:04:50 has run 300 s.
    SharedState st;
    RunRules rules(st);
    LevelCriteria c;
    c.minimumTime = 60;
    rules.setLimits(c, 15015);
    rules.start(at(kDay, 86390));
    EXPECT_EQ(rules.tick(at(kNextDay, 289)), RunRules::Tick::Running);
    EXPECT_FALSE(st.runFlags.TimeUp());
    // An answer being judged is finished first.
    rules.keyPress(u' ');
    EXPECT_EQ(rules.tick(at(kNextDay, 290)), RunRules::Tick::AtLimit);
    EXPECT_FALSE(st.runFlags.TimeUp());
    rules.judgingDone();
    EXPECT_EQ(rules.tick(at(kNextDay, 291)), RunRules::Tick::TimeOut);
    EXPECT_TRUE(st.runFlags.TimeUp());
    EXPECT_EQ(rules.runTime(), 99999);
}

TEST(RunRules, LimitsAndTheTimeBar) {
    SharedState st;
    RunRules rules(st);
    LevelCriteria c;
    c.minimumTime = 60;
    rules.setLimits(c, 15015);
    EXPECT_EQ(st.TimeLimitSeconds, 300);
    EXPECT_DOUBLE_EQ(rules.barWidth(150), 7507.5);
    EXPECT_DOUBLE_EQ(rules.barWidth(400), 15015) << "held within the full scale";
    EXPECT_DOUBLE_EQ(rules.barWidth(-5), 0);

    // No minimum time: no limit, no scale, and the run never times out.
    c.minimumTime = 0;
    rules.setLimits(c, 15015);
    EXPECT_FALSE(rules.hasLimit());
    EXPECT_DOUBLE_EQ(rules.barWidth(100), 0);
    rules.start(at(kDay, 0));
    EXPECT_EQ(rules.tick(at(kDay, 80000)), RunRules::Tick::Running);
    EXPECT_FALSE(st.runFlags.TimeUp());

    // A minimum time whose five times overflows 32 bits is held at the largest limit.
    c.minimumTime = 1'000'000'000;
    rules.setLimits(c, 15015);
    EXPECT_EQ(st.TimeLimitSeconds, 2147483647);
}

namespace {

// The states a run passes through, each reached as keys and the clock would
// reach it. The run starts at 10:00 with a limit of 300 s; every problem's
// answer is 1000.
enum class Given {
    Empty,           // a new problem, nothing typed
    Typing,          // "12" typed
    FullEntry,       // ten characters typed
    Judging,         // "1000" and the space bar: being judged
    JudgedWrong,     // "7" and the space bar, judged wrong, not yet acted on
    AnswerShown,     // a wrong answer shown, waiting for "+" "+"
    OnePlus,         // ... and one "+" received
    LastJudgedRight, // nine right so far; the tenth judged right
    LastRightLate,   // ... while a tick at the limit waited, and acted on
    Finishing,       // the tenth right answer counted: the run is over
    Ending,          // ... and its end handed off, while the wait runs
    TimedOut,        // "12" typed when the clock reached the limit
    TimedOutOnePlus, // the limit reached between the two "+"
    MeasuredAtLimit, // "12" typed; the clock read at the limit, nothing decided yet
    LastRightQueued, // ... the tenth answer, whose key was waiting, then counted
};

constexpr double kStart = 36000;
constexpr double kAnswer = 1000;

void type(RunRules& r, const char* keys) {
    for (const char* k = keys; *k; ++k)
        r.keyPress(static_cast<char16_t>(*k));
}

void reach(Given g, RunRules& r, SharedState& st) {
    LevelCriteria c;
    c.minimumTime = 60;
    r.begin();
    r.setLimits(c, 15015);
    r.start(at(kDay, kStart));
    auto judged = [&](const char* entry) {
        type(r, entry);
        r.keyPress(u' ');
        r.judge(kAnswer);
    };
    auto shown = [&] {
        judged("7");
        r.afterJudgement();
        r.judgingDone();
    };
    auto lastRight = [&] {
        st.RightCount = 9;
        judged("1000");
    };
    switch (g) {
    case Given::Empty:
        break;
    case Given::Typing:
        type(r, "12");
        break;
    case Given::FullEntry:
        type(r, "1234567890");
        break;
    case Given::Judging:
        type(r, "1000 ");
        break;
    case Given::JudgedWrong:
        judged("7");
        break;
    case Given::AnswerShown:
        shown();
        break;
    case Given::OnePlus:
        shown();
        r.keyPress(u'+');
        break;
    case Given::LastJudgedRight:
        lastRight();
        break;
    case Given::LastRightLate:
        lastRight();
        r.tick(at(kDay, kStart + 300));
        r.afterJudgement();
        break;
    case Given::Finishing:
    case Given::Ending:
        lastRight();
        r.afterJudgement();
        r.countRight();
        if (g == Given::Ending) r.claimEnd();
        break;
    case Given::TimedOut:
        type(r, "12");
        r.tick(at(kDay, kStart + 300));
        break;
    case Given::TimedOutOnePlus:
        shown();
        r.keyPress(u'+');
        r.tick(at(kDay, kStart + 290)); // 300 with the penalty
        break;
    case Given::MeasuredAtLimit:
        type(r, "12");
        r.measure(at(kDay, kStart + 300));
        break;
    case Given::LastRightQueued:
        r.measure(at(kDay, kStart + 300));
        lastRight();
        r.afterJudgement();
        r.countRight();
        r.claimEnd();
        break;
    }
}

// Everything a handler may read of the run, as one comparable value.
struct Snapshot {
    RunPhase phase = RunPhase::Running;
    bool endHandled = false;
    bool busy = false;
    ConfirmStep confirm = ConfirmStep::Entry;
    Judgement verdict = Judgement::None;
    std::string entry{};
    int right = 0;
    int32_t clockAt5 = 0; // the run clock 5 s after the start: penalties show here
    int32_t runTime = 0;
    bool operator==(const Snapshot&) const = default;
};

Snapshot snapshot(const RunRules& r, const SharedState& st) {
    const RunFlags& f = r.flags();
    return {f.phase(),       f.EndHandled(), f.JudgeBusy(), f.ConfirmState(),
            f.JudgeResult(), r.EntryText,    st.RightCount, r.elapsedAt(at(kDay, kStart + 5)),
            r.runTime()};
}

std::ostream& operator<<(std::ostream& os, const Snapshot& s) {
    return os << "phase " << int(s.phase) << (s.endHandled ? " end handled" : "")
              << (s.busy ? " busy" : "") << " confirm " << int(s.confirm) << " verdict "
              << int(s.verdict) << " entry '" << s.entry << "' right " << s.right
              << " clock at 5 s " << s.clockAt5 << " run time " << s.runTime;
}

// What a row changes; every field it leaves out must stay as it was.
struct Change {
    std::optional<RunPhase> phase{};
    std::optional<bool> endHandled{};
    std::optional<bool> busy{};
    std::optional<ConfirmStep> confirm{};
    std::optional<Judgement> verdict{};
    std::optional<std::string> entry{};
    std::optional<int> right{};
    std::optional<int32_t> clockAt5{};
    std::optional<int32_t> runTime{};

    Snapshot applied(Snapshot s) const {
        s.phase = phase.value_or(s.phase);
        s.endHandled = endHandled.value_or(s.endHandled);
        s.busy = busy.value_or(s.busy);
        s.confirm = confirm.value_or(s.confirm);
        s.verdict = verdict.value_or(s.verdict);
        s.entry = entry.value_or(s.entry);
        s.right = right.value_or(s.right);
        s.clockAt5 = clockAt5.value_or(s.clockAt5);
        s.runTime = runTime.value_or(s.runTime);
        return s;
    }
};

struct Event {
    enum Kind { Press, Down, TickAt, MeasureAt, TimeOut, Judge, After, Count, ClaimEnd } kind;
    double value = 0; // the character, key code, seconds since the start, or the answer
};
Event press(char16_t c) {
    return {Event::Press, double(c)};
}
Event down(int code) {
    return {Event::Down, double(code)};
}
Event tickAt(double seconds) {
    return {Event::TickAt, seconds};
}
Event measureAt(double seconds) {
    return {Event::MeasureAt, seconds};
}

std::string name(RunRules::Key k) {
    const char* names[] = {"Ignored", "Judge", "EntryChanged", "Refused", "Confirm", "Waiting"};
    return names[int(k)];
}
std::string name(RunRules::Tick t) {
    const char* names[] = {"Running", "AtLimit", "TimeOut"};
    return names[int(t)];
}
std::string name(Judgement v) {
    const char* names[] = {"None", "Right", "Wrong"};
    return names[int(v)];
}

std::string apply(const Event& e, RunRules& r) {
    switch (e.kind) {
    case Event::Press:
        return name(r.keyPress(static_cast<char16_t>(e.value)));
    case Event::Down:
        return r.keyDown(static_cast<uint16_t>(e.value)) ? "emptied" : "kept";
    case Event::TickAt:
        return name(r.tick(at(kDay, kStart + e.value)));
    case Event::MeasureAt:
        return name(r.measure(at(kDay, kStart + e.value)));
    case Event::TimeOut:
        return r.timeOut() ? "timed out" : "goes on";
    case Event::Judge:
        r.judge(e.value);
        return name(r.flags().JudgeResult());
    case Event::After:
        return name(r.afterJudgement());
    case Event::Count:
        return r.countRight() ? "last" : "more";
    case Event::ClaimEnd:
        return r.claimEnd() ? "first" : "again";
    }
    return {};
}

} // namespace

TEST(RunRules, EachStateAnswersEachEvent) {
    using R = RunPhase;
    using C = ConfirmStep;
    using V = Judgement;
    const Event judge{Event::Judge, kAnswer}, after{Event::After}, count{Event::Count},
        claim{Event::ClaimEnd}, timeOut{Event::TimeOut};
    struct Row {
        const char* what;
        Given given;
        Event event;
        const char* outcome;
        Change change;
    } rows[] = {
        // Keys while an answer is judged are dropped; Return still empties.
        {"digit while judging", Given::Judging, press(u'5'), "Ignored", {}},
        {"space while judging", Given::Judging, press(u' '), "Ignored", {}},
        {"plus while judging", Given::Judging, press(u'+'), "Ignored", {}},
        {"Return while judging", Given::Judging, down(13), "emptied", {.entry = ""}},
        {"tick at the limit while judging",
         Given::Judging,
         tickAt(300),
         "AtLimit",
         {.runTime = 300}},
        {"tick past the limit while judging",
         Given::Judging,
         tickAt(400),
         "AtLimit",
         {.runTime = 400}},

        // Judging and what follows it.
        {"the answer", Given::Judging, judge, "Right", {.verdict = V::Right}},
        {"an empty entry is wrong, also against 0",
         Given::Empty,
         Event{Event::Judge, 0},
         "Wrong",
         {.verdict = V::Wrong}},
        {"right: the verdict is used up",
         Given::LastJudgedRight,
         after,
         "Right",
         {.verdict = V::None}},
        {"wrong: ten seconds and the answer shown",
         Given::JudgedWrong,
         after,
         "Wrong",
         {.confirm = C::AnswerShown, .clockAt5 = 15}},
        {"nothing judged, nothing follows", Given::Typing, after, "None", {}},

        // The confirmation after a wrong answer.
        {"first plus", Given::AnswerShown, press(u'+'), "Waiting", {.confirm = C::OnePlus}},
        {"second plus confirms", Given::OnePlus, press(u'+'), "Confirm", {}},
        {"another key breaks the pair",
         Given::OnePlus,
         press(u'1'),
         "Waiting",
         {.confirm = C::AnswerShown}},
        {"digits do not type", Given::AnswerShown, press(u'1'), "Waiting", {}},
        {"space does not judge again", Given::AnswerShown, press(u' '), "Waiting", {}},
        {"arrow empties the entry", Given::AnswerShown, down(37), "emptied", {.entry = ""}},
        {"time-out while the answer is shown",
         Given::AnswerShown,
         tickAt(290),
         "TimeOut",
         {.phase = R::TimeUp, .runTime = 99999}},
        {"time-out between the two plus",
         Given::OnePlus,
         tickAt(290),
         "TimeOut",
         {.phase = R::TimeUp, .runTime = 99999}},
        {"no confirmation after the time-out", Given::TimedOutOnePlus, press(u'+'), "Ignored", {}},

        // Entry.
        {"a digit", Given::Typing, press(u'3'), "EntryChanged", {.entry = "123"}},
        {"a letter types nothing", Given::Typing, press(u'a'), "Ignored", {}},
        {"a full entry refuses a digit", Given::FullEntry, press(u'1'), "Refused", {}},
        {"a full entry refuses any character", Given::FullEntry, press(u'a'), "Refused", {}},
        {"Backspace at a full entry",
         Given::FullEntry,
         press(8),
         "EntryChanged",
         {.entry = "123456789"}},
        {"space at a full entry judges", Given::FullEntry, press(u' '), "Judge", {.busy = true}},
        {"Backspace on nothing", Given::Empty, press(8), "Ignored", {}},
        {"Return", Given::Typing, down(13), "emptied", {.entry = ""}},
        {"each arrow", Given::Typing, down(40), "emptied", {.entry = ""}},
        {"beside the arrows", Given::Typing, down(41), "kept", {}},
        {"beside the arrows, below", Given::Typing, down(36), "kept", {}},

        // The clock.
        {"a tick before the limit", Given::Typing, tickAt(299.4), "Running", {.runTime = 299}},
        {"a tick rounding up to the limit",
         Given::Typing,
         tickAt(299.5),
         "TimeOut",
         {.phase = R::TimeUp, .runTime = 99999}},

        // The tenth right answer while the time-out waited ends the run as finished.
        {"tick at the limit judging the last answer",
         Given::LastJudgedRight,
         tickAt(300),
         "AtLimit",
         {.runTime = 300}},
        {"the tenth right answer after it",
         Given::LastRightLate,
         count,
         "last",
         {.phase = R::RunFinished, .right = 10}},
        {"no time-out once finished", Given::Finishing, tickAt(301), "AtLimit", {.runTime = 301}},
        {"the end is handed off once", Given::Finishing, claim, "first", {.endHandled = true}},
        {"and not again", Given::Ending, claim, "again", {}},

        // Nothing counts once the run has ended, while the end screen is awaited.
        {"digit after the end", Given::Ending, press(u'1'), "Ignored", {}},
        {"tick during the wait", Given::Ending, tickAt(400), "AtLimit", {.runTime = 400}},
        {"space after the time-out", Given::TimedOut, press(u' '), "Ignored", {}},
        {"no judging after the time-out", Given::TimedOut, judge, "None", {}},
        {"nothing follows after the time-out", Given::TimedOut, after, "None", {}},
        {"no second penalty once timed out", Given::TimedOutOnePlus, after, "None", {}},
        {"judging after the end lets keys go", Given::Ending, judge, "None", {.busy = false}},
        {"Return after the time-out", Given::TimedOut, down(13), "emptied", {.entry = ""}},

        // The clock is read first and the time-out decided after the keys
        // that were already waiting.
        {"reading the clock at the limit decides nothing",
         Given::Typing,
         measureAt(300),
         "AtLimit",
         {.runTime = 300}},
        {"reading the clock before the limit",
         Given::Typing,
         measureAt(299.4),
         "Running",
         {.runTime = 299}},
        {"then the time-out",
         Given::MeasuredAtLimit,
         timeOut,
         "timed out",
         {.phase = R::TimeUp, .runTime = 99999}},
        {"no time-out before the limit", Given::Typing, timeOut, "goes on", {}},
        {"no time-out after the last answer that waited",
         Given::LastRightQueued,
         timeOut,
         "goes on",
         {}},
        {"the time-out's end is handed off once",
         Given::TimedOut,
         claim,
         "first",
         {.endHandled = true}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        SharedState st;
        RunRules rules(st);
        reach(row.given, rules, st);
        const Snapshot before = snapshot(rules, st);
        EXPECT_EQ(apply(row.event, rules), row.outcome);
        EXPECT_EQ(snapshot(rules, st), row.change.applied(before));
    }
}

TEST(RunRules, ANewRunStartsFromAnyState) {
    const Given states[] = {Given::Judging,         Given::JudgedWrong, Given::OnePlus,
                            Given::LastJudgedRight, Given::Ending,      Given::TimedOutOnePlus};
    for (Given g : states) {
        SCOPED_TRACE(int(g));
        SharedState st;
        RunRules old(st);
        reach(g, old, st);
        resetRunState(st);
        RunRules rules(st);
        rules.begin();
        // The run clock is started afresh by the screen; until then its last
        // reading is no time-out.
        EXPECT_EQ(snapshot(rules, st), (Snapshot{.clockAt5 = rules.elapsedAt(at(kDay, kStart + 5)),
                                                 .runTime = st.ElapsedSeconds}));
        EXPECT_EQ(st.ProblemsPerRun, 10);
        // The new run takes keys and can end again.
        EXPECT_EQ(rules.keyPress(u'4'), RunRules::Key::EntryChanged);
        EXPECT_TRUE(rules.claimEnd());
    }
}

TEST(RunRules, AFreshScreenBeginsAfterAFinishedRun) {
    // The drill screen begins a run on its own too, after the last run's
    // end was handed off.
    SharedState st;
    RunRules old(st);
    reach(Given::Ending, old, st);
    RunRules rules(st);
    rules.begin();
    EXPECT_FALSE(st.runFlags.ended());
    EXPECT_FALSE(st.runFlags.EndHandled());
    EXPECT_EQ(st.runFlags.JudgeResult(), Judgement::None);
    EXPECT_TRUE(rules.claimEnd()) << "its end is handed off again";
}

// Typed with the keys and judged: the entry's leading number is compared,
// and an entry that holds none is wrong even where 0 is the answer.
TEST(RunRules, AnEntryIsJudgedByTheNumberItStartsWith) {
    struct Case {
        const char* keys;
        double answer;
        Judgement verdict;
    } cases[] = {
        {"0", 0, Judgement::Right},         {"-0", 0, Judgement::Right},
        {"0.0", 0, Judgement::Right},       {"*", 0, Judgement::Wrong},
        {"+", 0, Judgement::Wrong},         {".", 0, Judgement::Wrong},
        {"-.", 0, Judgement::Wrong},        {"/0", 0, Judgement::Wrong},
        {"4400", 4400, Judgement::Right},   {"+4400", 4400, Judgement::Right},
        {"4400.0", 4400, Judgement::Right}, {"4400+", 4400, Judgement::Right},
        {"4,400", 4400, Judgement::Wrong},  {"4,400", 4, Judgement::Right},
        {"04400", 4400, Judgement::Right},  {"4400.5", 4400, Judgement::Wrong},
    };
    for (const auto& c : cases) {
        SharedState st;
        RunRules r(st);
        r.begin();
        type(r, c.keys);
        ASSERT_EQ(r.keyPress(u' '), RunRules::Key::Judge) << c.keys;
        r.judge(c.answer);
        EXPECT_EQ(r.flags().JudgeResult(), c.verdict) << c.keys << " against " << c.answer;
    }
}
