// The menu bar: the menu tree, the refresh handlers that run as a menu opens, and the
// commands of the settings and help menus. A keyboard shortcut runs the refresh
// handlers of its enclosing menus first (runShortcut), so a command that the limits
// disable is not carried out by its shortcut either.

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>

#include "app/help_version.h"
#include "app/menu_model.h"
#include "app/qt/font_dialog.h"
#include "app/qt/help_window.h"
#include "app/qt/main_window.h"
#include "app/qt/qt_story_host.h"
#include "app/qt/story_dialog.h"
#include "common/messages.h"
#include "common/sjis.h"
#include "pictures/background.h"
#include "presentation/qt/page_view.h"
#include "presentation/reading_settings.h"

namespace vrk::app {

namespace {

// The keys a shortcut of the model stands for: Enter is both the main keyboard's and the pad's.
std::vector<QKeySequence> keySequences(const Shortcut& shortcut) {
    Qt::KeyboardModifiers modifiers;
    modifiers.setFlag(Qt::ControlModifier, shortcut.ctrl);
    modifiers.setFlag(Qt::ShiftModifier, shortcut.shift);
    modifiers.setFlag(Qt::AltModifier, shortcut.alt);
    std::vector<Qt::Key> keys;
    switch (shortcut.key) {
        case Shortcut::Key::None:
            break;
        case Shortcut::Key::Letter:
            keys = {static_cast<Qt::Key>(shortcut.letter)};
            break;
        case Shortcut::Key::PageUp:
            keys = {Qt::Key_PageUp};
            break;
        case Shortcut::Key::Enter:
            keys = {Qt::Key_Return, Qt::Key_Enter};
            break;
        case Shortcut::Key::F1:
            keys = {Qt::Key_F1};
            break;
        case Shortcut::Key::F11:
            keys = {Qt::Key_F11};
            break;
    }
    std::vector<QKeySequence> out;
    for (const Qt::Key key : keys) {
        out.emplace_back(QKeyCombination(modifiers, key));
    }
    return out;
}

}  // namespace

// Builds the tree from the menu model and records, for each shortcut, the menus that enclose its item.
class MenuBinder {
public:
    explicit MenuBinder(MainWindow& window) : m_window(window) {}

    void build() {
        std::array<QMenu*, kMenuIdCount> menus{};
        for (const MenuEntry& entry : menuEntries()) {
            if (entry.pageOnly) {
                continue;
            }
            QMenu* parent = entry.isTop() ? nullptr : menus[menuIndex(entry.parent)];
            const QString caption = QString::fromUtf8(entry.caption.data(), qsizetype(entry.caption.size()));
            const QString name = QString::fromLatin1(entry.name.data(), qsizetype(entry.name.size()));
            switch (entry.kind) {
                case MenuEntry::Kind::Menu:
                    menus[menuIndex(entry.id)] = menu(parent, entry.id, name, caption);
                    break;
                case MenuEntry::Kind::Separator:
                    parent->addSeparator()->setObjectName(name);
                    break;
                case MenuEntry::Kind::Item:
                    item(parent, entry, name, caption);
                    break;
            }
        }
        // Enabled by the first opening and never disabled again.
        m_window.action(MenuId::QuickSave)->setEnabled(false);
        m_window.action(MenuId::QuickLoad)->setEnabled(false);
    }

private:
    QMenu* menu(QMenu* parent, MenuId id, const QString& name, const QString& caption) {
        QMenu* menu = parent ? parent->addMenu(caption) : m_window.menuBar()->addMenu(caption);
        menu->setObjectName(name);
        menu->menuAction()->setObjectName(name);
        m_window.m_actions[menuIndex(id)] = menu->menuAction();
        MainWindow& w = m_window;
        m_window.m_refreshers[menu] = [&w, id] { w.refreshMenu(id); };
        QObject::connect(menu, &QMenu::aboutToShow, &m_window, [&w, id] { w.refreshMenu(id); });
        return menu;
    }

