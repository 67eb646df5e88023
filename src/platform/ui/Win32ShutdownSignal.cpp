#include "platform/ui/Win32ShutdownSignal.h"

#include <windows.h>

#include <QCoreApplication>
#include <QMetaObject>

namespace kestrel {

Win32ShutdownSignal::Win32ShutdownSignal(QObject* parent) : ShutdownWatch(parent) {
    QCoreApplication::instance()->installNativeEventFilter(this);
}

Win32ShutdownSignal::~Win32ShutdownSignal() {
    if (QCoreApplication* app = QCoreApplication::instance()) app->removeNativeEventFilter(this);
}

bool Win32ShutdownSignal::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (eventType != "windows_generic_MSG" || !message) return false;
    const MSG* msg = static_cast<const MSG*>(message);
    if (msg->message == WM_QUERYENDSESSION && !m_asked) {
        // Every top-level window is asked: one end is enough.
        m_asked = true;
        QMetaObject::invokeMethod(this, &Win32ShutdownSignal::deliver, Qt::QueuedConnection);
    } else if (msg->message == WM_ENDSESSION && msg->wParam) {
        deliver();
    }
    // Qt answers the request and tells the session manager as it does.
    return false;
}

void Win32ShutdownSignal::deliver() {
    if (m_given) return;
    m_given = true;
    emit received(kEndSession);
}

std::unique_ptr<ShutdownWatch> watchShutdown() {
    return std::make_unique<Win32ShutdownSignal>();
}

} // namespace kestrel
