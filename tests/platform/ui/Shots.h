#pragma once
// Screens as they are drawn, for tests of what a child sees: the picture of
// a screen (also saved for people to look at when KESTREL_SCREENSHOT_DIR is
// set) and the colours within one of its elements.
#include <QColor>
#include <QDir>
#include <QImage>
#include <QWidget>
#include <cstdlib>

namespace kestrel::test {

inline QImage shot(QWidget& screen, const char* name) {
    QImage image = screen.grab().toImage().convertToFormat(QImage::Format_RGB32);
    const char* dir = std::getenv("KESTREL_SCREENSHOT_DIR");
    if (dir && *dir) {
        const QString folder = QString::fromLocal8Bit(dir);
        QDir().mkpath(folder);
        image.save(folder + QLatin1Char('/') + QString::fromUtf8(name));
    }
    return image;
}

// Where `part` lies in the picture of `screen`; `within` a rectangle of it.
inline QRect placeIn(const QWidget& screen, const QWidget& part) {
    return QRect(part.mapTo(&screen, QPoint(0, 0)), part.size());
}
inline QRect placeIn(const QWidget& screen, const QWidget& part, const QRect& within) {
    return QRect(part.mapTo(&screen, within.topLeft()), within.size());
}

// The share (0..1) of the pixels of `area` in the picture that have `colour`.
inline double colourShare(const QImage& image, const QRect& area, const QColor& colour) {
    const QRect r = area & image.rect();
    if (r.isEmpty()) return 0;
    long long same = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            same += image.pixel(x, y) == colour.rgb();
    return static_cast<double>(same) / (static_cast<double>(r.width()) * r.height());
}
inline double colourShare(const QImage& image, const QWidget& screen, const QWidget& part,
                          const QColor& colour) {
    return colourShare(image, placeIn(screen, part), colour);
}

} // namespace kestrel::test
