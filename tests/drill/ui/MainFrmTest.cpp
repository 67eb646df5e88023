#include <gtest/gtest.h>

#include "support/Screenshots.h"

#include <QDir>
#include <QImage>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <cstdlib>
#include <memory>

#include "app/App.h"
#include "drill/RunStates.h"
#include "drill/ui/MainFrm.h"
#include "drill/ui/ScreenInk.h"
#include "platform/ui/VbWidgets.h"
#include "support/Fakes.h"

using namespace kestrel;
using kestrel::test::inkColumns;
using kestrel::test::InkRun;
using kestrel::test::TestContext;

namespace {

// Scripts the random values that draw `number` rounded at `place`; at the
// mixed level the kind is drawn first.
void scriptProblem(test::FakeRandom& random, int level, int type, int number, int place) {
    if (level == 5) random.push(static_cast<float>((type - 2 + 0.5) / 3));
    if (type == 1) {
        random.push(static_cast<float>((number - 1 + 0.5) / 99));
        random.push(0.5f);
    } else {
        random.push(static_cast<float>((number - 1000 + 0.5) / 9000));
        random.push(static_cast<float>((place - 1 + 0.5) / 3));
    }
}

struct Drill {
    TestContext tc;
    App app{tc.ctx};
    MainFrm* form = nullptr;

    explicit Drill(int level) {
        tc.ctx.state.CurrentLevel = static_cast<int16_t>(level);
        form = &app.load<MainFrm>();
    }
    VbLabel* label(const char* name) { return form->findChild<VbLabel*>(name); }
    VbLine* line(int j) { return form->findChild<VbLine*>(QStringLiteral("Line1_%1").arg(j)); }
    std::vector<int> crossedPlaces() {
        std::vector<int> places;
        for (int j = 0; j <= 7; ++j)
            if (!line(j)->isHidden()) places.push_back(j);
        return places;
    }
    void show(int level, int type, int number, int place) {
        scriptProblem(tc.random, level, type, number, place);
        form->問題作成表示();
    }
};

template <class Pred> InkRun inkRows(const QImage& image, const QRect& area, Pred isInk) {
    InkRun rows{area.bottom() + 1, area.top() - 1};
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (isInk(image.pixelColor(x, y))) {
                rows.first = std::min(rows.first, y);
                rows.last = std::max(rows.last, y);
            }
    return rows;
}

bool isDigitInk(const QColor& c) {
    return c.blue() > 200 && c.green() < 200 && c.red() < 100;
}
bool isCarryInk(const QColor& c) {
    return c.red() > 200 && c.green() > 200 && c.blue() < 100;
}
bool isStrokeInk(const QColor& c) {
    return c.red() > 200 && c.green() < 80 && c.blue() < 80;
}

} // namespace

TEST(MainFrmProblem, ShowsTheProblemAndHidesEveryTraceOfThePreviousOne) {
    Drill d(3);
    d.show(3, 3, 4350, 2);
    EXPECT_EQ(d.label("qLabel1")->text(), QStringLiteral("  4350"));
    EXPECT_EQ(d.label("Label10")->text(), QStringLiteral("百の位までの概数にしなさい"));
    EXPECT_EQ(d.form->currentProblem().CorrectAnswer, 4400);
    auto* timer = d.form->findChild<QTimer*>("Timer1");
    ASSERT_NE(timer, nullptr);
    EXPECT_TRUE(timer->isActive());
    EXPECT_EQ(timer->interval(), 5000);
    EXPECT_TRUE(d.label("Label9")->isHidden());
    EXPECT_TRUE(d.crossedPlaces().empty());

    // The hint, then traces of an answer.
    d.form->Timer1_Timer();
    EXPECT_FALSE(timer->isActive());
    EXPECT_FALSE(d.label("Label9")->isHidden());
    EXPECT_EQ(d.label("Label9")->text(), QStringLiteral("4  "));
    EXPECT_EQ(d.crossedPlaces(), std::vector<int>{2});
    d.label("inputLabel")->setText(QStringLiteral("4300"));
    d.label("Label11")->show();

    d.tc.ctx.state.RightCount = 2;
    d.show(3, 3, 9999, 3);
    EXPECT_EQ(d.label("qLabel1")->text(), QStringLiteral("  9999"));
    EXPECT_EQ(d.label("Label10")->text(), QStringLiteral("千の位までの概数にしなさい"));
    EXPECT_EQ(d.label("inputLabel")->text(), QString());
    EXPECT_TRUE(d.label("Label11")->isHidden());
    EXPECT_TRUE(d.label("Label9")->isHidden());
    EXPECT_TRUE(d.crossedPlaces().empty());
    EXPECT_EQ(timer->interval(), 20000);
    EXPECT_EQ(d.form->backColor(), QColor(0, 192, 192));

    // The hidden button draws the hint without showing the carry row.
    d.form->findChild<QPushButton*>("Command1")->click();
    EXPECT_EQ(d.label("Label9")->text(), QStringLiteral("10   "));
    EXPECT_TRUE(d.label("Label9")->isHidden());
    EXPECT_EQ(d.crossedPlaces(), (std::vector<int>{3, 4}));
}

