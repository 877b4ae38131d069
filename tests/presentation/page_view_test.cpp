#include "presentation/qt/page_view.h"

#include <QElapsedTimer>
#include <QPainter>
#include <QScrollBar>

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QWheelEvent>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace vrk::presentation {
namespace {

// The session's own measurer stands unused: the view gives it the grid of its font.
app::ScaledMeasurer viewMeasurer() {
    return [](double) { return std::make_unique<QtTextMeasurer>(QFont()); };
}

const std::string kKanji = "\x8a\xbf";  // U+6F22 漢
const QRgb kBackground = qRgb(0, 0, 200);

// A view over a story with n lines of four kanji, 20-pixel IPAGothic (cells of 10, lines of 24),
// the timer stopped so that only the test ticks.
class PageViewTest : public testing::Test {
protected:
    void SetUp() override {
        // Sounds' notices come through the event loop, as in the window; the timer is not needed
        // for them.
        m_session.setNoticePoster([this](std::function<void()> task) {
            QMetaObject::invokeMethod(&m_view, std::move(task), Qt::QueuedConnection);
        });
        m_view.setRevealTimerActive(false);
        QFont font(QStringLiteral("IPAGothic"));
        font.setPixelSize(20);
        m_view.setTextFont(font);
        m_view.setBackgroundPainter([this](QPainter& painter, const QRect& area) {
            ++m_backgroundPaints;
            painter.fillRect(area, QColor(kBackground));
        });
        m_view.setEnableChoices([this] { ++m_enables; });
        m_view.resize(416, 310);
        m_view.show();  // offscreen; a hidden widget would get its resize events only when shown
    }

    void showPage(int lines) {
        m_story.page.pageText.assign(static_cast<std::size_t>(lines), kKanji + kKanji + kKanji + kKanji);
        m_view.restartReveal();
        m_story.page.layoutDirty = true;
        m_view.refreshPage();
    }

    bool textShownAt(const QRect& area) const {
        for (int y = area.top(); y <= area.bottom(); ++y) {
            for (int x = area.left(); x <= area.right(); ++x) {
                if (m_view.backBuffer().pixel(x, y) != kBackground) {
                    return true;
                }
            }
        }
        return false;
    }

    app::ReadingSession m_session{std::filesystem::temp_directory_path(), viewMeasurer()};
    interpreter::EngineState& m_story = m_session.story();
    PageView m_view{m_session};
    int m_backgroundPaints = 0;
    int m_enables = 0;
};

TEST_F(PageViewTest, RevealsOneStepPerTickOverTheBackground) {
    m_view.setRevealSpeed(1);
    showPage(2);
    const int lineHeight = m_view.metrics().lineHeight;
    EXPECT_GT(m_backgroundPaints, 0);
    EXPECT_FALSE(textShownAt({0, 0, 400, 2 * lineHeight}));
    m_view.onRevealTick();
    EXPECT_TRUE(textShownAt({1, 0, 20, lineHeight}));
    EXPECT_FALSE(textShownAt({30, 0, 60, lineHeight}));
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(m_enables, 0);
        m_view.onRevealTick();
    }
    EXPECT_FALSE(m_view.revealing());
    EXPECT_EQ(m_enables, 1);
    EXPECT_TRUE(textShownAt({1, lineHeight, 80, lineHeight}));
}

TEST_F(PageViewTest, ClickFinishesThePageAndNothingWithoutText) {
    m_view.completePageOnClick();
    EXPECT_EQ(m_enables, 0);
    showPage(3);
    EXPECT_TRUE(m_view.revealing());
    m_view.completePageOnClick();
    EXPECT_FALSE(m_view.revealing());
    EXPECT_EQ(m_enables, 1);
    EXPECT_TRUE(textShownAt({1, 2 * m_view.metrics().lineHeight, 80, 20}));
}

TEST_F(PageViewTest, ScrollRangeAndSnappedThumb) {
    showPage(3);
    EXPECT_FALSE(m_view.scrollBar()->isEnabled());
    showPage(40);
    const int lineHeight = m_view.metrics().lineHeight;
    EXPECT_EQ(m_view.visibleHeight(), lineHeight * (310 / lineHeight));
    EXPECT_TRUE(m_view.scrollBar()->isEnabled());
    EXPECT_EQ(m_view.scrollBar()->maximum(),
              m_view.textImage().height() + lineHeight - m_view.visibleHeight());
    EXPECT_EQ(m_view.scrollBar()->pageStep(), m_view.visibleHeight());
    // Dragging shows the page at the thumb's own position; releasing lands on a whole line.
    m_view.completePageOnClick();
    const int midLine = 5 * lineHeight + lineHeight / 2;
    m_view.scrollBar()->setValue(midLine);
    int compared = 0;
    for (int x = 0; x < m_view.textImage().width() && x + 1 < 400; ++x) {
        if (m_view.maskImage().pixel(x, midLine) == qRgb(0, 0, 0)) {
            ASSERT_EQ(m_view.backBuffer().pixel(x + 1, 0), m_view.textImage().pixel(x, midLine)) << x;
            ++compared;
        }
    }
    EXPECT_GT(compared, 0);
    m_view.snapScrollThumb();
    EXPECT_EQ(m_view.scrollBar()->value(), 5 * lineHeight);
}

TEST_F(PageViewTest, WheelOverThePageScrollsIt) {
    const auto wheel = [this](int delta) {
        QWheelEvent event(QPointF(50, 50), m_view.mapToGlobal(QPointF(50, 50)), QPoint(), QPoint(0, delta),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(&m_view, &event);
    };
    showPage(3);
    wheel(-120);
    EXPECT_EQ(m_view.scrollBar()->value(), 0);  // nothing to scroll
    showPage(40);
    wheel(-120);
    EXPECT_GT(m_view.scrollBar()->value(), 0);
    wheel(240);
    EXPECT_EQ(m_view.scrollBar()->value(), 0);
}

TEST(PageViewShowingTest, WhatChangesWhileHiddenIsPaintedOnceOnShowing) {
    // A window applies its settings before it has its size: painting each of them would be
    // thrown away.
    app::ReadingSession session(std::filesystem::temp_directory_path(), viewMeasurer());
    PageView view(session);
    int paints = 0;
    view.setBackgroundPainter([&paints](QPainter& painter, const QRect& area) {
        ++paints;
        painter.fillRect(area, QColor(kBackground));
    });
    QFont font(QStringLiteral("IPAGothic"));
    font.setPixelSize(20);
    view.setTextFont(font);
    view.setLineGapTenths(15);
    view.repaintPage();
    view.resize(200, 150);
    EXPECT_EQ(paints, 0);
    view.show();
    EXPECT_EQ(paints, 1);
    ASSERT_EQ(view.backBuffer().size(), QSize(200, 150));
    EXPECT_EQ(view.backBuffer().pixel(100, 75), kBackground);
    view.setLineGapTenths(12);  // shown: at once
    EXPECT_EQ(paints, 2);
}

TEST(PageViewShowingTest, APageIsPaintedWhileHiddenSoItIsReadyWhenShown) {
    app::ReadingSession session(std::filesystem::temp_directory_path(), viewMeasurer());
    interpreter::EngineState& story = session.story();
    PageView view(session);
    view.setRevealTimerActive(false);
    view.setBackgroundPainter(
        [](QPainter& painter, const QRect& area) { painter.fillRect(area, QColor(kBackground)); });
    QFont font(QStringLiteral("IPAGothic"));
    font.setPixelSize(20);
    view.setTextFont(font);
    view.resize(200, 150);
    story.page.pageText.assign(2, kKanji + kKanji);
    view.restartReveal();
    story.page.layoutDirty = true;
    view.refreshPage();
    view.finishPage();  // the whole page, still hidden
    int text = 0;
    for (int y = 0; y < 50; ++y) {
        for (int x = 0; x < 60; ++x) {
            text += view.backBuffer().pixel(x, y) != kBackground;
        }
    }
    EXPECT_GT(text, 20);
}

TEST_F(PageViewTest, LongPageRendersOnlyBandsNearTheView) {
    showPage(2000);
    m_view.completePageOnClick();
    QCoreApplication::processEvents();  // the idle turns that render a band ahead
    const std::size_t screenBands = 310 / PageBands::kBandRows + 2;
    EXPECT_LE(m_view.bands().bandCount(), screenBands + 2);
    m_view.scrollBar()->setValue(m_view.scrollBar()->maximum());
    for (int i = 0; i < 20; ++i) {
        QCoreApplication::processEvents();
    }
    EXPECT_LE(m_view.bands().bandCount(), 3 * screenBands);
    // The last lines are on screen as the whole page has them.
    const int position = m_view.scrollBar()->value();
    const int row = m_view.textImage().height() - m_view.metrics().lineHeight;
    int compared = 0;
    for (int x = 0; x < 80; ++x) {
        if (m_view.maskImage().pixel(x, row) == qRgb(0, 0, 0)) {
            ASSERT_EQ(m_view.backBuffer().pixel(x + 1, row - position), m_view.textImage().pixel(x, row));
            ++compared;
        }
    }
    EXPECT_GT(compared, 0);
}

TEST_F(PageViewTest, RevealScrollsAtTheButtonBand) {
    m_view.setRevealSpeed(1);
    showPage(40);
    const int lineHeight = m_view.metrics().lineHeight;
    int ticks = 0;
    while (m_view.scrollBar()->value() == 0 && ticks < 400) {
        m_view.onRevealTick();
        ++ticks;
    }
    EXPECT_EQ(m_view.scrollBar()->value(), lineHeight);
    // The step that scrolled is on the line that now sits just above the band.
    const int line = (m_view.reveal().step(m_view.reveal().revealCount()) - 1) / m_view.layout().columns;
    EXPECT_GE(line * lineHeight, m_view.visibleHeight() - kButtonBandHeight);
    EXPECT_TRUE(textShownAt({1, line * lineHeight - lineHeight, 20, lineHeight}));
}

TEST_F(PageViewTest, ResizeKeepsTheUncoveredProportion) {
    showPage(10);  // 40 steps
    for (int i = 0; i < 39; ++i) {
        m_view.onRevealTick();
    }
    const int shown = m_view.reveal().revealCount();
    m_view.resize(256, 310);  // 11 columns: every line now fits on one display line still
    EXPECT_EQ(m_view.layout().columns, 11);
    EXPECT_EQ(m_view.reveal().revealCount(), m_view.revealTotal() * shown / 40);
    EXPECT_EQ(m_view.scrollBar()->value(), 0);
}

TEST_F(PageViewTest, NonstopShowsWholePagesAndSleepsInWaits) {
    showPage(3);
    m_story.options.revealAtOnce = true;
    m_view.setNonstop(true);
    EXPECT_FALSE(m_view.revealing());
    EXPECT_EQ(m_enables, 1);
    showPage(4);
    EXPECT_FALSE(m_view.revealing());
    QElapsedTimer clock;
    clock.start();
    m_session.waitTicks(2);  // as a page run waits after a sound effect
    EXPECT_GE(clock.elapsed(), 120);
    EXPECT_EQ(m_session.holdTicks(), 0);

    m_story.options.revealAtOnce = false;
    m_view.setNonstop(false);
    showPage(4);
    EXPECT_TRUE(m_view.revealing());
    // Without nonstop the wait holds the reveal back for two ticks instead; the third steps.
    m_session.waitTicks(2);
    m_view.onRevealTick();
    m_view.onRevealTick();
    EXPECT_EQ(m_session.holdTicks(), 0);
    EXPECT_EQ(m_view.reveal().revealCount(), 0);
    m_view.onRevealTick();
    EXPECT_GE(m_view.reveal().revealCount(), 1);
}

// A complete page on show must not wake the program 18 times a second; the timer comes back for
// the next page, for a wait on a complete page, and when nonstop is switched off mid-page.
TEST_F(PageViewTest, RevealTimerSleepsWhileNothingIsLeftToCount) {
    m_view.setRevealTimerActive(true);
    EXPECT_FALSE(m_view.revealTimerTicking());  // no page yet
    showPage(2);
    EXPECT_TRUE(m_view.revealTimerTicking());
    while (m_view.revealing()) {
        m_view.onRevealTick();
    }
    EXPECT_EQ(m_enables, 1);
    EXPECT_FALSE(m_view.revealTimerTicking());
    EXPECT_TRUE(m_view.revealTimerActive());

    QElapsedTimer clock;
    clock.start();
    m_session.waitTicks(2);  // the timer wakes for a pause on a complete page
    m_view.sync();
    EXPECT_TRUE(m_view.revealTimerTicking());
    while (m_session.holdTicks() > 0 && clock.elapsed() < 5000) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    EXPECT_EQ(m_session.holdTicks(), 0);
    EXPECT_GE(clock.elapsed(), 2 * PageView::kTickMs - 10);
    EXPECT_FALSE(m_view.revealTimerTicking());

    showPage(3);
    EXPECT_TRUE(m_view.revealTimerTicking());
    m_view.setRevealTimerActive(false);
    EXPECT_FALSE(m_view.revealTimerTicking());
    m_view.setRevealTimerActive(true);
    EXPECT_TRUE(m_view.revealTimerTicking());
}

}  // namespace
}  // namespace vrk::presentation
