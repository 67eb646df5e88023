#pragma once
// The elements of a window as a screen reader reaches them: by walking the
// accessibility tree from the window down, keyed by object name.
#include <QAccessible>
#include <QWidget>
#include <map>

namespace kestrel::test {

inline void collectAccessible(QAccessibleInterface* iface,
                              std::map<QString, QAccessibleInterface*>& out) {
    if (!iface) return;
    if (QObject* o = iface->object(); o && !o->objectName().isEmpty())
        out.emplace(o->objectName(), iface);
    for (int i = 0; i < iface->childCount(); ++i)
        collectAccessible(iface->child(i), out);
}

inline std::map<QString, QAccessibleInterface*> accessibleElements(QWidget& window) {
    std::map<QString, QAccessibleInterface*> out;
    collectAccessible(QAccessible::queryAccessibleInterface(&window), out);
    return out;
}

// The name a screen reader reads for the element, or "<not reached>".
inline QString accessibleName(const std::map<QString, QAccessibleInterface*>& all,
                              const QString& element) {
    const auto it = all.find(element);
    return it == all.end() ? QStringLiteral("<not reached>") : it->second->text(QAccessible::Name);
}

} // namespace kestrel::test
