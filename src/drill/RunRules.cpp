#include "drill/RunRules.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "startup/Calendar.h"
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

void RunRules::start(const LocalTime& now) {
    m_st.RunStartTime = static_cast<float>(now.secondsOfDay);
    m_st.RunStartDay = dayNumber(now.date);
}

int32_t RunRules::elapsedAt(const LocalTime& now) const {
    const double days = static_cast<double>(dayNumber(now.date) - m_st.RunStartDay);
    const double seconds =
        days * 86400.0 + now.secondsOfDay - static_cast<double>(m_st.RunStartTime);
    return static_cast<int32_t>(
        std::clamp<double>(std::round(seconds), -2147483647.0, 2147483647.0));
}

RunRules::Tick RunRules::tick(const LocalTime& now) {
    m_st.ElapsedSeconds = elapsedAt(now);
    if (!hasLimit() || m_st.ElapsedSeconds < m_st.TimeLimitSeconds) return Tick::Running;
    // An answer being judged is finished first; the next tick tries again.
    if (m_st.EndHandled != 0 || m_st.RunFinished != 0 || m_st.JudgeBusy != 0) return Tick::AtLimit;
    m_st.TimeUp = 1;
    return Tick::TimeOut;
}

RunRules::Key RunRules::keyPress(char16_t c) {
    if (ended() || m_st.JudgeBusy == 1) return Key::Ignored;
    if (m_st.ConfirmState >= 1) {
        // Only two "+" in a row confirm; nothing is typed meanwhile.
        if (c == kPlus && m_st.ConfirmState == 1) {
            m_st.ConfirmState = 2;
            return Key::Waiting;
        }
        if (c == kPlus && m_st.ConfirmState == 2) return Key::Confirm;
        m_st.ConfirmState = 1;
        return Key::Waiting;
    }
    if (c == kSpace) return Key::Judge;
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
    if (ended()) {
        m_st.JudgeBusy = 0;
        return;
    }
    const bool right = !EntryText.empty() && leadingNumber(EntryText) == correctAnswer;
    m_st.JudgeResult = right ? 1 : 2;
}

bool RunRules::countRight() {
    m_st.JudgeResult = 0;
    ++m_st.RightCount;
    if (m_st.RightCount < m_st.ProblemsPerRun) return false;
    m_st.RunFinished = 1;
    return true;
}

void RunRules::penalise() {
    m_st.RunStartTime = static_cast<float>(m_st.RunStartTime - kWrongAnswerPenalty);
    m_st.ConfirmState = 1;
}

void RunRules::confirmed() {
    m_st.ConfirmState = 0;
    EntryText.clear();
}

int32_t RunRules::runTime() const {
    return m_st.TimeUp != 0 ? kNoTime : m_st.ElapsedSeconds;
}

} // namespace kestrel
