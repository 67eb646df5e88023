#include "startup/ui/AppExit.h"

#include <QApplication>
#include <cstdio>
#include <cstdlib>

#include "startup/ui/App.h"

namespace kestrel {

void AppExit::endProgram(int status) {
    if (m_app) m_app->unloadAll();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    std::fflush(nullptr);
    std::exit(status);
}

} // namespace kestrel
