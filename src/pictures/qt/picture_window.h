#pragma once
// The picture window PictureWindow (unit Vrksub): a small top-level window that shows one
// picture at its natural size beside the main window, for the page whose command showed it.
// The main window creates one right after itself and calls showPicture / hidePicture; the
// page interpreter reaches them through the story host.

#include <QPointer>
#include <QWidget>
#include <filesystem>
#include <functional>
#include <string>

#include "pictures/qt/background_painter.h"

namespace vrk::pictures {

/// Where showPicture finds pictures: the directory relative names start from, and the
/// low-colour option (JPEG pictures as 8-bit palette pictures; EngineOptions::lowColour).
struct PictureLoadOptions {
    std::filesystem::path baseDir;
    bool lowRes = false;
};

class FramePlacement;

class PictureWindow : public QWidget {
    Q_OBJECT

public:
    static constexpr int kInitialClientWidth = 213;
    static constexpr int kInitialClientHeight = 36;

    /// Creates the window hidden. mainWindow (not the parent: both are top-level windows) is
    /// the window it is placed beside and gives the focus back to; it may be null in tests.
    explicit PictureWindow(QWidget* mainWindow = nullptr);
    ~PictureWindow() override;

    /// Asked at every showPicture for the base directory and the low-colour option.
    void setLoadOptions(std::function<PictureLoadOptions()> options);

    /// Loads the picture (JPEG of the same base name first); on failure nothing changes and
    /// false comes back. Otherwise the client area takes the picture's size (cut to the
    /// screen), the window appears (placed anew if it was hidden), paints at once, and the
    /// main window comes back to the front with the keyboard.
    bool showPicture(const std::string& fileNameSjis);
    /// Shows bitmap as showPicture shows a loaded picture, placed beside the main window again.
    void showBitmap(const Bitmap& bitmap);
    /// Hides the window; the picture stays until the next load.
    void hidePicture();

    const Bitmap& pictureBitmap() const { return m_picture.bitmap(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    /// The frame and caption around the client area; before the window has been shown once
    /// the window system has not told, so the main window's frame stands in for it.
    QSize frameExtra() const;
    void setClientSize(QSize size);
    /// Sizes, places (when hidden, or placeAgain) and shows the window for the picture loaded;
    /// paintNow paints it before returning.
    void showLoaded(bool paintNow, bool placeAgain);
    /// The placement when it appears (rules 1-5 of pictureWindowPosition).
    void placeBesideMainWindow();
    /// The frame's corner by those rules and the client size, for a frame of these extents
    /// (the estimate of frameExtra while they are not known).
    QRect besideMainWindow(const QMargins& extents) const;

    QPointer<QWidget> m_mainWindow;
    std::function<PictureLoadOptions()> m_options;
    LoadedPicture m_picture;  ///< pictureBitmap
    FramePlacement* m_placement = nullptr;
};

}  // namespace vrk::pictures
