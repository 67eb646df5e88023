#include "drill/ui/MainFrm.h"

#include "startup/ui/App.h"

namespace kestrel {

MainFrm::MainFrm(App& app) : TwipsForm(15420, 11340), m_app(app) {
    setObjectName(QStringLiteral("MainFrm"));
    setWindowTitle(QStringLiteral("Kestrel"));
}

} // namespace kestrel
