#pragma once
// The level menu's graph panel (Picture11): charts of a student's runs per
// level, on the screen or (for a teacher) on the printer. It lies over the
// menu's columns, hidden until "グラフ" opens it; its lists are filled by
// the personal view. Its handlers are the user's and are refused while the
// menu is busy. Elements keep the design's names.
#include <QWidget>
#include <array>
#include <cstdint>
#include <functional>

class QPushButton;

namespace kestrel {

class App;
class DrawingArea;
class TwipsForm;
class VbLabel;
class VbListBox;

class GraphPanel : public QWidget {
    Q_OBJECT
public:
    // What the panel takes from the menu it lies on.
    struct Menu {
        std::function<QString()> gradeGroup; // Combo1's text
        std::function<int16_t()> rankingKind;
        std::function<void(bool)> showWaitPanel; // while the log is read
    };
    GraphPanel(TwipsForm& form, App& app, Menu menu);

    // The personal view's part: the school's students and the levels
    // 1..levelCount, with the signed-in student as the subject.
    void fillLists(int levelCount);
    // "グラフ": the signed-in student's first three levels on the screen.
    void open();
    void setTeacher(bool teacher);
    int subject() const { return m_subject; }
    // Why the student list is empty, or empty when the roster was read.
    QString studentListError() const;

    void Command25_Click();        // "他の人のデータを見る": shows the student list
    void Command24_Click(int out); // 0 "表示" on the screen, 1 "印刷" on the printer
    void Command18_Click();        // "戻る": closes the panel
    void List2_Click();
    void List3_Click();

    VbListBox* List2 = nullptr; // students, "label /  name/number"
    VbListBox* List3 = nullptr; // levels 1..LevelCount
    QPushButton* Command25 = nullptr;
    std::array<QPushButton*, 2> Command24{};
    QPushButton* Command18 = nullptr;
    DrawingArea* Picture12 = nullptr;

private:
    // The graphs of the students chosen in List2 (or of the subject) for
    // the levels chosen in List3: 0 on the screen, 1 on the printer.
    void drawGraphs(int out);
    void showStudentList();

    TwipsForm& m_form;
    App& m_app;
    Menu m_menu;
    // Stands where the student list would be when the roster cannot be read.
    VbLabel* m_listError = nullptr;
    int m_subject = 0;
};

} // namespace kestrel
