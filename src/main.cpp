// Wires the platform services, the program context and the screens together.
#include <QApplication>

#include "platform/Clock.h"
#include "platform/Random.h"
#include "platform/ui/Fonts.h"
#include "platform/ui/QtServices.h"
#include "startup/ui/App.h"
#include "startup/ui/AppExit.h"

int main(int argc, char** argv) {
    QApplication qapp(argc, argv);
    kestrel::installFontSubstitutions();
    return 0;
}
