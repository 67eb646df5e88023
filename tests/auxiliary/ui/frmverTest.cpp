#include <gtest/gtest.h>

#include <QComboBox>
#include <QImage>
#include <QPushButton>
#include <QTimer>
#include <cmath>
#include <functional>

#include "auxiliary/ui/frmver.h"
#include "platform/ui/VbWidgets.h"
#include "roster/ui/NameScreenSupport.h"
#include "support/AccessibleTree.h"

using namespace kestrel;
using namespace kestrel::test;

TEST(frmver, OpensCentredOverTheNameScreenAndLeavesItAsItWas) {
    NameScreen n;
    namesel& s = n.open();
    clickLine(s.List1, 2);
    const QString chosen = s.Label1->text();

    for (int round = 0; round < 2; ++round) {
        struct Seen {
            bool found = false;
            QString caption, title, version, maker;
            QString heardTitle, heardVersion, heardMaker;
            Qt::WindowModality modality = Qt::NonModal;
            QRect geometry;
            QImage picture;
            QRect panel, makerArea;
        } seen;
        // Runs inside the version window's modal loop.
        QTimer::singleShot(0, [&] {
            frmver* v = n.app->find<frmver>();
            if (!v) return;
            seen.found = true;
            seen.caption = v->windowTitle();
            seen.title = v->Label1->text();
            seen.version = v->Label2->text();
            seen.maker = v->Label4->text();
            const auto heard = accessibleElements(*v);
            seen.heardTitle = accessibleName(heard, "Label1");
            seen.heardVersion = accessibleName(heard, "Label2");
            seen.heardMaker = accessibleName(heard, "Label4");
            seen.modality = v->windowModality();
            seen.geometry = v->geometry();
            seen.picture = shot(*v, round == 0 ? "frmver.png" : "frmver_again.png");
            seen.panel = placeIn(*v, *v->Shape1);
            seen.makerArea = placeIn(*v, *v->Label4);
            v->Command1->click();
        });
        // Never hang the tests if the window stayed open.
        QTimer::singleShot(5000, [&] { n.app->unload<frmver>(); });
        s.Label4_Click();

        ASSERT_TRUE(seen.found);
        EXPECT_EQ(seen.caption, QStringLiteral("ﾊﾞｰｼﾞｮﾝ情報"));
        EXPECT_EQ(seen.title.toStdString(), n.ctx.program.ProgramTitle);
        EXPECT_EQ(seen.version, QStringLiteral("Version" KESTREL_PROJECT_VERSION));
        EXPECT_EQ(seen.maker, QStringLiteral("Brightwave"));
        // What a screen reader reads is what the window shows.
        EXPECT_EQ(seen.heardTitle, seen.title);
        EXPECT_EQ(seen.heardVersion, seen.version);
        EXPECT_EQ(seen.heardMaker, seen.maker);
        EXPECT_EQ(seen.modality, Qt::ApplicationModal);
        const QRect owner = s.geometry();
        EXPECT_EQ(seen.geometry.left(), owner.left() + (owner.width() - seen.geometry.width()) / 2);
        EXPECT_EQ(seen.geometry.top(), owner.top() + (owner.height() - seen.geometry.height()) / 2);
        EXPECT_EQ(seen.geometry.width(), 307);
        // Drawn: the light cyan panel on turquoise, the maker's name on the panel.
        const QImage& p = seen.picture;
        EXPECT_EQ(QColor(p.pixel(seen.panel.left() / 2, seen.panel.top() / 2)),
                  QColor(0, 192, 192));
        EXPECT_EQ(QColor(p.pixel(seen.panel.left() + 3, seen.panel.top() + 3)),
                  QColor(128, 255, 255));
        EXPECT_GT(colourShare(p, seen.makerArea, QColor(128, 255, 255)), 0.5);
        EXPECT_LT(colourShare(p, seen.makerArea, QColor(128, 255, 255)), 0.97) << "no name drawn";

        EXPECT_EQ(n.app->find<frmver>(), nullptr);
        EXPECT_EQ(n.app->activeForm(), &s);
        EXPECT_EQ(s.Label1->text(), chosen);
        EXPECT_EQ(s.List1->ListIndex(), 2);
        EXPECT_EQ(s.Combo1->count(), 12);
    }
}

namespace {

// Runs `look` on the version window while it is open over the name screen.
void whileOpen(NameScreen& n, const std::function<void(frmver&)>& look) {
    bool found = false;
    QTimer::singleShot(0, [&] {
        frmver* v = n.app->find<frmver>();
        if (!v) return;
        found = true;
        look(*v);
        v->Command1->click();
    });
    QTimer::singleShot(5000, [&] { n.app->unload<frmver>(); });
    n.screen->Label4_Click();
    EXPECT_TRUE(found);
}

// Whether anything dark lies in the columns just inside the label's border.
bool inkAtTheSides(const QImage& image) {
    for (int y = 2; y < image.height() - 2; ++y)
        for (int x : {1, 2, image.width() - 3, image.width() - 2})
            if (qGray(image.pixel(x, y)) < 100) return true;
    return false;
}

} // namespace

TEST(frmver, ALongTitleKeepsItsEighteenPointsAndIsShownWhole) {
    for (const char* title :
         {"四捨五入と概数のドリル", "四捨五入と概数のドリル・練習用の長い名前"}) {
        SCOPED_TRACE(title);
        NameScreen n;
        n.open();
        n.ctx.program.ProgramTitle = title;
        whileOpen(n, [&](frmver& v) {
            EXPECT_EQ(v.Label1->text().toStdString(), title);
            EXPECT_EQ(v.Label1->font().pixelSize(), std::lround(18 * 20 * v.scale()));
            const QImage shown = v.Label1->grab().toImage();
            EXPECT_FALSE(inkAtTheSides(shown));
            if (std::string(title).size() > 40) shot(v, "frmver_long_title.png");
        });
    }
}
