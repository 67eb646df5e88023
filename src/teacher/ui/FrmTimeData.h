#pragma once
// The criteria editor: the criteria of every level in a grid, one row per
// level, edited through a text box laid over the current cell, with the
// explanation of the column and, beside the grid, how the times recorded so
// far for the level being edited are spread. Nothing is written until
// "更新記録"; the running program then uses the saved values at once.
// Elements are public members named like the design's elements.
#include <array>

#include "platform/ui/TwipsForm.h"
#include "teacher/CriteriaGrid.h"
#include "teacher/TimeHistogram.h"

class QKeyEvent;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTableWidget;

namespace kestrel {

class App;
class VbLabel;
class VbListBox;

class FrmTimeData : public TwipsForm {
    Q_OBJECT
public:
    explicit FrmTimeData(App& app);

    // The first activation loads the grid and places the text box on the
    // first value of level 1.
    void Form_Activate() override;

    // The user's handlers; each is refused while the editor is busy (a
    // wait for the results log, a save, a hand-over).
    void Command2_Click(); // "元に戻す"
    void Command3_Click(); // "更新記録"
    void Command4_Click(); // "戻る"
    void Option1_Click(int index);
    void MSFlexGrid1_Click(int row, int column);
    // A key pressed in the text box; true when the text box goes on to
    // type it (characters, Backspace).
    bool Gridinputtext_KeyDown(QKeyEvent* event);

    const CriteriaGrid& grid() const { return m_grid; }

    QTableWidget* MSFlexGrid1 = nullptr;
    QLineEdit* Gridinputtext = nullptr;
    VbLabel* Label2 = nullptr; // what the screen is for
    VbLabel* Label3 = nullptr; // explanation of the current column
    VbLabel* Label6 = nullptr;
    QPushButton* Command2 = nullptr;
    QPushButton* Command3 = nullptr;
    QPushButton* Command4 = nullptr;
    std::array<QRadioButton*, 2> Option1{};
    QWidget* Picture3 = nullptr; // frequency panel
    VbLabel* Label7 = nullptr;
    VbLabel* Label9 = nullptr;
    VbLabel* Label10 = nullptr;
    VbListBox* List3 = nullptr;  // every run
    VbListBox* List4 = nullptr;  // best times
    QWidget* Picture6 = nullptr; // wait panel
    VbLabel* lblSaved = nullptr; // says that the file was saved, until the next change

protected:
    void afterLayout() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildGrid();
    void buildPanels();
    // Loads the grid from the criteria file; false when it cannot be read.
    bool revert();
    // Writes the criteria file and reloads the program's criteria; false
    // when the file could not be written.
    bool save();
    // The grid's texts, colours and selection as the widget shows them.
    void showGrid();
    void showCell(int row, int column);
    // Lays the text box over the current cell and loads its text, the
    // caret after the tenth character or at the end.
    void placeTextBox(bool caretAtEnd);
    // Editing a cell starts with its text selected, so that typing replaces it.
    void startEditing();
    void Gridinputtext_Change(const QString& text);
    void rebuildHistograms();
    void showWaitPanel(bool shown);
    void tell(const std::string& text);

    App& m_app;
    CriteriaGrid m_grid;
    // The histograms over the whole log, kept between keys while the
    // editor is open: a key on an unchanged log reads one record.
    HistogramCache m_histograms;
    bool m_opened = false;
    bool m_loaded = false;          // the file was read: a save may write it
    bool m_histogramFailed = false; // told once per opening
};

} // namespace kestrel
