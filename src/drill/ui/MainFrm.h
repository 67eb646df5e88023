#pragma once
// The drill screen: one rounding problem at a time in very large digits, the
// instruction above it, the answer field below, and the worked hint (the
// crossed-out digits and the carry row) after a delay or after the answer.
// A run is ten right answers against the run clock; a wrong answer costs ten
// seconds and must be confirmed with "+" "+". The header shows who practises
// what, the run's figures and the time bar; the cover panel tells that the
// run is being recorded or has timed out.
// Elements are public members named like the design's elements, and their
// object names are the same, so that tests and handlers find them by name.
#include <QString>
#include <array>
#include <cstdint>

#include "drill/Problem.h"
#include "platform/ui/TwipsForm.h"
#include "results/ResultsSummary.h"
#include "school/DrillRun.h"

class QKeyEvent;
class QPushButton;
class QTimer;

namespace kestrel {

class App;
class VbLabel;
class VbLine;
class VbShape;

class MainFrm : public TwipsForm {
    Q_OBJECT
public:
    explicit MainFrm(App& app);

    // Seeds the random source from the clock.
    void Form_Load() override;
    // Starts the run: header, time bar, run clock and the first problem.
    // Runs once per opening of the screen.
    void Form_Activate() override;
    void Form_Unload() override;

    // The three start steps of a run.
    void 初期設定();
    void レベル別設定();
    void スタート();

    // Character keys (the character's code: 8 Backspace, 32 space, ...).
    void Form_KeyPress(uint16_t keyAscii);
    // Key-down codes as Windows numbers them: 13 Return, 37..40 the arrows.
    void Form_KeyDown(uint16_t keyCode, int shift);
    // Judges EntryText against the problem's answer: JudgeResult Right or Wrong.
    void 判定();
    // Acts on JudgeResult: the next problem, the end of the run, or the
    // correct answer shown until it is confirmed.
    void 判定後処理();
    // The student has confirmed the correct answer: a new problem.
    void Commandkakunin_Click();

    // The run clock (every second) and the sign-in clock (every 10 s).
    void sTimer1_Timer();
    void sTimer2_Timer();
    // Ends the run once: covers the screen, records the run and opens the
    // end screen, or goes back to the level menu after a practice level.
    void EndRun();
    // Waits while events run, then replaces this screen by the end screen.
    void WaitThenShowEndScreen(double seconds);

    // Shows a new problem of the current level and starts its hint timer.
    // Does nothing while the run is over or an answer is being judged.
    void 問題作成表示();
    // Draws the hint of the problem on screen (crossings and carry row); the
    // carry row's visibility is left to the caller.
    void Command1_Click();
    // The student has not answered within the delay.
    void Timer1_Timer();

    const Problem& currentProblem() const { return m_problem; }
    // The run, driven by this screen.
    DrillRun& run() { return m_run; }

    // The problem area.
    VbLabel* Label10 = nullptr; // the instruction
    VbLabel* Label9 = nullptr;  // the carry row above the number
    VbLabel* qLabel1 = nullptr; // the number
    // Strokes over the digit cells of qLabel1, place 1 (ones) to 7; index 0
    // is the array's template and never shown.
    std::array<VbLine*, 8> Line1{};
    QTimer* Timer1 = nullptr;
    QPushButton* Command1 = nullptr;

    // The answer area.
    VbLabel* Label2 = nullptr;     // "=" before the answer field
    VbLabel* inputLabel = nullptr; // the answer typed so far
    VbLabel* Label11 = nullptr;    // red "=" before the correct answer
    VbLabel* seitouLabel = nullptr;
    VbLabel* Commandkakunin2 = nullptr;
    QPushButton* Commandkakunin = nullptr;
    VbLabel* Label5 = nullptr;
    VbLabel* Label1 = nullptr;

    // The header panel and its labels.
    VbShape* sPicture1 = nullptr;
    VbLabel* sLabel1 = nullptr;  // green bar behind the title
    VbLabel* sLabel2 = nullptr;  // program title
    VbLabel* sLabel14 = nullptr; // school
    VbLabel* sLabel7 = nullptr;  // student
    VbLabel* sLabel8 = nullptr;  // level
    VbLabel* sLabel4 = nullptr;  // "残り"
    VbLabel* sLabel9 = nullptr;  // problems still to answer right
    VbLabel* sLabel6 = nullptr;  // "問"
    VbLabel* sLabel5 = nullptr;  // "タイム"
    VbLabel* sLabel10 = nullptr; // seconds of the run, penalties included
    VbLabel* sLabel13 = nullptr; // minutes since sign-in
    VbLabel* sLabel12 = nullptr; // this run's number among today's runs
    VbLabel* sLabel11 = nullptr; // this run's number among today's runs of the level
    // Captions: "起動後", "分", "本日", "回目", "このレベル", "回目".
    std::array<VbLabel*, 6> sLabel16{};
    // The time bar, back to front: full scale, minimum line, target, elapsed.
    VbShape* sShape5 = nullptr;
    VbShape* sShape4 = nullptr;
    VbShape* sShape3 = nullptr;
    VbShape* sShape2 = nullptr;

    // The cover panel shown once the run has ended.
    VbShape* sPicture2 = nullptr;
    VbLabel* lblsss1 = nullptr; // "成績記録中"
    VbLabel* lblsss2 = nullptr; // "時間切れ"

    QTimer* sTimer1 = nullptr; // run clock
    QTimer* sTimer2 = nullptr; // sign-in clock

protected:
    // The strokes follow the digit cells as the font actually draws them.
    void afterLayout() override;
    // Key events reach Form_KeyDown with the Windows key code, then
    // Form_KeyPress with the character.
    void keyPressEvent(QKeyEvent* event) override;

private:
    VbLabel* addLabel(const QString& name, const QRect& twips, const QString& family, double points,
                      bool bold = false, const QString& text = {});
    // A right-aligned label in the large fixed-pitch digits.
    VbLabel* addDigitLabel(const QString& name, const QRect& twips, const QColor& fore,
                           const QString& text = {});
    VbLabel* addHeaderLabel(const QString& name, const QRect& twips, double points,
                            bool bold = false, const QString& text = {});
    VbLabel* addFigureLabel(const QString& name, const QRect& twips, const QColor& back);
    VbShape* addBar(const QString& name, const QColor& fill);
    void buildHeader();
    void buildCover();
    void buildProblemArea();
    void buildAnswerArea();
    void placeStrokes();
    // Sets the width of a time bar in twips, within the full scale.
    void setBarWidth(VbShape* bar, double widthTwips);
    void showEntry();
    // Shows a problem the run has drawn and starts its hint timer.
    void showProblem(const ShownProblem& shown);
    // Lets the screen show what has changed before a sound blocks it.
    void repaintNow();
    double monotonicNow();

    App& m_app;
    DrillRun m_run;
    Problem m_problem;
    ShownProblem m_first;   // the run's first problem, shown once the clock runs
    Answered m_answered;    // the answer being judged
    bool m_timed = false;   // the level shows the run clock
    RecordFlags m_outcome;  // of the run just recorded, for the end screen
    bool m_started = false; // the run has been started on this opening
};

} // namespace kestrel
