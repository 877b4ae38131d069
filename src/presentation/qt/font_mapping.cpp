#include "presentation/qt/font_mapping.h"

#include <QFontDatabase>
#include <QFontMetrics>

#include <array>

#include "presentation/font_names.h"

namespace vrk::presentation {

namespace {

// Fixed-pitch fonts first, so a fallback keeps the cell grid the layout assumes.
constexpr std::array<const char*, 4> kPreferredFallbacks = {"IPAGothic", "IPAMincho", "IPAexGothic",
                                                            "IPAexMincho"};

bool installed(const QString& family) {
    return !family.isEmpty() && QFontDatabase::families().contains(family, Qt::CaseInsensitive);
}

}  // namespace

QString counterpartFamily(const QString& storedFace) {
    return QString::fromStdString(presentation::counterpartFamily(storedFace.toStdString()));
}

bool measuresFixedPitch(const QString& family) {
    QFont font(family);
    font.setPixelSize(32);
    const QFontMetrics metrics(font);
    const int half = metrics.horizontalAdvance(QLatin1Char('a'));
    const int full = metrics.horizontalAdvance(QChar(0x6F22));  // 漢
    return half > 0 && full == 2 * half && metrics.horizontalAdvance(QLatin1Char('i')) == half;
}

QStringList japaneseFixedPitchFamilies() {
    QStringList out;
    for (const QString& family : QFontDatabase::families(QFontDatabase::Japanese)) {
        if (measuresFixedPitch(family)) {
            out << family;
        }
    }
    return out;
}

QString mapFontFamily(const QString& storedFace) {
    const QString counterpart = counterpartFamily(storedFace);
    if (installed(counterpart)) {
        return counterpart;
    }
    if (installed(storedFace)) {
        return storedFace;
    }
    for (const char* family : kPreferredFallbacks) {
        if (installed(QString::fromLatin1(family)) && measuresFixedPitch(QString::fromLatin1(family))) {
            return QString::fromLatin1(family);
        }
    }
    const QStringList fixed = japaneseFixedPitchFamilies();
    if (!fixed.isEmpty()) {
        return fixed.front();
    }
    return QFontDatabase::systemFont(QFontDatabase::FixedFont).family();
}

}  // namespace vrk::presentation
