#pragma once
// What a child sees of one element on a grabbed screen: how many of the
// element's pixels have a given kind of colour.
#include <QColor>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QWidget>
#include <cstdlib>
#include <vector>

namespace kestrel::test {

// The element's rectangle on an image grabbed from `screen`.
inline QRect areaOn(const QWidget* screen, const QWidget* element) {
    return QRect(element->mapTo(screen, QPoint(0, 0)), element->size()) & screen->rect();
}

template <class Pred> int inkIn(const QImage& shot, const QRect& area, Pred isInk) {
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (isInk(shot.pixelColor(x, y))) ++n;
    return n;
}

// Pixels within `tolerance` of `colour` in each component.
inline auto near(QColor colour, int tolerance = 40) {
    return [colour, tolerance](const QColor& c) {
        return std::abs(c.red() - colour.red()) <= tolerance &&
               std::abs(c.green() - colour.green()) <= tolerance &&
               std::abs(c.blue() - colour.blue()) <= tolerance;
    };
}

// The share (0..1) of the element's pixels that have the kind of colour.
template <class Pred> double shareOf(const QImage& shot, const QRect& area, Pred isInk) {
    const double pixels = static_cast<double>(area.width()) * area.height();
    return pixels > 0 ? inkIn(shot, area, isInk) / pixels : 0;
}

// Columns (or rows) of an image area that hold a pixel of the given kind,
// joined into runs.
struct InkRun {
    int first, last;
    double centre() const { return (first + last) / 2.0; }
};

template <class Pred>
std::vector<InkRun> inkColumns(const QImage& image, const QRect& area, Pred isInk) {
    std::vector<InkRun> runs;
    for (int x = area.left(); x <= area.right(); ++x) {
        bool ink = false;
        for (int y = area.top(); y <= area.bottom() && !ink; ++y)
            ink = isInk(image.pixelColor(x, y));
        if (!ink) continue;
        if (!runs.empty() && runs.back().last == x - 1)
            runs.back().last = x;
        else
            runs.push_back({x, x});
    }
    return runs;
}

} // namespace kestrel::test
