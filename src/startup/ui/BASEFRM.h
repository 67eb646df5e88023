#pragma once
// The wait screen shown while one screen replaces another.
#include "platform/ui/TwipsForm.h"

namespace kestrel {

class App;
class VbLabel;

class BASEFRM : public TwipsForm {
    Q_OBJECT
public:
    explicit BASEFRM(App& app);
    // Lets the pending screen updates run, so that the screen shows at once.
    void Form_Load() override;

private:
    App& m_app;
    VbLabel* m_label19;
};

} // namespace kestrel
