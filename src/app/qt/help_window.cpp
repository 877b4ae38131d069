#include "app/qt/help_window.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QPointer>
#include <QTextBrowser>
#include <QUrl>
#include <system_error>

#include "app/help_version.h"
#include "common/messages.h"
#include "common/sjis.h"

namespace vrk::app {
namespace {

QString fromSjis(std::string_view sjis) {
    return QString::fromStdString(sjisToUtf8(sjis));
}

// The manual is shared by every window that asks for it, and outlives none of them: it
// has no parent so that it stays open beside the reading window, and goes with the program.
QPointer<QTextBrowser> s_helpWindow;

}  // namespace

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
        s_helpWindow = new QTextBrowser;
        s_helpWindow->setObjectName(QStringLiteral("helpWindow"));
        s_helpWindow->setAttribute(Qt::WA_DeleteOnClose);
        s_helpWindow->setOpenExternalLinks(true);
        s_helpWindow->resize(640, 600);
        QObject::connect(qApp, &QCoreApplication::aboutToQuit, s_helpWindow.data(), &QObject::deleteLater);
    }
    QUrl url =
        QUrl::fromLocalFile(QString::fromStdString(std::filesystem::absolute(manualPath, error).string()));
    url.setFragment(QString::fromLatin1(kHelpTopic));
    s_helpWindow->setSource(url);
    s_helpWindow->setWindowTitle(s_helpWindow->documentTitle());
    s_helpWindow->show();
    s_helpWindow->raise();
    s_helpWindow->activateWindow();
}

}  // namespace vrk::app
