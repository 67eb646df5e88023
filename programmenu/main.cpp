// The program menu: the drill programs installed beside this program's
// folder, one line each under its title (MenuEntries.h); the chosen one
// starts in its own process and the menu closes. The first argument names the menu that called it
// ("001").
#include <QApplication>
#include <QScreen>

#include "MenuEntries.h"
#include "platform/Utf8Path.h"
#include "platform/ui/Accessibility.h"
#include "platform/ui/Fonts.h"
#include "platform/ui/QtServices.h"
#include "roster/ui/ProgramMenuWindow.h"

// This system's way of starting a program.
#include "platform/SystemServices.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    kestrel::installFontSubstitutions();
    kestrel::installAccessibility();
    // Qt takes the arguments from the wide command line on Windows.
    const QString menuNumber = QCoreApplication::arguments().value(1);
    const std::filesystem::path folder =
        kestrel::pathFromUtf8(QCoreApplication::applicationFilePath().toStdString()).parent_path();
    const std::unique_ptr<kestrel::ProcessLauncher> launcher = kestrel::systemProcessLauncher();
    kestrel::QtEventPump events;
    kestrel::QtDialogs dialogs(events);
    kestrel::ProgramMenuWindow window(kestrel::menuEntries(folder), menuNumber, *launcher, dialogs);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        window.setGeometry(kestrel::ProgramMenuWindow::placeOn(screen->geometry()));
    window.show();
    return app.exec();
}
