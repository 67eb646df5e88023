#include "startup/ui/Navigation.h"

#include "levelmenu/ui/seisekitime1.h"
#include "startup/ui/App.h"

namespace kestrel {

void ShowLevelMenu(App& app) {
    app.show<seisekitime1>();
}

} // namespace kestrel
