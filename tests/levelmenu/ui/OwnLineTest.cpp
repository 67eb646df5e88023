// Every list of the level menu opens with the signed-in student's own line
// in view, whichever list was shown before and however far it was scrolled.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QRadioButton>

#include "levelmenu/ui/MenuScreen.h"

using namespace kestrel;
using namespace kestrel::test;

namespace {

// Sixty fourth-graders; the signed-in student is the fastest at every level
// but has the fewest points so far and the slowest run today, so that the
// own line is first in one list and far down in the next.
struct LongLists : Menu {
    LongLists() {
        for (int s = 1; s <= 60; ++s)
            addStudent(s, "せいと" + std::to_string(s), 4);
        signIn(1);
        for (int level = 1; level <= 5; ++level) {
            run(1, level, 17, 40); // too long ago for points
            for (int s = 2; s <= 60; ++s) {
                run(s, level, 30 + s, 3);
                run(s, level, 20 + s); // today
            }
            run(1, level, 95); // today, the slowest
        }
        form = &open();
        form->resize(1366, 768);
        form->show();
    }
    void choose(const char* group, int index, void (seisekitime1::*handler)(int)) {
        element<QRadioButton>(group, index)->setChecked(true);
        (form->*handler)(index);
    }
    // Why level `level`'s own line is not in view, or empty when it is.
    std::string ownLineHidden(int level, bool personal = false) {
        auto* list = element<VbListBox>("List5", level);
        const QStringList lines = list->lines();
        int own = -1;
        for (int i = 0; i < lines.size() && own < 0; ++i)
            if (lines[i].contains(QStringLiteral("●"))) own = i;
        // The personal view lists the student's own runs only, without marks.
        if (own < 0 && !personal) return "no own line in " + lines.join('|').toStdString();
        if (own < 0) own = 0;
        if (lines.isEmpty()) return "an empty list";
        const QRect shown = list->viewport()->rect();
        const QRect line = list->visualItemRect(list->item(own));
        if (line.top() >= shown.top() && line.bottom() <= shown.bottom()) return {};
        return "line " + std::to_string(own) + " of " + std::to_string(lines.size()) + " at y " +
               std::to_string(line.top()) + " outside 0.." + std::to_string(shown.bottom());
    }
};

} // namespace

TEST(LevelMenuOwnLine, EveryListOpensWithTheOwnLineInView) {
    LongLists m;
    struct Step {
        const char* what;
        const char* group;
        int index;
        void (seisekitime1::*handler)(int);
    };
    const Step steps[] = {
        {"activation: points so far", nullptr, 0, nullptr},
        {"best times", "Option2", 0, &seisekitime1::Option2_Click},
        {"points again", "Option2", 1, &seisekitime1::Option2_Click},
        {"times: today", "Option2", 0, &seisekitime1::Option2_Click},
        {"today's runs", "Option1", 2, &seisekitime1::Option1_Click},
        {"points so far", "Option1", 1, &seisekitime1::Option1_Click},
        {"every run, points", "Option1", 3, &seisekitime1::Option1_Click},
        {"every run, times", "Option2", 0, &seisekitime1::Option2_Click},
        {"every run, points again", "Option2", 1, &seisekitime1::Option2_Click},
        {"points so far after every run", "Option1", 1, &seisekitime1::Option1_Click},
        {"personal", "Option2", 2, &seisekitime1::Option2_Click},
        {"points so far after personal", "Option2", 1, &seisekitime1::Option2_Click},
    };
    for (const Step& step : steps) {
        if (step.group) m.choose(step.group, step.index, step.handler);
        for (int level = 1; level <= 3; ++level)
            EXPECT_EQ(m.ownLineHidden(level, step.index == 2 &&
                                                 step.handler == &seisekitime1::Option2_Click),
                      "")
                << step.what << ", level " << level;
    }

    // A grade group rebuilds the lists too, and so does activating the menu again.
    auto* grade = m.element<QComboBox>("Combo1");
    grade->setCurrentIndex(grade->findText("小４"));
    m.form->Combo1_Click();
    EXPECT_EQ(m.ownLineHidden(1), "") << "grade group";
    m.form->Form_Activate();
    EXPECT_EQ(m.ownLineHidden(2), "") << "activation";
    // The window made larger or smaller keeps it in view.
    for (const QSize size : {QSize(1920, 1080), QSize(1024, 768)}) {
        m.form->resize(size);
        for (int level = 1; level <= 3; ++level)
            EXPECT_EQ(m.ownLineHidden(level), "") << size.width() << ", level " << level;
    }
}
