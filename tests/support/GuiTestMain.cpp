// Entry of the screen tests: one QApplication for the whole binary.
#include <QApplication>
#include <gtest/gtest.h>

#include "platform/ui/Accessibility.h"
#include "platform/ui/Fonts.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    kestrel::installFontSubstitutions();
    kestrel::installAccessibility();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
