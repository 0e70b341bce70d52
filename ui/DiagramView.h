// The network diagram in a graphics view: wheel zoom around the cursor, drag
// to pan, fit to the window, hover texts, labels that appear as one zooms in.
// Zoomed out beyond the point where labels and arrows show, the view paints
// every branch and node in a few batches instead of shape by shape.
#pragma once

#include <optional>

#include <utility>
#include <vector>

#include <QGraphicsView>
#include <QHash>
#include <QColor>
#include <QPixmap>

#include "diagram/Picture.h"

class QGraphicsItem;
class QGraphicsPathItem;

namespace tarvel::ui {

// The legend in the view's top left corner: the colour scale of the voltage
// deviation and the district tints. A widget of its own above the view, so
// that it stays put and whole while the picture under it is panned.
class DiagramLegend : public QWidget {
public:
    explicit DiagramLegend(QWidget* parent);
    void showFor(const diagram::Picture& picture);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool withScale_ = false;
    std::vector<std::pair<int, QColor>> districts_;
};

class DiagramView : public QGraphicsView {
    Q_OBJECT
public:
    explicit DiagramView(QWidget* parent = nullptr);

    // Replaces the scene's shapes by the picture's.
    void setPicture(const diagram::Picture& picture);
    void clearPicture();

    void fitAll();
    // The zoom and the point in the middle of the view, to keep them over a
    // new picture of the same network (valid once a picture has been fitted).
    struct Place {
        bool valid = false;
        QTransform transform;
        QPointF centre;
    };
    Place place() const;
    void setPlace(const Place& place);
    void zoomBy(double factor);
    // Centres the node, keeps the zoom unless it is too far out to read, and
    // marks it; false when the diagram has no such node.
    bool centreOnNode(int number);
    // The same for the branch of that record (1..m).
    bool centreOnBranch(int record);

    // The shape of a node or a branch (nullptr when absent): for tests.
    QGraphicsItem* nodeItem(int number) const;
    QGraphicsItem* branchItem(int record) const;
    // The node or branch drawn under a point of the viewport (nullptr when none).
    QGraphicsItem* shapeAt(QPoint position) const;
    // True when the view paints the far-view batches.
    bool isFarView() const;

signals:
    // Double-click or Enter on a node or a branch: its index in the model.
    void nodeActivated(int record);
    void branchActivated(int record);

protected:
    void wheelEvent(QWheelEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool viewportEvent(QEvent* event) override;

private:
    bool activate(QGraphicsItem* item);
    void placeLegend();
    void paintFarView(QPainter* painter, const QRectF& exposed) const;
    QGraphicsItem* farShapeAt(QPointF scenePoint) const;
    const QPixmap& dotStamp(QColor fill, double radius) const;

    std::vector<QGraphicsItem*> nodes_;     // in picture order
    std::vector<QGraphicsItem*> branches_;  // in picture order
    std::vector<QGraphicsPathItem*> hulls_;
    std::vector<QGraphicsItem*> farNodes_;  // the warning ones last
    mutable QHash<quint64, QPixmap> dotStamps_;  // by colour and radius in quarter pixels
    bool centreOnItem(QGraphicsItem* item, QPointF at);
    QGraphicsItem* marked_ = nullptr;
    QRectF content_;  // the network's shapes with a small margin
    bool fitWhenShown_ = false;
    DiagramLegend* legend_ = nullptr;
    // A left press on a shape, which the hand drag of the view leaves to the
    // shape: a drag from there pans all the same.
    std::optional<QPoint> panFrom_;
    bool panning_ = false;
};

}  // namespace tarvel::ui
