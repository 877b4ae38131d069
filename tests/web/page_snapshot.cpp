// The window's page for the browser comparison: opens a project in slot 1 (names keep their
// defaults), runs its first page, and writes the page view fully revealed as a PNG and as a
// binary PPM, the same pixels the window would show (QT_QPA_PLATFORM=offscreen), and where its
// lines break as text: the cell grid, then each display line in UTF-8.
//
//   page_snapshot PROJECT_FILE WIDTH HEIGHT FAMILY PIXEL_SIZE BOLD ITALIC OUT_BASE
//   (writes OUT_BASE.png, OUT_BASE.ppm and OUT_BASE.txt: "cellWidth lineHeight columns" and the
//   lines; the project's slots are written, so pass a copy)

#include <QApplication>
#include <QFile>
#include <QImage>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "app/project_opening.h"
#include "app/reading_session.h"
#include "common/sjis.h"
#include "pictures/qt/background_painter.h"
#include "presentation/qt/page_view.h"

namespace {

using namespace vrk;

bool writePpm(const QImage& image, const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    file.write(QStringLiteral("P6\n%1 %2\n255\n").arg(rgb.width()).arg(rgb.height()).toLatin1());
    for (int y = 0; y < rgb.height(); ++y) {
        file.write(reinterpret_cast<const char*>(rgb.constScanLine(y)), static_cast<qint64>(rgb.width()) * 3);
    }
    return true;
}

bool writeLines(const presentation::PageLayout& layout, const std::string& path) {
    std::ofstream out(path, std::ios::binary);
    out << layout.metrics.cellWidth << ' ' << layout.metrics.lineHeight << ' ' << layout.columns << '\n';
    for (std::size_t i = 0; i < layout.lines.size(); ++i) {
        const presentation::DisplayLine* next = i + 1 < layout.lines.size() ? &layout.lines[i + 1] : nullptr;
        for (const presentation::DrawnCharacter& c : presentation::drawnCharacters(layout.lines[i], next)) {
            out << sjisToUtf8(c.bytesSjis);
        }
        out << '\n';
    }
    return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 9) {
        std::fprintf(
            stderr,
            "usage: page_snapshot PROJECT_FILE WIDTH HEIGHT FAMILY PIXEL_SIZE BOLD ITALIC OUT_BASE\n");
        return 2;
    }
    const auto project = app::projectFromArgument(argv[1]);
    if (!project) {
        std::fprintf(stderr, "page_snapshot: no project %s\n", argv[1]);
        return 1;
    }
    // Just enough of the window for a first page: the session, its page view and background.
    app::ReadingSession session(
        project->projectDir, [](double) { return std::make_unique<presentation::QtTextMeasurer>(QFont()); });

    QFont font(QString::fromLocal8Bit(argv[4]));
    font.setPixelSize(std::atoi(argv[5]));
    font.setBold(std::atoi(argv[6]) != 0);
    font.setItalic(std::atoi(argv[7]) != 0);
    presentation::PageView page(session);
    page.setRevealTimerActive(false);
    page.resize(std::atoi(argv[2]), std::atoi(argv[3]));
    page.setTextFont(font);
    pictures::BackgroundCache cache;
    pictures::LoadedPicture background;
    int backgroundVersion = -1;
    page.setBackgroundPainter([&](QPainter& painter, const QRect& area) {
        const app::SessionScreen screen = session.screen();
        if (screen.backgroundVersion != backgroundVersion) {
            backgroundVersion = screen.backgroundVersion;
            background.setBitmap(screen.backgroundPicture ? *screen.backgroundPicture : pictures::Bitmap());
        }
        std::string entry(screen.backgroundEntry);
        cache.paint(painter, area.size(), entry, screen.bgColour, session.story().options.lowColour,
                    background.image());
    });

    session.setProject(project->projectDir, project->baseName);
    app::SlotView slot;
    session.chooseSaveDirectory();
    session.describeSlot(1, slot);
    session.loadSlot();
    session.start();
    page.finishPage();
    const QImage shown = page.backBuffer();
    const std::string base = argv[8];
    if (!shown.save(QString::fromStdString(base + ".png")) ||
        !writePpm(shown, QString::fromStdString(base + ".ppm")) ||
        !writeLines(page.layout(), base + ".txt")) {
        std::fprintf(stderr, "page_snapshot: cannot write %s\n", base.c_str());
        return 1;
    }
    return 0;
}
