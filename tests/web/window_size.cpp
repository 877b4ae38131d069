// The window as it first opens with no settings kept, for the browser page's comparison of its
// default size (tests/web/page_frame.test.mjs): prints one line of JSON with the window's client
// size, its menu bar's height, its page's size and its page's scroll bar's width
// (QT_QPA_PLATFORM=offscreen).
//
//   window_size PROGRAM_DIR

#include <QApplication>
#include <QMenuBar>
#include <QScrollBar>

#include <cstdio>

#include "app/qt/main_window.h"
#include "app/settings_file.h"
#include "presentation/qt/page_view.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: window_size PROGRAM_DIR\n");
        return 2;
    }
    vrk::app::MainWindow window(argv[1], vrk::app::Settings{});
    window.show();
    QApplication::processEvents();
    const QWidget* page = window.centralWidget();
    const auto* view = qobject_cast<const vrk::presentation::PageView*>(page);
    const int scrollBar = view != nullptr ? view->scrollBar()->width() : -1;
    std::printf("{\"client\":[%d,%d],\"menuBar\":%d,\"page\":[%d,%d],\"scrollBar\":%d}\n", window.width(),
                window.height(), window.menuBar()->height(), page->width(), page->height(), scrollBar);
    return 0;
}