TEST(MainFrmProblem, NothingIsDrawnWhileTheRunIsOverOrAnAnswerIsJudged) {
    struct Case {
        const char* flag;
        void (*reach)(SharedState&);
    } cases[] = {{"TimeUp", test::timedOut},
                 {"RunFinished", test::runFinished},
                 {"JudgeBusy", test::judging}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.flag);
        Drill d(2);
        d.show(2, 2, 3149, 1);
        d.form->Timer1_Timer();
        d.label("inputLabel")->setText(QStringLiteral("3150"));
        const int drawn = d.tc.random.drawn;
        c.reach(d.tc.ctx.state);
        d.show(2, 2, 8888, 3);
        EXPECT_EQ(d.tc.random.drawn, drawn);
        EXPECT_EQ(d.label("qLabel1")->text(), QStringLiteral("  3149"));
        EXPECT_EQ(d.label("inputLabel")->text(), QStringLiteral("3150"));
        EXPECT_FALSE(d.label("Label9")->isHidden());
        EXPECT_EQ(d.crossedPlaces(), std::vector<int>{1});
        EXPECT_EQ(d.form->currentProblem().number, 3149);
    }
}

// Reads the drawn screen: each digit of the number, each stroke and each
// carried digit must fall in the character cell of its place.
TEST(MainFrmLayout, StrokesAndCarryRowStayOnTheDigitCellsAtAnyWindowSize) {
    const QSize sizes[] = {{1028, 756}, {1600, 900}, {800, 600}, {1920, 1200}, {700, 1000}};
    for (const QSize& size : sizes) {
        SCOPED_TRACE(QStringLiteral("%1x%2").arg(size.width()).arg(size.height()).toStdString());
        Drill d(2);
        d.form->show();
        d.form->resize(size);
        d.show(2, 2, 9999, 3);
        d.form->Timer1_Timer();
        const QImage image = d.form->grab().toImage();
        ASSERT_EQ(image.size(), size);

        // The cell of place j is spanned by stroke j, shown or not.
        auto cell = [&](int j) {
            VbLine* l = d.line(j);
            return std::pair(std::min(l->from().x(), l->to().x()),
                             std::max(l->from().x(), l->to().x()));
        };
        auto inCell = [&](const InkRun& run, int j) {
            const auto [left, right] = cell(j);
            return run.first >= left - 1 && run.last <= right + 1;
        };

        const QRect number = d.label("qLabel1")->geometry();
        const std::vector<InkRun> digits = inkColumns(image, number, isDigitInk);
        ASSERT_EQ(digits.size(), 4u);
        for (int j = 1; j <= 4; ++j)
            EXPECT_TRUE(inCell(digits[4 - static_cast<size_t>(j)], j)) << "digit of place " << j;
        for (int j = 1; j < 7; ++j)
            EXPECT_LT(cell(j + 1).second, cell(j).first + 2) << j;

        // The crossed 9s are struck from the top to the foot of the digits.
        const InkRun digitRows = inkRows(image, number, isDigitInk);
        for (int j : {3, 4}) {
            VbLine* l = d.line(j);
            ASSERT_FALSE(l->isHidden());
            EXPECT_LE(std::min(l->from().y(), l->to().y()), digitRows.first + 1);
            EXPECT_GE(std::max(l->from().y(), l->to().y()), digitRows.last - 1);
            EXPECT_LE(std::max(l->from().y(), l->to().y()), number.bottom() + 2);
            const QRect strokeBox = l->geometry();
            EXPECT_FALSE(inkColumns(image, strokeBox, isStrokeInk).empty());
        }

        // "10   ": the 1 above the empty place 5, the 0 above place 4.
        const std::vector<InkRun> carried =
            inkColumns(image, d.label("Label9")->geometry(), isCarryInk);
        ASSERT_EQ(carried.size(), 2u);
        EXPECT_TRUE(inCell(carried[0], 5));
        EXPECT_TRUE(inCell(carried[1], 4));
    }
}

