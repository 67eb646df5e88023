// The program menu: the drill programs installed beside this program's
// folder, one line each; the chosen one starts in its own process and the
// menu closes. The first argument names the menu that called it ("001").
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWidget>
#include <vector>

#include "platform/Utf8Path.h"
#include "platform/ui/Fonts.h"
#include "platform/ui/VbListBox.h"
#include "roster/ProgramMenu.h"

// This system's way of starting a program.
#ifdef _WIN32
#include "platform/Win32ProcessLauncher.h"
using SystemProcessLauncher = kestrel::Win32ProcessLauncher;
#else
#include "platform/PosixProcessLauncher.h"
using SystemProcessLauncher = kestrel::PosixProcessLauncher;
#endif

namespace {

using kestrel::InstalledProgram;

class ProgramMenuWindow : public QWidget {
public:
    ProgramMenuWindow(std::vector<InstalledProgram> programs, const QString& menuNumber)
        : m_programs(std::move(programs)) {
        setObjectName(QStringLiteral("ProgramMenu"));
        setWindowTitle(menuNumber.isEmpty()
                           ? QStringLiteral("プログラムメニュー")
                           : QStringLiteral("プログラムメニュー（%1）").arg(menuNumber));
        setStyleSheet(QStringLiteral("QWidget#ProgramMenu { background: rgb(192, 255, 192); }"));
        resize(640, 480);

        auto* layout = new QVBoxLayout(this);
        auto* title = new QLabel(QStringLiteral("つかうプログラムをえらびなさい"), this);
        title->setObjectName(QStringLiteral("Title"));
        QFont big(kestrel::kPGothic);
        big.setPixelSize(28);
        big.setBold(true);
        title->setFont(big);
        title->setAlignment(Qt::AlignCenter);
        layout->addWidget(title);

        m_list = new kestrel::VbListBox(this, QStringLiteral("Programs"));
        m_list->setBackColor(QColor(192, 255, 255));
        QFont lines(kestrel::kGothic);
        lines.setPixelSize(24);
        m_list->setFont(lines);
        for (const InstalledProgram& p : m_programs)
            m_list->AddItem(QString::fromStdString(p.folderName));
        if (m_programs.empty())
            m_list->AddItem(QStringLiteral("起動できるプログラムがありません。"));
        m_list->setListIndex(0);
        layout->addWidget(m_list, 1);

        auto* start = new QPushButton(QStringLiteral("はじめる"), this);
        start->setObjectName(QStringLiteral("Start"));
        start->setEnabled(!m_programs.empty());
        auto* quit = new QPushButton(QStringLiteral("おわる"), this);
        quit->setObjectName(QStringLiteral("Quit"));
        for (QPushButton* b : {start, quit}) {
            b->setFont(big);
            b->setMinimumHeight(56);
            layout->addWidget(b);
        }
        connect(start, &QPushButton::clicked, this, &ProgramMenuWindow::startChosen);
        connect(quit, &QPushButton::clicked, this, &QWidget::close);
        connect(m_list, &kestrel::VbListBox::DblClick, this, &ProgramMenuWindow::startChosen);
        connect(m_list, &kestrel::VbListBox::KeyPress, this, [this](QKeyEvent* e, bool& handled) {
            if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
                handled = true;
                startChosen();
            }
        });
        m_list->setFocus();
    }

private:
    void startChosen() {
        const int i = m_list->ListIndex();
        if (i < 0 || i >= static_cast<int>(m_programs.size())) return;
        const InstalledProgram& p = m_programs[static_cast<size_t>(i)];
        std::string error;
        SystemProcessLauncher launcher;
        const std::string program = kestrel::utf8OfPath(p.program);
        if (!launcher.startDetached(program, {}, error)) {
            QMessageBox::warning(
                this, windowTitle(),
                QStringLiteral("「%1」を起動できません。\n%2")
                    .arg(QString::fromStdString(program), QString::fromStdString(error)));
            return;
        }
        close();
    }

    std::vector<InstalledProgram> m_programs;
    kestrel::VbListBox* m_list;
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    kestrel::installFontSubstitutions();
    // Qt takes the arguments from the wide command line on Windows.
    const QString menuNumber = QCoreApplication::arguments().value(1);
    const std::filesystem::path folder =
        kestrel::pathFromUtf8(QCoreApplication::applicationFilePath().toStdString()).parent_path();
    ProgramMenuWindow window(kestrel::installedPrograms(folder), menuNumber);
    window.show();
    return app.exec();
}
