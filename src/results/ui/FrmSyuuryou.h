#pragma once
// The end-of-drill screen: the run's time and points, the record it set, the
// level cleared, and the ways on (back to the menu, or the same level once
// more), which appear half a second after the evaluation.
// Elements are public members named like the design's elements, and their
// object names are the same, so that tests and handlers find them by name.
#include "platform/ui/TwipsForm.h"
#include "results/ResultsSummary.h"
#include "school/EndScreen.h"

class QPushButton;
class QTimer;

namespace kestrel {

class App;
class VbLabel;
class VbShape;

class FrmSyuuryou : public TwipsForm {
    Q_OBJECT
public:
    explicit FrmSyuuryou(App& app);

    // What the run just recorded achieved; set before the screen is shown.
    void setRunOutcome(const RecordFlags& outcome) { m_outcome = outcome; }
    const RecordFlags& runOutcome() const { return m_outcome; }

    // Evaluates the run just recorded, once per opening: rebuilds the
    // summary, shows the figures and plays the run's sounds.
    void Form_Activate() override;
    void Form_Unload() override;
    // Half a second after the evaluation: offers the ways on.
    void Timer1_Timer();
    // "メニューへ": back to the level menu.
    void Command4_Click();
    // "もう一度": the same level once more.
    void Command5_Click();

    QWidget* Image1 = nullptr;   // the background
    VbLabel* Label15 = nullptr;  // program title
    VbLabel* Label16 = nullptr;  // level name
    VbLabel* Label17 = nullptr;  // student name
    VbLabel* Label13 = nullptr;  // today's run number at this level
    VbLabel* Label14 = nullptr;  // today's run number over all levels
    VbLabel* Label18 = nullptr;  // the run's time
    VbLabel* Label19 = nullptr;  // points earned
    VbLabel* Label20 = nullptr;  // record or time-out message
    VbLabel* Label2 = nullptr;   // level cleared
    VbShape* Picture1 = nullptr; // goal panel, holding Label1
    VbLabel* Label1 = nullptr;
    QPushButton* Command4 = nullptr;
    QPushButton* Command5 = nullptr;
    QTimer* Timer1 = nullptr;

protected:
    // Enter presses the focused button, as the space bar does.
    void keyPressEvent(QKeyEvent* event) override;

private:
    VbLabel* addLabel(QWidget* parent, const QString& name, const QRect& twips, double points,
                      const QColor& fore, const QString& text = {});
    QPushButton* addButton(const QString& name, const QString& text, const QRect& twips,
                           const QColor& face);
    // Lets the screen show what has changed, before and after each sound.
    void repaintNow();
    void onTimer1();

    // Leaves by one of the ways on, once.
    void leave(bool again);

    App& m_app;
    RecordFlags m_outcome;
    EndScreenFacts m_facts;    // what the evaluation found, for the timer
    bool m_evaluated = false;  // the evaluation runs once per opening
    bool m_evaluating = false; // a timer tick meanwhile waits for its end
    bool m_timerDue = false;
};

} // namespace kestrel
