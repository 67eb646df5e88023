#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFontInfo>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <functional>

#include "platform/ui/Fonts.h"
#include "platform/ui/QtServices.h"
#include "platform/ui/TwipsForm.h"

using namespace kestrel;

namespace {

// What a message box looked like while it was open.
struct SeenBox {
    int textPixels = 0;
    int screenTextPixels = 0; // a 12-point label of the screen under the box
    QList<int> buttonTextPixels;
    QList<QSize> buttonSizes;
    QSize textSize;
    QImage image;
};

// Opens a box over a full-size screen of `size` pixels, looks at it and
// answers it with its first button.
SeenBox openBoxOver(const QSize& size, MessageButtons buttons) {
    TwipsForm screen(15420, 11340);
    auto* label = new QLabel(QStringLiteral("0"), &screen);
    screen.place(label, 0, 0, 3000, 600);
    screen.setTwipsFont(label, kPGothic, 12);
    screen.show();
    screen.resize(size);

    SeenBox seen;
    seen.screenTextPixels = QFontInfo(label->font()).pixelSize();
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        auto* text = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
        ASSERT_NE(text, nullptr);
        box->adjustSize();
        seen.textPixels = QFontInfo(text->font()).pixelSize();
        seen.textSize = text->sizeHint();
        for (QAbstractButton* b : box->buttons()) {
            seen.buttonTextPixels << QFontInfo(b->font()).pixelSize();
            seen.buttonSizes << b->size();
        }
        seen.image = box->grab().toImage();
        box->buttons().first()->click();
    });
    QtEventPump events;
    QtDialogs dialogs(events);
    dialogs.message("データが変更されています。記録しますか？", "注意", buttons);
    return seen;
}

} // namespace

// The box's text and buttons scale as the screen's own text does, and are
// never small to read.
TEST(MessageBoxScale, TextAndButtonsScaleWithTheScreen) {
    struct Case {
        QSize screen;
        MessageButtons buttons;
        const char* shot;
    } const cases[] = {
        {{1366, 768}, MessageButtons::YesNo, "message_box_1366x768.png"},
        {{1920, 1080}, MessageButtons::YesNo, "message_box_1920x1080.png"},
        {{1920, 1080}, MessageButtons::OkCancel, nullptr},
        {{640, 480}, MessageButtons::Ok, nullptr},
    };
    const QString shots = qEnvironmentVariable("KESTREL_SCREENSHOT_DIR");
    int small = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.screen.width() << "x" << c.screen.height());
        const SeenBox seen = openBoxOver(c.screen, c.buttons);
        EXPECT_GE(seen.textPixels, 11);
        EXPECT_GE(seen.textPixels, seen.screenTextPixels);
        EXPECT_LE(seen.textPixels, std::max(11, seen.screenTextPixels));
        ASSERT_FALSE(seen.buttonSizes.isEmpty());
        for (int i = 0; i < seen.buttonSizes.size(); ++i) {
            EXPECT_EQ(seen.buttonTextPixels[i], seen.textPixels);
            EXPECT_GT(seen.buttonSizes[i].height(), seen.textPixels);
        }
        EXPECT_GT(seen.textSize.height(), seen.textPixels);
        if (c.screen == QSize(1366, 768)) small = seen.textPixels;
        if (c.screen == QSize(1920, 1080) && small > 0) {
            EXPECT_GE(seen.textPixels * 100, small * 135) << "the larger screen's box grows";
        }
        if (c.shot && !shots.isEmpty()) {
            QDir().mkpath(shots);
            EXPECT_TRUE(seen.image.save(shots + QLatin1Char('/') + QLatin1String(c.shot)));
        }
    }
}
