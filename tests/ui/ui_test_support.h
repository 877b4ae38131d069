#pragma once
// Helpers for the window tests: a small project written to a temporary directory
// (script, label index, slots), and a driver that answers modal dialogs as they
// come up, so the window's nested event loops can be exercised through real clicks.

#include <QPointer>
#include <QWidget>
#include <Qt>
#include <deque>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

class QAction;

namespace vrk::app {
class MainWindow;
}

namespace vrk::ui_test {

/// UTF-8 text as Shift-JIS bytes.
std::string sjis(const char* utf8);

/// A project "tale" in its own directory, with a program directory beside it.
///
///   START: "Page one", choices A LEFT, B RIGHT, C END
///   LEFT:  "Left page" with a sound effect (a pause of two ticks), no choice offered, goes on
///          to START ("Next")
///   RIGHT: "Right page" with a picture (pic.bmp), a stretched background (back.bmp) and an
///          outside program (tool.sh, which adds a line to ran.txt); one choice "Back" to START
///   END:   "The end", end of the story
/// Name 1 is asked (prompt 主人公, default 太郎), names 2-9 are "????"; the title is 夏の物語.
/// Slot 1 is started at START with 主人公:太郎; slots 2-4 are fresh.
///
/// A test may add pages of its own after END (script lines as they are stored, ASCII) and start
/// slot 1 at one of them instead.
class TestProject {
public:
    struct ExtraLabel {
        std::string name;
        std::vector<std::string> lines;
    };

    TestProject() : TestProject({}, "START") {}
    TestProject(const std::vector<ExtraLabel>& extra, const std::string& startLabel);
    ~TestProject();

    const std::filesystem::path& projectDir() const { return m_projectDir; }
    const std::filesystem::path& programDir() const { return m_programDir; }
    std::filesystem::path file(const std::string& extension) const;
    std::string read(const std::string& extension) const;
    /// Line n (from 1) of a save file, without its CR LF.
    std::string line(const std::string& extension, int n) const;

private:
    std::filesystem::path m_root;
    std::filesystem::path m_projectDir;
    std::filesystem::path m_programDir;
};

/// Answers modal dialogs in order: each handler gets the dialog the first time it is seen
/// on show and must close it. A dialog that comes up with no handler left fails the test
/// and is accepted, so a test never hangs on it.
class ModalDriver {
public:
    using Handler = std::function<void(QWidget*)>;

    ModalDriver();
    ~ModalDriver();
    void expect(Handler handler);
    /// Handlers not yet used.
    std::size_t pending() const { return m_queue.size(); }

private:
    void poll();

    std::deque<Handler> m_queue;
    std::vector<QWidget*> m_handling;
    bool m_stopped = false;
    std::shared_ptr<bool> m_alive;
};

/// The child of w with that objectName, failing the test when there is none.
template <typename T>
T* child(QWidget* w, const char* name) {
    T* found = w->findChild<T*>(QString::fromLatin1(name));
    if (!found) {
        throw std::runtime_error(std::string("no child named ") + name);
    }
    return found;
}

/// Whether w has a child of that name on show (a child made only when needed may not exist).
inline bool childShown(QWidget* w, const char* name) {
    const QWidget* found = w->findChild<QWidget*>(QString::fromLatin1(name));
    return found != nullptr && found->isVisible();
}

/// Types text into a widget key by key, any characters (QTest's own typing takes ASCII only).
void typeText(QWidget* widget, const QString& text);
/// A left click in the middle of a widget.
void click(QWidget* widget);
/// Waits out the pause a command's page run left (the window's input is held back meanwhile), as
/// the reader does before the next key; at once when there is none.
void waitForPause(app::MainWindow& window);
/// Runs the event loop until done() holds or the time is up; returns done().
bool waitFor(const std::function<bool()>& done, int timeoutMs = 5000);

/// How the reading tests drive the window as a reader does: keys to what has the focus, the wheel
/// over a widget, menu items by name, and the first line of the page on show. A fixture derives
/// from it beside ::testing::Test and hands it its window.
class WindowDriving {
protected:
    explicit WindowDriving(app::MainWindow& window) : m_driven(window) {}

    QAction* action(const char* name);
    std::string firstLine();
    QWidget* focus();
    void key(const char* keys);
    void press(Qt::Key k, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
    static void wheel(QWidget* target, int delta);
    /// Opens the project "tale" in its first slot, the slot picker answered with Ok.
    void openFirstSlot(const TestProject& project, ModalDriver& driver);

private:
    app::MainWindow& m_driven;
};

}  // namespace vrk::ui_test
