#pragma once
// The reading window (TForm1), and how a page travels through the window's side:
//
//   choice buttons 1-6 / choice key (handleChoiceKey) --> PageInterpreter::selectChoice
//   file menu (menus.cpp) --> opening.cpp: openProjectFromDialog / reopenProject --> openProject,
//                             which drives SlotDialog (slot picker, name box) and ProjectOpening
//   PageInterpreter::runPage --> QtStoryHost --> prepareChoices, page view refresh, sound,
//                                pictures, programs; waitTicks pumps events on the wait countdown
//   page view: reveal on its timer --> pageCompleted --> enableChoices; click --> completePageOnClick
//   view menu (reader_comforts.cpp): the interpreter tells the window of each run (PageObserver);
//                             ReadingHistory keeps states and text for going back and the backlog
//                             (BacklogPanel), ReadMarks the pages read for skipping; auto-advance,
//                             skip, full screen, copying and reading aloud (PageSpeaker) hang off it
//
// The window owns the story (module-level state of the player), the interpreter and the
// host for the program's run. Settings come in at construction and go out through
// currentSettings(); runWindow (run_window.h) reads and writes the file.

#include <QMainWindow>
#include <QTimer>
#include <array>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/menu_model.h"
#include "app/reading_history.h"
#include "app/settings_file.h"
#include "interpreter/page_interpreter.h"
#include "interpreter/story.h"
#include "pictures/qt/background_painter.h"

class QAction;
class QMenu;
class QPushButton;

namespace vrk::presentation {
class PageView;
}
namespace vrk::pictures {
class PictureWindow;
class FramePlacement;
}  // namespace vrk::pictures

namespace vrk::app {

class QtStoryHost;
class BacklogPanel;
class PageSpeaker;

class MainWindow : public QMainWindow, private interpreter::PageObserver {
    Q_OBJECT

public:
    static constexpr int kMinWidth = kMinWindowWidth;
    static constexpr int kMinHeight = kMinWindowHeight;

    /// The window with its buttons, menus and page view, settings applied.
    MainWindow(std::filesystem::path programDir, const Settings& settings, QWidget* parent = nullptr);
    ~MainWindow() override;

    /// The project to open: one a command line named, or one the open dialog chose.
    void setProject(const std::filesystem::path& projectDir, const std::string& baseName);
    /// A project named on the command line: the slot dialog and name boxes first, the window
    /// once the opening has finished or failed.
    void openThenShow();
    /// Settings as the window stands now: bounds, font, check marks, speed, gap.
    Settings currentSettings() const;
    /// The first half of closing: stops the sound and writes the story back to its slot.
    void shutDown();

    interpreter::Story& story() { return m_story; }
    interpreter::PageInterpreter& interpreter() { return *m_interpreter; }
    presentation::PageView& pageView() { return *m_page; }
    QtStoryHost& host() { return *m_host; }
    /// The picture window, beside this one.
    pictures::PictureWindow& pictureWindow() { return *m_pictureWindow; }
    /// loadPicture into backgroundBitmap; on failure the bitmap stays as it was.
    bool loadBackground(const std::string& fileNameSjis);
    /// Where the story's relative picture and sound names are found.
    std::filesystem::path storyBaseDir() const;

    /// The whole opening of projectDir/baseName: save directory, slot picker, names, first
    /// page. False when it failed; the failure has been shown by the general error report.
    bool openProject();

    // File menu commands (opening.cpp), also reached from the single "開く" button.
    /// The open dialog, then the opening.
    void openProjectFromDialog();
    /// The same project opened again.
    void reopenProject();
    /// Writes the story to the quick save.
    void quickSave();
    /// Reads the story back from the quick save.
    void quickLoad();

    // What the host asks of the window during a page run.
    /// Hides all six choice buttons (a page run is gathering its choices).
    void hideChoices();
    /// Shows buttons 1..choiceCount disabled with their captions, hides the rest; busy cursor.
    void prepareChoices();
    /// The page is complete: buttons enabled, focus on the leftmost one in use.
    void enableChoices();
    /// The general error report: a message box titled with the application title.
    void reportError(const std::string& messageSjis);
    /// The about dialog in its plain form with one comment line.
    void showAboutComment(const std::string& commentSjis);

    // View menu commands (reader_comforts.cpp).
    /// Opens the backlog over the page when there are earlier pages.
    void showBacklog();
    void closeBacklog();
    bool backlogShown() const;
    /// Restores the state before the previous page and runs that page again.
    void goBackOnePage();
    /// The page's text to the clipboard as UTF-8.
    void copyPageText();
    /// Skip on: pages already read go by until a choice or an unread page.
    void setSkipping(bool skipping);
    /// Full screen with the page scaled from its window layout, or back.
    void setFullScreenView(bool fullScreen);
    bool fullScreenView() const { return m_fullScreen; }
    /// What the reading has kept: pages, states, read marks.
    const ReadingHistory& history() const { return m_history; }
    const ReadMarks& readMarks() const { return m_readMarks; }
    /// The speaker pages are read aloud by; the desktop's is made when first needed.
    void setSpeaker(std::unique_ptr<PageSpeaker> speaker);
    /// The auto-advance countdown (tests drive it).
    QTimer& autoAdvanceTimer() { return m_autoTimer; }

