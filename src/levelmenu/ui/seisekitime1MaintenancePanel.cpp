#include "levelmenu/ui/seisekitime1MaintenancePanel.h"

#include <QLineEdit>
#include <QPushButton>

#include "app/App.h"
#include "app/Navigation.h"
#include "levelmenu/LevelMenu.h"
#include "platform/ui/Fonts.h"
#include "platform/ui/TwipsForm.h"
#include "platform/ui/VbWidgets.h"

namespace kestrel {
namespace {

constexpr int kPanelLeft = 4080, kPanelTop = 2880, kPanelWidth = 7200, kPanelHeight = 4320;

} // namespace

MaintenancePanel::MaintenancePanel(TwipsForm& form, App& app)
    : QWidget(&form), m_form(form), m_app(app) {
    setObjectName(QStringLiteral("Picture7"));
    setAutoFillBackground(true);
    QPalette panel = palette();
    panel.setColor(QPalette::Window, rgb(255, 255, 224));
    setPalette(panel);
    form.place(this, kPanelLeft, kPanelTop, kPanelWidth, kPanelHeight);
    hide();

    auto* frame = new VbLabel(this, QStringLiteral("Picture7Frame"));
    frame->setBorder(true);
    frame->setAttribute(Qt::WA_TransparentForMouseEvents);
    form.place(frame, 0, 0, kPanelWidth, kPanelHeight);

    Label28 = new VbLabel(this, QStringLiteral("Label28"), QStringLiteral("データ変更パスワード"));
    form.place(Label28, 360, 360, 6480, 420);
    form.setTwipsFont(Label28, kPGothic, 14, true);

    Text3 = new QLineEdit(this);
    Text3->setObjectName(QStringLiteral("Text3"));
    Text3->setEchoMode(QLineEdit::Password);
    Text3->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));
    Text3->setAccessibleName(QStringLiteral("データ変更パスワード"));
    form.place(Text3, 360, 900, 6480, 540);
    form.setTwipsFont(Text3, kPGothic, 16);

    auto button = [this](const QString& name, const char* text, QRect r) {
        auto* b = new QPushButton(QString::fromUtf8(text), this);
        b->setObjectName(name);
        m_form.place(b, r.x(), r.y(), r.width(), r.height());
        m_form.setTwipsFont(b, kPGothic, 12, true);
        return b;
    };
    Command10[0] = button(QStringLiteral("Command10_0"), "データ変更", {360, 1800, 3120, 720});
    Command10[1] =
        button(QStringLiteral("Command10_1"), "合格タイムデータ変更", {3720, 1800, 3120, 720});
    Command12 = button(QStringLiteral("Command12"), "戻る", {2520, 3060, 2160, 720});
    for (int i = 0; i < 2; ++i)
        connect(Command10[static_cast<size_t>(i)], &QPushButton::clicked, this,
                [this, i] { Command10_Click(i); });
    connect(Command12, &QPushButton::clicked, this, [this] { Command12_Click(); });
    // Enter in the password box is the first button, the one drawn as the default.
    Command10[0]->setDefault(true);
    connect(Text3, &QLineEdit::returnPressed, this, [this] { Command10_Click(0); });
}

void MaintenancePanel::open() {
    if (m_form.busy()) return;
    show();
    raise();
    Text3->setFocus();
}

void MaintenancePanel::Command12_Click() {
    if (m_form.busy()) return;
    hide();
}

void MaintenancePanel::Command10_Click(int index) {
    if (m_form.busy() || isHidden() || (index != 0 && index != 1)) return;
    Context& ctx = m_app.ctx();
    if (!teacherPasswordMatches(ctx.config.TeacherPassword, Text3->text().toStdString())) {
        const TwipsForm::BusyScope telling(m_form);
        ctx.services.dialogs.message("パスワードを入力して下さい", ctx.program.ProgramTitle,
                                     MessageButtons::Ok);
        return;
    }
    m_form.setLeaving();
    Show(m_app, index == 0 ? Screen::FrmData : Screen::FrmTimeData);
    Unload(m_app, Screen::seisekitime1);
}

} // namespace kestrel
