#include "platform/ui/Accessibility.h"

#include <QAccessible>
#include <QAccessibleWidget>

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

} // namespace

void installAccessibility() {
    static bool installed = false;
    if (installed) return;
    installed = true;
    QAccessible::installFactory(factory);
}

} // namespace kestrel
