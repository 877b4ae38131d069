// The windows under a real window manager (openbox on a virtual X server, see
// with_window_manager.sh): frames and title bars, where the windows land, full screen as the
// window manager knows it. Offscreen there is no frame and no window manager to ask.

#include <gtest/gtest.h>

#include <QApplication>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QTest>
#include <functional>
#include <memory>
#include <optional>

#include "app/qt/main_window.h"
#include "app/settings_file.h"
#include "pictures/qt/picture_window.h"
#include "ui_test_support.h"

namespace vrk::app {
namespace {

using ui_test::TestProject;

// The window manager's state of a window, as xprop shows it.
QString netWmState(QWidget& window) {
    QProcess xprop;
    xprop.start(QStringLiteral("xprop"),
                {QStringLiteral("-id"), QString::number(window.winId()), QStringLiteral("_NET_WM_STATE")});
    xprop.waitForFinished(5000);
    return QString::fromLocal8Bit(xprop.readAllStandardOutput());
}

std::string describe(const QWidget& window) {
    const QRect frame = window.frameGeometry();
    const QRect client = window.geometry();
    return QStringLiteral("frame %1,%2 %3x%4 client %5,%6 %7x%8")
        .arg(frame.x())
        .arg(frame.y())
        .arg(frame.width())
        .arg(frame.height())
        .arg(client.x())
        .arg(client.y())
        .arg(client.width())
        .arg(client.height())
        .toStdString();
}

bool fullScreenState(QWidget& window) {
    return netWmState(window).contains(QStringLiteral("_NET_WM_STATE_FULLSCREEN"));
}

// Shown, and framed by the window manager (the frame is known once it has been reported).
// Every wait on the window manager is generous: on a loaded machine (the rest of the suite builds and runs
// beside these tests) the window manager may take seconds to map and frame a window; a working one always
// does.
constexpr int kFramingTimeoutMs = 20000;

bool waitFor(const std::function<bool()>& done) {
    return ui_test::waitFor(done, kFramingTimeoutMs);
}

bool waitUntilFramed(QWidget& window) {
    return QTest::qWaitForWindowExposed(&window, kFramingTimeoutMs) &&
           waitFor([&] { return window.frameGeometry().top() < window.geometry().top(); });
}

// Lets the window manager answer whatever it was asked and the window settle.
void settle(int ms = 300) {
    QTest::qWait(ms);
}

QString run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(5000);
    return QString::fromLocal8Bit(process.readAllStandardOutput());
}

// The frame as the X server has it, in device pixels: the client window's place and the frame
// extents the window manager announces. Qt's own idea of the frame is what is under test.
struct XFrame {
    QRect outer;
    int titleHeight = 0;
};

std::optional<XFrame> xFrame(QWidget& window) {
    const QString id = QString::number(window.winId());
    const QString info = run(QStringLiteral("xwininfo"), {QStringLiteral("-id"), id});
    const auto number = [&](const char* label) {
        const QRegularExpressionMatch m =
            QRegularExpression(QString::fromLatin1(label) + QStringLiteral(":\\s*(-?\\d+)")).match(info);
        return m.hasMatch() ? m.captured(1).toInt() : 0;
    };
    if (!info.contains(QStringLiteral("IsViewable"))) {
        return std::nullopt;
    }
    const QRegularExpressionMatch extents =
        QRegularExpression(QStringLiteral("= (\\d+), (\\d+), (\\d+), (\\d+)"))
            .match(run(QStringLiteral("xprop"),
                       {QStringLiteral("-id"), id, QStringLiteral("_NET_FRAME_EXTENTS")}));
    if (!extents.hasMatch()) {
        return std::nullopt;
    }
    const int left = extents.captured(1).toInt();
    const int right = extents.captured(2).toInt();
    const int top = extents.captured(3).toInt();
    const int bottom = extents.captured(4).toInt();
    const QRect client(number("Absolute upper-left X"), number("Absolute upper-left Y"), number("Width"),
                       number("Height"));
    return XFrame{client.adjusted(-left, -top, right, bottom), top};
}

// The screen in device pixels.
QRect deviceScreen(const QWidget& window) {
    const QScreen* screen = window.screen();
    const QRect g = screen->geometry();
    const double ratio = screen->devicePixelRatio();
    return QRect(qRound(g.x() * ratio), qRound(g.y() * ratio), qRound(g.width() * ratio),
                 qRound(g.height() * ratio));
}

// Whether the window manager has framed the window, with a title bar.
bool waitUntilXFramed(QWidget& window) {
    return waitFor([&] {
        const std::optional<XFrame> frame = xFrame(window);
        return frame && frame->titleHeight > 0;
    });
}

// Whether the whole title bar is on the screen, as the X server has it.
bool titleBarOnScreen(QWidget& window) {
    const std::optional<XFrame> frame = xFrame(window);
    if (!frame || frame->titleHeight <= 0) {
        return false;
    }
    const QRect bar(frame->outer.topLeft(), QSize(frame->outer.width(), frame->titleHeight));
    return deviceScreen(window).contains(bar);
}

// Whether two windows' frames overlap, as the X server has them.
bool framesOverlap(QWidget& a, QWidget& b) {
    const std::optional<XFrame> first = xFrame(a);
    const std::optional<XFrame> second = xFrame(b);
    return !first || !second || first->outer.intersects(second->outer);
}

// A window small enough for the screen at any scale the tests run at, with its frame's corner
// at (left, top).
Settings smallWindowAt(int left, int top) {
    Settings settings;
    settings.left = left;
    settings.top = top;
    settings.width = MainWindow::kMinWidth;
    settings.height = MainWindow::kMinHeight;
    return settings;
}

class WindowManagerTest : public ::testing::Test {
protected:
    std::unique_ptr<MainWindow> makeWindow(const Settings& settings) {
        return std::make_unique<MainWindow>(m_project.programDir(), settings);
    }
    // One run of the window as a reader has it: made from the settings, the project opened
    // through the slot picker, then shown, then closed; the settings it keeps.
    Settings openAndClose(const Settings& settings) {
        auto window = makeWindow(settings);
        ui_test::ModalDriver driver;
        window->setProject(m_project.projectDir(), "tale");
        driver.expect([](QWidget* box) { ui_test::click(ui_test::child<QPushButton>(box, "okButton")); });
        window->openThenShow();
        EXPECT_TRUE(waitUntilFramed(*window));
        settle();
        window->close();
        return window->currentSettings();
    }

