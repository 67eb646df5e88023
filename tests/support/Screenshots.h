#pragma once
// Where screen tests save their screenshots: the folder named by
// KESTREL_SCREENSHOT_DIR, else the build folder.
#include <QDir>
#include <QString>
#include <cstdlib>

namespace kestrel::test {

inline QString screenshotDir() {
    const char* env = std::getenv("KESTREL_SCREENSHOT_DIR");
    QString dir = env && *env ? QString::fromLocal8Bit(env) : QStringLiteral(KESTREL_BINARY_DIR);
    QDir().mkpath(dir);
    return dir;
}

} // namespace kestrel::test
