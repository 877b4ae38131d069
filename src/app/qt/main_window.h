#pragma once
// The reading window: a view of the reading session (reading_session.h), which owns
// the story, its interpreter and every decision about the page on show. The window maps input
// to the session's commands and shows what the session reports:
//
//   choice buttons 1-6 / choice keys / clicks / scrolling --> ReadingSession commands
//   file menu (menus.cpp) --> opening.cpp: openProjectFromDialog / reopenProject --> openProject,
//                             which drives StoryDialog (slot picker, name box) through the session
//   page view (PageView): the session's page as pixels, its timer ticking the session;
//                         after every command sync() --> applyChanges: buttons, pictures,
//                         the wait cursor, pages shown (backlog closed, read aloud), notices
//   view menu (reader_comforts.cpp): backlog panel, going back, skipping and auto-advance (the
//                             session's), full screen, copying and reading aloud (PageSpeaker)
//
// Settings come in at construction and go out through currentSettings(); runWindow
// (run_window.h) reads and writes the file.

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
#include "app/pad_mapping.h"
#include "app/reading_history.h"
#include "app/reading_session.h"
#include "app/settings_file.h"
#include "interpreter/engine_state.h"
#include "interpreter/page_interpreter.h"
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
class InspectorDock;
class SdlPads;
class PageSpeaker;

