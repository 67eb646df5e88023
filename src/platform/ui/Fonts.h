#pragma once
// The screens name Windows' Japanese fonts; on Linux they are drawn with
// free fonts.
#include <QFont>
#include <QString>

namespace kestrel {

inline const QString kGothic = QStringLiteral("ＭＳ ゴシック");    // fixed pitch
inline const QString kPGothic = QStringLiteral("ＭＳ Ｐゴシック"); // proportional
inline const QString kMincho = QStringLiteral("ＭＳ 明朝");
inline const QString kPMincho = QStringLiteral("ＭＳ Ｐ明朝");

// On Linux the fixed-pitch Gothic is BIZ UDGothic: every character of it
// half or whole a square, like the name it stands for, and a plain zero, so
// that a 0 is never taken for a digit the drill's hint crosses out.
// IPAGothic (whose zero is slashed) stands in where that font is not
// installed. The other names map to IPAPGothic, IPAMincho and IPAPMincho.
// On Windows the names are Windows' own fonts (MS Gothic, MS PGothic,
// MS Mincho, MS PMincho), with Meiryo for what they lack; BIZ UDGothic
// stands in for a missing MS Gothic.
void installFontSubstitutions();

// A font of the family named. The fixed-pitch Gothic keeps the font's own
// advances, a whole square exactly two half ones, so that its columns line
// up on screen and on paper; full hinting (FreeType's default on Windows)
// would round each glyph's advance apart.
QFont namedFont(const QString& family);

} // namespace kestrel
