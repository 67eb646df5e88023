#include "teacher/ui/FrmData.h"

#include <QComboBox>
#include <QDir>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStandardPaths>
#include <algorithm>
#include <cstdio>
#include <fstream>

#include "app/App.h"
#include "app/Navigation.h"
#include "context/Procedures.h"
#include "levelmenu/ResultsViews.h"
#include "platform/Utf8Path.h"
#include "platform/ui/Fonts.h"
#include "platform/ui/QtText.h"
#include "platform/ui/VbListBox.h"
#include "platform/ui/VbWidgets.h"
#include "results/ResultsLogEdit.h"
#include "roster/Grades.h"
#include "startup/Calendar.h"
#include "startup/Folders.h"
#include "teacher/ClassSummary.h"
#include "teacher/ResultsCsv.h"
#include "text/LeadingNumber.h"

namespace kestrel {
namespace {

constexpr int kDesignWidth = 15360;
constexpr int kDesignHeight = 11520;
constexpr int kLongestTime = 6000; // the scroll bar's bottom, in seconds

const char* const kExportPeriods[] = {"全期間", "今週", "先週から", "１ヶ月間", "１年間", "今まで"};

const char* const kChangedElsewhere = "選んだ記録は、ほかのパソコンで変更されたか消去されています。"
                                      "\r\n何も書き込まずに、一覧を読み直します。";

} // namespace

FrmData::FrmData(App& app) : TwipsForm(kDesignWidth, kDesignHeight), m_app(app) {
    setObjectName(QStringLiteral("FrmData"));
    setWindowTitle(QStringLiteral("Kestrel"));
    setBackColor(rgb(224, 240, 255));

    Label3 = new VbLabel(this, QStringLiteral("Label3"));
    place(Label3, 240, 120, 4200, 380);
    setTwipsFont(Label3, kPGothic, 12, true);
    Label5 = new VbLabel(this, QStringLiteral("Label5"),
                         QStringLiteral("ダブルクリックすると変更、消去できます"));
    place(Label5, 4560, 120, 6480, 380);
    setTwipsFont(Label5, kPGothic, 12);

    List1 = new VbListBox(this, QStringLiteral("List1"));
    List1->setTwipsFont(*this, kGothic, 11);
    place(List1, 240, 600, 10800, 10560);
    connect(List1, &VbListBox::Click, this, [this] { List1_Click(); });
    connect(List1, &VbListBox::DblClick, this, [this] { List1_DblClick(); });
    // Enter opens the line as a double click does.
    connect(List1, &VbListBox::KeyPress, this, [this](QKeyEvent* e, bool& handled) {
        if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
            handled = true;
            List1_DblClick();
        }
    });

    Command4 = commandButton(this, "Command4", "戻る", {11280, 10440, 3840, 720}, 14,
                             &FrmData::Command4_Click);

    // The results as a CSV file for a spreadsheet, the whole log or one period.
    Combo2 = new QComboBox(this);
    Combo2->setObjectName(QStringLiteral("Combo2"));
    for (const char* item : kExportPeriods)
        Combo2->addItem(QString::fromUtf8(item));
    place(Combo2, 11280, 8280, 3840, 420);
    setTwipsFont(Combo2, kPGothic, 11);
    Command5 = commandButton(this, "Command5", "CSV出力", {11280, 8820, 1860, 720}, 14,
                             &FrmData::Command5_Click);
    // The class summary of the same period, for the report cards.
    Command6 = commandButton(this, "Command6", "まとめ", {13260, 8820, 1860, 720}, 14,
                             &FrmData::Command6_Click);
    Command7 = commandButton(this, "Command7", "消去した記録", {11280, 9660, 3840, 600}, 12,
                             &FrmData::Command7_Click);

    buildEditPanel();
    buildDeletedPanel();
}

QPushButton* FrmData::commandButton(QWidget* parent, const char* name, const char* text,
                                    const QRect& twips, int points, void (FrmData::*click)()) {
    auto* button = new QPushButton(QString::fromUtf8(text), parent);
    button->setObjectName(QLatin1String(name));
    place(button, twips.x(), twips.y(), twips.width(), twips.height());
    setTwipsFont(button, kPGothic, points, true);
    connect(button, &QPushButton::clicked, this, [this, click] { (this->*click)(); });
    return button;
}

