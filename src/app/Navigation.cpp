#include "app/Navigation.h"

#include <QEventLoop>
#include <cmath>

#include "app/App.h"
#include "auxiliary/ui/frmver.h"
#include "context/Procedures.h"
#include "drill/ui/MainFrm.h"
#include "levelmenu/ui/seisekitime1.h"
#include "results/ui/FrmSyuuryou.h"
#include "roster/ui/namesel.h"
#include "startup/Folders.h"
#include "startup/ui/BASEFRM.h"
#include "startup/ui/Firstfrm.h"
#include "teacher/ui/FrmData.h"
#include "teacher/ui/FrmTimeData.h"

namespace kestrel {
namespace {

const char* const kStartupErrorTitle = "起動エラー";

template <class F> void onScreen(Screen screen, F&& f) {
    switch (screen) {
    case Screen::Firstfrm:
        return f(static_cast<Firstfrm*>(nullptr));
    case Screen::BASEFRM:
        return f(static_cast<BASEFRM*>(nullptr));
    case Screen::namesel:
        return f(static_cast<namesel*>(nullptr));
    case Screen::seisekitime1:
        return f(static_cast<seisekitime1*>(nullptr));
    case Screen::MainFrm:
        return f(static_cast<MainFrm*>(nullptr));
    case Screen::FrmSyuuryou:
        return f(static_cast<FrmSyuuryou*>(nullptr));
    case Screen::frmver:
        return f(static_cast<frmver*>(nullptr));
    case Screen::FrmTimeData:
        return f(static_cast<FrmTimeData*>(nullptr));
    case Screen::FrmData:
        return f(static_cast<FrmData*>(nullptr));
    }
}

} // namespace

void Show(App& app, Screen screen) {
    onScreen(screen, [&app]<class T>(T*) { app.show<T>(); });
}

void Unload(App& app, Screen screen) {
    onScreen(screen, [&app]<class T>(T*) { app.unload<T>(); });
}

bool IsLoaded(const App& app, Screen screen) {
    bool loaded = false;
    onScreen(screen, [&]<class T>(T*) { loaded = app.find<T>() != nullptr; });
    return loaded;
}

void AfterSplash(App& app) {
    Context& ctx = app.ctx();
    try {
        InitialiseFolders(ctx);
    } catch (const StartupError& e) {
        ctx.services.dialogs.message(e.what(), kStartupErrorTitle, MessageButtons::Ok);
        ctx.services.exit.endProgram(1);
        return;
    }
    app.show<namesel>();
}

void DefineLevels(App& app) {
    DefineLevelTable(app.ctx().program);
    app.show<seisekitime1>();
}

void StartDrill(App& app) {
    resetRunState(app.ctx().state);
    app.ctx().services.events.processEvents();
    app.show<MainFrm>();
}

void ShowEndScreen(App& app, const RecordFlags& outcome) {
    app.unload<MainFrm>();
    FrmSyuuryou& end = app.load<FrmSyuuryou>();
    end.setRunOutcome(outcome);
    app.show<FrmSyuuryou>();
}

void ShowVersionWindow(App& app, TwipsForm& owner) {
    frmver& window = app.load<frmver>();
    QPointer<frmver> guard(&window);
    const double scale = owner.scale();
    const int width = static_cast<int>(std::lround(window.designWidth() * scale));
    const int height = static_cast<int>(std::lround(window.designHeight() * scale));
    const QRect frame = owner.geometry();
    window.setGeometry(frame.left() + (frame.width() - width) / 2,
                       frame.top() + (frame.height() - height) / 2, width, height);
    QEventLoop loop;
    QObject::connect(&window, &frmver::unloaded, &loop, &QEventLoop::quit);
    window.show();
    window.raise();
    window.activateWindow();
    app.activate(window);
    if (guard && guard->isVisible()) {
        const EventPump::Nested modal(app.ctx().services.events);
        loop.exec();
    }
}

} // namespace kestrel
