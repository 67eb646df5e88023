#include "roster/ui/namesel.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QRadioButton>
#include <cmath>

#include "app/App.h"
#include "app/Navigation.h"
#include "context/Procedures.h"
#include "platform/ui/Fonts.h"
#include "platform/ui/VbListBox.h"
#include "platform/ui/VbWidgets.h"
#include "roster/Grades.h"
#include "school/SignIn.h"
#include "text/Characters.h"

namespace kestrel {
namespace {

const QString kChoosePrompt = QString::fromUtf8(kestrel::kChooseName);
const int kOptionLefts[4] = {15, 3740, 7675, 11520};

// The program artwork of the banner: a number rounded up on a number line.
void paintBannerArt(QPainter& p, double w, double h) {
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255));
    p.drawRoundedRect(QRectF(w * 0.04, h * 0.04, w * 0.92, h * 0.92), w * 0.15, w * 0.15);
    const QColor ink(0, 96, 96);
    p.setPen(QPen(ink, std::max(1.0, h * 0.04), Qt::SolidLine, Qt::RoundCap));
    const double y = h * 0.68, left = w * 0.18, right = w * 0.82;
    p.drawLine(QPointF(left, y), QPointF(right, y));
    for (double x : {left, (left + right) / 2, right})
        p.drawLine(QPointF(x, y - h * 0.07), QPointF(x, y + h * 0.07));
    QPainterPath arc;
    const double mid = (left + right) / 2;
    arc.moveTo(mid, y - h * 0.1);
    arc.cubicTo(mid + w * 0.08, y - h * 0.45, right - w * 0.08, y - h * 0.45, right, y - h * 0.12);
    p.setPen(QPen(QColor(230, 30, 30), std::max(1.0, h * 0.05), Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawPath(arc);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(230, 30, 30));
    p.drawEllipse(QPointF(mid, y), h * 0.06, h * 0.06);
}

QPushButton* addButton(TwipsForm& form, QWidget* parent, const QString& name, const QString& text,
                       const QRect& twips, double points) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(name);
    b->setFocusPolicy(Qt::TabFocus);
    form.place(b, twips.x(), twips.y(), twips.width(), twips.height());
    form.setTwipsFont(b, kPGothic, points, true);
    return b;
}

} // namespace

namesel::namesel(App& app) : TwipsForm(15360, 11520), m_app(app) {
    setObjectName(QStringLiteral("namesel"));
    setWindowTitle(QStringLiteral("Kestrel"));
    buildBanner();
    buildChoice();
    buildLists();

    Picture5 = panel(this, QStringLiteral("Picture5"), 0, 0, 15360, 11520);
    Label19 =
        new VbLabel(Picture5, QStringLiteral("Label19"), QStringLiteral("Just a moment, please."));
    Label19->setAlignment(VbLabel::Align::Center);
    place(Label19, 2880, 5160, 9600, 720);
    setTwipsFont(Label19, kGothic, 26.25);
    Picture5->raise();

    qApp->installEventFilter(this);
}

namesel::~namesel() {
    qApp->removeEventFilter(this);
}

void namesel::buildBanner() {
    Picture4 = panel(this, QStringLiteral("Picture4"), 60, 45, 13170, 1275, rgb(0, 96, 96));

    Picture3 = new QWidget(Picture4);
    Picture3->setObjectName(QStringLiteral("Picture3"));
    place(Picture3, 60, 105, 1020, 1065);
    Image1 = new VbPicture(Picture3, QStringLiteral("Image1"), paintBannerArt);
    place(Image1, 0, 0, 1020, 1065);

    Label6 = new VbLabel(Picture4, QStringLiteral("Label6"));
    Label6->setBackColor(rgb(0, 128, 128));
    place(Label6, 1110, 60, 12000, 1155);

    Label4 = new VbLabel(Picture4, QStringLiteral("Label4"));
    Label4->setAlignment(VbLabel::Align::Center);
    Label4->setForeColor(rgb(255, 255, 0));
    Label4->setBackColor(rgb(0, 128, 128));
    place(Label4, 1140, 90, 11940, 1020);
    setTwipsFont(Label4, kGothic, 48);
    connect(Label4, &VbLabel::clicked, this, &namesel::Label4_Click);

    Command7 = addButton(*this, this, QStringLiteral("Command7"),
                         QStringLiteral("ﾌﾟﾟﾛｸﾞﾗﾑメニューへ(0)"), {13320, 45, 1860, 1245}, 8);
    connect(Command7, &QPushButton::clicked, this, &namesel::Command7_Click);
}

