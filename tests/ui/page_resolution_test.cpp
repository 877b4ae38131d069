// The page at the screen's own pixels. Run at QT_SCALE_FACTOR=2 as well (see CMakeLists.txt):
// on a high-density screen the text is drawn at the device's pixels, with an outline and a
// hanging character scaled with it, and lines broken exactly as at one device pixel to a pixel.

#include <gtest/gtest.h>

#include <QPixmap>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QtMath>
#include <map>

#include "app/qt/main_window.h"
#include "presentation/qt/page_view.h"
#include "presentation/qt/text_renderer.h"
#include "ui_test_support.h"

namespace vrk::app {
namespace {

using presentation::PageView;
using ui_test::sjis;
using ui_test::TestProject;

constexpr QRgb kBlack = 0xFF000000u;
// The outline of the story's first text colour (white on navy).
const QRgb kNavy = qRgb(0, 0, 128);

// The most common width of the outline where it runs from the background into a character:
// background, outline pixels, then the character's own.
int commonOutlineWidth(const QImage& text, QRgb outline) {
    std::map<int, int> widths;
    for (int y = 0; y < text.height(); ++y) {
        for (int x = 1; x < text.width(); ++x) {
            if (text.pixel(x - 1, y) != kBlack || text.pixel(x, y) != outline) {
                continue;
            }
            int end = x;
            while (end < text.width() && text.pixel(end, y) == outline) {
                ++end;
            }
            if (end < text.width() && text.pixel(end, y) != kBlack) {
                ++widths[end - x];
            }
            x = end;
        }
    }
    int common = 0;
    for (const auto& [width, count] : widths) {
        if (common == 0 || count > widths[common]) {
            common = width;
        }
    }
    return common;
}

// The bounding box of everything drawn in the rows [top, bottom) of the text image.
QRect inkBox(const QImage& text, int top, int bottom) {
    QRect box;
    for (int y = std::max(0, top); y < std::min(bottom, text.height()); ++y) {
        for (int x = 0; x < text.width(); ++x) {
            if (text.pixel(x, y) != kBlack) {
                box |= QRect(x, y, 1, 1);
            }
        }
    }
    return box;
}

// 2×2 blocks of device pixels that are not all one colour: none when a page drawn at one
// device pixel to a pixel is doubled up.
int mixedBlocks(const QImage& image, const QRect& area) {
    int mixed = 0;
    for (int y = area.top() & ~1; y + 1 <= area.bottom() && y + 1 < image.height(); y += 2) {
        for (int x = area.left() & ~1; x + 1 <= area.right() && x + 1 < image.width(); x += 2) {
            const QRgb p = image.pixel(x, y);
            if (image.pixel(x + 1, y) != p || image.pixel(x, y + 1) != p || image.pixel(x + 1, y + 1) != p) {
                ++mixed;
            }
        }
    }
    return mixed;
}

// First "。" alone, then lines of 10 to 14 full-width spaces each ending in "。": whichever is as
// long as the window's columns ends with the "。" hanging past them, and nothing else inks it.
std::vector<TestProject::ExtraLabel> hangingPage() {
    std::vector<std::string> lines = {sjis("。")};
    for (int n = 10; n <= 14; ++n) {
        std::string line;
        for (int k = 0; k < n; ++k) {
            line += sjis("　");
        }
        lines.push_back(line + sjis("。"));
    }
    lines.insert(lines.end(), {"?END", "HANG"});
    return {{"HANG", lines}};
}

class PageResolutionTest : public ::testing::Test {
protected:
    PageResolutionTest() : m_project(hangingPage(), "HANG"), m_window(m_project.programDir(), Settings{}) {
        m_window.show();
    }

    void open() {
        m_window.setProject(m_project.projectDir(), "tale");
        m_driver.expect([](QWidget* box) { ui_test::click(ui_test::child<QPushButton>(box, "okButton")); });
        ASSERT_TRUE(m_window.openProject());
        m_window.pageView().finishPage();
    }

    // The display line that ends with the hanging "。": its row.
    int hangingRow() {
        const presentation::PageLayout& layout = m_window.pageView().layout();
        for (const presentation::DisplayLine& line : layout.lines) {
            if (line.bytesSjis.size() == static_cast<std::size_t>(2 * layout.columns + 2)) {
                return line.row;
            }
        }
        return -1;
    }

