#include <gtest/gtest.h>

#include <QComboBox>
#include <QPushButton>
#include <QTimer>

#include "auxiliary/ui/frmver.h"
#include "platform/ui/VbWidgets.h"
#include "roster/ui/NameScreenSupport.h"

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
            Qt::WindowModality modality = Qt::NonModal;
            QRect geometry;
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
            seen.modality = v->windowModality();
            seen.geometry = v->geometry();
            if (round == 0) saveShot(*v, "frmver.png");
            v->Command1->click();
        });
        // Never hang the tests if the window stayed open.
        QTimer::singleShot(5000, [&] { n.app->unload<frmver>(); });
        s.Label4_Click();

        ASSERT_TRUE(seen.found);
        EXPECT_EQ(seen.caption, QStringLiteral("ﾊﾞｰｼﾞｮﾝ情報"));
        EXPECT_EQ(seen.title.toStdString(), n.ctx.program.ProgramTitle);
        EXPECT_EQ(seen.version, QStringLiteral("Version1.0.1"));
        EXPECT_EQ(seen.maker, QStringLiteral("Brightwave"));
        EXPECT_EQ(seen.modality, Qt::ApplicationModal);
        const QRect owner = s.geometry();
        EXPECT_EQ(seen.geometry.left(), owner.left() + (owner.width() - seen.geometry.width()) / 2);
        EXPECT_EQ(seen.geometry.top(), owner.top() + (owner.height() - seen.geometry.height()) / 2);
        EXPECT_EQ(seen.geometry.width(), 307);

        EXPECT_EQ(n.app->find<frmver>(), nullptr);
        EXPECT_EQ(n.app->activeForm(), &s);
        EXPECT_EQ(s.Label1->text(), chosen);
        EXPECT_EQ(s.List1->ListIndex(), 2);
        EXPECT_EQ(s.Combo1->count(), 12);
    }
}

TEST(frmver, ShowsTheBuildsVersion) {
    EXPECT_EQ(versionText(), QStringLiteral("Version1.0.1"));
}
