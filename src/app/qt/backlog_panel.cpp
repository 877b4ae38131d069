#include "app/qt/backlog_panel.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QWheelEvent>

#include "common/sjis.h"

namespace vrk::app {

BacklogPanel::BacklogPanel(QWidget* parent) : QPlainTextEdit(parent) {
    setObjectName(QStringLiteral("backlogPanel"));
    setAccessibleName(QStringLiteral("バックログ"));
    setAccessibleDescription(QStringLiteral("これまでのページ。Esc で閉じる"));
    setReadOnly(true);
    setTextInteractionFlags(Qt::NoTextInteraction);
    setFrameShape(QFrame::NoFrame);
    setStyleSheet(QStringLiteral("QPlainTextEdit { background: rgba(0, 0, 48, 230); color: white; }"));
    hide();
}

void BacklogPanel::setPages(const std::vector<const std::vector<std::string>*>& pagesSjis) {
    QString text;
    for (std::size_t p = 0; p < pagesSjis.size(); ++p) {
        if (p > 0) {
            text += QStringLiteral("\n――――\n\n");
        }
        for (const std::string& line : *pagesSjis[p]) {
            text += QString::fromStdString(sjisToUtf8(line)) + QLatin1Char('\n');
        }
    }
    setPlainText(text);
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

void BacklogPanel::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        emit closeRequested();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

void BacklogPanel::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        emit closeRequested();
        return;
    }
    QPlainTextEdit::mouseReleaseEvent(event);
}

void BacklogPanel::wheelEvent(QWheelEvent* event) {
    const QScrollBar* bar = verticalScrollBar();
    if (event->angleDelta().y() < 0 && bar->value() >= bar->maximum()) {
        emit closeRequested();
        return;
    }
    QPlainTextEdit::wheelEvent(event);
}

}  // namespace vrk::app
