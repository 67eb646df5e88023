// The graph panel of the level menu: a student's charts on the screen, other
// students' charts from the student list, and (for a teacher) on paper or,
// without a printer, in a PDF file that real tools read back.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTest>

#include "levelmenu/ui/MenuScreen.h"
#include "platform/Utf8Path.h"
#include "platform/ui/DrawingArea.h"
#include "platform/ui/QtPrinter.h"
#include "support/PdfTools.h"
#include "support/Screenshots.h"

using namespace kestrel;
using namespace kestrel::test;

namespace {

// A class of a teacher and three students with a few weeks of runs.
struct GraphMenu : Menu {
    explicit GraphMenu(bool teacher = false) {
        addStudent(1, "あおき　ゆい", 3);
        addStudent(2, "いとう　そら", 3);
        addStudent(3, "うえだ　りく", 5);
        addStudent(9, "やまだ先生", 0);
        signIn(teacher ? 9 : 1);
        for (int s = 1; s <= 3; ++s)
            for (int level = 1; level <= 5; ++level)
                for (int d = 24; d >= 0; d -= 2)
                    run(s, level, 40 + (s * 13 + level * 7 + d * 5) % 70 + d, d);
        run(1, 1, 99999, 5);
        open();
    }
    DrawingArea* picture() { return element<DrawingArea>("Picture12"); }
    QStringList pictureTexts() {
        QStringList out;
        for (const std::string& t : picture()->drawing().texts())
            out.push_back(QString::fromStdString(t));
        return out;
    }
    void personal() {
        element<QRadioButton>("Option2", 2)->setChecked(true);
        form->Option2_Click(2);
    }
    void click(const char* name) { QTest::mouseClick(element(name), Qt::LeftButton); }
    // A click on line `row` of a list.
    void clickLine(const char* list, int row) {
        auto* l = element<VbListBox>(list);
        const QRect r = l->visualItemRect(l->item(row));
        QTest::mouseClick(l->viewport(), Qt::LeftButton, {}, r.center());
    }
};

// How many pixels of `area` in `image` are strongly of one primary colour
// (0 red, 2 blue): the points' edges are blended.
int pixelsOf(const QImage& image, const QRect& area, int primary) {
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            const int v[] = {c.red(), c.green(), c.blue()};
            n += v[primary] > 150 && v[(primary + 1) % 3] < 90 && v[(primary + 2) % 3] < 90;
        }
    return n;
}

QString title(const Context& ctx, int level) {
    return QString::fromStdString(ctx.program.ProgramTitle + " " +
                                  ctx.program.LevelNames[static_cast<size_t>(level)]);
}

} // namespace

TEST(GraphPanel, GraphShowsTheStudentsFirstThreeLevels) {
    GraphMenu m;
    m.personal();
    EXPECT_TRUE(m.element("Picture11")->isHidden());
    m.click("Command17");
    EXPECT_FALSE(m.element("Picture11")->isHidden());
    EXPECT_EQ(m.form->graphSubject(), 1);
    EXPECT_TRUE(m.element("List2")->isHidden());
    EXPECT_FALSE(m.element("Command25")->isHidden());
    EXPECT_TRUE(m.element("Command24_1")->isHidden()) << "printing is for teachers";
    auto* levels = m.element<VbListBox>("List3");
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(levels->item(i)->isSelected(), i < 3) << i;

    const QStringList texts = m.pictureTexts();
    EXPECT_EQ(texts.count("あおき　ゆい"), 1);
    for (int level = 1; level <= 3; ++level)
        EXPECT_TRUE(texts.contains(title(m.ctx, level))) << level;
    EXPECT_FALSE(texts.contains(title(m.ctx, 4)));
    EXPECT_EQ(texts.count("回数　　　　　　　 13回"), 3) << texts.join('|').toStdString();
    // Screen readers read the student and the figures.
    EXPECT_EQ(m.picture()->accessibleName(), "グラフ あおき　ゆい");
    QAccessibleInterface* access = QAccessible::queryAccessibleInterface(m.picture());
    ASSERT_NE(access, nullptr);
    EXPECT_TRUE(access->text(QAccessible::Description).contains("回数　　　　　　　 13回"));

    m.form->resize(1024, 768);
    const QImage shot = m.form->grab().toImage();
    EXPECT_TRUE(shot.save(test::screenshotDir() + "/seisekitime1-graph.png"));
    // The child sees the charts: record runs in red and the others in blue.
    const QRect area(m.picture()->mapTo(m.form, QPoint(0, 0)), m.picture()->size());
    EXPECT_GT(pixelsOf(shot, area, 0), 10);
    EXPECT_GT(pixelsOf(shot, area, 2), 50);

    // Levels 4 and 5 chosen as well: the screen keeps the last page.
    m.clickLine("List3", 3);
    m.clickLine("List3", 4);
    EXPECT_TRUE(m.pictureTexts().contains(title(m.ctx, 5)));
    EXPECT_FALSE(m.pictureTexts().contains(title(m.ctx, 1)));

    m.click("Command18");
    EXPECT_TRUE(m.element("Picture11")->isHidden());
    // Any other view closes the graph button.
    m.click("Command17");
    m.element<QRadioButton>("Option2", 0)->setChecked(true);
    m.form->Option2_Click(0);
    EXPECT_TRUE(m.element("Picture11")->isHidden());
    EXPECT_TRUE(m.element("Command17")->isHidden());
}

