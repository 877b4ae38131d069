// The main menu (MainMenu1): the menu tree, the refresh handlers that run as a menu opens, and the
// commands of the settings and help menus. A keyboard shortcut runs the refresh
// handlers of its enclosing menus first (runShortcut), so a command that the limits
// disable is not carried out by its shortcut either.

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>

#include "app/help_version.h"
#include "app/qt/font_dialog.h"
#include "app/qt/help_window.h"
#include "app/qt/main_window.h"
#include "app/qt/qt_story_host.h"
#include "app/qt/slot_dialog.h"
#include "common/messages.h"
#include "common/sjis.h"
#include "pictures/background.h"
#include "presentation/qt/page_view.h"
#include "presentation/reading_settings.h"

namespace vrk::app {
// Builds the tree and records, for each shortcut, the menus that enclose its item.
class MenuBinder {
public:
    explicit MenuBinder(MainWindow& window) : m_window(window) {}

    QMenu* menu(QMenu* parent, const char* name, const QString& caption, std::function<void()> refresh = {}) {
        QMenu* menu = parent ? parent->addMenu(caption) : m_window.menuBar()->addMenu(caption);
        menu->setObjectName(QString::fromLatin1(name));
        menu->menuAction()->setObjectName(QString::fromLatin1(name));
        m_window.m_actions[menu->objectName()] = menu->menuAction();
        if (refresh) {
            m_window.m_refreshers[menu] = refresh;
            QObject::connect(menu, &QMenu::aboutToShow, &m_window, refresh);
        }
        return menu;
    }

    QAction* item(QMenu* menu, const char* name, const QString& caption, const QKeySequence& key,
                  std::function<void()> command, bool checkable = false) {
        QAction* action = menu->addAction(caption);
        action->setObjectName(QString::fromLatin1(name));
        action->setCheckable(checkable);
        if (!key.isEmpty()) {
            // The key shows in the menu; MainWindow::runShortcut carries it out.
            action->setShortcut(key);
            action->setShortcutContext(Qt::WidgetShortcut);
            std::vector<QMenu*> chain;
            for (QMenu* m = menu; m != nullptr; m = qobject_cast<QMenu*>(m->parent())) {
                chain.insert(chain.begin(), m);
            }
            m_window.m_shortcuts.push_back({key, action, chain});
        }
        // The binder is gone by the time an item is chosen; the window is not.
        MainWindow& window = m_window;
        QObject::connect(action, &QAction::triggered, &m_window,
                         [&window, command] { window.runReporting(command); });
        m_window.m_actions[action->objectName()] = action;
        return action;
    }

    QAction* check(QMenu* menu, const char* name, const QString& caption, const QKeySequence& key,
                   std::function<void()> command) {
        return item(menu, name, caption, key, std::move(command), true);
    }

    static QKeySequence ctrl(char letter) { return QKeySequence(Qt::CTRL | static_cast<Qt::Key>(letter)); }

    void fileMenu() {
        MainWindow& w = m_window;
        QMenu* file =
            menu(nullptr, "fileMenu", QStringLiteral("ファイル(&F)"), [&w] { w.refreshFileMenu(); });
        item(file, "openAction", QStringLiteral("開く(&O)"), ctrl('O'), [&w] { w.openProjectFromDialog(); });
        item(file, "reopenAction", QStringLiteral("開き直す(&R)"), ctrl('R'), [&w] { w.reopenProject(); });
        // Enabled by the first opening and never disabled again.
        item(file, "quickSaveAction", QStringLiteral("一時保存(&T)"), ctrl('S'), [&w] {
            w.quickSave();
        })->setEnabled(false);
        item(file, "quickLoadAction", QStringLiteral("一時保存を開く(&Y)"), ctrl('T'), [&w] {
            w.quickLoad();
        })->setEnabled(false);
        file->addSeparator()->setObjectName(QStringLiteral("fileSeparator"));
        item(file, "exitAction", QStringLiteral("終了(&X)"), ctrl('Q'), [&w] { w.close(); });
    }

