#include "ui/DiagramView.h"

#include <cmath>

#include <QGraphicsItem>
#include <QGraphicsScene>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStaticText>
#include <QStyleOptionGraphicsItem>
#include <QWheelEvent>

#include "diagram/SvgWriter.h"

namespace tarvel::ui {

namespace {

using diagram::kNodeRadius;

enum ItemRole { NodeRole = 1, BranchRole = 2 };
constexpr int kRoleKey = 0;    // item data: NodeRole or BranchRole
constexpr int kRecordKey = 1;  // item data: the record index in the model
constexpr int kNumberKey = 2;  // item data: the node number

// Below this scale labels of load nodes are hidden; base and fixed-voltage
// nodes keep theirs down to a third of it, as a map keeps its cities.
constexpr double kLabelScale = 0.7;
constexpr double kLegendWidth = 170;
constexpr double kFarDot = 2.5;      // pixels: the least radius a node is drawn with
constexpr double kFarRadius = 25;    // scene units: the most a dot may grow to  // the colour scale's box and its margin, in pixels

QColor toQColor(diagram::Color c)
{
    return QColor(c.r, c.g, c.b);
}

QPointF toQPoint(diagram::Point p)
{
    return QPointF(p.x, p.y);
}

double levelOfDetail(const QStyleOptionGraphicsItem* option, QPainter* painter)
{
    return option->levelOfDetailFromTransform(painter->worldTransform());
}

const QFont& labelFont()
{
    static const QFont font = [] {
        QFont f;
        f.setPointSizeF(7);
        return f;
    }();
    return font;
}

class NodeItem : public QGraphicsItem {
public:
    explicit NodeItem(const diagram::NodeShape& shape) : shape_(shape)
    {
        setPos(toQPoint(shape.at));
        setToolTip(QString::fromStdString(shape.text));
        setData(kRoleKey, NodeRole);
        setData(kRecordKey, shape.record);
        setData(kNumberKey, shape.number);
        setFlag(ItemIsSelectable);
        setZValue(2);
        label_.setText(QString::number(shape.number));
        label_.prepare(QTransform(), labelFont());
        labelAt_ = QPointF(-label_.size().width() / 2, -kNodeRadius - 4 - label_.size().height());
    }

    // Room for the label above and for the dot that a distant view keeps in sight.
    QRectF boundingRect() const override { return QRectF(-28, -kFarRadius - 16, 56, 2 * kFarRadius + 16); }

    QPainterPath shape() const override
    {
        QPainterPath path;
        path.addEllipse(QPointF(0, 0), kNodeRadius + 2, kNodeRadius + 2);
        return path;
    }

    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget*) override
    {
        const double lod = levelOfDetail(option, painter);
        const double r = kNodeRadius;
        painter->setBrush(toQColor(shape_.fill));
        if (lod * r < kFarDot) {
            // Far away: a dot of a few pixels that keeps the node's colour in sight.
            const double dot = std::min(kFarRadius, (shape_.warning ? 2 : 1) * kFarDot / lod);
            painter->setPen(Qt::NoPen);
            painter->drawEllipse(QPointF(0, 0), dot, dot);
            return;
        }
        QPen pen(shape_.warning ? QColor(0x7a, 0x3d, 0x00) : QColor(0x33, 0x33, 0x33), shape_.warning ? 2 : 1);
        if (shape_.kind == diagram::NodeKind::Unknown)
            pen.setStyle(Qt::DashLine);
        if (shape_.kind == diagram::NodeKind::Base)
            pen.setWidthF(2.5), pen.setColor(Qt::black);
        painter->setPen(pen);
        switch (shape_.kind) {
        case diagram::NodeKind::Base:
            painter->drawRect(QRectF(-r - 2, -r - 2, 2 * r + 4, 2 * r + 4));
            break;
        case diagram::NodeKind::FixedVoltage: {
            const QPointF diamond[4] = {{0, -r - 2}, {r + 2, 0}, {0, r + 2}, {-r - 2, 0}};
            painter->drawPolygon(diamond, 4);
            break;
        }
        default:
            painter->drawEllipse(QPointF(0, 0), r, r);
        }
        if (isSelected()) {
            painter->setBrush(Qt::NoBrush);
            painter->setPen(QPen(QColor(0x00, 0x99, 0xff), 3));
            painter->drawEllipse(QPointF(0, 0), r + 6, r + 6);
        }
        const bool major = shape_.kind == diagram::NodeKind::Base || shape_.kind == diagram::NodeKind::FixedVoltage ||
                           shape_.warning || isSelected();
        if (lod >= kLabelScale || (major && lod >= kLabelScale / 3)) {
            painter->setFont(labelFont());
            painter->setPen(Qt::black);
            painter->drawStaticText(labelAt_, label_);
        }
    }

private:
    diagram::NodeShape shape_;
    QStaticText label_;  // laid out once: drawing it is then a copy of glyphs
    QPointF labelAt_;
};

class BranchItem : public QGraphicsItem {
public:
    explicit BranchItem(const diagram::BranchShape& shape) : shape_(shape)
    {
        setToolTip(QString::fromStdString(shape.text));
        setData(kRoleKey, BranchRole);
        setData(kRecordKey, shape.record);
        setFlag(ItemIsSelectable);
        setZValue(1);
        const QPointF a = toQPoint(shape.from), b = toQPoint(shape.to);
        const double pad = shape.width / 2 + 8;
        bounds_ = QRectF(a, b).normalized().adjusted(-pad, -pad, pad, pad);
        line_ = QLineF(a, b);
    }

