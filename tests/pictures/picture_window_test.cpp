// PictureWindow offscreen: its fixed properties, showPicture's sizing and placement, and what
// hides it. The offscreen platform draws no frames, so outer and client sizes agree.

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScreen>

#include "pictures/picture_placement.h"
#include "pictures/qt/picture_window.h"
#include "test_files.h"
#include "test_images.h"

namespace vrk::pictures {
namespace {

using test::TempDir;
using test::writeBytes;

class PictureWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_main.setWindowTitle(QStringLiteral("main"));
        m_main.setGeometry(0, 0, 640, 480);
        m_main.show();
        m_window.setLoadOptions([this] { return PictureLoadOptions{m_dir.path(), m_lowRes}; });
        writeBytes(m_dir.path() / "P320.BMP", test::makeBmp24(320, 200, test::testPattern));
        writeBytes(m_dir.path() / "P100.BMP", test::makeBmp24(100, 80, test::testPattern));
    }

    QSize screenSize() const { return m_main.screen()->geometry().size(); }

    TempDir m_dir;
    bool m_lowRes = false;
    QWidget m_main;
    PictureWindow m_window{&m_main};
};

TEST_F(PictureWindowTest, FixedPropertiesAtCreation) {
    EXPECT_EQ(m_window.objectName(), "pictureWindow");
    EXPECT_EQ(m_window.windowTitle(), "Graphic(VRK Browser)");
    EXPECT_TRUE(m_window.isWindow());
    EXPECT_TRUE(m_window.isHidden());
    const Qt::WindowFlags flags = m_window.windowFlags();
    EXPECT_TRUE(flags.testFlag(Qt::CustomizeWindowHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowTitleHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowSystemMenuHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowCloseButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_EQ(m_window.size(), QSize(213, 36));
    EXPECT_EQ(m_window.minimumSize(), m_window.maximumSize());  // not resizable
    EXPECT_TRUE(m_window.pictureBitmap().empty());
}

TEST_F(PictureWindowTest, ShowsThePictureAtItsNaturalSize) {
    ASSERT_TRUE(m_window.showPicture("p320.bmp"));
    EXPECT_TRUE(m_window.isVisible());
    EXPECT_EQ(m_window.size(), QSize(320, 200));
    EXPECT_EQ(m_window.minimumSize(), m_window.maximumSize());
    const QImage shown = m_window.grab().toImage();
    for (const auto& [x, y] : {std::pair{0, 0}, std::pair{319, 0}, std::pair{17, 123}, std::pair{319, 199}}) {
        const Rgb c = test::testPattern(x, y);
        EXPECT_EQ(shown.pixel(x, y), qRgb(c.r, c.g, c.b)) << x << "," << y;
    }
}

TEST_F(PictureWindowTest, MissingPictureChangesNothing) {
    EXPECT_FALSE(m_window.showPicture("NONE.BMP"));
    EXPECT_TRUE(m_window.isHidden());
    EXPECT_EQ(m_window.size(), QSize(213, 36));
    ASSERT_TRUE(m_window.showPicture("P100.BMP"));
    const QPoint placed = m_window.pos();
    EXPECT_FALSE(m_window.showPicture("NONE.BMP"));
    EXPECT_TRUE(m_window.isVisible());
    EXPECT_EQ(m_window.size(), QSize(100, 80));
    EXPECT_EQ(m_window.pos(), placed);
}

TEST_F(PictureWindowTest, PictureTallerThanTheScreenIsCutToIt) {
    const QSize screen = screenSize();
    writeBytes(m_dir.path() / "TALL.BMP", test::makeBmp24(50, screen.height() + 100, test::testPattern));
    ASSERT_TRUE(m_window.showPicture("TALL.BMP"));
    EXPECT_EQ(m_window.frameGeometry().height(), screen.height());
    EXPECT_EQ(m_window.width(), 50);
    EXPECT_EQ(m_window.pictureBitmap().height(), screen.height() + 100);  // cut, not scaled
}

TEST_F(PictureWindowTest, PlacedBesideTheMainWindowWhenItAppears) {
    // Outer rectangles (frames included, whatever the platform draws) go into the rules.
    auto expectedPosition = [this] {
        const QRect main = m_main.frameGeometry();
        const QSize screen = screenSize();
        const QSize outer = m_window.frameGeometry().size();
        const Point at =
            pictureWindowPosition(Rect{main.left(), main.top(), main.right() + 1, main.bottom() + 1},
                                  Size{outer.width(), outer.height()}, Size{screen.width(), screen.height()});
        return QPoint(at.x, at.y);
    };
    // Main window at the top-left corner: nothing fits left or above it.
    ASSERT_TRUE(m_window.showPicture("P100.BMP"));
    EXPECT_EQ(m_window.frameGeometry().topLeft(), expectedPosition());
    EXPECT_GE(m_window.frameGeometry().left(), m_main.frameGeometry().right());  // rule 3: right of it
    // A second picture on the same page resizes the window without moving it.
    m_window.move(123, 45);
    ASSERT_TRUE(m_window.showPicture("P320.BMP"));
    EXPECT_EQ(m_window.pos(), QPoint(123, 45));
    EXPECT_EQ(m_window.size(), QSize(320, 200));
    // Hidden and shown again: placed anew, now left of the main window (rule 1).
    m_window.hidePicture();
    m_main.move(400, 300);
    ASSERT_TRUE(m_window.showPicture("P100.BMP"));
    EXPECT_EQ(m_window.frameGeometry().topLeft(), expectedPosition());
    EXPECT_EQ(m_window.frameGeometry().right() + 1, m_main.frameGeometry().left());
    EXPECT_EQ(m_window.frameGeometry().top(), m_main.frameGeometry().top());
}

TEST_F(PictureWindowTest, DoubleClickAndHidePictureHideIt) {
    ASSERT_TRUE(m_window.showPicture("P100.BMP"));
    QMouseEvent click(QEvent::MouseButtonDblClick, QPointF(5, 5), m_window.mapToGlobal(QPointF(5, 5)),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&m_window, &click);
    EXPECT_TRUE(m_window.isHidden());
    EXPECT_EQ(m_window.pictureBitmap().width(), 100);  // the picture stays until the next load
    ASSERT_TRUE(m_window.showPicture("P320.BMP"));
    m_window.hidePicture();
    EXPECT_TRUE(m_window.isHidden());
    EXPECT_EQ(m_window.pictureBitmap().width(), 320);
}

TEST_F(PictureWindowTest, KeysDoNothing) {
    ASSERT_TRUE(m_window.showPicture("P100.BMP"));
    QKeyEvent key(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(&m_window, &key);
    EXPECT_TRUE(key.isAccepted());
    EXPECT_TRUE(m_window.isVisible());
}

TEST_F(PictureWindowTest, LowResOptionIsAskedAtEachShow) {
    writeBytes(m_dir.path() / "J.JPG", test::makeJpeg(40, 30, test::testPattern));
    ASSERT_TRUE(m_window.showPicture("J.BMP"));
    EXPECT_EQ(m_window.pictureBitmap().format(), PixelFormat::Rgb24);
    m_lowRes = true;
    ASSERT_TRUE(m_window.showPicture("J.BMP"));
    EXPECT_EQ(m_window.pictureBitmap().format(), PixelFormat::Indexed8);
    EXPECT_EQ(m_window.size(), QSize(40, 30));
}

}  // namespace
}  // namespace vrk::pictures
