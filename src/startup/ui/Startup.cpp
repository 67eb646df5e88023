#include "startup/ui/Startup.h"

#include <cmath>
#include <filesystem>
#include <string>

#include "drill/ui/MainFrm.h"
#include "levelmenu/ui/seisekitime1.h"
#include "roster/ui/namesel.h"
#include "context/Context.h"
#include "text/Cp932.h"
#include "startup/Folders.h"
#include "text/ItemReader.h"
#include "text/LeadingNumber.h"
#include "startup/ProgramDefinition.h"
#include "startup/SharedState.h"
#include "startup/ui/App.h"

namespace kestrel {
namespace {
const char* const kStartupErrorTitle = "起動エラー";
} // namespace

void AfterSplash(App& app) {
    Context& ctx = app.ctx();
    try {
        InitialiseFolders(ctx);
    } catch (const ProgramEnded&) {
        throw;
    } catch (const std::exception& e) {
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

} // namespace kestrel
