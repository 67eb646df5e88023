// The results manager's list of deleted records and its "元に戻す", and its
// class summary "まとめ": a deleted run comes back on its date into every
// view, once, also when the teacher clicks again while the log is held;
// the summary's figures are the level menu's for every student, printed a
// grade a page across A4 or saved as a PDF file with the graphs' message.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QRegularExpression>

#include "platform/Utf8Path.h"
#include "platform/ui/QtPrinter.h"
#include "results/DeletedRecords.h"
#include "results/ResultsRules.h"
#include "support/AccessibleTree.h"
#include "support/HeldLog.h"
#include "support/PdfTools.h"
#include "teacher/ResultsCsv.h"
#include "teacher/ui/TeacherScreens.h"
#include "text/CsvText.h"

using namespace kestrel;
using namespace kestrel::test;

namespace {

struct Manager : ResultsManager {
    void click(QWidget* w) { QTest::mouseClick(w, Qt::LeftButton); }
    void deleteLine(int line) {
        doubleClick(line);
        dialogs.answers.push_back(MessageAnswer::Ok);
        click(m->Command3);
    }
};

} // namespace

TEST(ResultsManagerUndo, ADeletedRunComesBackOnItsDateOnceAndShowsInTheViews) {
    Manager t;
    t.run(2, 3, 47, 1); // yesterday's run of student 2 at level 3
    t.openWith(2);
    const ResultRecord gone = t.records[0];
    t.deleteLine(0);
    ASSERT_EQ(t.onDisk().size(), 2u);

    t.click(t.m->Command7);
    ASSERT_FALSE(t.m->Picture4->isHidden());
    const QStringList deleted = t.m->List2->lines();
    ASSERT_EQ(deleted.size(), 1);
    EXPECT_TRUE(deleted[0].startsWith(QStringLiteral("   1 2025/06/09")));
    EXPECT_TRUE(deleted[0].contains(QStringLiteral("　消去 06/10 10:00")))
        << deleted[0].toStdString();
    EXPECT_EQ(t.m->List2->ListIndex(), 0);
    // Drawn: the panel of deleted records, in its pale pink.
    const QImage seen = shot(*t.m, "FrmData-deleted.png");
    EXPECT_GT(colourShare(seen, *t.m, *t.m->Picture4, QColor(255, 240, 232)), 0.02);

    // Cancel keeps it deleted; OK puts it back at the end of the log.
    t.dialogs.answers = {MessageAnswer::Cancel};
    t.click(t.m->Command8);
    EXPECT_EQ(t.onDisk().size(), 2u);
    t.dialogs.shown.clear();
    t.click(t.m->Command8);
    ASSERT_EQ(t.dialogs.shown.size(), 1u);
    EXPECT_EQ(t.dialogs.shown[0].text, "この記録を元に戻しますか");
    const auto records = t.onDisk();
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(encodeResultRecord(records[2]), encodeResultRecord(gone));
    EXPECT_EQ(t.m->List1->ListCount(), 3);
    EXPECT_EQ(t.m->List1->ListIndex(), 2) << "the restored line is chosen";
    EXPECT_TRUE(t.m->List1->lines()[2].startsWith(QStringLiteral("   3 2025/06/09")));
    EXPECT_TRUE(t.m->List2->lines()[0].endsWith(QStringLiteral("元に戻しました（3番）")));
    // A screen reader reads the panel and the marked line as they are shown.
    const auto reached = accessibleElements(*t.m);
    const std::pair<const char*, const char*> texts[] = {{"Label6", "消去した記録（新しい順）"},
                                                         {"Command6", "まとめ"},
                                                         {"Command7", "消去した記録"},
                                                         {"Command8", "元に戻す"},
                                                         {"Command9", "閉じる"}};
    for (const auto& [element, text] : texts)
        EXPECT_EQ(accessibleName(reached, element), QString::fromUtf8(text)) << element;
    ASSERT_TRUE(reached.count(QStringLiteral("List2")));
    QAccessibleInterface* list = reached.at(QStringLiteral("List2"));
    ASSERT_GE(list->childCount(), 1);
    EXPECT_EQ(list->child(0)->text(QAccessible::Name), t.m->List2->lines()[0]);
    // Once back, never twice.
    t.dialogs.shown.clear();
    t.click(t.m->Command8);
    ASSERT_EQ(t.dialogs.shown.size(), 1u);
    EXPECT_NE(t.dialogs.shown[0].text.find("もう元に戻してあります"), std::string::npos);
    EXPECT_EQ(t.onDisk().size(), 3u);
    t.click(t.m->Command9);
    EXPECT_TRUE(t.m->Picture4->isHidden());

    // The views count it on its date again: the all-time figures of level 3.
    t.signIn(2);
    t.app.unload<FrmData>();
    t.form = &t.app.show<seisekitime1>();
    EXPECT_TRUE(t.text("Label15", 3).startsWith(QStringLiteral("1回/")))
        << t.text("Label15", 3).toStdString();
}

