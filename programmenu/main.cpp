// The program menu: the drill programs installed beside this program's
// folder, one line each; the chosen one starts in its own process and the
// menu closes. The first argument names the menu that called it ("001").
#include <QApplication>
#include <QScreen>

#include "platform/PosixProcessLauncher.h"
#include "platform/ui/Accessibility.h"
#include "platform/ui/Fonts.h"
#include "platform/ui/QtServices.h"
#include "roster/ui/ProgramMenuWindow.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    kestrel::installFontSubstitutions();
    kestrel::installAccessibility();
    const QString menuNumber = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    const std::filesystem::path folder =
        std::filesystem::path(QCoreApplication::applicationFilePath().toStdString()).parent_path();
    kestrel::PosixProcessLauncher launcher;
    kestrel::QtEventPump events;
    kestrel::QtDialogs dialogs(events);
    kestrel::ProgramMenuWindow window(kestrel::installedPrograms(folder), menuNumber, launcher,
                                      dialogs);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        window.setGeometry(kestrel::ProgramMenuWindow::placeOn(screen->geometry()));
    window.show();
    return app.exec();
}