    // The speed and gap items carry their Tag (the step they make) as their data.
    void optionMenu() {
        MainWindow& w = m_window;
        QMenu* option =
            menu(nullptr, "settingsMenu", QStringLiteral("設定(&O)"), [&w] { w.refreshSettingsMenu(); });
        item(option, "fontAction", QStringLiteral("フォント(&F)"), ctrl('F'), [&w] { w.chooseFont(); });
        QMenu* gap =
            menu(option, "lineGapMenu", QStringLiteral("行間隔(&G)"), [&w] { w.refreshLineGapMenu(); });
        item(gap, "widerGapAction", QStringLiteral("広く(&W)"), ctrl('W'), [&w] {
            w.adjustLineGap(1);
        })->setData(1);
        item(gap, "narrowerGapAction", QStringLiteral("狭く(&N)"), ctrl('N'), [&w] {
            w.adjustLineGap(-1);
        })->setData(-1);
        item(gap, "standardGapAction", QStringLiteral("標準(&S)"), {}, [&w] {
            w.adjustLineGap(0);
        })->setData(0);
        QMenu* speed =
            menu(option, "speedMenu", QStringLiteral("描画速度(&P)"), [&w] { w.refreshSpeedMenu(); });
        item(speed, "slowerAction", QStringLiteral("遅く(&S)"), ctrl('H'), [&w] {
            w.adjustRevealSpeed(1);
        })->setData(1);
        item(speed, "fasterAction", QStringLiteral("速く(&F)"), ctrl('J'), [&w] {
            w.adjustRevealSpeed(-1);
        })->setData(-1);
        item(speed, "normalSpeedAction", QStringLiteral("標準(2)(&N)"), ctrl('K'), [&w] {
            w.adjustRevealSpeed(0);
        })->setData(0);
        check(speed, "nonstopAction", QStringLiteral("最速(&Z)"), ctrl('L'), [&w] { w.toggleNonstop(); });
        QMenu* sound = menu(option, "soundMenu", QStringLiteral("音声(&S)"));
        check(sound, "midiAction", QStringLiteral("Midファイル"), {}, [&w] { w.onSoundKindToggled(); });
        check(sound, "wavAction", QStringLiteral("Wavファイル"), {}, [&w] { w.onSoundKindToggled(); });
        check(sound, "otherMediaAction", QStringLiteral("その他のファイル"), {},
              [&w] { w.onSoundKindToggled(); });
        QMenu* compatible = menu(option, "compatibilityMenu", QStringLiteral("互換性(&C)"));
        check(compatible, "oldExeAction", QStringLiteral("旧形式外部EXE"), {},
              [&w] { w.optionsFromChecks(); });
        // Both change how the page and its background are drawn.
        auto redraw = [&w] {
            w.optionsFromChecks();
            w.m_story.page.layoutDirty = true;
            w.m_page->repaintPage();
        };
        check(compatible, "lowResAction", QStringLiteral("ローレゾ"), ctrl('C'), redraw);
        check(compatible, "contrastAction", QStringLiteral("高輝度ふち取り"), ctrl('E'), redraw);
        item(option, "balanceAction", QStringLiteral("4:3バランス"), ctrl('B'), [&w] { w.balanceTo4by3(); });
    }

    // The reader's comforts. Full screen also answers Alt+Enter.
    void viewMenu() {
        MainWindow& w = m_window;
        QMenu* view = menu(nullptr, "viewMenu", QStringLiteral("表示(&V)"), [&w] { w.refreshViewMenu(); });
        item(view, "backlogAction", QStringLiteral("バックログ(&B)"), QKeySequence(Qt::Key_PageUp),
             [&w] { w.showBacklog(); });
        item(view, "backAction", QStringLiteral("1ページ戻る(&P)"), ctrl('Z'), [&w] { w.goBackOnePage(); });
        item(view, "copyTextAction", QStringLiteral("本文をコピー(&C)"),
             QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C), [&w] { w.copyPageText(); });
        view->addSeparator();
        check(view, "autoAdvanceAction", QStringLiteral("自動送り(&A)"), ctrl('A'),
              [&w] { w.onAutoAdvanceToggled(); });
        check(view, "skipAction", QStringLiteral("既読スキップ(&S)"), ctrl('D'),
              [&w] { w.setSkipping(w.m_actions.at(QStringLiteral("skipAction"))->isChecked()); });
        QAction* full = check(
            view, "fullScreenAction", QStringLiteral("全画面表示(&U)"), QKeySequence(Qt::Key_F11),
            [&w] { w.setFullScreenView(w.m_actions.at(QStringLiteral("fullScreenAction"))->isChecked()); });
        for (const QKeySequence& alt :
             {QKeySequence(Qt::ALT | Qt::Key_Return), QKeySequence(Qt::ALT | Qt::Key_Enter)}) {
            w.m_shortcuts.push_back({alt, full, {view}});
        }
        view->addSeparator();
        check(view, "speechAction", QStringLiteral("読み上げ(&R)"), ctrl('Y'), [&w] { w.onSpeechToggled(); });
    }