    /// The menu item or menu of the model's id (nullptr for an item only the web page has).
    QAction* action(MenuId id) const { return m_actions[menuIndex(id)]; }

    /// The choice button numbered k (1-6); button 1 is the rightmost.
    QPushButton* choiceButton(int k) const { return m_choiceButtons[k]; }

signals:
    /// An opening has finished, successfully or not (tests wait on it).
    void openingFinished(bool opened);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    friend class MenuBinder;

    /// Works out the sizes of the window's parts (the page's among them) although the window
    /// is not shown yet; nothing when they are known.
    void settleLayout();

    // PageObserver, and the comforts that follow a page (reader_comforts.cpp).
    void pageRunStarting(std::int32_t offset) override;
    void pageShown(const std::string& labelSjis) override;
    void createComforts();
    void onPageComplete();
    void onAutoAdvanceTick();
    void onAutoAdvanceToggled();
    void onSpeechToggled();
    void speakPage();
    /// Makes the desktop speaker when there is none or the one there failed; false when it
    /// cannot speak either (the reader has been told).
    bool speakerReady();
    /// The speaker found no engine: reading aloud goes off, and the reader is told why.
    void onSpeechUnavailable(const QString& reason);
    bool singleNextOnShow() const;
    void stopAutoAndSkip();
    /// Keys and clicks for the comforts: the backlog's keys, PageUp, Escape; any input stops
    /// auto-advance and skip. The event filter's answer when they decide it, nothing otherwise.
    std::optional<bool> handleComfortInput(QObject* watched, QEvent* event);

    void onFirstShow();
    void createButtons();
    void placeButtons();
    void applySettings(const Settings& settings);
    QFont textFontFrom(const Settings& settings) const;
    void createMenus();  // menus.cpp

    // Input.
    void onChoiceClicked(int k);
    void onPageClicked();
    bool handleChoiceKey(const QString& text);
    bool runShortcut(const QKeySequence& key);
    bool hasShortcut(const QKeySequence& key) const;
    bool isOwnShortcutAction(const QAction* action) const;
    bool commandHeldBack() const;

    // Menu refresh handlers and commands (menus.cpp).
    void refreshMenu(MenuId menu);
    SessionFacts menuFacts() const;
    FrontEndFacts frontEndFacts() const;
    void adjustLineGap(int tag);
    void adjustRevealSpeed(int tag);
    void toggleNonstop();
    void chooseFont();
    void onSoundKindToggled();
    void optionsFromChecks();
    void balanceTo4by3();
    void showAbout();
    void openHelpContents();

    // Opening (opening.cpp).
    bool pickSlot(class SlotDialog& box, class ProjectOpening& opening);
    bool askNames(class SlotDialog& box, class ProjectOpening& opening);
    bool runReporting(const std::function<void()>& step);

    std::filesystem::path m_programDir;
    interpreter::Story m_story;
    std::unique_ptr<QtStoryHost> m_host;
    std::unique_ptr<interpreter::PageInterpreter> m_interpreter;
    presentation::PageView* m_page = nullptr;
    std::array<QPushButton*, 7> m_choiceButtons{};  // [1..6]
    std::unique_ptr<pictures::PictureWindow> m_pictureWindow;
    pictures::LoadedPicture m_background;  // backgroundBitmap
    pictures::BackgroundCache m_backgroundCache;

    int m_revealSpeed = Settings::kDefaultSpeed;
    int m_gapTenths = Settings::kDefaultGapTenths;
    std::string m_fontNameSjis;
    bool m_firstShow = true;
    bool m_shutDown = false;
    bool m_closing = false;  // the window was closed; dialogs shown again must give up

    struct ShortcutItem {
        QKeySequence key;
        QAction* action = nullptr;
        std::vector<QMenu*> menus;  // outermost first
    };
    std::vector<ShortcutItem> m_shortcuts;
    std::map<QMenu*, std::function<void()>> m_refreshers;
    std::array<QAction*, kMenuIdCount> m_actions{};  // by MenuId; none for the page's own items

    ReadingHistory m_history;
    ReadMarks m_readMarks;
    BacklogPanel* m_backlog = nullptr;  // made when first opened
    std::unique_ptr<PageSpeaker> m_speaker;
    QTimer m_autoTimer;  // single shot: polls a sound effect, then the pause before going on
    bool m_autoPausing = false;
    QTimer m_skipTimer;
    bool m_skipping = false;
    bool m_fullScreen = false;
    pictures::FramePlacement* m_placement = nullptr;  // keeps the frame where the settings put it
    QRect m_normalFrame;  // the frame's corner and client size before full screen; kept in the settings
};

}  // namespace vrk::app
