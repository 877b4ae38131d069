#include "presentation/qt/font_mapping.h"

#include <QFontDatabase>
#include <QFontMetrics>

#include <array>
#include <utility>

namespace vrk::presentation {

namespace {

// Full-width letters to half-width, lower case, spaces dropped: "ＭＳ Ｐゴシック" → "mspゴシック".
QString normalised(const QString& face) {
    QString out;
    for (QChar c : face) {
        char16_t u = c.unicode();
        if (u >= 0xFF01 && u <= 0xFF5E) {
            u = static_cast<char16_t>(u - 0xFEE0);
        }
        if (u == u' ' || u == 0x3000) {
            continue;
        }
        out += QChar(u).toLower();
    }
    return out;
}

struct FaceCounterpart {
    const char16_t* windowsFace;  // normalised
    const char* family;
};

constexpr std::array<FaceCounterpart, 11> kCounterparts = {{
    {u"ms明朝", "IPAMincho"},
    {u"msmincho", "IPAMincho"},
    {u"msp明朝", "IPAPMincho"},
    {u"mspmincho", "IPAPMincho"},
    {u"msゴシック", "IPAGothic"},
    {u"msgothic", "IPAGothic"},
    {u"mspゴシック", "IPAPGothic"},
    {u"mspgothic", "IPAPGothic"},
    {u"msuigothic", "IPAPGothic"},
    {u"fixedsys", "IPAGothic"},
    {u"terminal", "IPAGothic"},
}};

// Fixed-pitch fonts first, so a fallback keeps the cell grid the layout assumes.
constexpr std::array<const char*, 4> kPreferredFallbacks = {"IPAGothic", "IPAMincho", "IPAexGothic",
                                                            "IPAexMincho"};

bool installed(const QString& family) {
    return !family.isEmpty() && QFontDatabase::families().contains(family, Qt::CaseInsensitive);
}

}  // namespace

QString counterpartFamily(const QString& storedFace) {
    const QString key = normalised(storedFace);
    for (const FaceCounterpart& c : kCounterparts) {
        if (key == QString::fromUtf16(c.windowsFace)) {
            return QString::fromLatin1(c.family);
        }
    }
    return {};
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
