#pragma once
// The drill screen.
#include "platform/ui/TwipsForm.h"

namespace kestrel {

class App;

class MainFrm : public TwipsForm {
    Q_OBJECT
public:
    explicit MainFrm(App& app);

private:
    App& m_app;
};

} // namespace kestrel