TEST(GraphPanel, OtherStudentsFromTheStudentList) {
    GraphMenu m;
    m.personal();
    m.click("Command17");
    m.click("Command25");
    EXPECT_TRUE(m.element("Command25")->isHidden());
    EXPECT_FALSE(m.element("List2")->isHidden());
    auto* students = m.element<VbListBox>("List2");
    ASSERT_EQ(students->List(1), "小３ /  いとう　そら/2");
    int draws = 0;
    QObject::connect(m.picture(), &DrawingArea::changed, [&] { ++draws; });
    m.clickLine("List2", 1);
    EXPECT_EQ(draws, 1);
    EXPECT_EQ(m.form->graphSubject(), 2);
    EXPECT_TRUE(m.pictureTexts().contains("いとう　そら"));
    // Two students chosen: the screen shows the one lower in the list.
    m.clickLine("List2", 2);
    EXPECT_EQ(m.form->graphSubject(), 3);
    EXPECT_TRUE(m.pictureTexts().contains("うえだ　りく"));
    // "グラフ" goes back to the signed-in student and nobody chosen.
    m.click("Command17");
    EXPECT_EQ(m.form->graphSubject(), 1);
    EXPECT_TRUE(students->selectedItems().isEmpty());
    EXPECT_TRUE(m.pictureTexts().contains("あおき　ゆい"));
}

TEST(GraphPanel, TeacherPrintsEveryChosenLevelAndIsToldWhereThePdfWent) {
    GraphMenu m(true);
    m.personal();
    m.click("Command17");
    EXPECT_FALSE(m.element("Command24_1")->isHidden());
    m.clickLine("List3", 3);
    m.clickLine("List3", 4);
    m.click("Command24_1");
    ASSERT_EQ(m.printer.jobs.size(), 1u);
    ASSERT_EQ(m.printer.jobs[0].size(), 2u) << "five charts on two pages";
    EXPECT_EQ(m.printer.requests[0].fileBaseName, "成績グラフ_20250610_100000");
    EXPECT_TRUE(m.dialogs.shown.empty()) << "printed: nothing to tell";
    // The teacher prints for two students: one job, each student from a new page.
    m.click("Command25");
    m.clickLine("List2", 1);
    m.clickLine("List2", 2);
    m.click("Command24_1");
    ASSERT_EQ(m.printer.jobs.size(), 2u);
    ASSERT_EQ(m.printer.jobs[1].size(), 4u);
    EXPECT_EQ(m.printer.jobs[1][2].texts().front(), "うえだ　りく");

    m.printer.result.outcome = PrintResult::Outcome::SavedAsPdf;
    m.printer.result.file = pathFromUtf8("/home/sensei/Documents/成績グラフ_20250610_100000.pdf");
    m.click("Command24_1");
    ASSERT_EQ(m.dialogs.shown.size(), 1u);
    EXPECT_EQ(m.dialogs.shown[0].text,
              "プリンターが見つからないので、グラフをPDFファイルに保存しました。\r\n"
              "保存した場所： /home/sensei/Documents/成績グラフ_20250610_100000.pdf");
}

