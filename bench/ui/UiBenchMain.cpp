// Entry of the screen benchmarks: one QApplication on the offscreen platform.
#include <benchmark/benchmark.h>

#include <QApplication>

#include "platform/ui/Fonts.h"

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    kestrel::installFontSubstitutions();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