class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    static constexpr int kMinWidth = kMinWindowWidth;
    static constexpr int kMinHeight = kMinWindowHeight;

    /// The window with its buttons, menus and page view, settings applied.
    MainWindow(std::filesystem::path programDir, const Settings& settings, QWidget* parent = nullptr);
    ~MainWindow() override;

    /// The project to open: one a command line named, or one the open dialog chose. A story
    /// compiled from its source names the folder it is compiled into and the source, whose path
    /// names its saves (Locations::compiledDir, savesKey).
    void setProject(const std::filesystem::path& projectDir, const std::string& baseName,
                    const std::filesystem::path& compiledDir = {},
                    const std::filesystem::path& savesKey = {});
    /// A project named on the command line: the slot picker and name boxes first, the window
    /// once the opening has finished or failed.
    void openThenShow();
    /// Settings as the window stands now: bounds, font, check marks, speed, gap.
    Settings currentSettings() const;
    /// The first half of closing: stops the sound and writes the story back to its slot.
    void shutDown();

    interpreter::EngineState& story() { return m_story; }
    interpreter::PageInterpreter& interpreter() { return m_session->interpreter(); }
    ReadingSession& session() { return *m_session; }
    presentation::PageView& pageView() { return *m_page; }
    QtStoryHost& host() { return *m_host; }
    /// The picture window, beside this one.
    pictures::PictureWindow& pictureWindow() { return *m_pictureWindow; }
    /// Where the story's relative picture and sound names are found.
    std::filesystem::path storyBaseDir() const;

    /// The whole opening of projectDir/baseName: save directory, slot picker, names, first
    /// page. False when it failed; the failure has been shown by the general error report.
    /// Without askSlot, slot 1 opens with the story's own names, nothing asked (a watched source).
    bool openProject(bool askSlot = true);

    /// The author's inspector beside the page (vrk3 --debug), made on the first call.
    InspectorDock& inspector();
    InspectorDock* inspectorIfShown() const { return m_inspector; }
    /// The story's index was read anew: the inspector lists its labels again.
    void labelsReloaded();

    // File menu commands (opening.cpp), also reached from the single "開く" button.
    /// The open dialog, then the opening.
    void openProjectFromDialog();
    /// The same project opened again.
    void reopenProject();
    /// Writes the story to the quick save.
    void quickSave();
    /// Reads the story back from the quick save.
    void quickLoad();

    /// The general error report: a message box titled with the application title.
    void reportError(const std::string& messageSjis);
    /// A notice that does not stop the story, as the one comment line of the about box in its
    /// plain form.
    void showNotice(const std::string& noticeSjis);

    // View menu commands (reader_comforts.cpp).
    /// Opens the backlog over the page when there are earlier pages.
    void showBacklog();
    void closeBacklog();
    bool backlogShown() const;
    /// Restores the state before the previous page and runs that page again.
    void goBackOnePage();
    /// The page's text to the clipboard as UTF-8.
    void copyPageText();
    /// The route map of the pages read so far (reader_map_dialog.cpp).
    void showReaderMap();
    /// Skip on: pages already read go by until a choice or an unread page.
    void setSkipping(bool skipping);
    /// Full screen with the page scaled from its window layout, or back.
    void setFullScreenView(bool fullScreen);
    bool fullScreenView() const { return m_fullScreen; }
    /// What the reading has kept: pages, states, read marks.
    const ReadingHistory& history() const { return m_session->history(); }
    const ReadMarks& readMarks() const { return m_session->readMarks(); }
    /// The speaker pages are read aloud by; the desktop's is made when first needed.
    void setSpeaker(std::unique_ptr<PageSpeaker> speaker);

    /// The menu item or menu of the model's id (nullptr for an item only the web page has).
    QAction* action(MenuId id) const { return m_actions[menuIndex(id)]; }

    /// The choice button numbered k (1-6); button 1 is the rightmost.
    QPushButton* choiceButton(int k) const { return m_choiceButtons[k]; }

    // Game controllers (game_pads.cpp).
    /// How often the pads are read, and how often SDL is asked whether one was plugged in.
    static constexpr int kPadPollMs = 30;
    static constexpr int kPadIdlePollMs = 250;
    /// Starts reading the pads (the window does once it is first shown).
    void startPads();
    /// A press of a pad's button, as the pads report it.
    void onPadButton(PadButton button);
    /// Carries out a menu item as its shortcut does: the enclosing menus' rules first.
    void runMenuItem(MenuId id);

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

    /// Shows what the session reported after a command: buttons, pictures, cursor, pages shown,
    /// check marks and notices.
    void applyChanges(const SessionChanges& changes);
    void applyButtons(const SessionScreen& screen);

    // The comforts (reader_comforts.cpp).
    void createComforts();
    void onAutoAdvanceToggled();
    void onSpeechToggled();
    void speakPage();
    /// Makes the desktop speaker when there is none or the one there failed; false when it
    /// cannot speak either (the reader has been told).
    bool speakerReady();
    /// The speaker found no engine: reading aloud goes off, and the reader is told why.
    void onSpeechUnavailable(const QString& reason);
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
    void pollPads();
    bool hasShortcut(const QKeySequence& key) const;
    bool isOwnShortcutAction(const QAction* action) const;
    bool commandHeldBack() const;
    /// The page's changes drawn and the notices of the last command shown.
    void showNotices();

    // Menu refresh handlers and commands (menus.cpp).
    void refreshMenu(MenuId menu);
    SessionFacts menuFacts() const;
    FrontEndFacts frontEndFacts() const;
    void adjustLineGap(presentation::SettingStep step);
    void adjustRevealSpeed(presentation::SettingStep step);
    void adjustVolume(MenuSetting setting, presentation::SettingStep step);
    void chooseFont();
    /// The engine's options as the menu's check marks stand.
    interpreter::EngineOptions optionsFromChecks();
    /// The check marks' options handed to the session, which applies what changed.
    void applyOptionChecks();
    void balanceTo4by3();
    void showAbout();
    void openHelpContents();

    // Opening (opening.cpp).
    bool pickSlot(class StoryDialog& box);
    bool askNames(class StoryDialog& box);
    bool runReporting(const std::function<void()>& step);

    std::filesystem::path m_programDir;
    std::unique_ptr<ReadingSession> m_session;
    interpreter::EngineState& m_story;  // the session's
    std::unique_ptr<QtStoryHost> m_host;
    presentation::PageView* m_page = nullptr;
    std::array<QPushButton*, 7> m_choiceButtons{};  // [1..6]
    std::unique_ptr<pictures::PictureWindow> m_pictureWindow;
    pictures::LoadedPicture m_background;  // backgroundBitmap
    int m_backgroundVersion = -1;          // the session's background it holds
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
    void runItem(const ShortcutItem& item);
    std::vector<ShortcutItem> m_shortcuts;
    std::map<QMenu*, std::function<void()>> m_refreshers;
    std::array<QAction*, kMenuIdCount> m_actions{};  // by MenuId; none for the page's own items

    std::unique_ptr<SdlPads> m_pads;
    QTimer* m_padTimer = nullptr;
    BacklogPanel* m_backlog = nullptr;  // made when first opened
    InspectorDock* m_inspector = nullptr;
    std::unique_ptr<PageSpeaker> m_speaker;
    bool m_fullScreen = false;
    pictures::FramePlacement* m_placement = nullptr;  // keeps the frame where the settings put it
    QRect m_normalFrame;  // the frame's corner and client size before full screen; kept in the settings
};

}  // namespace vrk::app
