// Layout (pure and rendered) and reveal-tick timings; run with QT_QPA_PLATFORM=offscreen.
#include <QApplication>
#include <QPainter>
#include <QScrollBar>

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/reading_session.h"
#include "pictures/qt/background_painter.h"
#include "presentation/qt/font_mapping.h"
#include "presentation/qt/page_view.h"
#include "presentation/qt/text_renderer.h"
#include "presentation/text_layout.h"

namespace vrk::presentation {
namespace {

// A reading session for a view to show; its measurer stands unused (the view gives it its grid).
std::unique_ptr<app::ReadingSession> makeSession() {
    return std::make_unique<app::ReadingSession>(std::filesystem::temp_directory_path(), [](double) {
        return std::make_unique<QtTextMeasurer>(QFont());
    });
}

// "吾輩は猫である。" in Shift-JIS, repeated to the wanted length in bytes.
std::string kanjiLine(std::size_t bytes) {
    const std::string unit = "\x8c\xe1\x94\x79\x82\xcd\x94\x4c\x82\xc5\x82\xa0\x82\xe9\x81\x42";
    std::string line;
    while (line.size() < bytes) {
        line += unit;
    }
    line.resize(bytes);
    return line;
}

// The default reading font: "ＭＳ 明朝" 16 points, bold italic.
QFont readingFont() {
    QFont font(mapFontFamily(QString::fromUtf8("ＭＳ 明朝")));
    font.setPointSize(16);
    font.setBold(true);
    font.setItalic(true);
    return font;
}

LayoutInput inputFor(const QFont& font) {
    LayoutInput input;
    input.clientWidth = 604;  // the default 620 × 480 window's client width
    input.metrics = measureFont(font, 12);
    return input;
}

// Twenty display lines, each a full line of kanji.
std::vector<std::string> fullPage(const LayoutInput& input) {
    const int columns = columnsFor(input.clientWidth, input.scrollBarWidth, input.metrics.cellWidth);
    return std::vector<std::string>(20, kanjiLine(2 * static_cast<std::size_t>(columns)));
}

// 15000 steps: 600 display lines of 25 columns.
std::vector<std::string> longPage(const LayoutInput& input) {
    const int columns = columnsFor(input.clientWidth, input.scrollBarWidth, input.metrics.cellWidth);
    const int lines = (kMaxRevealSteps + columns - 1) / columns;
    return std::vector<std::string>(static_cast<std::size_t>(lines),
                                    kanjiLine(2 * static_cast<std::size_t>(columns)));
}

void layoutPure(benchmark::State& state, std::vector<std::string> (*page)(const LayoutInput&)) {
    const LayoutInput input = inputFor(readingFont());
    const std::vector<std::string> text = page(input);
    for (auto _ : state) {
        benchmark::DoNotOptimize(layoutPage(text, input));
    }
}

void layoutRendered(benchmark::State& state, std::vector<std::string> (*page)(const LayoutInput&)) {
    const QFont font = readingFont();
    const LayoutInput input = inputFor(font);
    const std::vector<std::string> text = page(input);
    for (auto _ : state) {
        const PageLayout layout = layoutPage(text, input);
        benchmark::DoNotOptimize(renderPage(layout, font));
    }
    state.counters["steps"] = layoutPage(text, input).revealTotal;
}

void BM_LayoutFullPagePure(benchmark::State& state) {
    layoutPure(state, fullPage);
}
void BM_LayoutFullPageRendered(benchmark::State& state) {
    layoutRendered(state, fullPage);
}
void BM_Layout15000StepsPure(benchmark::State& state) {
    layoutPure(state, longPage);
}
void BM_Layout15000StepsRendered(benchmark::State& state) {
    layoutRendered(state, longPage);
}

// One tick: the step's two raster-operation copies into the back buffer, then the repaint of
// that rectangle from the back buffer to the window's surface.
void BM_RevealTick(benchmark::State& state) {
    const QFont font = readingFont();
    const LayoutInput input = inputFor(font);
    const PageLayout layout = layoutPage(fullPage(input), input);
    const RenderedPage page = renderPage(layout, font);
    QImage backBuffer(620, 480, QImage::Format_RGB32);
    QImage window(620, 480, QImage::Format_RGB32);
    backBuffer.fill(Qt::darkGreen);
    RevealState reveal;
    reveal.setRevealSpeed(1);
    reveal.startLayout(layout);
    for (auto _ : state) {
        if (reveal.isComplete()) {
            state.PauseTiming();
            reveal.startLayout(layout);
            state.ResumeTiming();
        }
        const TickResult tick = reveal.tick(0, 10000);
        QPainter painter(&backBuffer);
        uncover(painter, page, tick.uncover);
        painter.end();
        const QRect changed(tick.uncover.windowX, tick.uncover.windowY, tick.uncover.source.width,
                            tick.uncover.source.height);
        QPainter onWindow(&window);
        onWindow.drawImage(changed.topLeft(), backBuffer, changed);
    }
}

// The same through the widget: the reveal timer's handler and the paint event it causes.
void BM_PageViewTick(benchmark::State& state) {
    const auto session = makeSession();
    interpreter::EngineState& story = session->story();
    story.page.pageText = fullPage(inputFor(readingFont()));
    PageView view(*session);
    view.setRevealTimerActive(false);
    view.setTextFont(readingFont());
    view.setRevealSpeed(1);
    view.resize(604, 800);
    view.show();
    for (auto _ : state) {
        if (!view.revealing()) {
            state.PauseTiming();
            view.restartReveal();
            story.page.layoutDirty = true;
            view.refreshPage();
            QApplication::processEvents();
            state.ResumeTiming();
        }
        view.onRevealTick();
        QApplication::processEvents();
    }
}

long residentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::stol(line.substr(6));
        }
    }
    return 0;
}

