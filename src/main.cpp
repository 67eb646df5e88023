// Wires the platform services, the program context and the screens together.
#include <QApplication>
#include <cstdlib>
#include <exception>
#include <memory>
#include <string>

#include "app/App.h"
#include "app/AppExit.h"
#include "platform/Clock.h"
#include "platform/Random.h"
#include "platform/Utf8Path.h"
#include "platform/ui/Accessibility.h"
#include "platform/ui/Fonts.h"
#include "platform/ui/QtPrinter.h"
#include "platform/ui/QtServices.h"
#include "startup/ui/Firstfrm.h"

#include "platform/SystemServices.h"
#include "platform/ui/ShutdownWatch.h"

namespace {

// Screens fill a real display; the offscreen platform and KESTREL_WINDOWED=1
// keep the design size (tests, screenshots, development).
bool wantFullScreen() {
    if (QGuiApplication::platformName() == QStringLiteral("offscreen")) return false;
    const char* windowed = std::getenv("KESTREL_WINDOWED");
    return !(windowed && std::string(windowed) == "1");
}

} // namespace

int main(int argc, char** argv) {
    QApplication qapp(argc, argv);
    // As early as the event loop allows: a log-off that arrives during
    // start-up waits until the first events are processed.
    const std::unique_ptr<kestrel::ShutdownWatch> shutdownWatch = kestrel::watchShutdown();
    kestrel::installFontSubstitutions();
    kestrel::installAccessibility();

    kestrel::SystemClock clock;
    kestrel::SystemRandom random;
    kestrel::QtEventPump events;
    kestrel::QtDialogs dialogs(events);
    kestrel::AppExit exit;
    const std::unique_ptr<kestrel::Audio> audio = kestrel::systemAudio();
    const std::unique_ptr<kestrel::ProcessLauncher> processes = kestrel::systemProcessLauncher();
    kestrel::QtPrinter printer(kestrel::QtPrinter::userDocumentsFolder());
    kestrel::Context ctx{
        kestrel::Services{clock, random, dialogs, exit, events, *audio, *processes, printer},
        kestrel::systemFileSystem(), kestrel::systemMountTable()};
    ctx.programFile = kestrel::pathFromUtf8(QCoreApplication::applicationFilePath().toStdString());
    ctx.keptRunsFolders = kestrel::keptRunsFolders();

    kestrel::App app(ctx);
    exit.attach(&app);
    // A log-off or shutdown ends the program normally (status 0), once an
    // append to the results log in progress has finished.
    QObject::connect(shutdownWatch.get(), &kestrel::ShutdownWatch::received,
                     [&exit](int) { exit.requestEnd(0); });
    app.setFullScreen(wantFullScreen());
    try {
        app.show<kestrel::Firstfrm>();
        return qapp.exec();
    } catch (const std::exception& e) {
        // Last resort: a failure no screen caught is told, never a silent crash.
        dialogs.message(std::string("エラーのためプログラムを終了します。\r\n") + e.what(),
                        "エラー", kestrel::MessageButtons::Ok);
        exit.endProgram(1);
    }
    return 1;
}