void namesel::buildChoice() {
    Label1 = new VbLabel(this, QStringLiteral("Label1"), kChoosePrompt);
    Label1->setAlignment(VbLabel::Align::Center);
    Label1->setBackColor(rgb(0, 255, 255));
    place(Label1, 90, 1410, 13830, 990);
    setTwipsFont(Label1, kMincho, 39.75);

    Command14 = addButton(*this, this, QStringLiteral("Command14"), QStringLiteral("O.K."),
                          {13950, 1395, 1140, 1005}, 14);
    connect(Command14, &QPushButton::clicked, this, &namesel::Command14_Click);

    Picture7 = new QWidget(this);
    Picture7->setObjectName(QStringLiteral("Picture7"));
    place(Picture7, 90, 2430, 15060, 375);
    for (int i = 0; i < 4; ++i) {
        auto* o = new QRadioButton(QString::fromUtf8(kNameListModeCaptions[i]), Picture7);
        o->setObjectName(QStringLiteral("Option1_%1").arg(i));
        o->setFocusPolicy(Qt::TabFocus);
        // The last one stops short of the grade box, which stands over the panel.
        const int width = i < 3 ? kOptionLefts[i + 1] - kOptionLefts[i] - 60 : 2400;
        place(o, kOptionLefts[i], 15, width, 345);
        setTwipsFont(o, kPGothic, 9.75, true);
        // Selecting an option that was not selected runs its handler.
        connect(o, &QRadioButton::toggled, this, [this, i](bool on) {
            if (on) Option1_Click(i);
        });
        Option1[static_cast<size_t>(i)] = o;
    }
    {
        const QSignalBlocker block(Option1[0]);
        Option1[0]->setChecked(true);
    }

    Combo1 = new QComboBox(this);
    Combo1->setObjectName(QStringLiteral("Combo1"));
    Combo1->setEditable(true);
    Combo1->setInsertPolicy(QComboBox::NoInsert);
    Combo1->setEditText(QString::fromUtf8(kAllGrades));
    Combo1->lineEdit()->setPlaceholderText(QStringLiteral("表示する学年を選びなさい"));
    Combo1->setToolTip(QStringLiteral("表示する学年を選びなさい"));
    place(Combo1, 14070, 2460, 1005, 300);
    setTwipsFont(Combo1, kGothic, 9);
    Combo1->view()->setMinimumWidth(90);
    connect(Combo1, &QComboBox::activated, this, [this](int) { Combo1_Click(); });
}

void namesel::buildLists() {
    List1 = new VbListBox(this, QStringLiteral("List1"));
    List1->setBackColor(rgb(192, 255, 255));
    place(List1, 90, 2790, 15090, 8295);
    List1->setTwipsFont(*this, kGothic, 14.25);
    connect(List1, &VbListBox::Click, this, &namesel::List1_Click);
    connect(List1, &VbListBox::DblClick, this, &namesel::List1_DblClick);
    connect(List1, &VbListBox::KeyPress, this, [this](QKeyEvent* e, bool& handled) {
        if (e->key() == Qt::Key_Space || e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
            handled = true;
            SignIn();
        }
    });

    Label2 = new VbLabel(this, QStringLiteral("Label2"));
    Label2->hide();
    List2 = new VbListBox(this, QStringLiteral("List2"), VbListBox::Order::Sorted);
    List2->hide();
    List3 = new VbListBox(this, QStringLiteral("List3"));
    List3->hide();
    List4 = new VbListBox(this, QStringLiteral("List4"));
    List4->hide();
}

void namesel::pump() {
    m_app.ctx().services.events.processEvents();
}

void namesel::Form_Load() {
    // The roster is read with the wait overlay up; nothing is chosen meanwhile.
    const BusyScope loading(*this);
    Context& ctx = m_app.ctx();
    const QColor season = fromColourValue(ctx.state.SeasonColour);
    setBackColor(season);
    QPalette pal = Picture5->palette();
    pal.setColor(QPalette::Window, season);
    Picture5->setPalette(pal);
    moveTo(Picture5, 0, 0);
    Picture5->show();
    Picture5->raise();

    ctx.services.random.seed(ctx.services.clock.secondsSinceMidnight());
    if (m_app.fullScreen())
        showFullScreen();
    else
        show();

    名簿表示();
    setTwipsFont(Label4, kGothic, 48);
    Label4->setText(QString::fromStdString(ctx.program.ProgramTitle));
    List1->setListIndex(0);
    pump();
    Picture5->hide();
}

