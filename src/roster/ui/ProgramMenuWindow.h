#pragma once
// The program menu's window: the drill programs installed beside the menu's
// folder, one line each; the chosen one starts in its own process and the
// menu closes. Laid out like the screens on a design area of 640 × 480
// pixels, and shown at the scale a screen has on the same display, so its
// text grows with the display as theirs does.
#include <QRect>
#include <vector>

#include "platform/ui/TwipsForm.h"
#include "roster/ProgramMenu.h"

class QLabel;
class QPushButton;

namespace kestrel {

class Dialogs;
class ProcessLauncher;
class VbListBox;

class ProgramMenuWindow : public TwipsForm {
public:
    // `menuNumber` is the menu's first argument ("001"), shown in the title.
    ProgramMenuWindow(std::vector<InstalledProgram> programs, const QString& menuNumber,
                      ProcessLauncher& launcher, Dialogs& dialogs);

    // The window's place on a display of `display` pixels: the design area
    // at the scale a full-screen screen has there, centred.
    static QRect placeOn(const QRect& display);

    // Starts the chosen program and closes the menu, or says why it cannot.
    void startChosen();

    QLabel* Title = nullptr;
    VbListBox* Programs = nullptr;
    QPushButton* Start = nullptr;
    QPushButton* Quit = nullptr;

private:
    std::vector<InstalledProgram> m_programs;
    ProcessLauncher& m_launcher;
    Dialogs& m_dialogs;
};

} // namespace kestrel
