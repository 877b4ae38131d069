#pragma once
// Stories and settings files name Windows faces ("ＭＳ 明朝", "MS Gothic", ...). Here
// they become installed Japanese fonts; layout needs a font whose full-width
// characters are exactly two half-width cells, judged by measuring, since Qt
// reports most Japanese fonts as proportional.

#include <QFont>
#include <QString>
#include <QStringList>

namespace vrk::presentation {

/// The installed family for a stored face name: a known Windows face's counterpart, the face
/// itself when installed, else an installed Japanese font that measures fixed-pitch.
QString mapFontFamily(const QString& storedFace);
/// The counterpart of a known Windows Japanese face ("IPAMincho" for "ＭＳ 明朝" or "MS Mincho"),
/// or an empty string for other names. Full-width letters, spaces and letter case are ignored.
QString counterpartFamily(const QString& storedFace);
/// True when a full-width character of the family is twice as wide as a half-width one.
bool measuresFixedPitch(const QString& family);
/// Installed families that can show Japanese and measure fixed-pitch, for the font dialog.
QStringList japaneseFixedPitchFamilies();

}  // namespace vrk::presentation
