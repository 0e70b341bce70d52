// The network diagram in a graphics view: wheel zoom around the cursor, drag
// to pan, fit to the window, hover texts, labels that appear as one zooms in.
#pragma once

#include <vector>

#include <QGraphicsView>

#include "diagram/Picture.h"

class QGraphicsItem;

namespace tarvel::ui {

class DiagramView : public QGraphicsView {
    Q_OBJECT
public:
    explicit DiagramView(QWidget* parent = nullptr);

    // Replaces the scene's shapes by the picture's.
    void setPicture(const diagram::Picture& picture);
    void clearPicture();

    void fitAll();
    void zoomBy(double factor);
    // Centres the node, keeps the zoom unless it is too far out to read, and
    // marks it; false when the diagram has no such node.
    bool centreOnNode(int number);

    // The shape of a node or a branch (nullptr when absent): for tests.
    QGraphicsItem* nodeItem(int number) const;
    QGraphicsItem* branchItem(int record) const;

signals:
    // Double-click or Enter on a node or a branch: its index in the model.
    void nodeActivated(int record);
    void branchActivated(int record);

protected:
    void wheelEvent(QWheelEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void drawForeground(QPainter* painter, const QRectF& rect) override;

private:
    bool activate(QGraphicsItem* item);

    std::vector<QGraphicsItem*> nodes_;     // in picture order
    std::vector<QGraphicsItem*> branches_;  // in picture order
    QGraphicsItem* marked_ = nullptr;
    QRectF content_;  // the network's shapes with a small margin
    bool withResults_ = false;
};

}  // namespace tarvel::ui
