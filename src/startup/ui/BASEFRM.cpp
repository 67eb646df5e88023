#include "startup/ui/BASEFRM.h"

#include "app/App.h"
#include "platform/ui/Fonts.h"
#include "platform/ui/VbWidgets.h"

namespace kestrel {

BASEFRM::BASEFRM(App& app) : TwipsForm(6000, 1800), m_app(app) {
    setObjectName(QStringLiteral("BASEFRM"));
    // A small window over the screen being replaced, so that what that
    // screen shows (the drill's "時間切れ", say) stays visible around it.
    setSmallWindow(true);
    setWindowTitle(QStringLiteral("Kestrel"));
    setBackColor(rgb(255, 255, 255));
    m_label19 =
        new VbLabel(this, QStringLiteral("Label19"), QStringLiteral("Just a moment, please."));
    m_label19->setAlignment(VbLabel::Align::Center);
    place(m_label19, 240, 600, 5520, 600);
    setTwipsFont(m_label19, kPGothic, 18, true);
}

void BASEFRM::Form_Load() {
    m_app.ctx().services.events.processEvents();
}

} // namespace kestrel