void FrmData::buildDeletedPanel() {
    Picture4 = panel(this, QStringLiteral("Picture4"), 240, 600, 10800, 10560, rgb(255, 240, 232));
    Label6 =
        new VbLabel(Picture4, QStringLiteral("Label6"), QStringLiteral("消去した記録（新しい順）"));
    place(Label6, 120, 60, 7000, 400);
    setTwipsFont(Label6, kPGothic, 12, true);
    List2 = new VbListBox(Picture4, QStringLiteral("List2"));
    List2->setTwipsFont(*this, kGothic, 10);
    place(List2, 120, 480, 10560, 8760);
    Command8 = commandButton(Picture4, "Command8", "元に戻す", {120, 9420, 2880, 720}, 14,
                             &FrmData::Command8_Click);
    Label7 = new VbLabel(
        Picture4, QStringLiteral("Label7"),
        QStringLiteral("元に戻した記録は、消去する前の日付のまま、一覧の最後に入ります"));
    place(Label7, 3120, 9480, 4680, 600);
    setTwipsFont(Label7, kPGothic, 10);
    Command9 = commandButton(Picture4, "Command9", "閉じる", {7920, 9420, 2760, 720}, 14,
                             &FrmData::Command9_Click);
    Picture4->hide();
}

int FrmData::chosenPeriodDays(const LocalTime& now) const {
    // The first item is the whole log; the others are the periods of the results views.
    const int period = Combo2->currentIndex();
    return period > 0 ? periodDays(static_cast<int16_t>(period), now.date) : 0;
}

void FrmData::saveForTeacher(const std::string& bytes, const std::filesystem::path& file,
                             const std::string& what) {
    std::error_code ec;
    std::filesystem::create_directories(file.parent_path(), ec);
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        tell("「" + utf8OfPath(file) + "」に書き込めませんでした。");
        return;
    }
    tell(what + "を「" + utf8OfPath(file) + "」に書き出しました。");
}

void FrmData::Command6_Click() {
    if (busy()) return;
    const BusyScope summing(*this);
    Context& ctx = m_app.ctx();
    const bool print = ctx.services.dialogs.message(
                           "まとめを印刷しますか？\r\n"
                           "「いいえ」を選ぶと、表計算ソフト用の CSV ファイルに書き出します。",
                           "まとめ", MessageButtons::YesNo) == MessageAnswer::Yes;
    const LocalTime now = ctx.services.clock.now();
    std::vector<RosterFileEntry> entries;
    try {
        entries = readRosterEntries(ctx.folders.SharedFolder);
    } catch (const std::exception& e) {
        tell(std::string(e.what()) + "\r\n名簿がないと、まとめは作れません。");
        return;
    }
    ClassSummaryOptions options;
    options.today = static_cast<double>(dayNumber(now.date));
    options.periodDays = chosenPeriodDays(now);
    const int schoolYear = schoolYearOf(now.date.year, now.date.month, startMonthOf(ctx.config));
    ClassSummary summary;
    const LogStatus status = buildClassSummary(resultsLog(ctx), entries, ctx.criteria, ctx.program,
                                               ctx.config, schoolYear, options, summary);
    if (!status.ok()) {
        tell(status.message);
        return;
    }

    if (print) {
        const SummaryHeading heading{
            ctx.program.ProgramTitle, ctx.config.SchoolName, Combo2->currentText().toStdString(),
            std::to_string(now.date.year) + "年" + std::to_string(now.date.month) + "月" +
                std::to_string(now.date.day) + "日 作成"};
        const std::vector<Drawing> pages =
            classSummaryPages(summary, heading, kGothic.toStdString());
        PrintRequest request;
        request.documentName = ctx.program.ProgramTitle + " まとめ";
        request.fileBaseName = utf8OfPath(exportFile("まとめ", now, "").stem());
        request.landscape = true;
        const PrintResult result = ctx.services.printer.print(request, pages);
        if (const std::optional<std::string> message = printOutcomeText(result, "まとめ"))
            tell(*message);
        return;
    }
    const CsvEncoding encoding =
        ctx.services.dialogs.message(
            "表計算ソフトでそのまま開ける文字コード（Shift-JIS）で書き出しますか？\r\n"
            "「いいえ」を選ぶと UTF-8 で書き出します。",
            "まとめ", MessageButtons::YesNo) == MessageAnswer::Yes
            ? CsvEncoding::Cp932
            : CsvEncoding::Utf8WithBom;
    std::string bytes;
    try {
        bytes = classSummaryCsv(summary, encoding);
    } catch (const std::invalid_argument&) {
        tell(kCsvNotCp932);
        return;
    }
    saveForTeacher(bytes, exportFile("まとめ", now, ".csv"), "まとめ");
}

void FrmData::Command7_Click() {
    if (busy()) return;
    const BusyScope reading(*this);
    Picture3->hide();
    m_edited = 0;
    buildDeletedList();
    Picture4->show();
    Picture4->raise();
    List2->setFocus();
}

