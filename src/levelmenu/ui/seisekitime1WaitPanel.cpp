#include "levelmenu/ui/seisekitime1WaitPanel.h"

#include <QProgressBar>
#include <algorithm>

#include "levelmenu/ResultsViews.h"
#include "platform/Clock.h"
#include "platform/ui/Fonts.h"
#include "platform/ui/TwipsForm.h"
#include "platform/ui/VbWidgets.h"

namespace kestrel {
namespace {

constexpr uint32_t kProgressStepMs = 100;

} // namespace

WaitPanel::WaitPanel(TwipsForm& form, Clock& clock, Names names, const QString& text, QRect twips,
                     int textTop)
    : QWidget(&form), m_clock(clock), m_shown(clock.tickMs()) {
    setObjectName(QLatin1String(names.panel));
    setAutoFillBackground(true);
    form.place(this, twips.x(), twips.y(), twips.width(), twips.height());

    auto* label = new VbLabel(this, QLatin1String(names.label), text);
    label->setAlignment(VbLabel::Align::Center);
    form.place(label, 2400, textTop, 10560, 700);
    form.setTwipsFont(label, kPGothic, 24, true);

    m_bar = new QProgressBar(this);
    m_bar->setObjectName(QLatin1String(names.bar));
    m_bar->setTextVisible(false);
    m_bar->setRange(0, 1);
    m_bar->setValue(0);
    form.place(m_bar, 3000, textTop + 1000, 9360, 360);
}

void WaitPanel::setBackColor(const QColor& colour) {
    QPalette pal = palette();
    pal.setColor(QPalette::Window, colour);
    setPalette(pal);
}

void WaitPanel::start(int maximum) {
    m_bar->setUpdatesEnabled(true);
    m_bar->setRange(0, maximum);
    m_bar->setValue(0);
}

void WaitPanel::step(int value) {
    const uint32_t now = m_clock.tickMs();
    // A bar repaints itself whenever it moves; too soon after the last time
    // to be seen, it is held still until it is due or settled.
    const bool due = now - m_shown >= kProgressStepMs;
    m_bar->setUpdatesEnabled(due);
    if (due) m_shown = now;
    m_bar->setValue(value);
}

void WaitPanel::settle() {
    m_bar->setUpdatesEnabled(true);
}

void WaitPanel::follow(ViewScan& scan) {
    m_bar->setValue(0);
    scan.onProgress = [this, shown = m_clock.tickMs()](uint64_t record, uint64_t records) mutable {
        const uint32_t now = m_clock.tickMs();
        if (record < records && now - shown < kProgressStepMs) return;
        shown = now;
        const double top = std::min((static_cast<double>(records) + 1) * 1.1, 2e9);
        m_bar->setRange(0, std::max(1, static_cast<int>(top)));
        m_bar->setValue(static_cast<int>(std::min<uint64_t>(record, 2000000000)));
    };
}

} // namespace kestrel
