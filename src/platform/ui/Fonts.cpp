#include "platform/ui/Fonts.h"

#include <QFont>
#include <QStringList>

namespace kestrel {
namespace {

struct Substitution {
    QString family;
    QStringList substitutes; // in order; later ones draw what earlier ones lack
};

// Windows: the fonts the names stand for, under the names Windows lists
// them by (the full-width names are their Japanese names), with Meiryo for
// the characters they lack (newer JIS kanji, some symbols). The free fonts
// come last, for a Windows without the Japanese fonts (and Wine). Where MS
// Gothic is missing, BIZ UDGothic (a Windows font too) keeps the fixed pitch
// and the plain zero before Meiryo or IPAGothic could stand in.
QList<Substitution> windowsFonts() {
    const QStringList gothic{QStringLiteral("MS Gothic"), QStringLiteral("BIZ UDGothic"),
                             QStringLiteral("Meiryo"), QStringLiteral("IPAGothic")};
    const QStringList pGothic{QStringLiteral("MS PGothic"), QStringLiteral("Meiryo"),
                              QStringLiteral("IPAPGothic")};
    const QStringList mincho{QStringLiteral("MS Mincho"), QStringLiteral("Meiryo"),
                             QStringLiteral("IPAMincho")};
    const QStringList pMincho{QStringLiteral("MS PMincho"), QStringLiteral("Meiryo"),
                              QStringLiteral("IPAPMincho")};
    return {{kGothic, gothic}, {kPGothic, pGothic}, {kMincho, mincho}, {kPMincho, pMincho}};
}

// Linux: the free fonts, for the full-width names and for the half-width
// names some files use.
QList<Substitution> freeFonts() {
    const QStringList fixedPitch{QStringLiteral("BIZ UDGothic"), QStringLiteral("IPAGothic")};
    return {{kGothic, fixedPitch},
            {kPGothic, {QStringLiteral("IPAPGothic")}},
            {kMincho, {QStringLiteral("IPAMincho")}},
            {kPMincho, {QStringLiteral("IPAPMincho")}},
            {QStringLiteral("MS Gothic"), fixedPitch},
            {QStringLiteral("MS PGothic"), {QStringLiteral("IPAPGothic")}},
            {QStringLiteral("MS Mincho"), {QStringLiteral("IPAMincho")}}};
}

} // namespace

QFont namedFont(const QString& family) {
    QFont font(family);
    if (family == kGothic) font.setHintingPreference(QFont::PreferVerticalHinting);
    return font;
}

void installFontSubstitutions() {
#ifdef Q_OS_WIN
    constexpr bool windows = true;
#else
    constexpr bool windows = false;
#endif
    const QList<Substitution> table = windows ? windowsFonts() : freeFonts();
    for (const Substitution& s : table)
        QFont::insertSubstitutions(s.family, s.substitutes);
}

} // namespace kestrel
