#include "platform/ui/QtServices.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>
#include <algorithm>
#include <cmath>

#include "platform/ui/Fonts.h"
#include "platform/ui/TwipsForm.h"

namespace kestrel {
namespace {

// The box's text and buttons in the screens' terms: points and twips at the
// design size, scaled as the screen under the box scales its own.
constexpr double kMessagePoints = 12;
constexpr int kButtonWidthTwips = 1125, kButtonHeightTwips = 450;
// Readable however small the window.
constexpr int kMinimumTextPixels = 11;

// The full-size screen the box appears over: the active window, or else
// the largest screen shown (the wait screen is no measure of the rest).
const TwipsForm* screenUnderBox() {
    if (const auto* active = qobject_cast<const TwipsForm*>(QApplication::activeWindow()))
        if (active->isVisible() && !active->smallWindow()) return active;
    const TwipsForm* best = nullptr;
    for (const QWidget* w : QApplication::topLevelWidgets()) {
        const auto* form = qobject_cast<const TwipsForm*>(w);
        if (!form || !form->isVisible() || form->smallWindow()) continue;
        if (!best || form->width() * form->height() > best->width() * best->height()) best = form;
    }
    return best;
}

void scaleToScreen(QMessageBox& box) {
    const TwipsForm* screen = screenUnderBox();
    // Pixels per twip; 15 twips to the pixel when no screen is shown yet.
    const double scale = screen ? screen->scale() : 1.0 / 15.0;
    QFont font(kPGothic);
    // One point is 20 twips.
    font.setPixelSize(
        std::max(kMinimumTextPixels, static_cast<int>(std::lround(kMessagePoints * 20.0 * scale))));
    box.setFont(font);
    const QSize button(static_cast<int>(std::lround(kButtonWidthTwips * scale)),
                       static_cast<int>(std::lround(kButtonHeightTwips * scale)));
    for (QAbstractButton* b : box.buttons()) {
        b->setFont(font);
        b->setMinimumSize(button.expandedTo(b->sizeHint()));
    }
}

} // namespace

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
    scaleToScreen(box);
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
