#pragma once
// The version window: the program's title, its version and its maker, over
// the name screen until its O.K. button closes it.
#include "platform/ui/TwipsForm.h"

class QPushButton;

namespace kestrel {

class App;
class VbLabel;
class VbShape;

// "Version" followed by major.minor.revision of this build.
QString versionText();

class frmver : public TwipsForm {
    Q_OBJECT
public:
    explicit frmver(App& app);

    void Form_Activate() override;
    void Form_Unload() override;
    void Command1_Click();

    VbShape* Shape1 = nullptr;
    VbLabel* Label1 = nullptr;
    VbLabel* Label2 = nullptr;
    VbLabel* Label4 = nullptr;
    QPushButton* Command1 = nullptr;

signals:
    void unloaded();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    App& m_app;
};

} // namespace kestrel