void FrmData::buildDeletedList() {
    std::vector<DeletedRecord> read;
    const LogStatus status = readDeletedRecords(resultsLog(m_app.ctx()), read);
    if (!status.ok()) tell(status.message);
    m_deleted.assign(read.rbegin(), read.rend());
    const RecordLines lines(m_students, m_app.ctx().config);
    QStringList shown;
    for (const DeletedRecord& e : m_deleted)
        shown.push_back(qs(deletedLine(e, lines)));
    List2->setLines(shown);
    if (!shown.isEmpty()) List2->setListIndex(0);
    Command8->setEnabled(!shown.isEmpty());
}

void FrmData::Command8_Click() {
    if (busy()) return;
    const BusyScope restoring(*this);
    Context& ctx = m_app.ctx();
    const int line = List2->ListIndex();
    if (line < 0 || static_cast<size_t>(line) >= m_deleted.size()) {
        tell("元に戻す記録を一覧から選んで下さい。");
        return;
    }
    const DeletedRecord chosen = m_deleted[static_cast<size_t>(line)];
    if (chosen.restored) {
        tell("この記録は、もう元に戻してあります。");
        return;
    }
    if (ctx.services.dialogs.message("この記録を元に戻しますか", "確認",
                                     MessageButtons::OkCancel) != MessageAnswer::Ok)
        return;
    uint64_t restoredAs = 0;
    ctx.services.exit.holdEnd();
    const LogEditStatus s = restoreDeletedRecord(resultsLog(ctx), chosen, restoredAs);
    ctx.services.exit.releaseEnd();
    if (s.result == EditResult::RecordChanged)
        tell("選んだ記録は、ほかのパソコンで元に戻されています。\r\n一覧を読み直します。");
    else if (!s.ok())
        tell(s.message);
    buildList();
    buildDeletedList();
    selectLine(lineOfRecord(restoredAs));
    const bool blocked = List2->blockSignals(true);
    List2->setListIndex(line);
    List2->blockSignals(blocked);
}

void FrmData::Command9_Click() {
    if (busy()) return;
    Picture4->hide();
    List1->setFocus();
}

void FrmData::Command5_Click() {
    if (busy()) return;
    const BusyScope exporting(*this);
    Context& ctx = m_app.ctx();
    CsvOptions options;
    const MessageAnswer answer = ctx.services.dialogs.message(
        "表計算ソフトでそのまま開ける文字コード（Shift-JIS）で書き出しますか？\r\n"
        "「いいえ」を選ぶと UTF-8 で書き出します。",
        "CSV出力", MessageButtons::YesNo);
    options.encoding = answer == MessageAnswer::Yes ? CsvEncoding::Cp932 : CsvEncoding::Utf8WithBom;
    const LocalTime now = ctx.services.clock.now();
    options.today = static_cast<double>(dayNumber(now.date));
    options.periodDays = chosenPeriodDays(now);

    std::string text;
    const LogStatus status =
        exportResultsCsv(resultsLog(ctx), m_students, ctx.program, ctx.criteria, options, text);
    if (!status.ok()) {
        tell(status.message);
        return;
    }
    saveForTeacher(text, exportFile("成績", now, ".csv"), "成績");
}

std::filesystem::path FrmData::exportFile(const std::string& base, const LocalTime& now,
                                          const char* extension) const {
    // In the user's documents, never in the shared folder.
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty()) folder = QDir::homePath();
    const auto seconds = static_cast<int>(now.secondsOfDay);
    char name[64];
    std::snprintf(name, sizeof name, "_%04d%02d%02d_%02d%02d%02d", now.date.year, now.date.month,
                  now.date.day, seconds / 3600, seconds / 60 % 60, seconds % 60);
    return pathFromUtf8(folder.toStdString(), base + name + extension);
}

