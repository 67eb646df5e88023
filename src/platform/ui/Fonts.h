#pragma once
// The screens name Windows' Japanese fonts; they are drawn with the IPA fonts.
#include <QString>

namespace kestrel {

inline const QString kGothic = QStringLiteral("ＭＳ ゴシック");    // fixed pitch
inline const QString kPGothic = QStringLiteral("ＭＳ Ｐゴシック"); // proportional
inline const QString kMincho = QStringLiteral("ＭＳ 明朝");
inline const QString kPMincho = QStringLiteral("ＭＳ Ｐ明朝");

// Maps the names above to IPAGothic, IPAPGothic, IPAMincho and IPAPMincho.
void installFontSubstitutions();

} // namespace kestrel
