#include <gtest/gtest.h>

#include <QApplication>
#include <QGroupBox>
#include <QMainWindow>
#include <QMenuBar>
#include <QPixmapCache>
#include <QRadioButton>
#include <QStyleFactory>
#include <QVBoxLayout>
#include <fstream>
#include <iterator>
#include <string>

#include "app/qt/start_up_style.h"

namespace vrk::app {
namespace {

// Whether an image-format plugin (gif, jpeg, ...) is mapped into this process.
bool imagePluginLoaded() {
    std::ifstream maps("/proc/self/maps");
    const std::string text((std::istreambuf_iterator<char>(maps)), std::istreambuf_iterator<char>());
    return text.find("/imageformats/") != std::string::npos;
}

QImage groupBoxPixels() {
    QGroupBox box(QStringLiteral(" Select File "));
    auto* layout = new QVBoxLayout(&box);
    layout->addWidget(new QRadioButton(QStringLiteral("1"), &box));
    box.resize(160, 90);
    return box.grab().toImage();
}

// The application style for one test, then the one before it again.
class StartUpStyleTest : public ::testing::Test {
protected:
    StartUpStyleTest() : m_before(QApplication::style()->name()) {}
    ~StartUpStyleTest() override { QApplication::setStyle(QStyleFactory::create(m_before)); }

    QString m_before;
};

TEST_F(StartUpStyleTest, AMenuWindowAndAGroupBoxComeUpWithoutImagePlugins) {
    if (imagePluginLoaded()) {
        GTEST_SKIP() << "an earlier test in this process loaded the image plugins; run this test alone";
    }
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    installStartUpStyle();
    QMainWindow window;
    window.menuBar()->addMenu(QStringLiteral("ファイル(&F)"));
    auto* box = new QGroupBox(QStringLiteral(" Select File "), &window);
    window.setCentralWidget(box);
    window.resize(320, 240);
    window.grab();
    EXPECT_FALSE(imagePluginLoaded());
}

TEST_F(StartUpStyleTest, TheGroupBoxFrameReadAheadIsTheOneFusionReads) {
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QPixmapCache::clear();
    const QImage fusionsOwn = groupBoxPixels();
    QPixmapCache::clear();
    ASSERT_TRUE(primeGroupBoxFrame());
    EXPECT_EQ(groupBoxPixels(), fusionsOwn);
}

TEST_F(StartUpStyleTest, TheOverflowArrowsAreTheBaseStylesWhenDrawn) {
    StartUpStyle style(QStringLiteral("Fusion"));
    for (const auto which :
         {QStyle::SP_ToolBarHorizontalExtensionButton, QStyle::SP_ToolBarVerticalExtensionButton}) {
        const QIcon deferred = style.standardIcon(which);
        const QIcon base = style.baseStyle()->standardIcon(which);
        ASSERT_FALSE(deferred.isNull()) << which;
        EXPECT_EQ(deferred.availableSizes(), base.availableSizes()) << which;
        for (const qreal ratio : {1.0, 2.0}) {
            const QPixmap got = deferred.pixmap(QSize(16, 16), ratio);
            const QPixmap want = base.pixmap(QSize(16, 16), ratio);
            EXPECT_EQ(got.size(), want.size()) << which << " at " << ratio;
            EXPECT_EQ(got.devicePixelRatio(), want.devicePixelRatio()) << which << " at " << ratio;
            EXPECT_EQ(got.toImage(), want.toImage()) << which << " at " << ratio;
        }
        // A copy draws the same.
        const QIcon copy = deferred;
        QIcon detached = copy;
        detached.detach();
        EXPECT_EQ(detached.pixmap(QSize(16, 16)).toImage(), base.pixmap(QSize(16, 16)).toImage()) << which;
    }
    // Every other icon is the base style's own.
    EXPECT_EQ(style.standardIcon(QStyle::SP_ArrowUp).pixmap(16).toImage(),
              style.baseStyle()->standardIcon(QStyle::SP_ArrowUp).pixmap(16).toImage());
}

}  // namespace
}  // namespace vrk::app
