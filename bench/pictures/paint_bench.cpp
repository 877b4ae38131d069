// Painting the main window's background into a 1920 x 1080 area, offscreen: a 640 x 480
// picture stretched (what every repaint and scroll of a full-screen page costs), the same
// picture tiled, and the colour background with its watermark.

#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QPainter>

#include "pictures/qt/background_painter.h"

namespace {

const QSize kArea(1920, 1080);

QImage picture() {
    QImage image(640, 480, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            line[x] = qRgb(x & 0xFF, y & 0xFF, (x ^ y) & 0xFF);
        }
    }
    return image;
}

void paintEntry(benchmark::State& state, const std::string& entry) {
    const QImage source = picture();
    QImage target(kArea, QImage::Format_RGB32);
    for (auto _ : state) {
        QPainter painter(&target);
        std::string current = entry;
        vrk::pictures::paintBackground(painter, kArea, current, 9, false, source);
        painter.end();
        benchmark::DoNotOptimize(target.constBits());
    }
    state.SetItemsProcessed(state.iterations() * kArea.width() * kArea.height());
}

void paintStretched1920x1080(benchmark::State& state) {
    paintEntry(state, "sPIC.JPG");
}
BENCHMARK(paintStretched1920x1080)->Unit(benchmark::kMillisecond);

void paintTiled1920x1080(benchmark::State& state) {
    paintEntry(state, "tPIC.JPG");
}
BENCHMARK(paintTiled1920x1080)->Unit(benchmark::kMillisecond);

void paintColourWatermark1920x1080(benchmark::State& state) {
    paintEntry(state, "");
}
BENCHMARK(paintColourWatermark1920x1080)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QGuiApplication app(argc, argv);  // fonts for the watermark
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
