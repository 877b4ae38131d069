#include "app/qt/help_window.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPointer>
#include <QScrollBar>
#include <QTextBrowser>
#include <QUrl>
#include <cstdlib>
#include <system_error>

#include "app/help_version.h"
#include "common/messages.h"
#include "common/sjis.h"

namespace vrk::app {
namespace {

QString fromSjis(std::string_view sjis) {
    return QString::fromStdString(sjisToUtf8(sjis));
}

// A window of its own rather than a dialog, so Escape has to be taught to close it.
class HelpWindow : public QTextBrowser {
protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
            close();
            return;
        }
        QTextBrowser::keyPressEvent(event);
    }
};

// The manual is shared by every window that asks for it, and outlives none of them: it
// has no parent so that it stays open beside the reading window, and goes with the program.
QPointer<QTextBrowser> s_helpWindow;

}  // namespace

std::filesystem::path readersManualPath(const std::filesystem::path& programDir) {
    // Read afresh each time rather than through QLocale, which keeps the first answer.
    return helpIndexPath(programDir, readerLanguages([](const char* name) { return std::getenv(name); }));
}

void showManual(QWidget* parent, const std::filesystem::path& manualPath) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(manualPath, error)) {
        QMessageBox box(
            QMessageBox::Warning, fromSjis(messages::kApplicationTitle),
            QStringLiteral("説明書が見つかりません。\n%1").arg(QString::fromStdString(manualPath.string())),
            QMessageBox::Ok, parent);
        box.setObjectName(QStringLiteral("manualMissing"));
        box.exec();
        return;
    }
    if (!s_helpWindow) {
        s_helpWindow = new HelpWindow;
        s_helpWindow->setObjectName(QStringLiteral("helpWindow"));
        s_helpWindow->setAttribute(Qt::WA_DeleteOnClose);
        s_helpWindow->setOpenExternalLinks(true);
        s_helpWindow->resize(640, 600);
        QObject::connect(qApp, &QCoreApplication::aboutToQuit, s_helpWindow.data(), &QObject::deleteLater);
    }
    const QUrl url =
        QUrl::fromLocalFile(QString::fromStdString(std::filesystem::absolute(manualPath, error).string()));
    // A manual already open stays where the reader has scrolled it to.
    if (s_helpWindow->source() != url) {
        s_helpWindow->setSource(url);
        s_helpWindow->verticalScrollBar()->setValue(0);
        s_helpWindow->setWindowTitle(s_helpWindow->documentTitle());
    }
    s_helpWindow->show();
    s_helpWindow->raise();
    s_helpWindow->activateWindow();
}

}  // namespace vrk::app
