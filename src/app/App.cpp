#include "app/App.h"

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <cmath>

namespace kestrel {
namespace {
// While a wait runs the reaper looks again a little later.
constexpr int kReaperRetryMs = 20;
// Where a small window's middle lies, as a part of the screen's height.
constexpr double kSmallWindowCentre = 0.72;
} // namespace

App::App(Context& ctx) : m_ctx(ctx) {
    m_reaper.setSingleShot(true);
    m_reaper.setInterval(0);
    QObject::connect(&m_reaper, &QTimer::timeout, [this] { deleteUnloaded(); });
}

App::~App() {
    m_reaper.stop();
    for (auto it = m_screens.rbegin(); it != m_screens.rend(); ++it)
        delete it->form.data();
    for (const QPointer<TwipsForm>& form : m_unloaded)
        delete form.data();
}

int App::loadedCount() const {
    int n = 0;
    for (const auto& s : m_screens)
        if (s.form) ++n;
    return n;
}

int App::unloadedCount() const {
    int n = 0;
    for (const auto& f : m_unloaded)
        if (f) ++n;
    return n;
}

void App::showForm(TwipsForm& form) {
    if (form.smallWindow()) {
        showSmall(form);
        return;
    }
    if (m_fullScreen) {
        // Without a window manager a full-screen request alone may leave the
        // window at its own size; give it the screen's geometry first.
        if (QScreen* screen = QGuiApplication::primaryScreen())
            form.setGeometry(screen->geometry());
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

void App::showSmall(TwipsForm& form) {
    // Over the active screen, at its scale, centred across and low enough to
    // leave the screen's own message in its middle visible ("成績記録中",
    // "時間切れ" on the drill's cover).
    QRect over;
    double scale = 1.0 / 15.0;
    if (m_active && m_active->isVisible()) {
        over = m_active->geometry();
        scale = m_active->scale();
    } else if (QScreen* screen = QGuiApplication::primaryScreen()) {
        over = screen->geometry();
    }
    const int w = static_cast<int>(std::lround(form.designWidth() * scale));
    const int h = static_cast<int>(std::lround(form.designHeight() * scale));
    form.setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    form.setAttribute(Qt::WA_ShowWithoutActivating);
    const int centreY =
        over.top() + static_cast<int>(std::lround(over.height() * kSmallWindowCentre));
    form.setGeometry(over.left() + (over.width() - w) / 2, centreY - h / 2, w, h);
    form.show();
    form.raise();
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
    form->setLeaving();
    form->Form_Unload();
    form->hide();
    m_unloaded.emplace_back(form);
    m_reaper.start(0);
}

void App::deleteUnloaded() {
    if (m_ctx.services.events.nesting() > 0) {
        m_reaper.start(kReaperRetryMs);
        return;
    }
    std::vector<QPointer<TwipsForm>> dead;
    dead.swap(m_unloaded);
    for (const QPointer<TwipsForm>& form : dead)
        delete form.data();
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
