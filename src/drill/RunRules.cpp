#include "drill/RunRules.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "text/LeadingNumber.h"

namespace kestrel {
namespace {

constexpr uint16_t kKeyReturn = 13;
constexpr uint16_t kKeyLeft = 37;
constexpr uint16_t kKeyDown = 40;
constexpr char16_t kBackspace = 8;
constexpr char16_t kSpace = 32;
constexpr char16_t kPlus = u'+';
// The characters an answer may hold: * + , - . / and the digits.
constexpr char16_t kFirstTyped = 42;
constexpr char16_t kLastTyped = 57;

} // namespace

void RunRules::begin() {
    RunFlags& f = m_st.runFlags;
    if (f.m_phase == RunPhase::RunFinished) f.m_phase = RunPhase::Running;
    f.m_endHandled = false;
    f.m_verdict = Judgement::None;
    EntryText.clear();
    m_st.ProblemsPerRun = 10;
}

void RunRules::setLimits(const LevelCriteria& criteria, double fullScale) {
    m_fullScale = fullScale;
    const int64_t limit = 5 * static_cast<int64_t>(criteria.minimumTime);
    m_st.TimeLimitSeconds =
        static_cast<int32_t>(std::clamp<int64_t>(limit, 0, std::numeric_limits<int32_t>::max()));
    m_st.BarScale = m_st.TimeLimitSeconds > 0 ? fullScale / m_st.TimeLimitSeconds : 0;
}

double RunRules::barWidth(double seconds) const {
    return std::clamp(seconds * m_st.BarScale, 0.0, m_fullScale);
}

void RunRules::start(double monotonicNow) {
    m_st.RunStartTime = monotonicNow;
}

int32_t RunRules::elapsedAt(double monotonicNow) const {
    const double seconds = monotonicNow - m_st.RunStartTime;
    return static_cast<int32_t>(
        std::clamp<double>(std::round(seconds), -2147483647.0, 2147483647.0));
}

RunRules::Tick RunRules::tick(double monotonicNow) {
    if (measure(monotonicNow) == Tick::Running) return Tick::Running;
    return timeOut() ? Tick::TimeOut : Tick::AtLimit;
}

RunRules::Tick RunRules::measure(double monotonicNow) {
    m_st.ElapsedSeconds = elapsedAt(monotonicNow);
    if (!hasLimit() || m_st.ElapsedSeconds < m_st.TimeLimitSeconds) return Tick::Running;
    return Tick::AtLimit;
}

bool RunRules::timeOut() {
    if (!hasLimit() || m_st.ElapsedSeconds < m_st.TimeLimitSeconds) return false;
    // An answer being judged is finished first; the next tick tries again.
    RunFlags& f = m_st.runFlags;
    if (f.m_endHandled || f.RunFinished() || f.m_judgeBusy) return false;
    f.m_phase = RunPhase::TimeUp;
    return true;
}

bool RunRules::isTypedEntry(std::string_view entry) {
    if (entry.size() > static_cast<size_t>(kMaxEntryLength)) return false;
    return std::all_of(entry.begin(), entry.end(), [](char c) {
        return static_cast<unsigned char>(c) >= kFirstTyped &&
               static_cast<unsigned char>(c) <= kLastTyped;
    });
}

bool RunRules::isRightAnswer(std::string_view entry, double correctAnswer) {
    return hasLeadingNumber(entry) && leadingNumber(entry) == correctAnswer;
}

RunRules::Key RunRules::keyPress(char16_t c) {
    RunFlags& f = m_st.runFlags;
    if (f.ended() || f.m_judgeBusy) return Key::Ignored;
    if (f.m_confirm != ConfirmStep::Entry) {
        // Only two "+" in a row confirm; nothing is typed meanwhile.
        if (c == kPlus && f.m_confirm == ConfirmStep::AnswerShown) {
            f.m_confirm = ConfirmStep::OnePlus;
            return Key::Waiting;
        }
        if (c == kPlus && f.m_confirm == ConfirmStep::OnePlus) return Key::Confirm;
        f.m_confirm = ConfirmStep::AnswerShown;
        return Key::Waiting;
    }
    if (c == kSpace) {
        f.m_judgeBusy = true;
        return Key::Judge;
    }
    if (c == kBackspace) {
        if (EntryText.empty()) return Key::Ignored;
        EntryText.pop_back();
        return Key::EntryChanged;
    }
    if (EntryText.size() >= kMaxEntryLength) return Key::Refused;
    if (c >= kFirstTyped && c <= kLastTyped) {
        EntryText.push_back(static_cast<char>(c));
        return Key::EntryChanged;
    }
    return Key::Ignored;
}

bool RunRules::keyDown(uint16_t keyCode) {
    if (keyCode != kKeyReturn && (keyCode < kKeyLeft || keyCode > kKeyDown)) return false;
    EntryText.clear();
    return true;
}

void RunRules::judge(double correctAnswer) {
    RunFlags& f = m_st.runFlags;
    if (f.ended()) {
        f.m_judgeBusy = false;
        return;
    }
    f.m_verdict = isRightAnswer(EntryText, correctAnswer) ? Judgement::Right : Judgement::Wrong;
}

Judgement RunRules::afterJudgement() {
    RunFlags& f = m_st.runFlags;
    if (f.ended()) return Judgement::None;
    switch (f.m_verdict) {
    case Judgement::Right:
        f.m_verdict = Judgement::None;
        return Judgement::Right;
    case Judgement::Wrong:
        penalise();
        return Judgement::Wrong;
    case Judgement::None:
        break;
    }
    return Judgement::None;
}

bool RunRules::countRight() {
    RunFlags& f = m_st.runFlags;
    f.m_verdict = Judgement::None;
    ++m_st.RightCount;
    if (m_st.RightCount < m_st.ProblemsPerRun) return false;
    if (f.m_phase == RunPhase::Running) f.m_phase = RunPhase::RunFinished;
    return true;
}

void RunRules::readyForNext() {
    m_st.runFlags.m_judgeBusy = false;
    EntryText.clear();
}

void RunRules::judgingDone() {
    m_st.runFlags.m_judgeBusy = false;
}

void RunRules::penalise() {
    m_st.RunStartTime -= kWrongAnswerPenalty;
    m_st.runFlags.m_confirm = ConfirmStep::AnswerShown;
}

void RunRules::confirmed() {
    m_st.runFlags.m_confirm = ConfirmStep::Entry;
    EntryText.clear();
}

bool RunRules::claimEnd() {
    if (m_st.runFlags.m_endHandled) return false;
    m_st.runFlags.m_endHandled = true;
    return true;
}

int32_t RunRules::runTime() const {
    return flags().TimeUp() ? kNoTime : m_st.ElapsedSeconds;
}

} // namespace kestrel
