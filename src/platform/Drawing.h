#pragma once
// A picture described as a list of steps, so that the same graph can be
// drawn on the screen and on paper. Positions are fractions of the output's
// width and height (0..1, y growing downwards); text sizes are in points;
// line widths and dot diameters in pen units, which are the printer's dots
// on paper and pixels of the design size on the screen.
#include <cstdint>
#include <string>
#include <vector>

namespace kestrel {

struct DrawStep {
    enum class Kind { Line, Dot, Text };
    Kind kind = Kind::Line;
    double x = 0, y = 0;   // a line's start, a dot's centre, a text's top left
    double x2 = 0, y2 = 0; // a line's end
    double pen = 1;        // width of a line, diameter of a dot
    uint32_t colour = 0;   // 0xBBGGRR
    double points = 0;     // size of a text
    std::string text;      // UTF-8
};

struct Drawing {
    std::string fontFamily; // of every text
    std::vector<DrawStep> steps;

    void line(double x1, double y1, double x2, double y2, double pen, uint32_t colour = 0) {
        steps.push_back({DrawStep::Kind::Line, x1, y1, x2, y2, pen, colour, 0, {}});
    }
    void dot(double x, double y, double pen, uint32_t colour) {
        steps.push_back({DrawStep::Kind::Dot, x, y, x, y, pen, colour, 0, {}});
    }
    void text(double x, double y, double points, std::string text) {
        steps.push_back({DrawStep::Kind::Text, x, y, x, y, 0, 0, points, std::move(text)});
    }
    // The texts in the order they are drawn, for screen readers and tests.
    std::vector<std::string> texts() const {
        std::vector<std::string> out;
        for (const DrawStep& s : steps)
            if (s.kind == DrawStep::Kind::Text) out.push_back(s.text);
        return out;
    }
};

} // namespace kestrel