TEST(MainFrmLayout, ScreenshotOfEachLevelShowsTheDigitsAndTheHint) {
    struct Shot {
        int level, type, number, place;
        QSize size;
        const char* file;
        std::vector<int> crossed; // places struck out by the hint
        bool carried;             // a carried digit written above
    } shots[] = {
        {1, 1, 95, 1, {1028, 756}, "MainFrm_level1.png", {1, 2}, true},
        {2, 2, 9999, 3, {1028, 756}, "MainFrm_level2.png", {3, 4}, true},
        {3, 3, 4350, 2, {1028, 756}, "MainFrm_level3.png", {2}, true},
        {4, 4, 3149, 1, {1028, 756}, "MainFrm_level4.png", {1}, true},
        {5, 3, 1996, 1, {1028, 756}, "MainFrm_level5.png", {1, 2, 3}, true},
        {5, 2, 2049, 3, {1600, 900}, "MainFrm_level5_1600x900.png", {3}, false},
    };
    const QString dir = test::screenshotDir();
    for (const auto& s : shots) {
        SCOPED_TRACE(s.file);
        Drill d(s.level);
        d.form->show();
        d.form->resize(s.size);
        d.show(s.level, s.type, s.number, s.place);
        d.form->Timer1_Timer();
        const QImage shot = d.form->grab().toImage();
        const QString path = dir + QLatin1Char('/') + QLatin1String(s.file);
        EXPECT_TRUE(shot.save(path)) << path.toStdString();

        // One run of blue ink per digit of the number.
        const QRect number = d.label("qLabel1")->geometry();
        EXPECT_EQ(inkColumns(shot, number, isDigitInk).size(), QString::number(s.number).size());
        // Red strokes through the middle of each struck-out cell, and none elsewhere.
        for (int j = 1; j <= 7; ++j) {
            const QRect cell = d.line(j)->geometry();
            const QRect middle(cell.left() + cell.width() / 4, number.top(), cell.width() / 2,
                               number.height());
            const bool struck = std::find(s.crossed.begin(), s.crossed.end(), j) != s.crossed.end();
            EXPECT_EQ(test::inkIn(shot, middle, isStrokeInk) > 0, struck) << "place " << j;
        }
        EXPECT_EQ(test::inkIn(shot, d.label("Label9")->geometry(), isCarryInk) > 0, s.carried);
    }

    // The answer area as a wrong answer leaves it: the typed answer in blue
    // on light green, the correct one in red on pink, a red "=" before it and
    // the red request for "+" "+".
    Drill d(3);
    d.form->show();
    d.show(3, 3, 4350, 2);
    d.form->Timer1_Timer();
    d.label("inputLabel")->setText(QStringLiteral("4300"));
    d.label("seitouLabel")->setText(QStringLiteral("4400"));
    for (const char* name : {"seitouLabel", "Label11", "Commandkakunin2"})
        d.label(name)->show();
    const QImage shot = d.form->grab().toImage();
    const QString path = dir + QStringLiteral("/MainFrm_answer_area.png");
    EXPECT_TRUE(shot.save(path)) << path.toStdString();
    const QRect typed = d.label("inputLabel")->geometry();
    const QRect correct = d.label("seitouLabel")->geometry();
    EXPECT_EQ(inkColumns(shot, typed, isDigitInk).size(), 4u);
    EXPECT_GT(test::shareOf(shot, typed, test::near(QColor(128, 255, 128), 10)), 0.5);
    EXPECT_EQ(inkColumns(shot, correct, isStrokeInk).size(), 4u);
    EXPECT_GT(test::shareOf(shot, correct, test::near(QColor(255, 128, 128), 10)), 0.5);
    EXPECT_GT(test::inkIn(shot, d.label("Label11")->geometry(), isStrokeInk), 0);
    EXPECT_GT(test::inkIn(shot, d.label("Commandkakunin2")->geometry(), isStrokeInk), 0);
}
