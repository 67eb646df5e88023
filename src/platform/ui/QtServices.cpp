#include "platform/ui/QtServices.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>
#include <algorithm>

namespace kestrel {

MessageAnswer QtDialogs::message(const std::string& text, const std::string& title,
                                 MessageButtons buttons) {
    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(QString::fromStdString(title));
    box.setText(QString::fromStdString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    QPushButton* ok = nullptr;
    QPushButton* cancel = nullptr;
    QPushButton* yes = nullptr;
    QPushButton* no = nullptr;
    switch (buttons) {
    case MessageButtons::Ok:
        ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
        box.setDefaultButton(ok);
        break;
    case MessageButtons::OkCancel:
        ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
        cancel = box.addButton(QStringLiteral("キャンセル"), QMessageBox::RejectRole);
        box.setDefaultButton(ok);
        break;
    case MessageButtons::YesNo:
        yes = box.addButton(QStringLiteral("はい"), QMessageBox::YesRole);
        no = box.addButton(QStringLiteral("いいえ"), QMessageBox::NoRole);
        box.setDefaultButton(yes);
        break;
    }
    {
        const EventPump::Nested modal(m_events);
        box.exec();
    }
    QAbstractButton* clicked = box.clickedButton();
    if (clicked == yes && yes) return MessageAnswer::Yes;
    if (clicked == no && no) return MessageAnswer::No;
    if (clicked == cancel && cancel) return MessageAnswer::Cancel;
    if (buttons == MessageButtons::YesNo) return MessageAnswer::No;
    if (buttons == MessageButtons::OkCancel && clicked != ok) return MessageAnswer::Cancel;
    return MessageAnswer::Ok;
}

void QtEventPump::processEvents() {
    const Nested wait(*this);
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void QtEventPump::idle(int ms) {
    processEvents();
    QThread::msleep(static_cast<unsigned long>(std::clamp(ms, 0, 10)));
}

} // namespace kestrel
