#include "platform/ui/Fonts.h"

#include <QFont>

namespace kestrel {

void installFontSubstitutions() {
    QFont::insertSubstitution(kGothic, QStringLiteral("IPAGothic"));
    QFont::insertSubstitution(kPGothic, QStringLiteral("IPAPGothic"));
    QFont::insertSubstitution(kMincho, QStringLiteral("IPAMincho"));
    QFont::insertSubstitution(kPMincho, QStringLiteral("IPAPMincho"));
    // The half-width names some files use.
    QFont::insertSubstitution(QStringLiteral("MS Gothic"), QStringLiteral("IPAGothic"));
    QFont::insertSubstitution(QStringLiteral("MS PGothic"), QStringLiteral("IPAPGothic"));
    QFont::insertSubstitution(QStringLiteral("MS Mincho"), QStringLiteral("IPAMincho"));
}

} // namespace kestrel
