// MainMenu1: the menu tree, the refresh handlers that run as a menu opens, and the
// commands of the settings and help menus. A keyboard shortcut runs the refresh
// handlers of its enclosing menus first (runShortcut), so a command that the limits
// disable is not carried out by its shortcut either.

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>

#include "app/qt/about_box.h"
#include "app/qt/font_dialog.h"
#include "app/qt/main_window.h"
#include "app/qt/qt_story_host.h"
#include "common/messages.h"
#include "common/sjis.h"
#include "pictures/background.h"
#include "presentation/qt/page_view.h"
#include "presentation/reading_settings.h"
#include "sound/help_version.h"

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
        QMenu* file = menu(nullptr, "File1", QStringLiteral("ファイル(&F)"), [&w] { w.file1Click(); });
        item(file, "Project1", QStringLiteral("開く(&O)"), ctrl('O'), [&w] { w.project1Click(); });
        item(file, "Fixed1", QStringLiteral("開き直す(&R)"), ctrl('R'), [&w] { w.fixed1Click(); });
        // Enabled by the first opening and never disabled again.
        item(file, "Temp1", QStringLiteral("一時保存(&T)"), ctrl('S'), [&w] {
            w.temp1Click();
        })->setEnabled(false);
        item(file, "OpenTmp1", QStringLiteral("一時保存を開く(&Y)"), ctrl('T'), [&w] {
            w.openTmp1Click();
        })->setEnabled(false);
        file->addSeparator()->setObjectName(QStringLiteral("N2"));
        item(file, "Exit1", QStringLiteral("終了(&X)"), ctrl('Q'), [&w] { w.close(); });
    }

    // The speed and gap items carry their Tag (the step they make) as their data.
    void optionMenu() {
        MainWindow& w = m_window;
        QMenu* option = menu(nullptr, "Option1", QStringLiteral("設定(&O)"), [&w] { w.option1Click(); });
        item(option, "Font1", QStringLiteral("フォント(&F)"), ctrl('F'), [&w] { w.font1Click(); });
        QMenu* gap = menu(option, "Gap1", QStringLiteral("行間隔(&G)"), [&w] { w.gap1Click(); });
        item(gap, "Wide1", QStringLiteral("広く(&W)"), ctrl('W'), [&w] { w.gapOptClick(1); })->setData(1);
        item(gap, "Narrow1", QStringLiteral("狭く(&N)"), ctrl('N'), [&w] { w.gapOptClick(-1); })->setData(-1);
        item(gap, "Standard1", QStringLiteral("標準(&S)"), {}, [&w] { w.gapOptClick(0); })->setData(0);
        QMenu* speed = menu(option, "Speed1", QStringLiteral("描画速度(&P)"), [&w] { w.speed1Click(); });
        item(speed, "Slow1", QStringLiteral("遅く(&S)"), ctrl('H'), [&w] { w.speedOptClick(1); })->setData(1);
        item(speed, "Fast1", QStringLiteral("速く(&F)"), ctrl('J'), [&w] {
            w.speedOptClick(-1);
        })->setData(-1);
        item(speed, "Normal1", QStringLiteral("標準(2)(&N)"), ctrl('K'), [&w] {
            w.speedOptClick(0);
        })->setData(0);
        check(speed, "Nonstop1", QStringLiteral("最速(&Z)"), ctrl('L'), [&w] { w.nonstop1Click(); });
        QMenu* sound = menu(option, "Sound1", QStringLiteral("音声(&S)"));
        check(sound, "Mid1", QStringLiteral("Midファイル"), {}, [&w] { w.soundClick(); });
        check(sound, "Wav1", QStringLiteral("Wavファイル"), {}, [&w] { w.soundClick(); });
        check(sound, "Other1", QStringLiteral("その他のファイル"), {}, [&w] { w.soundClick(); });
        QMenu* compatible = menu(option, "Compatible1", QStringLiteral("互換性(&C)"));
        check(compatible, "OldExe1", QStringLiteral("旧形式外部EXE"), {}, [&w] { w.optionsFromChecks(); });
        // Both change how the page and its background are drawn.
        auto redraw = [&w] {
            w.optionsFromChecks();
            w.m_story.page.layoutDirty = true;
            w.m_page->repaintPage();
        };
        check(compatible, "LowRes1", QStringLiteral("ローレゾ"), ctrl('C'), redraw);
        check(compatible, "Contrast1", QStringLiteral("高輝度ふち取り"), ctrl('E'), redraw);
        item(option, "balance1", QStringLiteral("4:3バランス"), ctrl('B'), [&w] { w.balance1Click(); });
    }

    void helpMenu() {
        MainWindow& w = m_window;
        QMenu* help = menu(nullptr, "Help1", QStringLiteral("説明(&H)"));
        item(help, "Index1", QStringLiteral("目次(&I)"), QKeySequence(Qt::Key_F1), [&w] { w.index1Click(); });
        item(help, "About1", QStringLiteral("バージョン情報(&A)"), {}, [&w] { w.about1Click(); });
    }

