// The digits of the drill and the hint's red strokes as drawn: a zero
// that could pass for a crossed-out digit, digits of unequal width or a
// stroke off its digit would each teach a child the wrong answer.
#include <gtest/gtest.h>

#include <QFontInfo>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <algorithm>

#include "drill/Problem.h"
#include "drill/ui/DrillRunFixture.h"
#include "drill/ui/ScreenInk.h"
#include "platform/ui/Fonts.h"

using namespace kestrel;
using namespace kestrel::test;

namespace {

// Scripts the random values that draw `number` at `place` (levels 2 to 4).
void scriptProblem(FakeRandom& random, int number, int place) {
    random.push(static_cast<float>((number - 1000 + 0.5) / 9000));
    random.push(static_cast<float>((place - 1 + 0.5) / 3));
}

bool isDigitInk(const QColor& c) {
    return c.blue() > 200 && c.green() < 200 && c.red() < 100;
}
bool isStrokeInk(const QColor& c) {
    return c.red() > 200 && c.green() < 80 && c.blue() < 80;
}

} // namespace

// The fixed-pitch font of the digits: every digit as wide as the others,
// and the zero an empty oval, with no slash or dot inside.
TEST(CrossedDigits, DigitsAreEvenAndTheZeroIsPlain) {
    for (bool bold : {false, true}) {
        QFont font(kGothic);
        font.setPixelSize(120);
        font.setBold(bold);
        EXPECT_EQ(QFontInfo(font).family(), QStringLiteral("BIZ UDGothic"));
        const QFontMetricsF fm(font);
        for (char d = '0'; d <= '9'; ++d)
            EXPECT_DOUBLE_EQ(fm.horizontalAdvance(QLatin1Char(d)), fm.horizontalAdvance(u'0')) << d;

        QImage image(200, 200, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter p(&image);
        p.setFont(font);
        p.setPen(Qt::black);
        p.drawText(QRect(0, 0, 200, 200), Qt::AlignCenter, QStringLiteral("0"));
        p.end();
        const QRect glyph =
            QRectF(fm.boundingRect(QRectF(0, 0, 200, 200), Qt::AlignCenter, QStringLiteral("0")))
                .toAlignedRect();
        QRect ink;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (qGray(image.pixel(x, y)) < 128) ink |= QRect(x, y, 1, 1);
        ASSERT_TRUE(glyph.contains(ink.center()));
        // The middle third of the oval is empty.
        const QRect inside(ink.left() + ink.width() / 3, ink.top() + ink.height() / 3,
                           ink.width() / 3, ink.height() / 3);
        int dark = 0;
        for (int y = inside.top(); y <= inside.bottom(); ++y)
            for (int x = inside.left(); x <= inside.right(); ++x)
                if (qGray(image.pixel(x, y)) < 128) ++dark;
        EXPECT_EQ(dark, 0) << (bold ? "bold" : "regular") << " zero has ink inside";
    }
}

// A wrong answer's hint on the classroom displays: each red stroke lies in
// the cell of the digit it crosses out, measured from the digits drawn.
TEST(CrossedDigits, StrokesOfAWrongAnswerFallOnTheirDigits) {
    struct Case {
        int number, place;
        std::vector<int> crossed; // places, 1 the ones
    } const cases[] = {
        {4305, 2, {2}},    // a crossed 0, rounded down
        {2099, 1, {1, 2}}, // the carry runs through the 9 to the 0
        {1000, 1, {1}},    // crossed 0 among 0s
        {7060, 2, {2}},
    };
    for (QSize size : {QSize(1366, 768), QSize(1920, 1080)}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << size.width() << "x" << size.height() << " "
                                            << c.number << " place " << c.place);
            DrillScreen d(3);
            scriptProblem(d.tc.random, c.number, c.place);
            d.start();
            d.form->show();
            d.form->resize(size);
            ASSERT_EQ(d.form->currentProblem().number, c.number);
            const QRect number = d.label("qLabel1")->geometry();
            const QImage before = d.form->grab().toImage();
            const std::vector<InkRun> digits = inkColumns(before, number, isDigitInk);
            ASSERT_EQ(digits.size(), 4u);
            const double pitch = (digits[3].centre() - digits[0].centre()) / 3;
            // Digits of equal width sit at an even pitch.
            for (size_t i = 1; i < 4; ++i)
                EXPECT_NEAR(digits[i].centre() - digits[i - 1].centre(), pitch, pitch / 8);

            d.answerWrong(false);
            ASSERT_TRUE(d.shown("seitouLabel"));
            const QImage hint = d.form->grab().toImage();
            std::vector<int> shown;
            for (int j = 1; j <= 7; ++j)
                if (d.shown(QStringLiteral("Line1_%1").arg(j).toUtf8().constData()))
                    shown.push_back(j);
            EXPECT_EQ(shown, c.crossed);
            const std::string text = d.form->currentProblem().ProblemText;
            const Working w = workingFor(text, d.form->currentProblem().RoundPlace);
            for (int j = 1; j <= 7; ++j)
                EXPECT_EQ(w.crossed[static_cast<size_t>(j)],
                          std::find(c.crossed.begin(), c.crossed.end(), j) != c.crossed.end());

            // On rows across the digits, each stroke's red lies within the
            // cell of its digit, and at mid-height near the digit's middle.
            int top = number.bottom(), bottom = number.top();
            for (int y = number.top(); y <= number.bottom(); ++y)
                for (int x = number.left(); x <= number.right(); ++x)
                    if (isDigitInk(before.pixelColor(x, y))) {
                        top = std::min(top, y);
                        bottom = std::max(bottom, y);
                    }
            for (double at : {0.25, 0.5, 0.75}) {
                const int y = top + static_cast<int>((bottom - top) * at);
                const std::vector<InkRun> red =
                    inkColumns(hint, QRect(number.left(), y, number.width(), 1), isStrokeInk);
                ASSERT_EQ(red.size(), c.crossed.size()) << "row at " << at;
                for (size_t k = 0; k < red.size(); ++k) {
                    // Runs go left to right; places right to left.
                    const int place = c.crossed[c.crossed.size() - 1 - k];
                    const double middle = digits[4 - static_cast<size_t>(place)].centre();
                    EXPECT_GT(red[k].first, middle - pitch / 2) << "place " << place;
                    EXPECT_LT(red[k].last, middle + pitch / 2) << "place " << place;
                    if (at == 0.5) {
                        EXPECT_NEAR(red[k].centre(), middle, pitch / 4);
                    }
                }
            }
            if (c.number == 4305 && size.width() == 1920) {
                const QString dir = screenshotDir();
                EXPECT_TRUE(hint.save(dir + QStringLiteral("/MainFrm_crossed_zero.png")));
            }
        }
    }
}
