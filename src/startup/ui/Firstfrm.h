#pragma once
// The splash screen: the title artwork on the season's colour and today's
// date. Its timer hands over to the rest of start-up 100 ms after loading.
#include "platform/ui/TwipsForm.h"

class QTimer;

namespace kestrel {

class App;
class VbLabel;

class Firstfrm : public TwipsForm {
    Q_OBJECT
public:
    explicit Firstfrm(App& app);

    // Chooses the season colour, seeds the random source from the clock,
    // shows the date and starts Timer1.
    void Form_Load() override;
    // Runs AfterSplash once, then unloads the splash.
    void Timer1_Timer();

private:
    App& m_app;
    QWidget* m_picture1;
    VbLabel* m_label5;
    QTimer* m_timer1;
};

} // namespace kestrel
