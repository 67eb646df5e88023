// Wires the platform services, the program context and the screens together.
#include <QApplication>
#include <cstdlib>
#include <exception>
#include <memory>
#include <string>

#include "platform/Clock.h"
#include "platform/Random.h"
#include "platform/Utf8Path.h"
#include "platform/ui/Accessibility.h"
#include "platform/ui/Fonts.h"
#include "platform/ui/QtPrinter.h"
#include "platform/ui/QtServices.h"
#include "startup/ui/App.h"
#include "startup/ui/AppExit.h"
#include "startup/ui/Firstfrm.h"

// This system's implementations of the platform's services.
#ifdef _WIN32
#include "platform/Win32Audio.h"
#include "platform/Win32MountTable.h"
#include "platform/Win32ProcessLauncher.h"
#include "platform/Win32SharedFile.h"
#include "platform/ui/Win32ShutdownSignal.h"
#else
#include "platform/PosixMountTable.h"
#include "platform/PosixProcessLauncher.h"
#include "platform/PosixSharedFile.h"
#include "platform/SdlAudio.h"
#include "platform/ui/ShutdownSignal.h"
#endif

namespace {

#ifdef _WIN32
using SystemAudio = kestrel::Win32Audio;
using SystemProcessLauncher = kestrel::Win32ProcessLauncher;
using SystemFileSystem = kestrel::Win32SharedFileSystem;
using SystemMountTable = kestrel::Win32MountTable;
#else
using SystemAudio = kestrel::SdlAudio;
using SystemProcessLauncher = kestrel::PosixProcessLauncher;
using SystemFileSystem = kestrel::PosixSharedFileSystem;
using SystemMountTable = kestrel::ProcMountTable;
#endif

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
    kestrel::ShutdownSignal shutdownSignal;
    kestrel::installFontSubstitutions();
    kestrel::installAccessibility();

    kestrel::SystemClock clock;
    kestrel::SystemRandom random;
    kestrel::QtEventPump events;
    kestrel::QtDialogs dialogs(events);
    kestrel::AppExit exit;
    SystemAudio audio;
    SystemProcessLauncher processes;
    kestrel::QtPrinter printer(kestrel::QtPrinter::userDocumentsFolder());
    kestrel::Context ctx{
        kestrel::Services{clock, random, dialogs, exit, events, audio, processes, printer},
        std::make_unique<SystemFileSystem>(), std::make_unique<SystemMountTable>()};
    ctx.programFile = kestrel::pathFromUtf8(QCoreApplication::applicationFilePath().toStdString());

    kestrel::App app(ctx);
    exit.attach(&app);
    // A log-off or shutdown ends the program normally (status 0), once an
    // append to the results log in progress has finished.
    QObject::connect(&shutdownSignal, &kestrel::ShutdownSignal::received,
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
