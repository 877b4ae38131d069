#pragma once
// The tools an author turns on from the command line, beside the reading window:
//
//   --debug   InspectorDock: the snapshot of the reading (story_inspection.h) after every page
//             run, and a filterable list of the labels to jump to
//   --watch   SourceWatcher: the source compiled into a folder of the moment (watched_source.h)
//             and played; each save compiles it again and the session reloads the story at the
//             same page (ReadingSession::reloadStory). A fault is shown in a bar over the page
//             while the story compiled last goes on.
//
// What either shows is gathered in the Qt-free layer; these only show it and pass commands on.

#include <QDockWidget>
#include <QObject>
#include <QString>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/story_inspection.h"
#include "app/watched_source.h"

class QFileSystemWatcher;
class QLabel;
class QLineEdit;
class QListView;
class QPushButton;
class QSortFilterProxyModel;
class QStringListModel;
class QTimer;

namespace vrk::app {

class MainWindow;

/// The inspector beside the page.
class InspectorDock : public QDockWidget {
    Q_OBJECT

public:
    explicit InspectorDock(MainWindow& window);

    /// Shows the reading as it stands now, and the index's labels when they changed.
    void refresh();
    /// The index was read anew (an opening, a reload): its labels are listed again.
    void labelsChanged() { m_labelsKnown = false; }
    /// Jumps to the label selected in the list; false when nothing is selected or it could not run.
    bool jumpToSelected();

    QLineEdit* filter() const { return m_filter; }
    QListView* labelList() const { return m_list; }
    /// The labels the filter leaves, in the list's order (tests).
    QStringList shownLabels() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void fillLabels();

    MainWindow& m_window;
    QLabel* m_label = nullptr;
    QLabel* m_flags = nullptr;
    QLabel* m_letters = nullptr;
    QLabel* m_names = nullptr;
    QLabel* m_background = nullptr;
    QLabel* m_sound = nullptr;
    QLabel* m_status = nullptr;
    QLineEdit* m_filter = nullptr;
    QListView* m_list = nullptr;
    QPushButton* m_jump = nullptr;
    QStringListModel* m_model = nullptr;
    QSortFilterProxyModel* m_proxy = nullptr;
    bool m_labelsKnown = false;
    const void* m_listedIndex = nullptr;  // the records the list was made from
    std::size_t m_listedCount = 0;
};

/// The source played as it is written.
class SourceWatcher : public QObject {
    Q_OBJECT

public:
    /// The quiet moment after the last change before the source is compiled: an editor that
    /// saves in steps (a new file, then a rename) is compiled once, whole.
    static constexpr int kSettleMs = 150;

    SourceWatcher(MainWindow& window, std::filesystem::path source);
    ~SourceWatcher() override;

    /// Makes the folder, compiles, and opens the story at slot 1 without asking; false (with the
    /// reason) when there is no folder to compile into. A source that does not compile yet is
    /// shown in the bar and opened once it does.
    bool start(std::string* error);
    /// Compiles now and reloads the story when the source changed (the watcher's timer calls it).
    void compileAndReload();

    /// The bar over the page (hidden when there is nothing to say).
    QLabel* bar() const { return m_bar; }
    const WatchedSource& source() const { return *m_source; }

signals:
    /// A compile has been dealt with: the story reloaded, or the fault shown (tests wait on it).
    void compiled(bool ok);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void watchPaths();
    void reload();
    void showBar(const QString& text, bool fault);
    void hideBar();
    void placeBar();
    void openStory();

    MainWindow& m_window;
    std::unique_ptr<WatchedSource> m_source;
    QFileSystemWatcher* m_watcher = nullptr;
    QTimer* m_settle = nullptr;
    QTimer* m_retry = nullptr;  // a reload that had to wait for a run or an opening
    QTimer* m_barTimer = nullptr;
    QLabel* m_bar = nullptr;
    bool m_opened = false;
};

/// Prints the page after every page run as the terminal player reports it ("@page LABEL", then
/// "| line" for each line), when VRK3_PRINT_PAGES is set: how a test outside the program reads
/// what the window shows. Nothing is printed otherwise.
void printPageForTests(MainWindow& window);

}  // namespace vrk::app