    QRectF boundingRect() const override { return bounds_; }

    QPainterPath shape() const override
    {
        QPainterPathStroker stroker;
        stroker.setWidth(std::max(6.0, shape_.width + 4));
        QPainterPath path(line_.p1());
        path.lineTo(line_.p2());
        return stroker.createStroke(path);
    }

    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget*) override
    {
        const double lod = levelOfDetail(option, painter);
        const QColor color = shape_.warning ? toQColor(diagram::warningColor())
                                            : (isSelected() ? QColor(0x00, 0x99, 0xff) : QColor(0x4d, 0x4d, 0x4d));
        painter->setPen(QPen(color, shape_.width, Qt::SolidLine, Qt::RoundCap));
        // Thin lines of a distant view lose nothing without smoothing, which
        // is most of the cost of a frame.
        const bool smooth = lod * shape_.width >= 2;
        painter->setRenderHint(QPainter::Antialiasing, smooth);
        painter->drawLine(line_);
        painter->setRenderHint(QPainter::Antialiasing, true);
        const double length = line_.length();
        if (length < 1e-9 || lod < kLabelScale / 3)
            return;
        const QPointF unit = (line_.p2() - line_.p1()) / length;
        painter->setPen(QPen(color, 1.5));
        painter->setBrush(Qt::NoBrush);
        if (shape_.transformer) {
            const QPointF middle = line_.pointAt(0.5);
            painter->drawEllipse(middle - unit * 3, 5, 5);
            painter->drawEllipse(middle + unit * 3, 5, 5);
        }
        if (shape_.direction != 0) {
            const double t = shape_.transformer ? 0.3 : 0.5;
            const QPointF c = line_.pointAt(shape_.direction > 0 ? t : 1 - t);
            const QPointF f = unit * shape_.direction;
            const QPointF n(-f.y(), f.x());
            const double size = 5 + shape_.width;
            const QPointF arrow[3] = {c + f * size, c - f * size * 0.6 + n * size * 0.6, c - f * size * 0.6 - n * size * 0.6};
            painter->setPen(Qt::NoPen);
            painter->setBrush(color);
            painter->drawPolygon(arrow, 3);
        }
    }

private:
    diagram::BranchShape shape_;
    QRectF bounds_;
    QLineF line_;
};

}  // namespace

DiagramView::DiagramView(QWidget* parent) : QGraphicsView(parent)
{
    setScene(new QGraphicsScene(this));
    setRenderHint(QPainter::Antialiasing);
    setDragMode(QGraphicsView::ScrollHandDrag);
    setTransformationAnchor(QGraphicsView::AnchorUnderMouse);
    setResizeAnchor(QGraphicsView::AnchorViewCenter);
    setViewportUpdateMode(QGraphicsView::SmartViewportUpdate);
    setOptimizationFlag(QGraphicsView::DontSavePainterState);
    setBackgroundBrush(Qt::white);
    setFocusPolicy(Qt::StrongFocus);
}

void DiagramView::clearPicture()
{
    scene()->clear();
    nodes_.clear();
    branches_.clear();
    marked_ = nullptr;
}

void DiagramView::setPicture(const diagram::Picture& picture)
{
    clearPicture();
    withResults_ = picture.withResults;
    QGraphicsScene* s = scene();
    for (const diagram::Hull& h : picture.hulls) {
        QPolygonF polygon;
        for (const diagram::Point& p : h.polygon)
            polygon << toQPoint(p);
        // The hull widened by a rounded margin, computed once: stroking a
        // wide pen at every frame would cost more than the whole network.
        QPainterPath outline;
        outline.addPolygon(polygon);
        outline.closeSubpath();
        QPainterPathStroker margin;
        margin.setWidth(36);
        margin.setJoinStyle(Qt::RoundJoin);
        margin.setCapStyle(Qt::RoundCap);
        const QPainterPath area = (outline + margin.createStroke(outline)).simplified();
        auto* item = s->addPath(area, Qt::NoPen, toQColor(h.tint));
        item->setZValue(0);
        item->setToolTip(QStringLiteral("Район %1").arg(h.district));
    }
    for (const diagram::BranchShape& b : picture.branches) {
        auto* item = new BranchItem(b);
        s->addItem(item);
        branches_.push_back(item);
    }
    for (const diagram::NodeShape& n : picture.nodes) {
        auto* item = new NodeItem(n);
        s->addItem(item);
        nodes_.push_back(item);
    }
    content_ = s->itemsBoundingRect().adjusted(-40, -40, 40, 40);
    // Room around the network, so that any node can come to the centre.
    const double margin = std::max(content_.width(), content_.height()) / 2;
    s->setSceneRect(content_.adjusted(-margin, -margin, margin, margin));
}

