#include "startup/ui/App.h"

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>

namespace kestrel {

App::~App() {
    for (auto it = m_screens.rbegin(); it != m_screens.rend(); ++it) delete it->form.data();
}

int App::loadedCount() const {
    int n = 0;
    for (const auto& s : m_screens)
        if (s.form) ++n;
    return n;
}

void App::showForm(TwipsForm& form) {
    if (m_fullScreen) {
        // Without a window manager a full-screen request alone may leave the
        // window at its own size; give it the screen's geometry first.
        if (QScreen* screen = QGuiApplication::primaryScreen()) form.setGeometry(screen->geometry());
        form.showFullScreen();
    } else {
        form.show();
    }
    // The offscreen platform of the tests has no window stacking.
    if (QGuiApplication::platformName() != QLatin1String("offscreen")) {
        form.raise();
        form.activateWindow();
    }
    if (m_active != &form) activate(form);
}

void App::activate(TwipsForm& form) {
    m_active = &form;
    form.Form_Activate();
}

void App::unloadForm(TwipsForm* form) {
    if (!form) return;
    for (auto it = m_screens.begin(); it != m_screens.end(); ++it) {
        if (it->form == form) {
            m_screens.erase(it);
            break;
        }
    }
    if (m_active == form) m_active = nullptr;
    form->Form_Unload();
    form->hide();
    // Deleted once control is back in the main loop: the unloading handler
    // may still be running on the screen.
    form->deleteLater();
}

void App::unloadAll() {
    while (!m_screens.empty()) {
        TwipsForm* form = m_screens.back().form.data();
        if (!form) {
            m_screens.pop_back();
            continue;
        }
        unloadForm(form);
    }
}

} // namespace kestrel