private:
    MainWindow& m_window;
};

void MainWindow::createMenus() {
    menuBar()->setObjectName(QStringLiteral("MainMenu1"));
    MenuBinder binder(*this);
    binder.fileMenu();
    binder.optionMenu();
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

void MainWindow::file1Click() {
    m_actions.at(QStringLiteral("Fixed1"))->setEnabled(m_story.locations.projectKnown());
}

void MainWindow::option1Click() {
    m_actions.at(QStringLiteral("balance1"))
        ->setEnabled(!(windowState() & (Qt::WindowMaximized | Qt::WindowMinimized)));
    const std::string caption = presentation::speedCaptionSjis(m_revealSpeed, m_story.options.nonstop);
    m_actions.at(QStringLiteral("Speed1"))->setText(QString::fromStdString(sjisToUtf8(caption)));
}

void MainWindow::gap1Click() {
    const presentation::GapItems items = presentation::gapItemsFor(m_gapTenths);
    m_actions.at(QStringLiteral("Wide1"))->setEnabled(items.wide);
    m_actions.at(QStringLiteral("Narrow1"))->setEnabled(items.narrow);
    m_actions.at(QStringLiteral("Standard1"))->setEnabled(items.standard);
}

void MainWindow::speed1Click() {
    const presentation::SpeedItems items =
        presentation::speedItemsFor(m_revealSpeed, m_story.options.nonstop);
    m_actions.at(QStringLiteral("Slow1"))->setEnabled(items.slow);
    m_actions.at(QStringLiteral("Fast1"))->setEnabled(items.fast);
    m_actions.at(QStringLiteral("Normal1"))->setEnabled(items.normal);
}

void MainWindow::gapOptClick(int tag) {
    m_gapTenths = presentation::applyGapTag(m_gapTenths, tag);
    m_page->setLineGapTenths(m_gapTenths);
}

void MainWindow::speedOptClick(int tag) {
    // A reveal in progress goes on; the new speed counts from its next step.
    m_revealSpeed = presentation::applySpeedTag(m_revealSpeed, tag);
    m_page->setRevealSpeed(m_revealSpeed);
    m_page->update();
}

void MainWindow::nonstop1Click() {
    optionsFromChecks();
    // Also ends a waitTicks in progress, which would otherwise wait for ticks that no longer come.
    m_page->setNonstop(m_story.options.nonstop);
}

void MainWindow::optionsFromChecks() {
    interpreter::PlayerOptions& o = m_story.options;
    o.mid = m_actions.at(QStringLiteral("Mid1"))->isChecked();
    o.wav = m_actions.at(QStringLiteral("Wav1"))->isChecked();
    o.other = m_actions.at(QStringLiteral("Other1"))->isChecked();
    o.oldExe = m_actions.at(QStringLiteral("OldExe1"))->isChecked();
    o.lowRes = m_actions.at(QStringLiteral("LowRes1"))->isChecked();
    o.contrast = m_actions.at(QStringLiteral("Contrast1"))->isChecked();
    o.nonstop = m_actions.at(QStringLiteral("Nonstop1"))->isChecked();
}

void MainWindow::soundClick() {
    const interpreter::PlayerOptions before = m_story.options;
    optionsFromChecks();
    const interpreter::PlayerOptions& after = m_story.options;
    if ((before.mid && !after.mid) || (before.wav && !after.wav) || (before.other && !after.other)) {
        m_host->soundOptionUnchecked();
    }
}

void MainWindow::font1Click() {
    FontDialog dialog(m_page->textFont(), this);
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    const QFont chosen = dialog.selectedFont();
    m_fontNameSjis = utf8ToSjisLossy(chosen.family().toStdString());
    m_page->setTextFont(chosen);
}

void MainWindow::balance1Click() {
    const QSize client = m_page->size();
    const int scrollBar = presentation::PageView::kScrollBarWidth;
    const pictures::Size balanced =
        pictures::balance4to3(client.width() - scrollBar, client.height(), scrollBar);
    // The window's frame and menu bar stay as they are; only the client area changes.
    resize(width() - client.width() + balanced.width, height() - client.height() + balanced.height);
}

void MainWindow::index1Click() {
    sound::openHelpIndex(sound::helpIndexPath(m_programDir));
}

void MainWindow::about1Click() {
    AboutBox box(this);
    box.setCommentSjis(sound::versionText(m_story.labels.findLabel("VRKVER")));
    box.exec();
}

}  // namespace vrk::app
