#include "app/qt/reader_map_dialog.h"

#include <QDialogButtonBox>
#include <QGraphicsPathItem>
#include <QGraphicsScene>
#include <QGraphicsSimpleTextItem>
#include <QGraphicsView>
#include <QLineF>
#include <QPainterPath>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "app/page_model.h"
#include "app/qt/main_window.h"

namespace vrk::app {

namespace {

QString fromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

const QColor kReadFill(0xff, 0xf8, 0xd8);
const QColor kUnreadFill(0xe8, 0xe8, 0xe8);
const QColor kLine(0x50, 0x50, 0x50);
const QColor kBackLine(0xc0, 0x60, 0x00);
const QColor kCurrent(0x20, 0x60, 0xd0);

// A filled arrowhead at the line's tip, along the curve's last direction.
QPolygonF arrowHead(const ReaderMapEdge& edge) {
    const QPointF tip(edge.x2, edge.y2);
    QLineF back(tip, QPointF(edge.controlX, edge.controlY));
    if (back.length() < 1) {
        back = QLineF(tip, QPointF(edge.x1, edge.y1));
    }
    back.setLength(9);
    QLineF left = back;
    left.setAngle(back.angle() + 25);
    QLineF right = back;
    right.setAngle(back.angle() - 25);
    return QPolygonF({tip, left.p2(), right.p2()});
}

}  // namespace

ReaderMapDialog::ReaderMapDialog(QWidget* parent)
    : QDialog(parent), m_scene(new QGraphicsScene(this)), m_view(new QGraphicsView(m_scene, this)) {
    setObjectName(QStringLiteral("readerMapDialog"));
    setWindowTitle(QString::fromStdString(readerMapTitle()));
    m_view->setObjectName(QStringLiteral("readerMapView"));
    m_view->setRenderHint(QPainter::Antialiasing);
    m_view->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_view->setBackgroundBrush(Qt::white);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_view);
    layout->addWidget(buttons);
}

void ReaderMapDialog::setMap(const ReaderMap& map) {
    m_scene->clear();
    if (map.nodes.empty()) {
        m_scene->addSimpleText(fromUtf8(kNothingReadYet))->setPos(ReaderMap::kMargin, ReaderMap::kMargin);
    }
    QFont captionFont = font();
    captionFont.setPointSizeF(captionFont.pointSizeF() * 0.85);
    for (const ReaderMapEdge& edge : map.edges) {
        QPainterPath path(QPointF(edge.x1, edge.y1));
        path.quadTo(edge.controlX, edge.controlY, edge.x2, edge.y2);
        QPen pen(edge.back ? kBackLine : kLine, 1.2);
        if (!edge.choice) {
            pen.setStyle(Qt::DashLine);  // the page goes on by itself
        }
        m_scene->addPath(path, pen)->setZValue(0);
        m_scene->addPolygon(arrowHead(edge), QPen(pen.color()), pen.color())->setZValue(0);
        if (edge.shortCaption.empty()) {
            continue;
        }
        auto* caption = new QGraphicsSimpleTextItem(fromUtf8(edge.shortCaption));
        caption->setFont(captionFont);
        caption->setToolTip(fromUtf8(edge.caption));
        const QRectF box = caption->boundingRect();
        caption->setPos(edge.labelX - box.width() / 2, edge.labelY - box.height() / 2);
        auto* ground = m_scene->addRect(caption->mapRectToScene(box).adjusted(-2, 0, 2, 0), Qt::NoPen,
                                        QColor(255, 255, 255, 220));
        ground->setZValue(1);
        caption->setZValue(2);
        m_scene->addItem(caption);
    }
    for (const ReaderMapNode& node : map.nodes) {
        const QRectF box(node.x, node.y, ReaderMap::kNodeWidth, ReaderMap::kNodeHeight);
        QPen pen(node.current ? kCurrent : kLine, node.current ? 2.5 : 1.2);
        if (!node.known) {
            pen.setStyle(Qt::DashLine);
        }
        QPainterPath outline;
        outline.setFillRule(Qt::WindingFill);
        outline.addRoundedRect(box, 6, 6);
        if (node.start || node.ending) {
            outline.addRoundedRect(box.adjusted(3, 3, -3, -3), 4, 4);  // where readings begin and end
        }
        auto* item = m_scene->addPath(outline, pen, node.known ? kReadFill : kUnreadFill);
        item->setZValue(3);
        auto* label = m_scene->addSimpleText(node.known ? fromUtf8(node.label) : fromUtf8(kUnreadPageMark));
        const QRectF text = label->boundingRect();
        label->setPos(box.center() - text.center());
        label->setZValue(4);
    }
    m_scene->setSceneRect(0, 0, std::max(map.width, 240), std::max(map.height, 80));
    // As large as the map needs, within most of the screen; the view scrolls the rest.
    const QRect screen = this->screen() ? this->screen()->availableGeometry() : QRect(0, 0, 1024, 768);
    const QSize wanted(static_cast<int>(m_scene->width()) + 60, static_cast<int>(m_scene->height()) + 110);
    resize(std::min(wanted.width(), screen.width() * 4 / 5),
           std::min(wanted.height(), screen.height() * 4 / 5));
    // The page on show in sight.
    for (const ReaderMapNode& node : map.nodes) {
        if (node.current) {
            m_view->centerOn(node.x + ReaderMap::kNodeWidth / 2, node.y + ReaderMap::kNodeHeight / 2);
        }
    }
}

void MainWindow::showReaderMap() {
    auto* dialog = findChild<ReaderMapDialog*>(QString(), Qt::FindDirectChildrenOnly);
    if (dialog == nullptr) {
        dialog = new ReaderMapDialog(this);
    }
    dialog->setMap(m_session->readerMap());
    dialog->open();
    dialog->raise();
}

}  // namespace vrk::app
