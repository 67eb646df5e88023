#include "levelmenu/ui/seisekitime1GraphPanel.h"

#include <QPushButton>
#include <algorithm>

#include "app/App.h"
#include "context/Procedures.h"
#include "levelmenu/Graph.h"
#include "levelmenu/ResultsViews.h"
#include "platform/ui/DrawingArea.h"
#include "platform/ui/Fonts.h"
#include "platform/ui/QtText.h"
#include "platform/ui/TwipsForm.h"
#include "platform/ui/VbListBox.h"
#include "platform/ui/VbWidgets.h"
#include "startup/Calendar.h"
#include "text/Characters.h"

namespace kestrel {
namespace {

// The panel over the columns, and its elements in twips of the panel.
constexpr int kPanelLeft = 120, kPanelTop = 1740, kPanelWidth = 15240, kPanelHeight = 9300;
constexpr int kPictureLeft = 3180, kPictureTop = 120;
constexpr int kPictureWidth = kPanelWidth - kPictureLeft - 120;
constexpr int kPictureHeight = kPanelHeight - 240;
const QRect kStudentList(120, 2160, 2940, kPanelHeight - 2280);

// The rows of a list in list order that are selected.
std::vector<int> selectedRows(const VbListBox* list) {
    std::vector<int> rows;
    for (int i = 0; i < list->count(); ++i)
        if (list->item(i)->isSelected()) rows.push_back(i);
    return rows;
}

} // namespace

GraphPanel::GraphPanel(TwipsForm& form, App& app, Menu menu)
    : QWidget(&form), m_form(form), m_app(app), m_menu(std::move(menu)) {
    setObjectName(QStringLiteral("Picture11"));
    setAutoFillBackground(true);
    form.place(this, kPanelLeft, kPanelTop, kPanelWidth, kPanelHeight);

    auto button = [this](const char* name, const char* text, QRect r) {
        auto* b = new QPushButton(QString::fromUtf8(text), this);
        b->setObjectName(QLatin1String(name));
        m_form.place(b, r.x(), r.y(), r.width(), r.height());
        m_form.setTwipsFont(b, kPGothic, 11, true);
        return b;
    };

    List3 = new VbListBox(this, QStringLiteral("List3"));
    List3->setSelectionMode(QAbstractItemView::MultiSelection);
    form.place(List3, 120, 120, 1300, 1900);
    List3->setTwipsFont(form, kGothic, 12);
    List3->setAccessibleName(QStringLiteral("レベル"));
    // A choice in a list of several choices is a click once it is made.
    connect(List3, &QListWidget::itemSelectionChanged, this, [this] { List3_Click(); });

    Command24[0] = button("Command24_0", "表示", {1560, 120, 1500, 460});
    Command24[1] = button("Command24_1", "印刷", {1560, 640, 1500, 460});
    Command18 = button("Command18", "戻る", {1560, 1160, 1500, 460});
    Command25 = button("Command25", "他の人のデータを見る", {120, 2160, 2940, 460});
    for (int out = 0; out < 2; ++out)
        connect(Command24[static_cast<size_t>(out)], &QPushButton::clicked, this,
                [this, out] { Command24_Click(out); });
    connect(Command18, &QPushButton::clicked, this, [this] { Command18_Click(); });
    connect(Command25, &QPushButton::clicked, this, [this] { Command25_Click(); });

    List2 = new VbListBox(this, QStringLiteral("List2"), VbListBox::Order::Sorted);
    List2->setSelectionMode(QAbstractItemView::MultiSelection);
    form.place(List2, kStudentList.x(), kStudentList.y(), kStudentList.width(),
               kStudentList.height());
    List2->setTwipsFont(form, kGothic, 10);
    List2->setAccessibleName(QStringLiteral("生徒"));
    List2->hide();
    connect(List2, &QListWidget::itemSelectionChanged, this, [this] { List2_Click(); });

    m_listError = new VbLabel(this, QStringLiteral("List2Error"));
    form.place(m_listError, kStudentList.x(), kStudentList.y(), kStudentList.width(),
               kStudentList.height() / 2);
    form.setTwipsFont(m_listError, kPGothic, 11, true);
    m_listError->setForeColor(rgb(192, 0, 0));
    m_listError->setBackColor(rgb(255, 255, 255));
    m_listError->setBorder(true);
    m_listError->setWordWrap(true);
    m_listError->hide();

    Picture12 = new DrawingArea(this, QStringLiteral("Picture12"), kPictureWidth);
    form.place(Picture12, kPictureLeft, kPictureTop, kPictureWidth, kPictureHeight);
    Picture12->setAccessibleName(QStringLiteral("グラフ"));
    hide();
}

void GraphPanel::fillLists(int levelCount) {
    Context& ctx = m_app.ctx();
    GraphStudents students = graphStudentList(ctx.roster, ctx.folders.SharedFolder);
    if (students) {
        List2->setUtf8Lines(std::move(*students));
        m_listError->setText(QString());
    } else {
        List2->Clear();
        m_listError->setText(qs(students.error));
    }
    m_listError->setAccessibleName(m_listError->text());
    QStringList levels;
    for (int i = 1; i <= levelCount; ++i)
        levels.push_back(QString::number(i));
    List3->setLines(levels);
    m_subject = ctx.state.CurrentStudentNumber;
}

QString GraphPanel::studentListError() const {
    return m_listError->text();
}

void GraphPanel::setTeacher(bool teacher) {
    Command24[1]->setVisible(teacher);
}

void GraphPanel::open() {
    if (m_form.busy()) return;
    const TwipsForm::BusyScope drawing(m_form);
    m_subject = m_app.ctx().state.CurrentStudentNumber;
    List2->hide();
    m_listError->hide();
    Command25->show();
    // Chosen without a click: no list runs its click action here.
    const bool students = List2->blockSignals(true);
    List2->clearSelection();
    List2->blockSignals(students);
    const bool levels = List3->blockSignals(true);
    List3->clearSelection();
    for (int i = 0; i < std::min(3, List3->count()); ++i)
        List3->item(i)->setSelected(true);
    List3->blockSignals(levels);
    raise();
    show();
    drawGraphs(0);
}

void GraphPanel::showStudentList() {
    Command25->hide();
    List2->show();
    // A roster that could not be read says so where its names would stand.
    if (!m_listError->text().isEmpty()) {
        m_listError->show();
        m_listError->raise();
    }
}

void GraphPanel::Command25_Click() {
    if (m_form.busy()) return;
    showStudentList();
}

void GraphPanel::Command24_Click(int out) {
    if (m_form.busy()) return;
    const TwipsForm::BusyScope drawing(m_form);
    drawGraphs(out == 1 ? 1 : 0);
}

void GraphPanel::Command18_Click() {
    if (m_form.busy()) return;
    hide();
}

void GraphPanel::List2_Click() {
    if (m_form.busy()) return;
    const TwipsForm::BusyScope drawing(m_form);
    drawGraphs(0);
}

void GraphPanel::List3_Click() {
    if (m_form.busy() || isHidden()) return;
    const TwipsForm::BusyScope drawing(m_form);
    drawGraphs(0);
}

void GraphPanel::drawGraphs(int out) {
    Context& ctx = m_app.ctx();
    std::vector<int> subjects;
    for (int row : selectedRows(List2))
        subjects.push_back(graphListStudent(List2->List(row).toStdString()));
    if (subjects.empty())
        subjects.push_back(m_subject);
    else
        m_subject = subjects.back();
    std::vector<int> levels;
    for (int row : selectedRows(List3))
        levels.push_back(row + 1);

    // The log may be held by another PC: the wait panel shows meanwhile.
    m_menu.showWaitPanel(true);
    RunCollector log;
    const bool read = ReadRecentResults(ctx, log, kAllRunsViewRecords);
    m_menu.showWaitPanel(false);
    if (!read) return;

    const GraphOutput output = out == 1 ? GraphOutput::Printer : GraphOutput::Screen;
    const GraphSources sources{ctx.program,
                               ctx.roster,
                               *ctx.summary,
                               m_menu.gradeGroup().toStdString(),
                               ctx.state.CurrentStudentNumber,
                               m_menu.rankingKind(),
                               static_cast<double>(dayNumber(ctx.services.clock.today()))};
    const std::string font = kGothic.toStdString();
    std::vector<Drawing> pages;
    for (int subject : subjects) {
        std::vector<Drawing> own = graphPages(sources, output, font, subject, levels, log.runs);
        // On the screen each student's graphs replace the last ones.
        if (output == GraphOutput::Screen) pages.clear();
        for (Drawing& page : own)
            pages.push_back(std::move(page));
    }

    if (output == GraphOutput::Screen) {
        Picture12->setDrawing(pages.empty() ? Drawing{font, {}} : std::move(pages.back()));
        const size_t S = static_cast<size_t>(std::clamp(m_subject, 0, kMaxStudent));
        Picture12->setAccessibleName(
            QStringLiteral("グラフ %1").arg(qs(trimSpaces(ctx.roster.StudentNames[S]))));
        return;
    }
    const LocalTime now = ctx.services.clock.now();
    const PrintResult result =
        ctx.services.printer.print(graphPrintRequest(ctx.program, now), pages);
    if (const std::optional<std::string> message = printOutcomeMessage(result))
        ctx.services.dialogs.message(*message, ctx.program.ProgramTitle, MessageButtons::Ok);
}

} // namespace kestrel
