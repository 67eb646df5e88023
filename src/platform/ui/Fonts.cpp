#include "platform/ui/Fonts.h"

#include <QFont>
#include <QStringList>

namespace kestrel {

void installFontSubstitutions() {
    const QStringList fixedPitch{QStringLiteral("BIZ UDGothic"), QStringLiteral("IPAGothic")};
    QFont::insertSubstitutions(kGothic, fixedPitch);
    QFont::insertSubstitution(kPGothic, QStringLiteral("IPAPGothic"));
    QFont::insertSubstitution(kMincho, QStringLiteral("IPAMincho"));
    QFont::insertSubstitution(kPMincho, QStringLiteral("IPAPMincho"));
    // The half-width names some files use.
    QFont::insertSubstitutions(QStringLiteral("MS Gothic"), fixedPitch);
    QFont::insertSubstitution(QStringLiteral("MS PGothic"), QStringLiteral("IPAPGothic"));
    QFont::insertSubstitution(QStringLiteral("MS Mincho"), QStringLiteral("IPAMincho"));
}

} // namespace kestrel