    void item(QMenu* menu, const MenuEntry& entry, const QString& name, const QString& caption) {
        QAction* action = menu->addAction(caption);
        action->setObjectName(name);
        action->setCheckable(entry.checkable);
        if (entry.isStep()) {
            // The step items carry the step they make (-1, 0 or 1) as their data.
            action->setData(static_cast<int>(entry.step));
        }
        std::vector<QMenu*> chain;
        for (QMenu* m = menu; m != nullptr; m = qobject_cast<QMenu*>(m->parent())) {
            chain.insert(chain.begin(), m);
        }
        bool shown = false;
        for (const Shortcut& shortcut : entry.shortcuts) {
            for (const QKeySequence& key : keySequences(shortcut)) {
                if (!shown) {
                    // The key shows in the menu; MainWindow::runShortcut carries it out.
                    action->setShortcut(key);
                    action->setShortcutContext(Qt::WidgetShortcut);
                    shown = true;
                }
                m_window.m_shortcuts.push_back({key, action, chain});
            }
        }
        // The binder is gone by the time an item is chosen; the window is not.
        MainWindow& window = m_window;
        QObject::connect(action, &QAction::triggered, &m_window,
                         [&window, command = command(entry)] { window.runReporting(command); });
        m_window.m_actions[menuIndex(entry.id)] = action;
    }

    std::function<void()> command(const MenuEntry& entry) {
        MainWindow& w = m_window;
        switch (entry.id) {
            case MenuId::Open:
                return [&w] { w.openProjectFromDialog(); };
            case MenuId::Reopen:
                return [&w] { w.reopenProject(); };
            case MenuId::QuickSave:
                return [&w] { w.quickSave(); };
            case MenuId::QuickLoad:
                return [&w] { w.quickLoad(); };
            case MenuId::Exit:
                return [&w] { w.close(); };
            case MenuId::Font:
                return [&w] { w.chooseFont(); };
            case MenuId::WiderGap:
            case MenuId::NarrowerGap:
            case MenuId::StandardGap:
                return [&w, step = entry.step] { w.adjustLineGap(step); };
            case MenuId::Slower:
            case MenuId::Faster:
            case MenuId::NormalSpeed:
                return [&w, step = entry.step] { w.adjustRevealSpeed(step); };
            case MenuId::LouderMusic:
            case MenuId::QuieterMusic:
            case MenuId::StandardMusic:
            case MenuId::LouderEffects:
            case MenuId::QuieterEffects:
            case MenuId::StandardEffects:
                return [&w, setting = entry.setting, step = entry.step] { w.adjustVolume(setting, step); };
            case MenuId::Nonstop:
            case MenuId::Midi:
            case MenuId::Wav:
            case MenuId::OtherMedia:
            case MenuId::OldExe:
            case MenuId::LowRes:
            case MenuId::Contrast:
                return [&w] { w.applyOptionChecks(); };
            case MenuId::Balance:
                return [&w] { w.balanceTo4by3(); };
            case MenuId::Backlog:
                return [&w] { w.showBacklog(); };
            case MenuId::Back:
                return [&w] { w.goBackOnePage(); };
            case MenuId::CopyText:
                return [&w] { w.copyPageText(); };
            case MenuId::ReaderMap:
                return [&w] { w.showReaderMap(); };
            case MenuId::AutoAdvance:
                return [&w] { w.onAutoAdvanceToggled(); };
            case MenuId::Skip:
                return [&w] { w.setSkipping(w.action(MenuId::Skip)->isChecked()); };
            case MenuId::FullScreen:
                return [&w] { w.setFullScreenView(w.action(MenuId::FullScreen)->isChecked()); };
            case MenuId::Speech:
                return [&w] { w.onSpeechToggled(); };
            case MenuId::HelpContents:
                return [&w] { w.openHelpContents(); };
            case MenuId::About:
                return [&w] { w.showAbout(); };
            default:
                return {};
        }
    }

