#pragma once
// The level menu: one column per level with its number and name, a start
// button, the signed-in student's figures, the level's target and a results
// list; above them the student, the list options and the way back to the
// name screen. Every activation rebuilds the figures and the lists and
// decides which levels may be started. Elements are public members named
// like the design's elements (arrays indexed by level, 0 being the hidden
// template), with object names such as "Command4_3". The graph panel and
// the maintenance panel are parts of their own.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "levelmenu/ui/seisekitime1Columns.h"
#include "levelmenu/ui/seisekitime1GraphPanel.h"
#include "levelmenu/ui/seisekitime1MaintenancePanel.h"
#include "platform/ui/TwipsForm.h"

class QComboBox;
class QKeyEvent;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QScrollBar;

namespace kestrel {

class App;
class ViewScan;
class WaitPanel;
enum class ViewKind;
class VbLabel;
class VbListBox;

class seisekitime1 : public TwipsForm {
    Q_OBJECT
    // First: the element arrays below refer into the columns.
    LevelColumns* const m_levels;

public:
    explicit seisekitime1(App& app);

    void Form_Load() override;
    // The activation refresh: figures, lists and level availability.
    void Form_Activate() override;

    // Display mode: 0 times, 1 points, 2 the student's own times.
    void Option2_Click(int index);
    // List kind 1..3 of the display mode.
    void Option1_Click(int index);
    // The handlers above and below are the user's: each is refused while
    // the menu is busy (a refresh, a view being built, a start under way).
    void Combo1_Click();
    void Combo2_Click();
    void HScroll1_Change();

    // Which levels may be started; sets GoalLevelCleared.
    void Command9_Click();
    // Empties every list and resets the column headers.
    void 回数など表示();
    // Colours every list of a time display by its last successful run.
    void 成績リスト色表示();
    void 成績リスト色表示単独(int level);
    // The ranking of one level into its list (best times or points, by the
    // display mode and ranking kind).
    void Command3_Click(int level);
    // Best times of every level.
    void Command6_Click();
    // Points rankings of every level: 1 so far, 2 today.
    void pointsRankings(int kind);
    // The views read from the results log: today's runs, every run of the
    // period (AllPeriod), and the signed-in student's own runs.
    void Command5_Click();
    void Command7_Click();
    void Command16_Click();

    // Start actions; ignored while a start is not allowed.
    void Command4_Click(int level);
    void Label3_Click(int level);
    void Command1_Click();
    // "データ処理" opens the maintenance panel (a teacher only).
    void Command8_Click();
    // The maintenance panel's handlers.
    void Command12_Click() { Picture7->Command12_Click(); }
    void Command10_Click(int index) { Picture7->Command10_Click(index); }
    // A character typed anywhere on the screen.
    void Form_KeyPress(const QString& text);

    int16_t MenuReady() const { return m_menuReady; }
    int16_t InActivation() const { return m_inActivation; }
    int16_t DisplayMode() const { return m_displayMode; }
    int16_t RankingKind() const { return m_rankingKind; }
    int levelCount() const { return m_levelCount; }
    int columnWidth() const { return m_levels->columnWidth(); }

    // Per level, index 0 the hidden template; held by the columns.
    std::vector<VbLabel*>&Label1, &Label3, &Text1, &Label9, &Label10, &Label14, &Label15, &Label8,
        &Label7;
    std::vector<QPushButton*>& Command4;
    std::vector<VbListBox*>& List5;

    VbLabel* Label11 = nullptr; // title
    VbLabel* Label12 = nullptr; // grade and name
    VbLabel* Label13 = nullptr; // school and number
    VbLabel* Label17 = nullptr; // minutes since sign-in
    VbLabel* Label18 = nullptr; // runs today
    VbLabel* Label5 = nullptr;  // list heading
    QPushButton* Command1 = nullptr;
    QPushButton* Command8 = nullptr;
    std::array<QRadioButton*, 3> Option2{};
    std::array<QRadioButton*, 4> Option1{}; // 1..3
    QWidget* Frame1 = nullptr;              // holds Option1
    QComboBox* Combo1 = nullptr;
    QComboBox* Combo2 = nullptr;
    QScrollBar* HScroll1 = nullptr;
    WaitPanel* Picture2 = nullptr; // cover panel
    QProgressBar* ProgressBar1 = nullptr;
    WaitPanel* Picture6 = nullptr; // wait panel
    QProgressBar* ProgressBar2 = nullptr;
    MaintenancePanel* Picture7 = nullptr; // hidden until a teacher opens it
    // Its elements, as the panel holds them.
    VbLabel* Label28 = nullptr;
    QLineEdit* Text3 = nullptr;
    std::array<QPushButton*, 2> Command10{};
    QPushButton* Command12 = nullptr;

    // "グラフ" (shown with the student's own times) opens the graph panel.
    void Command17_Click();
    int graphSubject() const { return Picture11->subject(); }
    // The graph panel's handlers.
    void Command25_Click() { Picture11->Command25_Click(); }
    void Command24_Click(int out) { Picture11->Command24_Click(out); }
    void Command18_Click() { Picture11->Command18_Click(); }
    void List2_Click() { Picture11->List2_Click(); }
    void List3_Click() { Picture11->List3_Click(); }
    QPushButton* Command17 = nullptr;
    GraphPanel* Picture11 = nullptr;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPushButton* button(const char* name, const char* text, QRect twips, double points, bool bold);
    void buildHeader();
    void buildOptions();
    void buildPanels();
    void showWaitPanel();
    void showCover();
    // The scan of a view under the menu's grade group, with the wait
    // panel's bar following it.
    ViewScan viewScan(ViewKind kind, int days);
    void buildGraphPanel();
    void pump();
    bool startAllowed(int level) const;
    // The views behind Option2 and Option1, run by the handlers and by the
    // activation refresh.
    void displayMode(int index);
    void listKind(int index);

    App& m_app;
    int m_levelCount = 0;
    int16_t m_menuReady = 0;
    int16_t m_inActivation = 0;
    int16_t m_displayMode = 0;
    int16_t m_rankingKind = 0;
};

} // namespace kestrel
