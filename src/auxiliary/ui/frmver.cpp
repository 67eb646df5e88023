#include "auxiliary/ui/frmver.h"

#include <QCloseEvent>
#include <QPushButton>

#include "app/App.h"
#include "app/Navigation.h"
#include "platform/ui/Fonts.h"
#include "platform/ui/VbWidgets.h"

#ifndef KESTREL_VERSION_MAJOR
#error "the build sets the version numbers"
#endif

namespace kestrel {
namespace {
constexpr int kWidth = 4605;
constexpr int kHeight = 4350;
} // namespace

QString versionText() {
    return QStringLiteral("Version%1.%2.%3")
        .arg(KESTREL_VERSION_MAJOR)
        .arg(KESTREL_VERSION_MINOR)
        .arg(KESTREL_VERSION_PATCH);
}

frmver::frmver(App& app) : TwipsForm(kWidth, kHeight), m_app(app) {
    setObjectName(QStringLiteral("frmver"));
    setWindowTitle(QStringLiteral("ﾊﾞｰｼﾞｮﾝ情報"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setWindowModality(Qt::ApplicationModal);
    setBackColor(rgb(0, 192, 192));

    Shape1 = new VbShape(this, QStringLiteral("Shape1"), rgb(128, 255, 255));
    place(Shape1, 180, 225, 4200, 3840);

    Label1 = new VbLabel(this, QStringLiteral("Label1"));
    Label1->setAlignment(VbLabel::Align::Center);
    Label1->setBorder(true);
    place(Label1, 390, 720, 3840, 465);
    setTwipsFont(Label1, kGothic, 18);

    Label2 = new VbLabel(this, QStringLiteral("Label2"));
    Label2->setAlignment(VbLabel::Align::Center);
    Label2->setBorder(true);
    place(Label2, 390, 1200, 3840, 270);
    setTwipsFont(Label2, kPGothic, 9);

    Label4 = new VbLabel(this, QStringLiteral("Label4"));
    Label4->setAlignment(VbLabel::Align::Center);
    place(Label4, 510, 2130, 3480, 630);
    setTwipsFont(Label4, kPGothic, 24, true, true);

    Command1 = new QPushButton(QStringLiteral("O.K."), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    place(Command1, 1260, 3375, 2085, 555);
    setTwipsFont(Command1, kPGothic, 12);
    Command1->setDefault(true);
    connect(Command1, &QPushButton::clicked, this, &frmver::Command1_Click);

    resize(kWidth / 15, kHeight / 15);
}

void frmver::Form_Activate() {
    Context& ctx = m_app.ctx();
    ctx.services.events.processEvents();
    ctx.services.events.processEvents();
    // A title wider than its box keeps its font; the label draws it smaller.
    Label1->setText(QString::fromStdString(ctx.program.ProgramTitle));
    Label2->setText(versionText());
    Label4->setText(QStringLiteral("Brightwave"));
}

void frmver::Form_Unload() {
    emit unloaded();
}

void frmver::Command1_Click() {
    Unload(m_app, Screen::frmver);
}

void frmver::closeEvent(QCloseEvent* event) {
    // Closing by the frame is the same as O.K.
    event->ignore();
    Unload(m_app, Screen::frmver);
}

} // namespace kestrel