void FrmData::buildEditPanel() {
    Picture3 = panel(this, QStringLiteral("Picture3"), 11280, 600, 3840, 7320, rgb(255, 255, 224));

    auto label = [this](const char* name, QRect r, double points, bool bold) {
        auto* l = new VbLabel(Picture3, QLatin1String(name));
        place(l, r.x(), r.y(), r.width(), r.height());
        setTwipsFont(l, kPGothic, points, bold);
        return l;
    };
    Label1 = label("Label1", {180, 120, 3480, 420}, 14, true);
    Label2_1 = label("Label2_1", {180, 600, 3480, 380}, 12, false);
    Label2_2 = label("Label2_2", {180, 1020, 3480, 380}, 12, false);

    Combo1 = new QComboBox(Picture3);
    Combo1->setObjectName(QStringLiteral("Combo1"));
    Combo1->setEditable(true);
    Combo1->setInsertPolicy(QComboBox::NoInsert);
    Combo1->setAccessibleName(QStringLiteral("生徒"));
    place(Combo1, 180, 1500, 3480, 420);
    setTwipsFont(Combo1, kPGothic, 11);
    connect(Combo1, &QComboBox::activated, this, [this] { Combo1_Click(); });
    Label2_4 = label("Label2_4", {180, 1980, 3480, 380}, 12, false);

    Text1_1 = new QLineEdit(Picture3);
    Text1_1->setObjectName(QStringLiteral("Text1_1"));
    Text1_1->setAlignment(Qt::AlignRight);
    Text1_1->setAccessibleName(QStringLiteral("秒"));
    place(Text1_1, 180, 2940, 1800, 420);
    setTwipsFont(Text1_1, kPGothic, 12);
    Label2_3 = label("Label2_3", {2040, 2980, 500, 380}, 12, false);
    Label2_3->setText(QStringLiteral("秒"));

    VScroll1 = new QScrollBar(Qt::Vertical, Picture3);
    VScroll1->setObjectName(QStringLiteral("VScroll1"));
    VScroll1->setRange(0, kLongestTime);
    VScroll1->setPageStep(10);
    VScroll1->setSingleStep(1);
    place(VScroll1, 2880, 2460, 300, 1500);
    connect(VScroll1, &QScrollBar::valueChanged, this, [this] { VScroll1_Change(); });

    Command2 = commandButton(Picture3, "Command2", "変更して記録", {180, 4500, 3480, 660}, 12,
                             &FrmData::Command2_Click);
    Command3 = commandButton(Picture3, "Command3", "消去", {180, 5400, 3480, 660}, 12,
                             &FrmData::Command3_Click);
    Picture3->hide();
}

void FrmData::Form_Activate() {
    if (m_opened) return;
    m_opened = true;
    const BusyScope opening(*this);
    buildList();
    List1->setFocus();
}

void FrmData::buildList() {
    Context& ctx = m_app.ctx();
    // This PC's roster names the students, also on records of other schools.
    std::vector<RosterFileEntry> entries;
    try {
        entries = readRosterEntries(ctx.folders.SharedFolder);
    } catch (const std::exception& e) {
        tell(std::string(e.what()) + "\r\n名前と学年を出さずに一覧を作ります。");
    }
    const CivilDate today = ctx.services.clock.today();
    const int schoolYear = schoolYearOf(today.year, today.month, startMonthOf(ctx.config));
    m_students = studentLookups(entries, schoolYear);
    const QString comboText = Combo1->currentText();
    Combo1->clear();
    for (int number : m_students.roster)
        Combo1->addItem(qs(studentChoice(number, m_students)));
    Combo1->setEditText(comboText);

    RecordListing listing;
    const LogStatus status = readRecordListing(resultsLog(ctx), m_students, ctx.config, listing);
    if (!status.ok()) {
        tell(status.message);
        return;
    }
    m_listing = std::move(listing);
    Label3->setText(qs(recordCountText(m_listing.lengthBytes)));
    QStringList lines;
    lines.reserve(static_cast<qsizetype>(m_listing.lines.size()));
    for (const std::string& line : m_listing.lines)
        lines.push_back(qs(line));
    List1->setLines(lines);
}

void FrmData::List1_Click() {
    if (busy()) return;
    Picture3->hide();
}

void FrmData::List1_DblClick() {
    if (busy() || !Picture4->isHidden()) return;
    const BusyScope opening(*this);
    openRecord(List1->ListIndex());
}

void FrmData::openRecord(int line) {
    if (line < 0 || static_cast<size_t>(line) >= m_listing.numbers.size()) return;
    const uint64_t number = m_listing.numbers[static_cast<size_t>(line)];
    ResultBytes bytes{};
    bool exists = false;
    const LogStatus status = readResultRecord(resultsLog(m_app.ctx()), number, bytes, exists);
    if (!status.ok()) {
        tell(status.message);
        return;
    }
    // The record must still be the line the teacher chose.
    if (!exists || bytes != m_listing.records[static_cast<size_t>(line)]) {
        recordChanged();
        return;
    }
    m_edited = number;
    m_editedLine = line;
    m_chosen = bytes;
    const ResultRecord r = decodeResultRecord(bytes.data());
    const bool known = r.studentNumber >= 1 && r.studentNumber <= kMaxStudent;
    Label1->setText(QString::number(number));
    Command2->setEnabled(true);
    Command3->setEnabled(true);
    Label2_1->setText(QStringLiteral("%1ﾚﾍﾞﾙ").arg(r.level));
    Label2_2->setText(qs(shortDate(r.date)));
    Label2_4->setText(known ? qs(m_students.gradeLabels[static_cast<size_t>(r.studentNumber)])
                            : QString());
    Text1_1->setText(QString::number(r.seconds));
    // A time outside the scroll bar's range puts the bar at its end and
    // leaves the seconds as they are.
    const bool blocked = VScroll1->blockSignals(true);
    VScroll1->setValue(std::clamp(r.seconds, 0, kLongestTime));
    VScroll1->blockSignals(blocked);
    Combo1->setEditText(qs(studentChoice(r.studentNumber, m_students)));
    Picture3->show();
    Picture3->raise();
}