void DiagramView::fitAll()
{
    QRectF target = content_;
    if (withResults_ && viewport()->width() > 2 * kLegendWidth) {
        // Room on the left for the colour scale, which stays in the corner.
        const double share = kLegendWidth / viewport()->width();
        target.setLeft(target.left() - target.width() * share / (1 - share));
    }
    fitInView(target, Qt::KeepAspectRatio);
}

void DiagramView::zoomBy(double factor)
{
    const double scale = transform().m11() * factor;
    if (scale < 1e-3 || scale > 20)
        return;
    QGraphicsView::scale(factor, factor);
}

QGraphicsItem* DiagramView::nodeItem(int number) const
{
    for (QGraphicsItem* item : nodes_)
        if (item->data(kNumberKey).toInt() == number)
            return item;
    return nullptr;
}

QGraphicsItem* DiagramView::branchItem(int record) const
{
    for (QGraphicsItem* item : branches_)
        if (item->data(kRecordKey).toInt() == record)
            return item;
    return nullptr;
}

bool DiagramView::centreOnNode(int number)
{
    QGraphicsItem* item = nodeItem(number);
    if (!item)
        return false;
    scene()->clearSelection();
    item->setSelected(true);
    marked_ = item;
    if (transform().m11() < kLabelScale) {
        const double factor = 1.0 / transform().m11();
        QGraphicsView::scale(factor, factor);
    }
    centerOn(item->scenePos());
    return true;
}

void DiagramView::wheelEvent(QWheelEvent* event)
{
    const int steps = event->angleDelta().y();
    if (steps == 0) {
        QGraphicsView::wheelEvent(event);
        return;
    }
    zoomBy(std::pow(1.0015, steps));
    event->accept();
}

bool DiagramView::activate(QGraphicsItem* item)
{
    if (!item)
        return false;
    const int role = item->data(kRoleKey).toInt();
    const int record = item->data(kRecordKey).toInt();
    if (role == NodeRole && record >= 0) {
        emit nodeActivated(record);
        return true;
    }
    if (role == BranchRole) {
        emit branchActivated(record);
        return true;
    }
    return false;
}

void DiagramView::mouseDoubleClickEvent(QMouseEvent* event)
{
    // Nodes lie above branches: the topmost shape with a role wins.
    for (QGraphicsItem* item : items(event->position().toPoint()))
        if (item->data(kRoleKey).isValid()) {
            activate(item);
            event->accept();
            return;
        }
    QGraphicsView::mouseDoubleClickEvent(event);
}

void DiagramView::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        setTransformationAnchor(AnchorViewCenter);
        zoomBy(1.25);
        setTransformationAnchor(AnchorUnderMouse);
        return;
    case Qt::Key_Minus:
        setTransformationAnchor(AnchorViewCenter);
        zoomBy(0.8);
        setTransformationAnchor(AnchorUnderMouse);
        return;
    case Qt::Key_Home:
        fitAll();
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (activate(marked_))
            return;
        break;
    default:
        break;
    }
    QGraphicsView::keyPressEvent(event);
}

void DiagramView::drawForeground(QPainter* painter, const QRectF&)
{
    if (!withResults_ || nodes_.empty())
        return;
    // The colour scale, fixed in the view's top left corner.
    painter->save();
    painter->resetTransform();
    QFont font = painter->font();
    font.setPointSizeF(8);
    painter->setFont(font);
    const std::vector<diagram::LegendEntry> scale = diagram::legendScale();
    const QRectF box(8, 8, kLegendWidth - 20, 22 + 16 * static_cast<double>(scale.size()));
    painter->setPen(QColor(0x99, 0x99, 0x99));
    painter->setBrush(QColor(255, 255, 255, 230));
    painter->drawRect(box);
    painter->setPen(Qt::black);
    painter->drawText(QRectF(14, 10, 140, 16), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Отклонение U от Uном"));
    for (std::size_t i = 0; i < scale.size(); ++i) {
        const double top = 28 + 16 * static_cast<double>(i);
        painter->setBrush(toQColor(diagram::deviationColor(scale[i].percent)));
        painter->setPen(QColor(0x33, 0x33, 0x33));
        painter->drawRect(QRectF(14, top, 20, 12));
        painter->setPen(Qt::black);
        painter->drawText(QRectF(40, top - 2, 110, 16), Qt::AlignLeft | Qt::AlignVCenter,
                          QString::fromStdString(scale[i].caption));
    }
    painter->restore();
}

}  // namespace tarvel::ui
