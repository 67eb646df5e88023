#include "app/AppExit.h"

#include <QApplication>
#include <QWidget>
#include <cstdio>
#include <cstdlib>

#include "app/App.h"

namespace kestrel {

AppExit::AppExit()
    : m_ender([](int status) {
          std::fflush(nullptr);
          std::exit(status);
      }) {}

void AppExit::endProgram(int status) {
    m_ending = true;
    // A message box open beneath this call (a log-off while it waits for
    // O.K.) lives on its caller's stack with a screen as parent: deleting
    // the screen would free it.
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window->parentWidget()) window->setParent(nullptr, window->windowFlags());
    if (m_app) m_app->unloadAll();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    m_ender(status);
    m_ending = false;
}

void AppExit::holdEnd() {
    m_requests.hold();
}

void AppExit::releaseEnd() {
    if (const auto status = m_requests.release()) endProgram(*status);
}

void AppExit::requestEnd(int status) {
    if (m_ending) return;
    if (const auto now = m_requests.request(status)) endProgram(*now);
}

} // namespace kestrel
