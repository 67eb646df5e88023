#include "startup/ui/Navigation.h"

#include "startup/ui/Startup.h"

namespace kestrel {

void ShowLevelMenu(App& app) {
    // The way on after sign-in leads there too; until the level menu lands
    // it stands in for it.
    DefineLevels(app);
}

} // namespace kestrel