    // The hanging "。" is whole (as large as the one at the start of the page) and on show left of
    // the scroll bar, drawn as the page's image has it.
    void expectHangingCharacterVisible() {
        PageView& page = m_window.pageView();
        const int row = hangingRow();
        ASSERT_GE(row, 0) << "no line hangs at " << page.layout().columns << " columns";
        const QImage text = page.textImage();
        const int lineHeight = page.metrics().lineHeight;
        const QRect alone = inkBox(text, 0, lineHeight);
        const QRect hanging = inkBox(text, row * lineHeight, (row + 1) * lineHeight);
        ASSERT_FALSE(alone.isEmpty());
        EXPECT_EQ(hanging.size(), alone.size());
        EXPECT_LT(hanging.right(), text.width() - 1);  // not cut at the image's edge
        // Where it lands on the view's device pixels (the page's images go one pixel in).
        const double ratio = page.devicePixelRatioF();
        const QPoint corner(qRound(page.pageFrame().left() * ratio), qRound(page.pageFrame().top() * ratio));
        const QRect shown = hanging.translated(corner + QPoint(1, -page.scrollBar()->value()));
        const int scrollBarLeft = qRound(page.scrollBar()->geometry().left() * ratio);
        EXPECT_LT(shown.right(), scrollBarLeft) << "the hanging character reaches under the scroll bar";
        // On the screen as in the image: every outline pixel of it is there (looked for a little
        // around where it should be: the frame's corner rounds to a view pixel).
        const QImage screen = page.grab().toImage();
        const auto navyIn = [](const QImage& image, const QRect& area) {
            int count = 0;
            for (int y = area.top(); y <= area.bottom(); ++y) {
                for (int x = area.left(); x <= area.right(); ++x) {
                    count += image.rect().contains(x, y) && image.pixel(x, y) == kNavy ? 1 : 0;
                }
            }
            return count;
        };
        const int margin = qCeil(ratio) + 1;
        const int inImage = navyIn(text, hanging);
        const int onScreen = navyIn(screen, shown.adjusted(-margin, -margin, margin, margin));
        EXPECT_GT(inImage, 0);
        EXPECT_EQ(onScreen, inImage) << "shown " << shown.x() << "," << shown.y() << " " << shown.width()
                                     << "x" << shown.height() << " screen " << screen.width() << "x"
                                     << screen.height() << " scroll " << page.scrollBar()->value()
                                     << " frame " << corner.x() << "," << corner.y() << " visible "
                                     << page.visibleHeight() << " row " << row;
    }

    TestProject m_project;
    ui_test::ModalDriver m_driver;
    MainWindow m_window;
};

TEST_F(PageResolutionTest, TheOutlineScalesWithThePage) {
    // Rendered directly, at any scale the test runs at: an outline of 2 is twice the outline.
    PageView& page = m_window.pageView();
    presentation::LayoutInput input;
    input.metrics = presentation::measureFont(page.textFont(), 12);
    input.clientWidth = 40 * input.metrics.cellWidth;
    const std::vector<std::string> text = {sjis("漢字の山"), sjis("川と林")};
    const presentation::PageLayout layout = presentation::layoutPage(text, input);
    const QImage one = presentation::renderPage(layout, page.textFont(), 1).textImage;
    const QImage two = presentation::renderPage(layout, page.textFont(), 2).textImage;
    EXPECT_EQ(commonOutlineWidth(one, kNavy), 1);
    EXPECT_EQ(commonOutlineWidth(two, kNavy), 2);
    // The characters sit one pixel further in: the same glyphs, the outline grown round them.
    const QRect inkOne = inkBox(one, 0, one.height());
    const QRect inkTwo = inkBox(two, 0, two.height());
    EXPECT_EQ(inkTwo.topLeft(), inkOne.topLeft());
    EXPECT_EQ(inkTwo.size(), inkOne.size() + QSize(2, 2));
}

TEST_F(PageResolutionTest, ThePageIsDrawnAtTheDevicesPixels) {
    PageView& page = m_window.pageView();
    const double ratio = page.devicePixelRatioF();
    // Columns for the page at its own pixels: 12 of them, a little room to spare.
    const presentation::FontMetrics own = presentation::measureFont(page.textFont(), page.lineGapTenths());
    m_window.resize(
        std::max(MainWindow::kMinWidth, PageView::kScrollBarWidth + 2 * own.cellWidth * 13 + own.cellWidth),
        MainWindow::kMinHeight);
    open();
    ASSERT_TRUE(ui_test::waitFor([&] { return page.width() == m_window.width(); }));
    page.finishPage();
    // The lines break where they break at one device pixel to a pixel.
    EXPECT_EQ(page.layout().columns,
              presentation::columnsFor(page.width(), PageView::kScrollBarWidth, own.cellWidth));
    EXPECT_EQ(page.pageMetrics().cellWidth, own.cellWidth);
    EXPECT_EQ(page.pageScale(), ratio);
    EXPECT_EQ(page.backBuffer().size(), page.size() * ratio);
    expectHangingCharacterVisible();
    EXPECT_EQ(page.outlineWidth(), qRound(ratio));
    EXPECT_EQ(commonOutlineWidth(page.textImage(), kNavy), qRound(ratio));
    if (ratio > 1.0) {
        // What the screen shows: device pixels, not the page's own pixels doubled up.
        const QPixmap shot = page.grab();
        EXPECT_EQ(shot.devicePixelRatio(), ratio);
        const QImage screen = shot.toImage();
        const QRect textRows(0, 0, qRound(page.scrollBar()->geometry().left() * ratio), screen.height());
        EXPECT_GT(mixedBlocks(screen, textRows), 0) << "the page text is pixel-doubled";
        // The font grows with the device's pixels.
        EXPECT_GT(page.metrics().cellWidth, own.cellWidth);
    }

    // Full screen: the outline as much wider again as the page is scaled, the hanging character
    // still in view.
    QTest::keyClick(&m_window, Qt::Key_F11);
    ASSERT_TRUE(m_window.fullScreenView());
    ASSERT_TRUE(ui_test::waitFor([&] { return page.pageScale() > ratio; }));
    page.finishPage();
    EXPECT_EQ(commonOutlineWidth(page.textImage(), kNavy), page.outlineWidth());
    EXPECT_GE(page.outlineWidth(), qRound(ratio));
    expectHangingCharacterVisible();
}

}  // namespace
}  // namespace vrk::app
