#pragma once
// The reading window's style: the desktop's own, with no image-format plugin loaded before the
// first page.
//
// Qt reads a PNG named by file through every image-format plugin before its own PNG reader, so
// the first such read loads them all (gif, ico, jpeg, ...: about a millisecond on the way to the
// first page). Two pictures are read so before the page is up: the menu bar's overflow arrow,
// hidden unless the menu bar is too narrow for its menus, is now read when first drawn; the frame
// of the slot picker's group box is read ahead with Qt's own PNG reader alone.

#include <QIcon>
#include <QProxyStyle>

namespace vrk::app {

/// The desktop's style, with the tool bar and menu bar overflow arrows read when first drawn.
class StartUpStyle : public QProxyStyle {
public:
    /// Over the style of that key (QStyleFactory's), as QApplication chose it.
    explicit StartUpStyle(const QString& baseStyleKey);

    QIcon standardIcon(StandardPixmap standardIcon, const QStyleOption* option = nullptr,
                       const QWidget* widget = nullptr) const override;
};

/// Reads the group box frame picture with Qt's PNG reader alone, into the pixmap cache entry the
/// Fusion style draws it from. Returns false when the picture is not there (a Qt without it).
bool primeGroupBoxFrame();

/// Both of the above, for a QApplication that has just been made.
void installStartUpStyle();

}  // namespace vrk::app
