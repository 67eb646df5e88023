#pragma once
// The drill screen: one rounding problem at a time in very large digits, the
// instruction above it, the answer field below, and the worked hint (the
// crossed-out digits and the carry row) after a delay or after the answer.
// Elements are public members named like the design's elements, and their
// object names are the same, so that tests and handlers find them by name.
#include <array>

#include "drill/Problem.h"
#include "platform/ui/TwipsForm.h"

class QPushButton;
class QTimer;

namespace kestrel {

class App;
class VbLabel;
class VbLine;

class MainFrm : public TwipsForm {
    Q_OBJECT
public:
    explicit MainFrm(App& app);

    // Shows a new problem of the current level and starts its hint timer.
    // Does nothing while the run is over or an answer is being judged.
    void 問題作成表示();
    // Draws the hint of the problem on screen (crossings and carry row); the
    // carry row's visibility is left to the caller.
    void Command1_Click();
    // The student has not answered within the delay.
    void Timer1_Timer();

    const Problem& currentProblem() const { return m_problem; }

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

protected:
    // The strokes follow the digit cells as the font actually draws them.
    void afterLayout() override;

private:
    VbLabel* addLabel(const QString& name, const QRect& twips, const QString& family, double points,
                      bool bold = false, const QString& text = {});
    // A right-aligned label in the large fixed-pitch digits.
    VbLabel* addDigitLabel(const QString& name, const QRect& twips, const QColor& fore,
                           const QString& text = {});
    void buildProblemArea();
    void buildAnswerArea();
    void placeStrokes();

    App& m_app;
    Problem m_problem;
};

} // namespace kestrel