TEST(ResultsManagerUndo, ClicksWhileARestoreWaitsForTheLogPutItBackOnce) {
    Manager t;
    t.openWith(3);
    t.deleteLine(1);
    t.click(t.m->Command7);
    HeldLog held(t.log());
    ASSERT_TRUE(held.held());
    QPointer<FrmData> m(t.m);
    int passes = 0;
    bool sent = false;
    t.events.onProcess = [&] {
        ++passes;
        if (!sent && t.events.idled > 0) {
            sent = true;
            t.dialogs.answers = {MessageAnswer::Ok, MessageAnswer::Ok};
            QTest::mouseClick(t.m->Command8, Qt::LeftButton);
            QTest::mouseClick(t.m->Command9, Qt::LeftButton);
            QTest::mouseClick(t.m->Command4, Qt::LeftButton);
        }
        if (passes == 200) held.release();
    };
    t.dialogs.shown.clear();
    t.dialogs.answers = {MessageAnswer::Ok};
    t.click(t.m->Command8);
    t.events.onProcess = nullptr;
    EXPECT_TRUE(sent);
    ASSERT_TRUE(m) << "deleted under its own handler";
    EXPECT_FALSE(t.m->Picture4->isHidden());
    EXPECT_EQ(t.dialogs.shown.size(), 1u) << "one question, one restore";
    EXPECT_EQ(t.onDisk().size(), 3u);
    const auto entries = parseDeletedRecords(readBytes(deletedRecordsPath(t.log())));
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_TRUE(entries[0].restored);
}

namespace {

// A class with runs over six weeks at every level: inside and outside the
// pass periods, time-outs, slow runs that count points but no run.
struct SummaryClass : Manager {
    SummaryClass() {
        for (int s = 1; s <= 3; ++s)
            for (int level = 1; level <= 5; ++level)
                for (int d = 40; d >= 0; d -= 3 + s)
                    run(s, level, 20 + (s * 17 + level * 11 + d * 7) % 90, d);
        run(1, 2, 99999, 1);
        run(2, 4, 7000, 2);
        run(3, 5, 15, 60);
        ctx.criteria[2].clearCount = 2;
        ctx.criteria[2].clearPoints = 10;
        m = &manager();
    }
    // The rows of the summary the button writes as CSV, by student number.
    std::map<int, std::vector<std::string>> csv(CsvEncoding encoding, int period = 0) {
        const TemporaryHome home;
        m->Combo2->setCurrentIndex(period);
        dialogs.shown.clear();
        dialogs.answers = {MessageAnswer::No,
                           encoding == CsvEncoding::Cp932 ? MessageAnswer::Yes : MessageAnswer::No,
                           MessageAnswer::Ok};
        click(m->Command6);
        std::map<int, std::vector<std::string>> rows;
        if (dialogs.shown.size() != 3) return rows;
        const std::string& told = dialogs.shown[2].text;
        const size_t open = told.find("「"), close = told.find("」");
        const std::filesystem::path file = pathFromUtf8(told.substr(open + 3, close - open - 3));
        const std::string bytes = readBytes(file);
        std::filesystem::remove(file); // Windows' documents are the account's own
        const std::string text =
            encoding == CsvEncoding::Cp932 ? cp932ToUtf8(bytes) : bytes.substr(3);
        for (const auto& row : csvRows(text))
            if (!row.empty() && row[0] != "番号") rows[std::stoi(row[0])] = row;
        return rows;
    }
};

} // namespace

