#include "roster/ui/ProgramMenuWindow.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <algorithm>
#include <cmath>

#include "platform/Dialogs.h"
#include "platform/ProcessLauncher.h"
#include "platform/Utf8Path.h"
#include "platform/ui/Fonts.h"
#include "platform/ui/VbListBox.h"

namespace kestrel {
namespace {

constexpr int kDesignW = 9600, kDesignH = 7200;
// The screens' design area, which fills the display.
constexpr double kScreenW = 15360, kScreenH = 11520;

} // namespace

ProgramMenuWindow::ProgramMenuWindow(std::vector<InstalledProgram> programs,
                                     const QString& menuNumber, ProcessLauncher& launcher,
                                     Dialogs& dialogs)
    : TwipsForm(kDesignW, kDesignH), m_programs(std::move(programs)), m_launcher(launcher),
      m_dialogs(dialogs) {
    setObjectName(QStringLiteral("ProgramMenu"));
    setWindowTitle(menuNumber.isEmpty()
                       ? QStringLiteral("プログラムメニュー")
                       : QStringLiteral("プログラムメニュー（%1）").arg(menuNumber));
    setBackColor(QColor(192, 255, 192));

    Title = new QLabel(QStringLiteral("つかうプログラムをえらびなさい"), this);
    Title->setObjectName(QStringLiteral("Title"));
    Title->setAlignment(Qt::AlignCenter);
    place(Title, 150, 150, 9300, 750);
    setTwipsFont(Title, kPGothic, 21, true);

    Programs = new VbListBox(this, QStringLiteral("Programs"));
    Programs->setBackColor(QColor(192, 255, 255));
    place(Programs, 150, 1050, 9300, 4200);
    Programs->setTwipsFont(*this, kGothic, 18);
    for (const InstalledProgram& p : m_programs)
        Programs->AddItem(QString::fromStdString(p.folderName));
    if (m_programs.empty()) Programs->AddItem(QStringLiteral("起動できるプログラムがありません。"));
    Programs->setListIndex(0);
    Programs->setAccessibleName(Title->text());

    Start = new QPushButton(QStringLiteral("はじめる"), this);
    Start->setObjectName(QStringLiteral("Start"));
    Start->setEnabled(!m_programs.empty());
    place(Start, 150, 5400, 9300, 780);
    Quit = new QPushButton(QStringLiteral("おわる"), this);
    Quit->setObjectName(QStringLiteral("Quit"));
    place(Quit, 150, 6300, 9300, 780);
    for (QPushButton* b : {Start, Quit})
        setTwipsFont(b, kPGothic, 21, true);

    connect(Start, &QPushButton::clicked, this, &ProgramMenuWindow::startChosen);
    connect(Quit, &QPushButton::clicked, this, &QWidget::close);
    connect(Programs, &VbListBox::DblClick, this, &ProgramMenuWindow::startChosen);
    connect(Programs, &VbListBox::KeyPress, this, [this](QKeyEvent* e, bool& handled) {
        if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
            handled = true;
            startChosen();
        }
    });
    Programs->setFocus();
}

QRect ProgramMenuWindow::placeOn(const QRect& display) {
    const double scale = std::min(display.width() / kScreenW, display.height() / kScreenH);
    const QSize size(static_cast<int>(std::lround(kDesignW * scale)),
                     static_cast<int>(std::lround(kDesignH * scale)));
    QRect r(QPoint(0, 0), size);
    r.moveCenter(display.center());
    return r;
}

void ProgramMenuWindow::startChosen() {
    const int i = Programs->ListIndex();
    if (i < 0 || i >= static_cast<int>(m_programs.size())) return;
    const InstalledProgram& p = m_programs[static_cast<size_t>(i)];
    std::string error;
    const std::string program = utf8OfPath(p.program);
    if (!m_launcher.startDetached(program, {}, error)) {
        m_dialogs.message("「" + program + "」を起動できません。\r\n" + error,
                          windowTitle().toStdString(), MessageButtons::Ok);
        return;
    }
    close();
}

} // namespace kestrel
