#include "app/qt/start_up_style.h"

#include <QApplication>
#include <QFileInfo>
#include <QIconEngine>
#include <QImageReader>
#include <QPainter>
#include <QPixmapCache>
#include <QPointer>
#include <QStyleOption>
#include <QWidget>
#include <cstdint>
#include <optional>

namespace vrk::app {
namespace {

// A standard icon of the base style, asked for when it is first drawn or measured.
class DeferredIconEngine : public QIconEngine {
public:
    DeferredIconEngine(QStyle* style, QStyle::StandardPixmap which, Qt::LayoutDirection direction)
        : m_style(style), m_which(which), m_direction(direction) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override {
        icon().paint(painter, rect, Qt::AlignCenter, mode, state);
    }
    QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return icon().actualSize(size, mode, state);
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return icon().pixmap(size, 1.0, mode, state);
    }
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state, qreal scale) override {
        // Until Qt 6.8 an icon hands its engine the size in device pixels, since then the size
        // before scaling; the icon asked here does the same with its own engine.
#if QT_VERSION < QT_VERSION_CHECK(6, 8, 0)
        const QSize logical = scale > 0 ? (QSizeF(size) / scale).toSize() : size;
#else
        const QSize logical = size;
#endif
        return icon().pixmap(logical, scale, mode, state);
    }
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override {
        return icon().availableSizes(mode, state);
    }
    bool isNull() override {
        return icon().isNull();
    }
    QString key() const override {
        return QStringLiteral("vrk-deferred-standard-icon");
    }
    QIconEngine* clone() const override {
        auto* copy = new DeferredIconEngine(m_style, m_which, m_direction);
        copy->m_icon = m_icon;
        return copy;
    }

private:
    const QIcon& icon() {
        if (!m_icon) {
            QStyleOption option;
            option.direction = m_direction;
            QStyle* style = m_style ? m_style.data() : QApplication::style();
            m_icon = style->standardIcon(m_which, &option);
        }
        return *m_icon;
    }

    QPointer<QStyle> m_style;
    QStyle::StandardPixmap m_which;
    Qt::LayoutDirection m_direction;
    std::optional<QIcon> m_icon;
};

}  // namespace

StartUpStyle::StartUpStyle(const QString& baseStyleKey) : QProxyStyle(baseStyleKey) {}

QIcon StartUpStyle::standardIcon(StandardPixmap standardIcon, const QStyleOption* option,
                                 const QWidget* widget) const {
    if (standardIcon != SP_ToolBarHorizontalExtensionButton &&
        standardIcon != SP_ToolBarVerticalExtensionButton) {
        return QProxyStyle::standardIcon(standardIcon, option, widget);
    }
    const Qt::LayoutDirection direction =
        option != nullptr
            ? option->direction
            : (widget != nullptr ? widget->layoutDirection() : QGuiApplication::layoutDirection());
    return QIcon(new DeferredIconEngine(baseStyle(), standardIcon, direction));
}

namespace {

// QPixmap::load's cache key for a file: the name, the time and size of the file, and the kind of
// pixmap, each number written byte by byte from its lowest, every byte low half first.
template <typename Number>
void appendBytes(QString& key, Number value) {
    static constexpr char kDigits[] = "0123456789abcdef";
    for (std::size_t i = 0; i < sizeof(Number); ++i) {
        const auto byte = static_cast<unsigned>((static_cast<std::uint64_t>(value) >> (8 * i)) & 0xffU);
        key += QLatin1Char(kDigits[byte & 0xfU]);
        key += QLatin1Char(kDigits[byte >> 4]);
    }
}

QString pixmapLoadKey(const QString& fileName) {
    const QFileInfo info(fileName);
    QString key = QStringLiteral("qt_pixmap") + info.absoluteFilePath();
    appendBytes(key, static_cast<std::uint32_t>(info.lastModified().toSecsSinceEpoch()));
    appendBytes(key, static_cast<std::uint64_t>(info.size()));
    appendBytes(key, std::uint32_t{0});  // a plain pixmap
    return key;
}

}  // namespace

bool primeGroupBoxFrame() {
    const QString fileName = QStringLiteral(":/qt-project.org/styles/commonstyle/images/fusion_groupbox.png");
    QImageReader reader(fileName, "png");
    reader.setAutoDetectImageFormat(false);
    const QImage image = reader.read();
    if (image.isNull()) {
        return false;
    }
    const QPixmap frame = QPixmap::fromImage(image);
    // Fusion up to Qt 6.4 loads the picture as a file each time it draws a frame, through the
    // cache of loaded files; later versions look it up under a key of their own first.
    QPixmapCache::insert(pixmapLoadKey(fileName), frame);
    QPixmapCache::insert(QStringLiteral("fusion_groupbox"), frame);
    return true;
}

void installStartUpStyle() {
    // Keyed by the style QApplication chose, so that -style and QT_STYLE_OVERRIDE still hold.
    auto* style = new StartUpStyle(QApplication::style()->name());
    QApplication::setStyle(style);
    if (style->baseStyle()->name().compare(QStringLiteral("fusion"), Qt::CaseInsensitive) == 0) {
        primeGroupBoxFrame();
    }
}

}  // namespace vrk::app