TEST(ClassSummaryScreen, TheFiguresAreTheLevelMenusOfEachStudent) {
    SummaryClass t;
    for (CsvEncoding encoding : {CsvEncoding::Cp932, CsvEncoding::Utf8WithBom}) {
        auto rows = t.csv(encoding);
        ASSERT_EQ(rows.size(), 3u) << "three students; the teacher is no row";
        // Sign in as each student and read the menu.
        for (int s = 1; s <= 3; ++s) {
            const std::vector<std::string>& row = rows[s];
            ASSERT_EQ(row.size(), 3u + 5 * 5);
            EXPECT_EQ(row[1], trimSpaces(t.ctx.roster.StudentNames[static_cast<size_t>(s)]));
            EXPECT_EQ(row[2], t.ctx.roster.GradeLabels[static_cast<size_t>(s)]);
            // As sign-in does: the summary, then the menu.
            t.signIn(s);
            t.app.unload<FrmData>();
            ASSERT_TRUE(BuildSummary(t.ctx));
            t.form = &t.app.show<seisekitime1>();
            t.form->Option2_Click(0); // best times
            for (int level = 1; level <= 5; ++level) {
                const auto c = static_cast<size_t>(3 + (level - 1) * 5);
                const std::string what =
                    "student " + std::to_string(s) + " level " + std::to_string(level);
                const QString all = t.text("Label15", level);
                EXPECT_EQ(all, row[c] == "0"
                                   ? QStringLiteral("------")
                                   : QString::fromStdString(row[c] + "回/" + row[c + 2] + "点"))
                    << what;
                EXPECT_TRUE(t.text("Label8", level)
                                .endsWith(QString::fromStdString(" / " + row[c + 3] + "点")))
                    << what;
                QString own;
                for (const QString& line : t.list(level))
                    if (line.endsWith(QStringLiteral("●"))) own = line;
                EXPECT_EQ(own.chopped(2).right(6).trimmed().toStdString(),
                          row[c + 1].empty() ? "------" : row[c + 1])
                    << what << ": " << own.toStdString();
                EXPECT_EQ(row[c + 4] == "○", LevelCleared(*t.ctx.summary, t.ctx.criteria, level, s))
                    << what;
            }
            EXPECT_EQ(t.ctx.state.GoalLevelCleared, row[3 + 4 * 5 + 4] == "○" ? 1 : 0);
            t.app.unload<seisekitime1>();
            t.m = &t.app.show<FrmData>();
        }
    }
    // Some level is cleared and some is not, or the comparison proves little.
    auto rows = t.csv(CsvEncoding::Cp932);
    int cleared = 0;
    for (const auto& [s, row] : rows)
        for (int level = 0; level < 5; ++level)
            cleared += row[static_cast<size_t>(3 + level * 5 + 4)] == "○";
    EXPECT_GT(cleared, 0);
    EXPECT_LT(cleared, 15);
    // A period leaves out the runs before it, best times too.
    auto week = t.csv(CsvEncoding::Cp932, 3); // one month
    EXPECT_LT(std::stoi(week[3][3 + 4 * 5]), std::stoi(rows[3][3 + 4 * 5]));
    EXPECT_NE(week[3][3 + 4 * 5 + 1], "15");
    EXPECT_EQ(rows[3][3 + 4 * 5 + 1], "15");
}

TEST(ClassSummaryScreen, PrintedAGradeAPageAcrossA4OrSavedAsAPdfWithTheGraphsMessage) {
    SummaryClass t;
    t.dialogs.answers = {MessageAnswer::Yes};
    t.click(t.m->Command6);
    ASSERT_EQ(t.printer.jobs.size(), 1u);
    EXPECT_TRUE(t.printer.requests[0].landscape);
    EXPECT_EQ(t.printer.requests[0].fileBaseName, "まとめ_20250610_100000");
    // Students of grades 3, 4 and 5: three pages.
    ASSERT_EQ(t.printer.jobs[0].size(), 3u);
    const std::string grades[] = {"小３", "小４", "小５"};
    for (size_t p = 0; p < 3; ++p) {
        const auto texts = t.printer.jobs[0][p].texts();
        ASSERT_FALSE(texts.empty());
        EXPECT_NE(texts[0].find("まとめ　" + grades[p]), std::string::npos) << texts[0];
        for (const DrawStep& s : t.printer.jobs[0][p].steps) {
            EXPECT_TRUE(s.x >= 0 && s.x <= 1 && s.y >= 0 && s.y <= 1) << s.text;
            EXPECT_TRUE(s.x2 >= 0 && s.x2 <= 1 && s.y2 >= 0 && s.y2 <= 1);
        }
    }
    EXPECT_EQ(t.dialogs.shown.size(), 1u) << "printed: nothing more to say";

    // No printer: a PDF file in the documents, and where it went.
    TempDir documents;
    QtPrinter pdf(documents / "ドキュメント", QtPrinter::Destination::PdfOnly);
    t.printer.forwardTo = &pdf;
    t.dialogs.shown.clear();
    t.dialogs.answers = {MessageAnswer::Yes};
    t.click(t.m->Command6);
    ASSERT_EQ(t.dialogs.shown.size(), 2u);
    const std::filesystem::path file =
        documents / "ドキュメント" / pathFromUtf8("まとめ_20250610_100000.pdf");
    EXPECT_EQ(
        t.dialogs.shown[1].text,
        "プリンターが見つからないので、まとめをPDFファイルに保存しました。\r\n保存した場所： " +
            utf8OfPath(file));
    ASSERT_TRUE(std::filesystem::exists(file));
    std::filesystem::copy_file(file, screenshotDir().toStdString() + "/FrmData-summary.pdf",
                               std::filesystem::copy_options::overwrite_existing);
    const QString path = screenshotDir() + "/FrmData-summary.pdf";
    const QString info = pdfToolOutput("pdfinfo", {path});
    ASSERT_FALSE(info.isEmpty()) << "pdfinfo (poppler-utils) could not read the file";
    EXPECT_TRUE(info.contains(QRegularExpression("Pages:\\s+3\\n"))) << info.toStdString();
    EXPECT_TRUE(info.contains(QRegularExpression("Page size:\\s+84[12]\\S* x 595"))) << "landscape";
    const QString text = pdfToolOutput("pdftotext", {"-enc", "UTF-8", path, "-"});
    for (const char* name : {"あおき", "いとう", "うえだ"})
        EXPECT_TRUE(text.contains(QString::fromUtf8(name))) << name;
    EXPECT_FALSE(text.contains(QStringLiteral("山田先生")));
}
