// The file menu's commands and the opening sequence that drives the story dialog.
// Decisions (where saves live, what a slot says, how erase and names behave) are the reading
// session's; this file only shows them and waits for the reader.

#include <QAction>
#include <QFileDialog>

#include "app/project_opening.h"
#include "app/qt/main_window.h"
#include "app/qt/qt_story_host.h"
#include "app/qt/story_dialog.h"
#include "app/reading_session.h"
#include "app/startup_hook.h"
#include "common/errors.h"
#include "common/sjis.h"
#include "presentation/qt/page_view.h"

namespace vrk::app {
namespace {

namespace fs = std::filesystem;

void showSlot(StoryDialog& box, const SlotView& view) {
    box.setCaptionSjis(view.captionSjis);
    box.setCommentSjis(view.commentSjis);
}

}  // namespace

bool MainWindow::runReporting(const std::function<void()>& step) {
    return app::runReporting(step, [this](const std::string& messageSjis) { reportError(messageSjis); });
}

bool MainWindow::pickSlot(StoryDialog& box) {
    SlotView first;
    const bool described = m_session->describeSlot(1, first);
    showNotices();
    if (!described) {
        return false;
    }
    box.setSelectedSlot(1);
    showSlot(box, first);
    // A slot whose file is missing is reported and the picker stays as it was; the reader
    // can pick another slot or create this one with the erase button.
    connect(&box, &StoryDialog::slotClicked, &box, [&](int slot) {
        SlotView view;
        const bool ok = m_session->describeSlot(slot, view);
        showNotices();
        if (ok) {
            showSlot(box, view);
        }
    });
    connect(&box, &StoryDialog::eraseClicked, &box, [&] {
        SlotView view;
        const bool ok = m_session->eraseSlot(view);
        showNotices();
        if (ok) {
            showSlot(box, view);
        }
    });
    box.setPickerShown(true);
    // The picker cannot be cancelled: any other way of closing it shows it again. Only the
    // end of the program (the window closed under it) ends it, and the opening with it.
    startupMark("picker-shown");
    while (box.exec() != StoryDialog::kOkResult) {
        if (m_closing) {
            return false;
        }
    }
    box.disconnect(&box, &StoryDialog::slotClicked, nullptr, nullptr);
    box.disconnect(&box, &StoryDialog::eraseClicked, nullptr, nullptr);
    box.setPickerShown(false);
    startupMark("slot-picked");
    return true;
}

bool MainWindow::askNames(StoryDialog& box) {
    for (int i : m_session->namesToAsk()) {
        box.setCommentSjis(m_session->namePromptSjis(i));
        box.setNameEntryShown(true, m_session->defaultNameSjis(i));
        // An empty name is refused: the box comes back until something is typed.
        do {
            box.exec();
            if (m_closing) {
                return false;
            }
        } while (!m_session->setName(i, box.nameSjis()));
    }
    box.setNameEntryShown(false);
    return true;
}

bool MainWindow::openProject(bool askSlot) {
    if (commandHeldBack() || !m_story.locations.projectKnown()) {
        return false;
    }
    // Pictures and sounds that a story names without a directory are the project's.
    std::error_code ignored;
    fs::current_path(m_story.locations.projectDir, ignored);
    m_host->setProjectDir(m_story.locations.projectDir);

    // A new reading: nothing before it can be gone back to or shown in the backlog.
    m_session->setProject(m_story.locations.projectDir, m_story.locations.baseName);
    bool opened = m_session->chooseSaveDirectory();
    showNotices();
    if (opened && askSlot) {
        StoryDialog box(this);
        opened = pickSlot(box) && m_session->loadSlot();
        showNotices();
        opened = opened && askNames(box);
    } else if (opened) {
        SlotView first;
        opened = m_session->describeSlot(1, first) && m_session->loadSlot();
        showNotices();
        for (int i : opened ? m_session->namesToAsk() : std::vector<int>{}) {
            m_session->setName(i, m_session->defaultNameSjis(i));
        }
    }
    settleLayout();
    opened = opened && m_session->start();
    showNotices();
    startupMark("first-page-run");
    if (opened) {
        action(MenuId::QuickLoad)->setEnabled(m_session->quickLoadEnabled());
        action(MenuId::QuickSave)->setEnabled(true);
        setWindowTitle(QString::fromStdString(sjisToUtf8(m_session->captionSjis())));
        const QSize client = m_page->size();
        if (client.width() * 3 == client.height() * 4) {
            m_page->update();
        } else if (!m_fullScreen) {
            // Full screen keeps the page the window had; the screen is not the window to balance.
            balanceTo4by3();
        }
    }
    emit openingFinished(opened);
    return opened;
}

void MainWindow::openProjectFromDialog() {
    if (commandHeldBack()) {
        return;
    }
    // In the window's Japanese, like the rest of the dialog (dialog_language.h).
    QFileDialog dialog(this, QStringLiteral("Marivex ファイルを開く"));
    dialog.setObjectName(QStringLiteral("openProjectDialog"));
    dialog.setNameFilter(QStringLiteral("Marivex ファイル (*.vrk *.VRK)"));
    dialog.setDefaultSuffix(QStringLiteral("vrk"));
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    if (m_story.locations.projectKnown()) {
        dialog.setDirectory(QString::fromStdString(m_story.locations.projectDir.string()));
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return;
    }
    const fs::path chosen = dialog.selectedFiles().constFirst().toStdString();
    m_session->flush();
    showNotices();
    const std::string fileName = chosen.filename().string();
    setProject(chosen.parent_path() / "", fileName.substr(0, fileName.find('.')));
    openProject();
}

void MainWindow::reopenProject() {
    if (commandHeldBack() || !m_story.locations.projectKnown()) {
        return;
    }
    m_session->flush();
    showNotices();
    openProject();
}

void MainWindow::quickSave() {
    // Mid-run or in its pause the state is half way between two pages; the end of a story has
    // no page to come back to.
    if (m_session->quickSave()) {
        action(MenuId::QuickLoad)->setEnabled(true);
    }
    showNotices();
}

void MainWindow::quickLoad() {
    // Going back stops at the loaded page; its text before stays in the backlog.
    m_session->quickLoad();
    showNotices();
}

}  // namespace vrk::app
