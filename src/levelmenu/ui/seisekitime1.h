#pragma once
// The level menu: one column per level with its number and name, a start
// button, the signed-in student's figures, the level's target and a results
// list; above them the student, the list options and the way back to the
// name screen. Every activation rebuilds the figures and the lists and
// decides which levels may be started. Elements are public members named
// like the design's elements (arrays indexed by level, 0 being the hidden
// template), with object names such as "Command4_3".
#include <array>
#include <cstdint>
#include <string>
#include <vector>

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
class DrawingArea;
class LogReader;
class VbLabel;
class VbListBox;

class seisekitime1 : public TwipsForm {
    Q_OBJECT
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
    void Command8_Click();
    // The maintenance panel: "戻る" hides it; Command10(0) opens the results
    // manager and Command10(1) the criteria editor, when the password box
    // holds the teacher password exactly.
    void Command12_Click();
    void Command10_Click(int index);
    // A character typed anywhere on the screen.
    void Form_KeyPress(const QString& text);

    int16_t MenuReady() const { return m_menuReady; }
    int16_t InActivation() const { return m_inActivation; }
    int16_t DisplayMode() const { return m_displayMode; }
    int16_t RankingKind() const { return m_rankingKind; }
    int levelCount() const { return m_levelCount; }
    int columnWidth() const { return m_columnWidth; }

    // Per level, index 0 the hidden template.
    std::vector<VbLabel*> Label1, Label3, Text1, Label9, Label10, Label14, Label15, Label8, Label7;
    std::vector<QPushButton*> Command4;
    std::vector<VbListBox*> List5;

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
    QWidget* Picture2 = nullptr; // cover panel
    QProgressBar* ProgressBar1 = nullptr;
    QWidget* Picture6 = nullptr; // wait panel
    QProgressBar* ProgressBar2 = nullptr;
    QWidget* Picture7 = nullptr; // maintenance panel, hidden until a teacher opens it
    VbLabel* Label28 = nullptr;
    QLineEdit* Text3 = nullptr; // the password, masked
    std::array<QPushButton*, 2> Command10{};
    QPushButton* Command12 = nullptr;

    // The graph panel: charts of a student's runs per level, on the screen
    // or (for a teacher) on the printer. Its handlers are the user's and
    // are refused while the menu is busy.
    void Command17_Click();        // "グラフ": opens the panel on the signed-in student
    void Command25_Click();        // "他の人のデータを見る": shows the student list
    void Command24_Click(int out); // 0 "表示" on the screen, 1 "印刷" on the printer
    void Command18_Click();        // "戻る": closes the panel
    void List2_Click();
    void List3_Click();
    int graphSubject() const { return m_graphSubject; }

    QPushButton* Command17 = nullptr;
    QWidget* Picture11 = nullptr;
    VbListBox* List2 = nullptr; // students, "label /  name/number"
    VbListBox* List3 = nullptr; // levels 1..LevelCount
    QPushButton* Command25 = nullptr;
    std::array<QPushButton*, 2> Command24{};
    QPushButton* Command18 = nullptr;
    DrawingArea* Picture12 = nullptr;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildHeader();
    void buildOptions();
    void buildPanels();
    void buildMaintenancePanel();
    void buildColumn(int level);
    // Places every column for the level shown in the leftmost one.
    void placeColumns(int scrollPosition);
    void setStartButtonsEnabled(bool enabled);
    void setListsVisible(bool visible);
    void showWaitPanel();
    void showCover();
    // Reads the most recent records for a view, with the wait panel's bar
    // following the records; false when the program ends.
    bool scanResults(LogReader& scan, uint64_t lastRecords);
    void fillLists(std::vector<std::vector<std::string>> lines);
    void buildGraphPanel();
    // The graphs of the students chosen in List2 (or of the graph subject)
    // for the levels chosen in List3: 0 on the screen, 1 on the printer.
    void drawGraphs(int out);
    void pump();
    bool startAllowed(int level) const;
    // The views behind Option2 and Option1, run by the handlers and by the
    // activation refresh.
    void displayMode(int index);
    void listKind(int index);

    App& m_app;
    QWidget* m_columns = nullptr; // clips the columns scrolled off the screen
    int m_levelCount = 0;
    int m_columnWidth = 0;
    int16_t m_menuReady = 0;
    int16_t m_inActivation = 0;
    int16_t m_displayMode = 0;
    int16_t m_rankingKind = 0;
    int m_graphSubject = 0;
};

} // namespace kestrel