    MainWindow& m_window;
};

void MainWindow::createMenus() {
    menuBar()->setObjectName(QStringLiteral("mainMenu"));
    MenuBinder(*this).build();
}

bool MainWindow::runShortcut(const QKeySequence& key) {
    for (const ShortcutItem& item : m_shortcuts) {
        if (item.key == key) {
            runItem(item);
            return true;
        }
    }
    return false;
}

void MainWindow::runMenuItem(MenuId id) {
    const QAction* wanted = action(id);
    for (const ShortcutItem& item : m_shortcuts) {
        if (item.action == wanted) {
            runItem(item);
            return;
        }
    }
}

void MainWindow::runItem(const ShortcutItem& item) {
    bool menusEnabled = true;
    const bool refreshed = runReporting([&] {
        for (QMenu* menu : item.menus) {
            if (!menu->menuAction()->isEnabled()) {
                menusEnabled = false;
                return;
            }
            if (auto refresh = m_refreshers.find(menu); refresh != m_refreshers.end()) {
                refresh->second();
            }
        }
    });
    if (refreshed && menusEnabled && item.action->isEnabled()) {
        item.action->trigger();
    }
}

SessionFacts MainWindow::menuFacts() const {
    SessionFacts facts = m_session->facts();
    // The window keeps these two in its actions: the opening and the saves set them.
    facts.quickSaveEnabled = action(MenuId::QuickSave)->isEnabled();
    facts.quickLoadEnabled = action(MenuId::QuickLoad)->isEnabled();
    facts.autoAdvance = action(MenuId::AutoAdvance)->isChecked();
    facts.revealSpeed = m_revealSpeed;
    facts.lineGapTenths = m_gapTenths;
    return facts;
}

FrontEndFacts MainWindow::frontEndFacts() const {
    FrontEndFacts facts;
    facts.fullScreen = m_fullScreen;
    facts.sizeLocked =
        (windowState() & (Qt::WindowMaximized | Qt::WindowMinimized | Qt::WindowFullScreen)) != 0;
    facts.speech = action(MenuId::Speech)->isChecked();
    return facts;
}

// The refresh of a menu as it opens: its items' enabled states and captions by the model's rules.
// The check marks are the actions' own: they change as the reader chooses them.
void MainWindow::refreshMenu(MenuId menu) {
    const SessionFacts session = menuFacts();
    const FrontEndFacts frontEnd = frontEndFacts();
    for (const MenuEntry& entry : menuEntries()) {
        QAction* a = m_actions[menuIndex(entry.id)];
        if (entry.parent != menu || entry.isTop() || a == nullptr) {
            continue;
        }
        const MenuItemState state = menuItemState(entry.id, session, frontEnd);
        a->setEnabled(state.enabled);
        a->setText(QString::fromStdString(state.caption));
    }
}

void MainWindow::adjustLineGap(presentation::SettingStep step) {
    m_gapTenths = presentation::steppedLineGap(m_gapTenths, step);
    m_page->setLineGapTenths(m_gapTenths);
}

void MainWindow::adjustRevealSpeed(presentation::SettingStep step) {
    // A reveal in progress goes on; the new speed counts from its next step.
    m_revealSpeed = presentation::steppedRevealSpeed(m_revealSpeed, step);
    m_page->setRevealSpeed(m_revealSpeed);
    m_page->update();
}

void MainWindow::adjustVolume(MenuSetting setting, presentation::SettingStep step) {
    int music = m_session->musicVolume();
    int effects = m_session->effectVolume();
    int& changed = setting == MenuSetting::MusicVolume ? music : effects;
    changed = steppedVolume(changed, step);
    m_session->setVolumes(music, effects);
}

interpreter::EngineOptions MainWindow::optionsFromChecks() {
    interpreter::EngineOptions o;
    o.playMidi = action(MenuId::Midi)->isChecked();
    o.playWave = action(MenuId::Wav)->isChecked();
    o.playOtherMedia = action(MenuId::OtherMedia)->isChecked();
    o.linesRunAsPrograms = action(MenuId::OldExe)->isChecked();
    o.lowColour = action(MenuId::LowRes)->isChecked();
    o.brightOutline = action(MenuId::Contrast)->isChecked();
    o.revealAtOnce = action(MenuId::Nonstop)->isChecked();
    return o;
}

void MainWindow::applyOptionChecks() {
    m_session->setOptions(optionsFromChecks());
    m_page->sync();
}

void MainWindow::chooseFont() {
    FontDialog dialog(m_page->textFont(), this);
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    const QFont chosen = dialog.selectedFont();
    m_fontNameSjis = utf8ToSjisLossy(chosen.family().toStdString());
    m_page->setTextFont(chosen);
}

void MainWindow::balanceTo4by3() {
    const QSize client = m_page->size();
    const int scrollBar = presentation::PageView::kScrollBarWidth;
    const pictures::Size balanced =
        pictures::balance4to3(client.width() - scrollBar, client.height(), scrollBar);
    // The window's frame and menu bar stay as they are; only the client area changes.
    resize(width() - client.width() + balanced.width, height() - client.height() + balanced.height);
}

void MainWindow::openHelpContents() {
    showManual(this, readersManualPath(m_programDir));
}

void MainWindow::showAbout() {
    StoryDialog box(this);
    box.setPurposeName(QStringLiteral("バージョン情報"));
    box.setCommentSjis(versionText(m_story.labels.findLabel("VRKVER")));
    box.exec();
}

}  // namespace vrk::app
