// The file menu's commands and the opening sequence that drives the slot dialog.
// Decisions (where saves live, what a slot says, how erase and names behave) are
// ProjectOpening's; this file only shows them and waits for the reader.

#include <QAction>
#include <QFileDialog>

#include "app/project_opening.h"
#include "app/qt/main_window.h"
#include "app/qt/qt_story_host.h"
#include "app/qt/slot_dialog.h"
#include "app/startup_hook.h"
#include "common/errors.h"
#include "common/sjis.h"
#include "presentation/qt/page_view.h"

namespace vrk::app {
namespace {

namespace fs = std::filesystem;

void showSlot(SlotDialog& box, const SlotView& view) {
    box.setCaptionSjis(view.captionSjis);
    box.setCommentSjis(view.commentSjis);
}

}  // namespace

bool MainWindow::runReporting(const std::function<void()>& step) {
    return app::runReporting(step, [this](const std::string& messageSjis) { reportError(messageSjis); });
}

bool MainWindow::pickSlot(SlotDialog& box, ProjectOpening& opening) {
    SlotView first;
    if (!runReporting([&] { first = opening.describeSlot(1); })) {
        return false;
    }
    box.setSelectedSlot(1);
    showSlot(box, first);
    // A slot whose file is missing is reported and the picker stays as it was; the reader
    // can pick another slot or create this one with the erase button.
    connect(&box, &SlotDialog::slotClicked, &box, [&](int slot) {
        SlotView view;
        if (runReporting([&] { view = opening.describeSlot(slot); })) {
            showSlot(box, view);
        }
    });
    connect(&box, &SlotDialog::eraseClicked, &box, [&] {
        SlotView view;
        if (runReporting([&] { view = opening.eraseSlot(); })) {
            showSlot(box, view);
        }
    });
    box.setPickerShown(true);
    // The picker cannot be cancelled: any other way of closing it shows it again. Only the
    // end of the program (the window closed under it) ends it, and the opening with it.
    startupMark("picker-shown");
    while (box.exec() != SlotDialog::kOkResult) {
        if (m_closing) {
            return false;
        }
    }
    box.disconnect(&box, &SlotDialog::slotClicked, nullptr, nullptr);
    box.disconnect(&box, &SlotDialog::eraseClicked, nullptr, nullptr);
    box.setPickerShown(false);
    startupMark("slot-picked");
    return true;
}

bool MainWindow::askNames(SlotDialog& box, ProjectOpening& opening) {
    const std::vector<int> asked = opening.namesToAsk();
    for (int i : asked) {
        box.setCommentSjis(opening.namePromptSjis(i));
        box.setNameEntryShown(true, m_story.state.names[static_cast<std::size_t>(i)]);
        // An empty name is refused: the box comes back until something is typed.
        do {
            box.exec();
            if (m_closing) {
                return false;
            }
        } while (!opening.setName(i, box.nameSjis()));
    }
    box.setNameEntryShown(false);
    return true;
}

bool MainWindow::openProject() {
    if (commandHeldBack() || !m_story.locations.projectKnown()) {
        return false;
    }
    // A new reading: nothing before it can be gone back to or shown in the backlog.
    m_history.clear();
    // Pictures and sounds that a story names without a directory are the project's.
    std::error_code ignored;
    fs::current_path(m_story.locations.projectDir, ignored);
    m_host->setProjectDir(m_story.locations.projectDir);

    ProjectOpening opening(m_story, *m_interpreter, *m_host);
    bool opened = runReporting([&] { opening.chooseSaveDirectory(); });
    if (opened) {
        SlotDialog box(this);
        opened = pickSlot(box, opening) && runReporting([&] { opening.loadSlot(); });
        opened = opened && askNames(box, opening);
    }
    settleLayout();
    opened = opened && runReporting([&] { opening.start(); });
    startupMark("first-page-run");
    if (opened) {
        m_actions.at(QStringLiteral("quickLoadAction"))->setEnabled(quickSaveExists(m_story));
        m_actions.at(QStringLiteral("quickSaveAction"))->setEnabled(true);
        setWindowTitle(QString::fromStdString(sjisToUtf8(opening.windowCaptionSjis())));
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
    m_host->stopSound();
    m_interpreter->flushProject();
    const std::string fileName = chosen.filename().string();
    setProject(chosen.parent_path() / "", fileName.substr(0, fileName.find('.')));
    openProject();
}

void MainWindow::reopenProject() {
    if (commandHeldBack() || !m_story.locations.projectKnown()) {
        return;
    }
    m_host->stopSound();
    m_interpreter->flushProject();
    openProject();
}

void MainWindow::quickSave() {
    // Mid-run the state is half way between two pages.
    if (commandHeldBack()) {
        return;
    }
    if (app::quickSave(m_story, *m_host)) {
        m_actions.at(QStringLiteral("quickLoadAction"))->setEnabled(true);
    }
}

void MainWindow::quickLoad() {
    if (commandHeldBack()) {
        return;
    }
    // Going back stops at the loaded page; its text before stays in the backlog.
    m_history.forgetStates();
    runReporting([this] { app::quickLoad(m_story, *m_interpreter, *m_host); });
}

}  // namespace vrk::app
