#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QKeyEvent>

#include "drill/ui/DrillRunFixture.h"
#include "results/ui/FrmSyuuryou.h"

using namespace kestrel;
using kestrel::test::DrillScreen;
using kestrel::test::typeKeys;

namespace {

// Queues a key press the way the window system does: it waits in the event
// queue until the program next lets pending events run.
void queueKey(QWidget* w, int key, const QString& text) {
    QCoreApplication::postEvent(w, new QKeyEvent(QEvent::KeyPress, key, Qt::NoModifier, text));
}

} // namespace

// The run clock reaches the limit while the key that ends the last answer
// is already waiting: that key is handled before the time-out is decided.
TEST(DrillTimeOutOrder, KeysWaitingAtTheLimitTickAreHandledFirst) {
    enum class Arrives { BeforeTheTick, AfterTheTimeOut };
    struct Row {
        const char* what;
        const char* typed; // the tenth answer, typed before the tick
        Arrives space;     // when its space key reaches the queue
        bool finished;
        int rightCount;
        int recorded;
    } rows[] = {
        {"a right answer waiting is counted", "1000", Arrives::BeforeTheTick, true, 10, 300},
        {"a wrong answer waiting is shown, then time is up", "7", Arrives::BeforeTheTick, false, 9,
         99999},
        {"a key after the time-out is ignored", "1000", Arrives::AfterTheTimeOut, false, 9, 99999},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        DrillScreen d(3, 60, 30);
        d.start();
        MainFrm* form = d.form;
        for (int i = 0; i < 9; ++i)
            d.answerRight();
        d.tick(299);
        typeKeys(form, QString::fromLatin1(row.typed));
        ASSERT_EQ(d.state().RightCount, 9);

        bool queued = false;
        if (row.space == Arrives::BeforeTheTick) {
            queueKey(form, Qt::Key_Space, QStringLiteral(" "));
            queued = true;
        }
        d.tc.events.onProcess = [&] {
            if (!queued && !form->sPicture2->isHidden()) {
                queueKey(form, Qt::Key_Space, QStringLiteral(" "));
                queued = true;
            }
            QCoreApplication::sendPostedEvents(nullptr, QEvent::KeyPress);
        };
        d.tick(1); // 300: the limit
        d.tc.events.onProcess = nullptr;
        QCoreApplication::sendPostedEvents(nullptr, QEvent::KeyPress);

        EXPECT_TRUE(queued);
        EXPECT_EQ(d.state().runFlags.RunFinished(), row.finished);
        EXPECT_EQ(d.state().runFlags.TimeUp(), !row.finished);
        EXPECT_EQ(d.state().RightCount, row.rightCount);
        EXPECT_EQ(d.state().RunTime, row.recorded);
        EXPECT_EQ(d.shown("lblsss1"), row.finished);
        EXPECT_EQ(d.shown("lblsss2"), !row.finished);
        const auto records = test::readLog(d.tc.ctx.folders);
        ASSERT_EQ(records.size(), 1u);
        EXPECT_EQ(records[0].seconds, row.recorded);
        EXPECT_NE(d.app.find<FrmSyuuryou>(), nullptr);
    }
}
