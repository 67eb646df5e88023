#pragma once
// The level menu's maintenance panel (Picture7): a teacher's way into the
// results manager and the criteria editor, behind the data-change
// password. Hidden until "データ処理" opens it; while it is up the menu
// starts no level. The password box keeps its text while the menu stays
// loaded; Enter in it acts as the first button. Elements keep the design's
// names.
#include <QWidget>
#include <array>

class QLineEdit;
class QPushButton;

namespace kestrel {

class App;
class TwipsForm;
class VbLabel;

class MaintenancePanel : public QWidget {
    Q_OBJECT
public:
    MaintenancePanel(TwipsForm& form, App& app);

    // "データ処理": the panel in front of everything, the password box focused.
    void open();
    // "戻る" hides the panel.
    void Command12_Click();
    // Command10(0) opens the results manager and Command10(1) the criteria
    // editor, when the password box holds the teacher password exactly.
    void Command10_Click(int index);

    VbLabel* Label28 = nullptr;
    QLineEdit* Text3 = nullptr; // the password, masked
    std::array<QPushButton*, 2> Command10{};
    QPushButton* Command12 = nullptr;

private:
    TwipsForm& m_form;
    App& m_app;
};

} // namespace kestrel
