#include "pictures/qt/picture_window.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>

#include "pictures/picture_placement.h"
#include "pictures/qt/frame_placement.h"

namespace vrk::pictures {

namespace {

Size toSize(QSize size) {
    return Size{size.width(), size.height()};
}

}  // namespace

PictureWindow::PictureWindow(QWidget* mainWindow)
    : QWidget(nullptr,
              // A caption but no system menu, minimise, maximise or close button, where the
              // window system honours the hints; a fixed, single border.
              Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::MSWindowsFixedSizeDialogHint),
      m_mainWindow(mainWindow) {
    setObjectName(QStringLiteral("pictureWindow"));
    setWindowTitle(QStringLiteral("Graphic(VRK Browser)"));
    m_placement = new FramePlacement(this);
    setClientSize(QSize(kInitialClientWidth, kInitialClientHeight));
}

PictureWindow::~PictureWindow() = default;

void PictureWindow::setLoadOptions(std::function<PictureLoadOptions()> options) {
    m_options = std::move(options);
}

bool PictureWindow::showPicture(const std::string& fileNameSjis) {
    const PictureLoadOptions options = m_options ? m_options() : PictureLoadOptions{};
    if (!m_picture.load(fileNameSjis, options.baseDir, options.lowRes)) {
        return false;
    }
    showLoaded(true, false);
    return true;
}

void PictureWindow::showBitmap(const Bitmap& bitmap) {
    m_picture.setBitmap(bitmap);
    // Placed beside the main window again, as a picture shown by a new page is.
    showLoaded(false, true);
}

void PictureWindow::showLoaded(bool paintNow, bool placeAgain) {
    const Bitmap& bitmap = m_picture.bitmap();
    QScreen* screen = m_mainWindow ? m_mainWindow->screen() : this->screen();
    const QSize screenSize = screen ? screen->geometry().size() : QSize(bitmap.width(), bitmap.height());
    const Size client = pictureWindowClientSize(Size{bitmap.width(), bitmap.height()}, toSize(frameExtra()),
                                                toSize(screenSize));
    setClientSize(QSize(client.width, client.height));
    if (isHidden() || placeAgain) {
        placeBesideMainWindow();
    }
    show();
    update();
    if (paintNow) {
        // Paint now, so the picture is there while the page's run goes on.
        QCoreApplication::processEvents();
    }
    if (m_mainWindow) {
        m_mainWindow->raise();
        m_mainWindow->activateWindow();
    }
}

void PictureWindow::hidePicture() {
    hide();
}

void PictureWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QImage& image = m_picture.image();
    if (!image.isNull()) {
        painter.drawImage(QPoint(0, 0), image);  // unscaled, cut at the client edges
    }
}

void PictureWindow::mouseDoubleClickEvent(QMouseEvent* event) {
    event->accept();
    close();
}

void PictureWindow::closeEvent(QCloseEvent* event) {
    // Closing: the paintable copy goes; the picture itself stays until the next load.
    m_picture.releaseImage();
    event->accept();
}

void PictureWindow::keyPressEvent(QKeyEvent* event) {
    event->accept();
}  // no key does anything

QSize PictureWindow::frameExtra() const {
    const QWidget* framed =
        testAttribute(Qt::WA_WState_Created) || !m_mainWindow ? this : m_mainWindow.data();
    return framed->frameGeometry().size() - framed->geometry().size();
}

void PictureWindow::setClientSize(QSize size) {
    setFixedSize(size);
}

void PictureWindow::placeBesideMainWindow() {
    if (!m_mainWindow || !m_mainWindow->screen()) {
        return;
    }
    // Placed by its frame, so that its title bar is where the rules put it, on the screen.
    m_placement->place([this](const QMargins& extents) { return besideMainWindow(extents); });
}

QRect PictureWindow::besideMainWindow(const QMargins& extents) const {
    QScreen* screen = m_mainWindow ? m_mainWindow->screen() : nullptr;
    if (!screen) {
        return QRect(pos(), size());
    }
    const QRect screenRect = screen->geometry();
    const QRect main = m_mainWindow->frameGeometry().translated(-screenRect.topLeft());
    const QSize extra = extents.isNull()
                            ? frameExtra()
                            : QSize(extents.left() + extents.right(), extents.top() + extents.bottom());
    const QSize outer = size() + extra;
    const Point at = pictureWindowPosition(
        Rect{main.left(), main.top(), main.left() + main.width(), main.top() + main.height()}, toSize(outer),
        toSize(screenRect.size()));
    return QRect(screenRect.topLeft() + QPoint(at.x, at.y), size());
}

}  // namespace vrk::pictures