void FrmData::Combo1_Click() {
    if (busy()) return;
    const std::optional<int> student = chosenStudent(Combo1->currentText().toStdString());
    Label2_4->setText(student ? qs(m_students.gradeLabels[static_cast<size_t>(*student)])
                              : QString());
}

void FrmData::VScroll1_Change() {
    if (busy()) return;
    Text1_1->setText(QString::number(VScroll1->value()));
}

void FrmData::Command2_Click() {
    if (busy() || m_edited == 0) return;
    const BusyScope writing(*this);
    Context& ctx = m_app.ctx();
    const std::optional<int32_t> seconds = typedSeconds(Text1_1->text().toStdString());
    if (!seconds) {
        tell(typedSecondsExpectation());
        return;
    }
    const std::optional<int> student = chosenStudent(Combo1->currentText().toStdString());
    if (!student) {
        tell("生徒を一覧から選んで下さい（番号 /  名前）。\r\n番号は 1 から 5000 までです。");
        return;
    }
    const ResultBytes corrected =
        correctedRecord(m_chosen, static_cast<int16_t>(*student), *seconds);
    // A log-off meanwhile waits until the record is written whole.
    ctx.services.exit.holdEnd();
    const LogEditStatus s = correctResultRecord(resultsLog(ctx), m_edited, m_chosen, corrected);
    ctx.services.exit.releaseEnd();
    if (!written(s)) return;
    m_chosen = corrected;
    buildList();
    selectLine(lineOfRecord(m_edited));
}

void FrmData::Command3_Click() {
    if (busy() || m_edited == 0) return;
    const BusyScope deleting(*this);
    Context& ctx = m_app.ctx();
    if (ctx.services.dialogs.message("本当に消去しますか", "注意", MessageButtons::OkCancel) !=
        MessageAnswer::Ok)
        return;
    ctx.services.exit.holdEnd();
    const LogEditStatus s = deleteResultRecord(resultsLog(ctx), m_edited, m_chosen);
    ctx.services.exit.releaseEnd();
    if (!written(s)) return;
    const int line = m_editedLine;
    Picture3->hide();
    m_edited = 0;
    buildList();
    selectLine(std::min(line, List1->ListCount() - 1));
}

bool FrmData::written(const LogEditStatus& s) {
    if (s.ok() && !s.message.empty()) tell(s.message);
    if (s.result == EditResult::RecordChanged) {
        recordChanged();
    } else if (s.result == EditResult::Failed) {
        // The log is whole: the list shows what it holds now.
        tell(s.message);
        buildList();
    }
    return s.ok();
}

void FrmData::recordChanged() {
    tell(kChangedElsewhere);
    Picture3->hide();
    m_edited = 0;
    buildList();
}

int FrmData::lineOfRecord(uint64_t number) const {
    const auto it = std::lower_bound(m_listing.numbers.begin(), m_listing.numbers.end(), number);
    if (it == m_listing.numbers.end() || *it != number) return -1;
    return static_cast<int>(it - m_listing.numbers.begin());
}

void FrmData::selectLine(int line) {
    if (line < 0 || line >= List1->ListCount()) return;
    const bool blocked = List1->blockSignals(true);
    List1->setListIndex(line);
    List1->blockSignals(blocked);
    List1->scrollToItem(List1->item(line));
    List1->setFocus();
}

void FrmData::Command4_Click() {
    if (busy()) return;
    setLeaving();
    Show(m_app, Screen::seisekitime1);
    Unload(m_app, Screen::FrmData);
}

void FrmData::tell(const std::string& text) {
    Context& ctx = m_app.ctx();
    ctx.services.dialogs.message(text, ctx.program.ProgramTitle, MessageButtons::Ok);
}

} // namespace kestrel