TEST(GraphPanel, PrintedPdfOfFiveLevelsHasTwoPagesWithTheTitlesAndFigures) {
    GraphMenu m(true);
    TempDir documents;
    QtPrinter pdf(documents / "ドキュメント", QtPrinter::Destination::PdfOnly);
    m.printer.forwardTo = &pdf;
    m.personal();
    m.click("Command17");
    m.clickLine("List3", 3);
    m.clickLine("List3", 4);
    m.click("Command25");
    m.clickLine("List2", 0);
    m.click("Command24_1");

    ASSERT_EQ(m.dialogs.shown.size(), 1u);
    const std::filesystem::path file =
        documents / "ドキュメント" / pathFromUtf8("成績グラフ_20250610_100000.pdf");
    EXPECT_NE(m.dialogs.shown[0].text.find(utf8OfPath(file)), std::string::npos)
        << m.dialogs.shown[0].text;
    ASSERT_TRUE(std::filesystem::exists(file));
    // Kept beside the screenshots, to be looked at.
    std::filesystem::copy_file(file,
                               test::screenshotDir().toStdString() + "/seisekitime1-graph.pdf",
                               std::filesystem::copy_options::overwrite_existing);

    const QString path = screenshotDir() + "/seisekitime1-graph.pdf";
    const QString info = test::pdfToolOutput("pdfinfo", {path});
    ASSERT_FALSE(info.isEmpty()) << "pdfinfo (poppler-utils) could not read the file";
    EXPECT_TRUE(info.contains(QRegularExpression("Pages:\\s+2\\n"))) << info.toStdString();
    EXPECT_TRUE(info.contains("Page size:      595") || info.contains("(A4)"))
        << info.toStdString();

    // Every text drawn is in the file, blanks aside (the tool lays them out its own way).
    const QString text = test::pdfToolOutput(
        "pdftotext", {QStringLiteral("-enc"), QStringLiteral("UTF-8"), path, QStringLiteral("-")});
    ASSERT_FALSE(text.isEmpty()) << "pdftotext (poppler-utils) could not read the file";
    auto squeezed = [](QString s) {
        return s.remove(QRegularExpression(QStringLiteral("[\\s　]")));
    };
    const QString all = squeezed(text);
    EXPECT_EQ(all.count(QStringLiteral("あおきゆい")), 2) << "the name heads both pages";
    for (int level = 1; level <= 5; ++level)
        EXPECT_TRUE(all.contains(squeezed(title(m.ctx, level)))) << level;
    ASSERT_EQ(m.printer.jobs.size(), 1u);
    for (const Drawing& page : m.printer.jobs[0])
        for (const std::string& t : page.texts())
            EXPECT_TRUE(all.contains(squeezed(QString::fromStdString(t)))) << t;
}

TEST(GraphPanel, ARosterThatCannotBeReadIsNamedWhereTheStudentsWouldBe) {
    const struct Case {
        const char* what;
        const char* bytes; // nullptr: no roster file at all
        const char* problem;
    } cases[] = {
        {"missing", nullptr, "が見つかりません"},
        {"not a number", "3,20x6,0,0,kawaru,0,,\r\n", "が数ではありません"},
        {"not CP932", "3,2016,0,0,\x82\xff,0,,\r\n", "文字コード"},
    };
    for (const Case& c : cases) {
        GraphMenu m;
        const std::filesystem::path roster = m.dir / kRosterFile;
        if (c.bytes)
            writeBytes(roster, c.bytes);
        else
            std::filesystem::remove(roster);
        m.personal();
        m.click("Command17");
        m.click("Command25");
        auto* message = m.element<VbLabel>("List2Error");
        ASSERT_NE(message, nullptr);
        EXPECT_FALSE(message->isHidden()) << c.what;
        EXPECT_TRUE(m.element<VbListBox>("List2")->lines().isEmpty()) << c.what;
        const QString text = message->text();
        EXPECT_TRUE(text.contains(QString::fromStdString(genericUtf8OfPath(roster)))) << c.what;
        EXPECT_TRUE(text.contains(QString::fromUtf8(c.problem))) << text.toStdString();
        EXPECT_EQ(message->accessibleName(), text);
        // The charts of the signed-in student still show.
        EXPECT_TRUE(m.pictureTexts().contains("あおき　ゆい")) << c.what;
    }
    // Read again, the list is back and the message gone.
    GraphMenu m;
    m.personal();
    m.click("Command17");
    m.click("Command25");
    EXPECT_TRUE(m.element("List2Error")->isHidden());
    EXPECT_EQ(m.element<VbListBox>("List2")->count(), 4);
}
