#include "platform/ui/Accessibility.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QComboBox>
#include <QEvent>

#include "platform/ui/VbWidgets.h"

namespace kestrel {
namespace {

// A label read as static text whose name is the text it shows.
class VbLabelAccessible : public QAccessibleWidget {
public:
    explicit VbLabelAccessible(VbLabel* label)
        : QAccessibleWidget(label, QAccessible::StaticText) {}

    QString text(QAccessible::Text t) const override {
        if (t != QAccessible::Name) return QAccessibleWidget::text(t);
        // A name set on purpose wins, as with Qt's own labels.
        const QString given = widget()->accessibleName();
        if (!given.isEmpty()) return given;
        QString shown = static_cast<const VbLabel*>(widget())->text();
        return shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    }
};

QAccessibleInterface* factory(const QString&, QObject* object) {
    if (auto* label = qobject_cast<VbLabel*>(object)) return new VbLabelAccessible(label);
    return nullptr;
}

// Marks a combo box whose accessible name follows its text.
constexpr const char* kNameFollowsText = "kestrelNameFollowsText";

// Qt reads a combo box's name from its text on Linux but only from its
// accessible name on Windows, where the text is just its value: a box
// without a name of its own is given the text it shows, kept in step.
void nameComboBoxByItsText(QComboBox* box) {
    if (box->property(kNameFollowsText).toBool() || !box->accessibleName().isEmpty()) return;
    box->setProperty(kNameFollowsText, true);
    box->setAccessibleName(box->currentText());
    QObject::connect(box, &QComboBox::currentTextChanged, box,
                     [box](const QString& text) { box->setAccessibleName(text); });
}

// Sees every widget before it is first shown.
class ComboBoxNamer : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Polish)
            if (auto* box = qobject_cast<QComboBox*>(watched)) nameComboBoxByItsText(box);
        return false;
    }
};

} // namespace

void installAccessibility() {
    static bool installed = false;
    if (installed) return;
    installed = true;
    QAccessible::installFactory(factory);
    qApp->installEventFilter(new ComboBoxNamer(qApp));
}

} // namespace kestrel