    TestProject m_project;
};

TEST_F(WindowManagerTest, F11IsTheWindowManagersFullScreenAndComesBackToTheWindow) {
    auto window = makeWindow(smallWindowAt(40, 30));
    window->show();
    ASSERT_TRUE(waitUntilFramed(*window));
    settle();
    const QRect client = window->geometry();
    const QRect frame = window->frameGeometry();
    EXPECT_FALSE(fullScreenState(*window));

    QTest::keyClick(window.get(), Qt::Key_F11);
    ASSERT_TRUE(window->fullScreenView());
    const QRect screen = window->screen()->geometry();
    EXPECT_TRUE(waitFor([&] { return fullScreenState(*window) && window->geometry() == screen; }))
        << netWmState(*window).toStdString() << " geometry " << window->geometry().x() << ","
        << window->geometry().y() << " " << window->geometry().width() << "x" << window->geometry().height();
    // It stays so: nothing the window does afterwards ends the window manager's full screen.
    settle(500);
    EXPECT_TRUE(fullScreenState(*window)) << netWmState(*window).toStdString();
    EXPECT_EQ(window->geometry(), screen);
    EXPECT_EQ(window->frameGeometry(), screen);  // no title bar, no border
    // The choice buttons are on the screen.
    const QPushButton* button = window->choiceButton(1);
    EXPECT_TRUE(screen.contains(QRect(button->mapToGlobal(QPoint(0, 0)), button->size())));
    // The settings keep the window's place, not the screen's.
    EXPECT_EQ(window->currentSettings().left, 40);
    EXPECT_EQ(window->currentSettings().top, 30);

    QTest::keyClick(window.get(), Qt::Key_F11);
    ASSERT_FALSE(window->fullScreenView());
    EXPECT_TRUE(waitFor([&] {
        return !fullScreenState(*window) && window->geometry() == client && window->frameGeometry() == frame;
    })) << netWmState(*window).toStdString();
    settle(500);
    EXPECT_EQ(window->geometry(), client) << describe(*window);
    EXPECT_EQ(window->frameGeometry(), frame) << describe(*window);
    EXPECT_EQ(window->currentSettings().left, 40);
    EXPECT_EQ(window->currentSettings().top, 30);
}

TEST_F(WindowManagerTest, TheStoredCornerIsTheFramesAndTheTitleBarIsOnTheScreen) {
    // Shown at once (no project), and shown after the slot picker of a project named on the
    // command line, which makes the window before it is shown.
    for (const bool withProject : {false, true}) {
        SCOPED_TRACE(withProject ? "after the slot picker" : "shown at once");
        auto window = makeWindow(Settings{});  // TOP=0 LEFT=0
        ui_test::ModalDriver driver;
        if (withProject) {
            window->setProject(m_project.projectDir(), "tale");
            driver.expect([](QWidget* box) { ui_test::click(ui_test::child<QPushButton>(box, "okButton")); });
            window->openThenShow();
        } else {
            window->show();
        }
        ASSERT_TRUE(waitUntilFramed(*window));
        settle();
        EXPECT_EQ(window->frameGeometry().topLeft(), QPoint(0, 0)) << describe(*window);
        EXPECT_GT(window->geometry().top(), 0);
        EXPECT_TRUE(titleBarOnScreen(*window));
        window->close();
        EXPECT_EQ(window->currentSettings().left, 0);
        EXPECT_EQ(window->currentSettings().top, 0);
    }

    // A stored corner elsewhere is the frame's too.
    const Settings kept = openAndClose(smallWindowAt(100, 50));
    EXPECT_EQ(kept.left, 100);
    EXPECT_EQ(kept.top, 50);
}

TEST_F(WindowManagerTest, APositionOffEveryScreenBringsTheTitleBarBack) {
    struct Case {
        int left;
        int top;
        int width;
        int height;
    };
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    for (const Case& c : {Case{0, -500, 620, 480}, Case{99999, 0, 620, 480}, Case{-99999, -99999, 620, 480},
                          Case{200, 99999, 620, 480},
                          // As tall as the screen: the frame's own height has to fit as well.
                          Case{0, 0, 620, area.height()}, Case{-30, -15, area.width(), area.height()}}) {
        SCOPED_TRACE(testing::Message() << c.left << "," << c.top << " " << c.width << "x" << c.height);
        Settings settings;
        settings.left = c.left;
        settings.top = c.top;
        settings.width = c.width;
        settings.height = c.height;
        auto window = makeWindow(settings);
        window->show();
        ASSERT_TRUE(waitUntilFramed(*window));
        settle();
        EXPECT_TRUE(titleBarOnScreen(*window)) << describe(*window);
        EXPECT_TRUE(area.contains(window->frameGeometry())) << describe(*window);
        window->close();
        // What the file gets is where the window came to be.
        EXPECT_EQ(window->currentSettings().left, window->frameGeometry().left());
        EXPECT_EQ(window->currentSettings().top, window->frameGeometry().top());
    }
}

TEST_F(WindowManagerTest, OpeningAndClosingKeepsThePlaceExactly) {
    // Run with QT_SCALE_FACTOR=2 as well: a frame of an odd number of device pixels is half a
    // pixel in the window's own.
    for (const QPoint corner : {QPoint(0, 0), QPoint(1, 1), QPoint(37, 23), QPoint(101, 77)}) {
        SCOPED_TRACE(testing::Message() << corner.x() << "," << corner.y());
        Settings settings = smallWindowAt(corner.x(), corner.y());
        for (int run = 0; run < 3; ++run) {
            settings = openAndClose(settings);
            EXPECT_EQ(settings.left, corner.x()) << "run " << run;
            EXPECT_EQ(settings.top, corner.y()) << "run " << run;
            EXPECT_EQ(settings.width, MainWindow::kMinWidth);
            EXPECT_EQ(settings.height, MainWindow::kMinHeight);
        }
    }
}

TEST_F(WindowManagerTest, ThePictureWindowsTitleBarIsOnTheScreen) {
    for (const QPoint corner : {QPoint(0, 0), QPoint(300, 0), QPoint(0, 200)}) {
        SCOPED_TRACE(testing::Message() << corner.x() << "," << corner.y());
        auto window = makeWindow(smallWindowAt(corner.x(), corner.y()));
        window->show();
        ASSERT_TRUE(waitUntilFramed(*window));
        settle();
        pictures::PictureWindow& picture = window->pictureWindow();
        picture.setLoadOptions([this] {
            return pictures::PictureLoadOptions{m_project.projectDir(), false};
        });
        ASSERT_TRUE(picture.showPicture("pic.bmp"));
        ASSERT_TRUE(waitUntilXFramed(picture));
        settle();
        EXPECT_TRUE(titleBarOnScreen(picture)) << describe(picture) << " beside " << describe(*window);
        EXPECT_FALSE(framesOverlap(picture, *window)) << describe(picture) << " beside " << describe(*window);
        // Hidden and shown again: placed anew, and still with its title bar on the screen.
        picture.hidePicture();
        settle();
        ASSERT_TRUE(picture.showPicture("pic.bmp"));
        ASSERT_TRUE(waitUntilXFramed(picture));
        settle();
        EXPECT_TRUE(titleBarOnScreen(picture)) << describe(picture) << " beside " << describe(*window);
        EXPECT_FALSE(framesOverlap(picture, *window)) << describe(picture) << " beside " << describe(*window);
        window->close();
    }
}

}  // namespace
}  // namespace vrk::app