    void helpMenu() {
        MainWindow& w = m_window;
        QMenu* help = menu(nullptr, "helpMenu", QStringLiteral("説明(&H)"));
        item(help, "helpContentsAction", QStringLiteral("目次(&I)"), QKeySequence(Qt::Key_F1),
             [&w] { w.openHelpContents(); });
        item(help, "aboutAction", QStringLiteral("バージョン情報(&A)"), {}, [&w] { w.showAbout(); });
    }

private:
    MainWindow& m_window;
};

void MainWindow::createMenus() {
    menuBar()->setObjectName(QStringLiteral("mainMenu"));
    MenuBinder binder(*this);
    binder.fileMenu();
    binder.optionMenu();
    binder.viewMenu();
    binder.helpMenu();
}

bool MainWindow::runShortcut(const QKeySequence& key) {
    for (const ShortcutItem& item : m_shortcuts) {
        if (item.key != key) {
            continue;
        }
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
        if (!refreshed || !menusEnabled) {
            return true;
        }
        if (item.action->isEnabled()) {
            item.action->trigger();
        }
        return true;
    }
    return false;
}

void MainWindow::refreshFileMenu() {
    m_actions.at(QStringLiteral("reopenAction"))->setEnabled(m_story.locations.projectKnown());
}

void MainWindow::refreshSettingsMenu() {
    m_actions.at(QStringLiteral("balanceAction"))
        ->setEnabled(!(windowState() & (Qt::WindowMaximized | Qt::WindowMinimized | Qt::WindowFullScreen)));
    const std::string caption = presentation::speedCaptionSjis(m_revealSpeed, m_story.options.nonstop);
    m_actions.at(QStringLiteral("speedMenu"))->setText(QString::fromStdString(sjisToUtf8(caption)));
}

void MainWindow::refreshLineGapMenu() {
    const presentation::GapItems items = presentation::gapItemsFor(m_gapTenths);
    m_actions.at(QStringLiteral("widerGapAction"))->setEnabled(items.wide);
    m_actions.at(QStringLiteral("narrowerGapAction"))->setEnabled(items.narrow);
    m_actions.at(QStringLiteral("standardGapAction"))->setEnabled(items.standard);
}

void MainWindow::refreshSpeedMenu() {
    const presentation::SpeedItems items =
        presentation::speedItemsFor(m_revealSpeed, m_story.options.nonstop);
    m_actions.at(QStringLiteral("slowerAction"))->setEnabled(items.slow);
    m_actions.at(QStringLiteral("fasterAction"))->setEnabled(items.fast);
    m_actions.at(QStringLiteral("normalSpeedAction"))->setEnabled(items.normal);
}

void MainWindow::adjustLineGap(int tag) {
    m_gapTenths = presentation::applyGapTag(m_gapTenths, tag);
    m_page->setLineGapTenths(m_gapTenths);
}

void MainWindow::adjustRevealSpeed(int tag) {
    // A reveal in progress goes on; the new speed counts from its next step.
    m_revealSpeed = presentation::applySpeedTag(m_revealSpeed, tag);
    m_page->setRevealSpeed(m_revealSpeed);
    m_page->update();
}

void MainWindow::toggleNonstop() {
    optionsFromChecks();
    // Also ends a waitTicks in progress, which would otherwise wait for ticks that no longer come.
    m_page->setNonstop(m_story.options.nonstop);
}

void MainWindow::optionsFromChecks() {
    interpreter::PlayerOptions& o = m_story.options;
    o.mid = m_actions.at(QStringLiteral("midiAction"))->isChecked();
    o.wav = m_actions.at(QStringLiteral("wavAction"))->isChecked();
    o.other = m_actions.at(QStringLiteral("otherMediaAction"))->isChecked();
    o.oldExe = m_actions.at(QStringLiteral("oldExeAction"))->isChecked();
    o.lowRes = m_actions.at(QStringLiteral("lowResAction"))->isChecked();
    o.contrast = m_actions.at(QStringLiteral("contrastAction"))->isChecked();
    o.nonstop = m_actions.at(QStringLiteral("nonstopAction"))->isChecked();
}

void MainWindow::onSoundKindToggled() {
    const interpreter::PlayerOptions before = m_story.options;
    optionsFromChecks();
    const interpreter::PlayerOptions& after = m_story.options;
    if ((before.mid && !after.mid) || (before.wav && !after.wav) || (before.other && !after.other)) {
        m_host->soundOptionUnchecked();
    }
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
    SlotDialog box(this);
    box.setCommentSjis(versionText(m_story.labels.findLabel("VRKVER")));
    box.exec();
}

}  // namespace vrk::app
