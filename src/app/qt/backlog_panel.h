#pragma once
// The backlog: the text of the reading's earlier pages in a read-only panel laid over the page.
// It opens scrolled to its end (the page just before the one on show) and closes on Escape, a
// click, or the wheel turned down once its end is reached.

#include <QPlainTextEdit>
#include <string>
#include <vector>

namespace vrk::app {

class BacklogPanel : public QPlainTextEdit {
    Q_OBJECT

public:
    explicit BacklogPanel(QWidget* parent);

    /// Fills the panel with pages (Shift-JIS lines, oldest page first), scrolled to the end.
    void setPages(const std::vector<const std::vector<std::string>*>& pagesSjis);

signals:
    /// The reader asked to close the panel.
    void closeRequested();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
};

}  // namespace vrk::app
