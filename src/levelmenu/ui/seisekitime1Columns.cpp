#include "levelmenu/ui/seisekitime1Columns.h"

#include <QPushButton>
#include <algorithm>
#include <optional>

#include "platform/ui/Fonts.h"
#include "platform/ui/QtText.h"
#include "platform/ui/TwipsForm.h"
#include "platform/ui/VbListBox.h"
#include "platform/ui/VbWidgets.h"

namespace kestrel {
namespace {

// Rows of a column, relative to the top of the columns.
constexpr int kNameTop = 0, kNameHeight = 480;
constexpr int kStartTop = 520, kStartHeight = 560;
constexpr int kHeaderTop = 1120, kHeaderHeight = 300;
constexpr int kFiguresTop = 1440, kFiguresHeight = 300;
constexpr int kPassTop = 1760, kPassHeight = 300;
constexpr int kListTop = 2100, kListHeight = 6560;
constexpr int kTargetTop = 8700, kTargetHeight = 320;

const QString kStartTip = QStringLiteral("クリックしてスタートします。番号を押してもよろしい");
const QString kOverPractice = QString::fromUtf8(kOverPracticeNotice);
const QString kToday = QStringLiteral("今日");
const QString kSoFar = QStringLiteral("今まで");

QString elementName(const char* name, int index) {
    return QStringLiteral("%1_%2").arg(QLatin1String(name)).arg(index);
}

} // namespace

LevelColumns::LevelColumns(TwipsForm& form, int top, int height, Actions actions)
    : QWidget(&form), m_form(form), m_actions(std::move(actions)) {
    setObjectName(QStringLiteral("ColumnArea"));
    form.place(this, 0, top, form.designWidth(), height);
}

void LevelColumns::buildColumn(int i) {
    auto label = [this, i](std::vector<VbLabel*>& array, const char* name, double points,
                           bool bold) {
        auto* l = new VbLabel(this, elementName(name, i));
        m_form.setTwipsFont(l, kPGothic, points, bold);
        array[static_cast<size_t>(i)] = l;
        return l;
    };
    label(Label1, "Label1", 18, true)->setAlignment(VbLabel::Align::Center);
    VbLabel* name = label(Label3, "Label3", 14, true);
    connect(name, &VbLabel::clicked, this, [this, i] { m_actions.levelName(i); });

    auto* start = new QPushButton(this);
    start->setObjectName(elementName("Command4", i));
    start->setToolTip(kStartTip);
    m_form.setTwipsFont(start, kPGothic, 13, true);
    connect(start, &QPushButton::clicked, this, [this, i] { m_actions.startButton(i); });
    Command4[static_cast<size_t>(i)] = start;

    VbLabel* notice = label(Text1, "Text1", 12, true);
    notice->setAlignment(VbLabel::Align::Center);
    notice->setForeColor(rgb(255, 0, 0));
    notice->setBackColor(rgb(255, 255, 255));
    notice->setBorder(true);
    notice->setText(kOverPractice);
    notice->hide();

    label(Label9, "Label9", 10, false)->setAlignment(VbLabel::Align::Center);
    label(Label10, "Label10", 10, false)->setAlignment(VbLabel::Align::Center);
    label(Label14, "Label14", 10, true)->setAlignment(VbLabel::Align::Center);
    label(Label15, "Label15", 10, true)->setAlignment(VbLabel::Align::Center);
    label(Label8, "Label8", 9, false)->setBackColor(fromColourValue(kLabelGrey));

    auto* list = new VbListBox(this, elementName("List5", i));
    list->setTwipsFont(m_form, kGothic, 11);
    list->setBackColor(fromColourValue(kListYellow));
    List5[static_cast<size_t>(i)] = list;

    label(Label7, "Label7", 9, false)->setBackColor(fromColourValue(kLabelGrey));
}

void LevelColumns::build(const std::vector<LevelColumnTexts>& columns) {
    m_levelCount = static_cast<int>(columns.size());
    m_columnWidth = columnLayout(m_levelCount).width;
    const size_t n = static_cast<size_t>(m_levelCount) + 1;
    for (auto* array :
         {&Label1, &Label3, &Text1, &Label9, &Label10, &Label14, &Label15, &Label8, &Label7})
        array->assign(n, nullptr);
    Command4.assign(n, nullptr);
    List5.assign(n, nullptr);
    for (int i = 0; i <= m_levelCount; ++i)
        buildColumn(i);

    // At load the first level stands in the leftmost column.
    placeFor(1);

    for (QWidget* w : {static_cast<QWidget*>(Label1[0]), static_cast<QWidget*>(Label3[0]),
                       static_cast<QWidget*>(Command4[0]), static_cast<QWidget*>(Text1[0]),
                       static_cast<QWidget*>(Label9[0]), static_cast<QWidget*>(Label10[0]),
                       static_cast<QWidget*>(Label14[0]), static_cast<QWidget*>(Label15[0]),
                       static_cast<QWidget*>(Label8[0]), static_cast<QWidget*>(List5[0]),
                       static_cast<QWidget*>(Label7[0])})
        w->hide();

    for (int i = 1; i <= m_levelCount; ++i) {
        const auto k = static_cast<size_t>(i);
        const LevelColumnTexts& c = columns[k - 1];
        Label1[k]->setText(qs(c.number));
        const QString name = qs(c.name);
        Label3[k]->setText(name);
        Label3[k]->setToolTip(name);
        Command4[k]->setText(qs(c.startCaption));
        Label7[k]->setText(qs(c.target));
        Label8[k]->setText(qs(c.passPeriod));
    }
}

void LevelColumns::placeFor(int scrollPosition) {
    const int w = m_columnWidth;
    const int half = w / 2;
    const int numberWidth = w / 5;
    const int scroll = scrollPosition > 0 ? scrollPosition : 1;
    const int windowWidth = m_form.designWidth();
    for (int i = 0; i <= m_levelCount; ++i) {
        const auto k = static_cast<size_t>(i);
        // The template stays at the left margin.
        const int x = i == 0 ? columnMargin(windowWidth) : columnLeft(i, scroll, w, windowWidth);
        m_form.place(Label1[k], x, kNameTop, numberWidth, kNameHeight);
        m_form.place(Label3[k], x + numberWidth, kNameTop, w - numberWidth, kNameHeight);
        m_form.place(Command4[k], x, kStartTop, w, kStartHeight);
        // The notice stands in front of the button's middle.
        m_form.place(Text1[k], x + w / 8, kStartTop + 100, w * 3 / 4, kStartHeight - 200);
        m_form.place(Label9[k], x, kHeaderTop, half, kHeaderHeight);
        m_form.place(Label10[k], x + half, kHeaderTop, half, kHeaderHeight);
        m_form.place(Label14[k], x, kFiguresTop, half, kFiguresHeight);
        m_form.place(Label15[k], x + half, kFiguresTop, half, kFiguresHeight);
        m_form.place(Label8[k], x, kPassTop, w, kPassHeight);
        m_form.place(List5[k], x, kListTop, w, kListHeight);
        m_form.place(Label7[k], x, kTargetTop, w, kTargetHeight);
    }
}

void LevelColumns::showFigures(const std::vector<LevelColumnTexts>& columns) {
    for (int i = 1; i <= m_levelCount && static_cast<size_t>(i) <= columns.size(); ++i) {
        const auto k = static_cast<size_t>(i);
        Label7[k]->setBackColor(fromColourValue(kLabelGrey));
        Label8[k]->setBackColor(fromColourValue(kLabelGrey));
        Command4[k]->setEnabled(true);
        Label14[k]->setText(qs(columns[k - 1].today));
        Label15[k]->setText(qs(columns[k - 1].allTime));
    }
}

void LevelColumns::showAvailability(const LevelAvailability& a) {
    for (int i = 1; i <= m_levelCount; ++i) {
        const auto k = static_cast<size_t>(i);
        const bool closed = k < a.closed.size() && a.closed[k];
        Command4[k]->setEnabled(!closed);
        Text1[k]->setVisible(closed);
        if (closed) Text1[k]->raise();
    }
}

void LevelColumns::setStartButtonsEnabled(bool enabled) {
    for (int i = 1; i <= m_levelCount; ++i)
        Command4[static_cast<size_t>(i)]->setEnabled(enabled);
}

void LevelColumns::setListsVisible(bool visible) {
    for (int i = 1; i <= m_levelCount; ++i)
        List5[static_cast<size_t>(i)]->setVisible(visible);
}

void LevelColumns::resetHeaders(int level) {
    if (level < 1 || level > m_levelCount) return;
    Label9[static_cast<size_t>(level)]->setText(kToday);
    Label10[static_cast<size_t>(level)]->setText(kSoFar);
}

void LevelColumns::resetLists() {
    for (int i = 1; i <= m_levelCount; ++i) {
        resetHeaders(i);
        List5[static_cast<size_t>(i)]->Clear();
    }
}

void LevelColumns::colourLists(bool timeDisplay, const CriteriaTable& criteria) {
    for (int i = 1; i <= m_levelCount; ++i) {
        VbListBox* list = List5[static_cast<size_t>(i)];
        if (timeDisplay) {
            std::vector<std::string> shown;
            for (const QString& line : list->lines())
                shown.push_back(line.toStdString());
            if (auto colour = timeListColour(shown, criteria[i]))
                list->setBackColor(fromColourValue(*colour));
        }
        if (list->ListCount() > 0) list->setListIndex(-1);
    }
}

void LevelColumns::clearSelection(int level) {
    if (level < 1 || level > m_levelCount) return;
    VbListBox* list = List5[static_cast<size_t>(level)];
    if (list->ListCount() > 0) list->setListIndex(-1);
}

void LevelColumns::showList(int level, ColumnList list) {
    if (level < 1 || level > m_levelCount) return;
    const auto k = static_cast<size_t>(level);
    VbListBox* box = List5[k];
    box->setUtf8Lines(std::move(list.lines));
    box->keepInView(std::max(0, list.own));
}

void LevelColumns::fillLists(std::vector<std::vector<std::string>> lines) {
    for (int i = 1; i <= m_levelCount && static_cast<size_t>(i) < lines.size(); ++i)
        showList(i, viewList(std::move(lines[static_cast<size_t>(i)])));
}

} // namespace kestrel
