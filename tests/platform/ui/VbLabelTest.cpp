#include <gtest/gtest.h>

#include <QImage>

#include "platform/ui/Fonts.h"
#include "platform/ui/VbWidgets.h"

using namespace kestrel;

namespace {

constexpr int kPixels = 24;

// A black-on-white label of the fixed-pitch Gothic at 24 pixels.
struct Label {
    VbLabel label{nullptr, QStringLiteral("Label1")};
    Label(const QString& text, VbLabel::Align align, int width, int height = 30) {
        QFont font(kGothic);
        font.setPixelSize(kPixels);
        label.setFont(font);
        label.setBackColor(Qt::white);
        label.setForeColor(Qt::black);
        label.setAlignment(align);
        label.setText(text);
        label.resize(width, height);
    }
    QImage image() { return label.grab().toImage().convertToFormat(QImage::Format_RGB32); }
};

// The box around every pixel that is not background.
QRect ink(const QImage& image) {
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != qRgb(255, 255, 255)) box |= QRect(x, y, 1, 1);
    return box;
}

// Bands of rows with ink, one per line of text.
int inkedBands(const QImage& image) {
    int bands = 0;
    bool inBand = false;
    for (int y = 0; y < image.height(); ++y) {
        bool inked = false;
        for (int x = 0; x < image.width() && !inked; ++x)
            inked = image.pixel(x, y) != qRgb(255, 255, 255);
        if (inked && !inBand) ++bands;
        inBand = inked;
    }
    return bands;
}

const char* alignName(VbLabel::Align a) {
    return a == VbLabel::Align::Left ? "left" : a == VbLabel::Align::Right ? "right" : "centre";
}

} // namespace

TEST(VbLabel, ATextWiderThanItsLabelIsDrawnWholeAndJustSmallEnough) {
    for (const auto align : {VbLabel::Align::Left, VbLabel::Align::Right, VbLabel::Align::Center})
        for (const QString& text : {QStringLiteral("さくら台小学校"), QStringLiteral("12345678901"),
                                    QStringLiteral("  さくら台小学校  ")}) {
            SCOPED_TRACE(std::string(alignName(align)) + " " + text.toStdString());
            Label l(text, align, 100);
            const QImage image = l.image();
            const QRect box = ink(image);
            ASSERT_FALSE(box.isEmpty());
            // Nothing in the outermost columns: neither end is cut.
            EXPECT_GT(box.left(), 0);
            EXPECT_LT(box.right(), image.width() - 1);
            EXPECT_GT(box.top(), 0);
            EXPECT_LT(box.bottom(), image.height() - 1);
            // Shrunk no further than needed.
            EXPECT_GT(box.width(), 80);
            // Only the drawing shrinks; the label keeps its font.
            EXPECT_EQ(l.label.font().pixelSize(), kPixels);
        }
}

TEST(VbLabel, TextsThatFitAreDrawnAtFullSizeAndBlanksKeepTheirCells) {
    // A text that fits draws the same pixels as in a label of any larger width.
    const QImage wide = Label(QStringLiteral("さくら台"), VbLabel::Align::Left, 300).image();
    const QImage tight =
        Label(QStringLiteral("さくら台"), VbLabel::Align::Left, 4 * kPixels).image();
    EXPECT_EQ(tight, wide.copy(0, 0, tight.width(), tight.height()));

    // Right-aligned rows of the fixed-pitch font end their digits two
    // half-width cells before the edge when they end in two blanks.
    const QImage row = Label(QStringLiteral("12  "), VbLabel::Align::Right, 200).image();
    const QImage bare = Label(QStringLiteral("12"), VbLabel::Align::Right, 200).image();
    EXPECT_EQ(ink(row).size(), ink(bare).size());
    EXPECT_EQ(ink(row).right(), ink(bare).right() - kPixels);

    // Blanks that reach past the edge show nothing, so they shrink nothing.
    EXPECT_EQ(Label(QStringLiteral("            12"), VbLabel::Align::Right, 100).image(),
              Label(QStringLiteral("12"), VbLabel::Align::Right, 100).image());
    EXPECT_EQ(Label(QStringLiteral("12            "), VbLabel::Align::Left, 100).image(),
              Label(QStringLiteral("12"), VbLabel::Align::Left, 100).image());
}

TEST(VbLabel, LinesTooManyForItsHeightAreDrawnSmallerAndAllShown) {
    Label fits(QStringLiteral("１\r\n２"), VbLabel::Align::Left, 100, 3 * kPixels);
    EXPECT_EQ(fits.image(), Label(QStringLiteral("１\r\n２"), VbLabel::Align::Left, 100, 300)
                                .image()
                                .copy(0, 0, 100, 3 * kPixels));

    Label tall(QStringLiteral("１\r\n２\r\n３"), VbLabel::Align::Left, 100, 2 * kPixels);
    const QImage image = tall.image();
    EXPECT_EQ(inkedBands(image), 3);
    const QRect box = ink(image);
    EXPECT_GT(box.top(), 0);
    EXPECT_LT(box.bottom(), image.height() - 1);
}