// From a page run's end to the page's first text on screen in the default 620 × 480 window: the
// layout, the paint, the first reveal step and its repaint, for a page of range(0) display lines
// of kanji. Memory added is what a view adds with the whole screen of that page uncovered,
// measured once before the timed runs.
void BM_FirstPaint(benchmark::State& state) {
    const QFont font = readingFont();
    const LayoutInput input = inputFor(font);
    const int columns = columnsFor(input.clientWidth, input.scrollBarWidth, input.metrics.cellWidth);
    const std::vector<std::string> text(static_cast<std::size_t>(state.range(0)),
                                        kanjiLine(2 * static_cast<std::size_t>(columns)));
    const auto firstPage = [&](interpreter::EngineState& story, PageView& view) {
        story.page.pageText = text;
        view.restartReveal();
        story.page.layoutDirty = true;
        view.refreshPage();
        view.onRevealTick();
        view.repaint();
    };
    const auto makeView = [&](app::ReadingSession& session) {
        auto view = std::make_unique<PageView>(session);
        view->setRevealTimerActive(false);
        view->setTextFont(font);
        view->resize(620, 480);
        view->show();
        QApplication::processEvents();
        return view;
    };
    long added = 0;
    double heldMB = 0;
    {
        const auto session = makeSession();
        auto view = makeView(*session);
        const long before = residentKiB();
        firstPage(session->story(), *view);
        view->completePageOnClick();
        for (int i = 0; i < 10; ++i) {
            QApplication::processEvents();  // the idle turns render the band ahead too
        }
        added = residentKiB() - before;
        heldMB = static_cast<double>(view->bands().bytesHeld()) / (1024.0 * 1024.0);
    }
    const auto session = makeSession();
    auto view = makeView(*session);
    for (auto _ : state) {
        firstPage(session->story(), *view);
    }
    state.counters["rss_added_MB"] = static_cast<double>(added) / 1024.0;
    state.counters["bands_MB"] = heldMB;
}

// A long page in a 1920 x 1080 window, scrolled one line at a time: every step repaints the
// background (range 0: colour with watermark; 1: a stretched picture) and the uncovered text.
void BM_ScrollRepaint1920x1080(benchmark::State& state) {
    const auto session = makeSession();
    interpreter::EngineState& story = session->story();
    for (int i = 0; i < 200; ++i) {
        story.page.pageText.push_back(kanjiLine(200));
    }
    PageView view(*session);
    view.setRevealTimerActive(false);
    view.setTextFont(readingFont());
    QImage picture(640, 480, QImage::Format_RGB32);
    picture.fill(Qt::darkCyan);
    std::string entry = state.range(0) == 0 ? "" : "sPIC.BMP";
    pictures::BackgroundCache background;
    view.setBackgroundPainter([&](QPainter& painter, const QRect& area) {
        background.paint(painter, area.size(), entry, 9, false, picture);
    });
    view.resize(1920 - 16, 1080);
    view.show();
    story.page.layoutDirty = true;
    view.refreshPage();
    view.completePageOnClick();
    QApplication::processEvents();
    auto* bar = view.findChild<QScrollBar*>(QStringLiteral("pageScrollBar"));
    const int step = std::max(1, bar->singleStep());
    for (auto _ : state) {
        bar->setValue(bar->value() + step > bar->maximum() ? 0 : bar->value() + step);
        QApplication::processEvents();
    }
}

BENCHMARK(BM_LayoutFullPagePure)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LayoutFullPageRendered)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Layout15000StepsPure)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Layout15000StepsRendered)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FirstPaint)->Arg(20)->Arg(2000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RevealTick)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PageViewTick)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ScrollRepaint1920x1080)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vrk::presentation

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
