#pragma once
// The name screen: the roster as a list of names with two of each
// student's tallies, narrowed by grade and switched between four kinds of
// tallies; choosing a name and confirming signs the student in. The title
// opens the version window; the key "0" leaves for the program menu.
// Elements are public members named like the design's elements, with the
// same object names.
#include <array>

#include "platform/ui/TwipsForm.h"
#include "roster/RosterDisplay.h"

class QComboBox;
class QPushButton;
class QRadioButton;

namespace kestrel {

class App;
class VbLabel;
class VbListBox;

class namesel : public TwipsForm {
    Q_OBJECT
public:
    explicit namesel(App& app);
    ~namesel() override;

    void Form_Load() override;
    void Form_Activate() override;

    // Reads the roster and rebuilds the lists by NameListMode and the grade box.
    void 名簿表示();
    // Records who signed in and when, then opens the level menu. Refused
    // with the wrong-answer cue while no name is chosen. Like every handler
    // of the screen, refused while the screen is busy (reading the roster,
    // or signing in already).
    void SignIn();

    void Option1_Click(int index);
    void Combo1_Click();
    void List1_Click();
    void List1_DblClick();
    void Label4_Click();
    void Command7_Click();
    void Command14_Click() { SignIn(); }

    int NameListMode() const { return m_lists.NameListMode; }
    const NameListState& nameLists() const { return m_lists; }

    QWidget* Picture4 = nullptr;
    QWidget* Picture3 = nullptr;
    QWidget* Image1 = nullptr;
    VbLabel* Label6 = nullptr;
    VbLabel* Label4 = nullptr;
    QPushButton* Command7 = nullptr;
    VbLabel* Label1 = nullptr;
    QPushButton* Command14 = nullptr;
    QWidget* Picture7 = nullptr;
    std::array<QRadioButton*, 4> Option1{};
    QComboBox* Combo1 = nullptr;
    VbListBox* List1 = nullptr;
    VbLabel* Label2 = nullptr;
    QWidget* Picture5 = nullptr;
    VbLabel* Label19 = nullptr;
    VbListBox* List2 = nullptr;
    VbListBox* List3 = nullptr;
    VbListBox* List4 = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildBanner();
    void buildChoice();
    void buildLists();
    void showLists();
    void pump();
    // NameListMode and the list rebuilt for it.
    void showMode(int index);
    // The student of List1's line k becomes the chosen one (Label2 shows it).
    void choose(int line);
    // Label1 asks for a name again and nobody is chosen.
    void nobodyChosen();

    App& m_app;
    NameListState m_lists;
    int m_chosen = -1; // the chosen student's number, -1 while nobody is chosen
    bool m_activated = false;
    bool m_settingOption = false;
};

} // namespace kestrel
