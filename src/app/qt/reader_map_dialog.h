#pragma once
// The view menu's route map: the map the reading session builds (app/reader_map.h), drawn as it
// is laid out there. Read pages are boxes with their labels, unread ones "？"; a choice's line
// carries its caption, cut short, with the whole caption as its tip.

#include <QDialog>

#include "app/reader_map.h"

class QGraphicsScene;
class QGraphicsView;

namespace vrk::app {

class ReaderMapDialog : public QDialog {
    Q_OBJECT

public:
    explicit ReaderMapDialog(QWidget* parent = nullptr);

    /// Draws map in place of what was drawn before.
    void setMap(const ReaderMap& map);
    QGraphicsScene* scene() const { return m_scene; }

private:
    QGraphicsScene* m_scene;
    QGraphicsView* m_view;
};

}  // namespace vrk::app
