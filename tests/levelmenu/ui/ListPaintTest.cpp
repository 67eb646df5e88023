// The lists keep the laid-out lines they paint; what a child sees must be
// what the style itself paints, pixel for pixel, selected or not, enabled
// or not, at the classroom screen sizes.
#include <gtest/gtest.h>

#include <QStyledItemDelegate>

#include "levelmenu/ui/MenuScreen.h"

using namespace kestrel;
using namespace kestrel::test;

TEST(LevelMenuListPaint, LinesLookAsTheStylePaintsThem) {
    Menu m;
    for (int s = 1; s <= 40; ++s)
        m.addStudent(s, s % 3 ? "せいと" + std::to_string(s) : "Abc" + std::to_string(s),
                     1 + s % 9);
    m.signIn(7);
    for (int s = 1; s <= 40; ++s)
        m.run(s, 1, 20 + s % 13, s % 4);
    m.open();
    for (const QSize size : {QSize(1366, 768), QSize(1920, 1080)}) {
        m.form->resize(size);
        m.form->show();
        VbListBox* list = m.element<VbListBox>("List5", 1);
        for (int state = 0; state < 3; ++state) {
            list->setListIndex(state == 0 ? -1 : 3);
            list->setEnabled(state != 2);
            const QImage kept = list->grab().toImage();
            QAbstractItemDelegate* own = list->itemDelegate();
            QStyledItemDelegate plain;
            list->setItemDelegate(&plain);
            const QImage styled = list->grab().toImage();
            list->setItemDelegate(own);
            EXPECT_EQ(kept, styled) << size.width() << " state " << state;
            if (kept != styled && state == 0) {
                kept.save(QStringLiteral("/tmp/lm/kept.png"));
                styled.save(QStringLiteral("/tmp/lm/styled.png"));
            }
        }
    }
}
