#pragma once
// The level menu's columns, one per level: number and name, start button,
// over-practice notice, the student's figures, results list and target.
// Index 0 of every array is the hidden template; columns scroll sideways
// when there are more than four levels. The area clips the columns
// scrolled off the screen.
#include <QWidget>
#include <functional>
#include <vector>

#include "levelmenu/LevelMenu.h"
#include "school/LevelMenuView.h"
#include "startup/CriteriaTable.h"

class QPushButton;

namespace kestrel {

class TwipsForm;
class VbLabel;
class VbListBox;

class LevelColumns : public QWidget {
    Q_OBJECT
public:
    // What a click on a column starts: its start button, its level's name.
    struct Actions {
        std::function<void(int level)> startButton;
        std::function<void(int level)> levelName;
    };
    LevelColumns(TwipsForm& form, int top, int height, Actions actions);

    // Makes the columns of the levels given (level 1 first) with their
    // number, name, start button, target and pass-period lines, the first
    // level in the leftmost column.
    void build(const std::vector<LevelColumnTexts>& columns);
    int levelCount() const { return m_levelCount; }
    int columnWidth() const { return m_columnWidth; }
    // Places every column for the level shown in the leftmost one.
    void placeFor(int scrollPosition);

    // Today's and all-time figures, grey lines, start buttons enabled.
    void showFigures(const std::vector<LevelColumnTexts>& columns);
    // Closed levels: start button disabled, the notice in front of it.
    void showAvailability(const LevelAvailability& availability);
    void setStartButtonsEnabled(bool enabled);
    void setListsVisible(bool visible);
    // Headers back to "今日" and "今まで": one level's, or every level's
    // with every list emptied.
    void resetHeaders(int level);
    void resetLists();
    // Each list of a time display in the colour of its last successful run;
    // every selection cleared.
    void colourLists(bool timeDisplay, const CriteriaTable& criteria);
    void clearSelection(int level);
    // A level's list in the order it shows, the student's own line brought
    // into view with the line above it (the first line when it has none).
    void showList(int level, ColumnList list);
    // Per level (index 1..levelCount) the lines of a view.
    void fillLists(std::vector<std::vector<std::string>> lines);

    std::vector<VbLabel*> Label1, Label3, Text1, Label9, Label10, Label14, Label15, Label8, Label7;
    std::vector<QPushButton*> Command4;
    std::vector<VbListBox*> List5;

private:
    void buildColumn(int level);

    TwipsForm& m_form;
    Actions m_actions;
    int m_levelCount = 0;
    int m_columnWidth = 0;
};

} // namespace kestrel