void namesel::Form_Activate() {
    const BusyScope activating(*this);
    pump();
    // Activated again when the version window closes: the grade box items,
    // the option and the chosen name stay as they are.
    const bool first = !m_activated;
    m_activated = true;
    if (first) {
        {
            const QSignalBlocker quiet(Option1[1]);
            Option1[1]->setChecked(true);
        }
        showMode(1);
        for (const char* item : kGradeFilterItems)
            Combo1->addItem(QString::fromUtf8(item));
        Combo1->setEditText(QString::fromUtf8(kAllGrades));
        m_app.ctx().roster.GradeFilter = kAllGrades;
    }
    Unload(m_app, Screen::seisekitime1);
    if (first) {
        pump();
        Label1->show();
        Label1->setText(kChoosePrompt);
        Label1->hide();
        Label1->show();
    }
    pump();
    Picture5->hide();
    // The list takes the arrow keys from the start.
    if (first) List1->setFocus();
}

void namesel::Option1_Click(int index) {
    if (busy()) return;
    const BusyScope rebuilding(*this);
    showMode(index);
}

void namesel::showMode(int index) {
    m_lists.NameListMode = index;
    名簿表示();
}

void namesel::Combo1_Click() {
    if (busy()) return;
    const BusyScope rebuilding(*this);
    m_app.ctx().roster.GradeFilter = Combo1->currentText().toStdString();
    名簿表示();
    List1->setFocus();
}

void namesel::名簿表示() {
    const BusyScope reading(*this);
    m_lists.filterText = Combo1->currentText().toStdString();
    kestrel::名簿表示(m_app.ctx(), m_lists);
    showLists();
}

void namesel::showLists() {
    auto toList = [](const std::vector<std::string>& lines) {
        QStringList out;
        out.reserve(static_cast<qsizetype>(lines.size()));
        for (const std::string& l : lines)
            out.push_back(QString::fromStdString(l));
        return out;
    };
    List2->setLines(toList(m_lists.List2.lines()));
    List3->setLines(toList(m_lists.List3));
    List4->setLines(toList(m_lists.List4));
    List1->setLines(toList(m_lists.List1));
    List1->setListIndex(m_lists.List1Index);
    // The rebuild runs while the screen is busy, so the list's click handler
    // does not see its line 0: the name chosen before must not outlive it.
    if (List1->ListIndex() <= 0) nobodyChosen();
}

void namesel::nobodyChosen() {
    Label1->setText(kChooseName);
    m_chosen = -1;
}

void namesel::choose(int line) {
    m_chosen = m_lists.numberOfLine(line);
    Label2->setText(m_chosen >= 0 ? QString::number(m_chosen) : QString());
}

void namesel::List1_Click() {
    if (busy()) return;
    const int k = List1->ListIndex();
    if (k < 0) return;
    if (k == 0) {
        nobodyChosen();
        return;
    }
    Label1->setText(QString::fromStdString(chosenNameText(List1->List(k).toStdString())));
    choose(k);
}

void namesel::List1_DblClick() {
    if (busy()) return;
    const int k = List1->ListIndex();
    if (k < 0) return;
    if (k == 0) {
        nobodyChosen();
        return;
    }
    Label1->setText(QString::fromStdString(signedInNameText(List1->List(k).toStdString())));
    choose(k);
    SignIn();
}

void namesel::SignIn() {
    if (busy()) return;
    Context& ctx = m_app.ctx();
    const QString shown = Label1->text();
    if (shown == kChooseName || shown.isEmpty() || m_chosen < 0 || m_chosen > kMaxStudent) {
        PlayWrongCue(ctx);
        return;
    }
    // One sign-in: the screen waits for the level menu from here on.
    setLeaving();
    signIn(ctx, ctx.state, m_chosen, ctx.services.clock.now());
    Command14->hide();
    Picture5->show();
    Picture5->raise();
    pump();
    DefineLevels(m_app);
}

void namesel::Label4_Click() {
    if (busy()) return;
    ShowVersionWindow(m_app, *this);
    if (!leaving()) m_app.activate(*this);
}

void namesel::Command7_Click() {
    if (busy()) return;
    LeaveToProgramMenu(m_app.ctx());
}

bool namesel::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) return false;
    auto* w = qobject_cast<QWidget*>(watched);
    if (!w || w->window() != this) return false;
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->text() == QStringLiteral("1") && !Command14->isHidden()) {
        SignIn();
        return true;
    }
    if (key->text() == QStringLiteral("0") && !Command7->isHidden()) {
        Command7_Click();
        return true;
    }
    return false;
}

} // namespace kestrel
