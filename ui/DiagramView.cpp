#include "ui/DiagramView.h"

#include <cmath>

#include <algorithm>
#include <limits>

#include <QGraphicsItem>
#include <QGraphicsScene>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QPaintEvent>
#include <QScrollBar>
#include <QStaticText>
#include <QStyleOptionGraphicsItem>
#include <QToolTip>
#include <QWheelEvent>
#include <QApplication>

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
// Below this scale no label, arrow or transformer sign is drawn: nodes are dots
// and branches plain lines, which the view then paints in batches.
constexpr double kFarScale = kLabelScale / 3;
constexpr double kLegendWidth = 170; // the colour scale's box and its margin, in pixels
constexpr double kFarDot = 2.5;      // pixels: the least radius a node is drawn with
constexpr double kFarRadius = 25;    // scene units: the most a dot may grow to
constexpr double kPickSlack = 3;     // pixels around a dot or a line that still point at it
const QColor kMarkColor(0x00, 0x99, 0xff);
const QColor kViolationColor(diagram::violationColor().r, diagram::violationColor().g, diagram::violationColor().b);
const QColor kCutOffColor(diagram::cutOffColor().r, diagram::cutOffColor().g, diagram::cutOffColor().b);

QColor toQColor(diagram::Color c)
{
    return QColor(c.r, c.g, c.b);
}

QPointF toQPoint(diagram::Point p)
{
    return QPointF(p.x, p.y);
}

// A path widened by the district tint's rounded margin.
QPainterPath margin(const QPainterPath& path)
{
    QPainterPathStroker stroker;
    stroker.setWidth(2 * diagram::kHullMargin);
    stroker.setJoinStyle(Qt::RoundJoin);
    stroker.setCapStyle(Qt::RoundCap);
    return stroker.createStroke(path);
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

// The ring around a marked node seen from afar, a few pixels out of its dot.
void drawFarMark(QPainter* painter, QPointF at, double dot, double lod, QColor color = kMarkColor)
{
    QPen pen(color, 2);
    pen.setCosmetic(true);
    painter->setPen(pen);
    painter->setBrush(Qt::NoBrush);
    painter->drawEllipse(at, dot + 4 / lod, dot + 4 / lod);
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

    const diagram::NodeShape& picture() const { return shape_; }

    // Far away a node is a dot of a few pixels that keeps its colour in sight.
    bool isDot(double lod) const { return lod * kNodeRadius < kFarDot; }
    double dotRadius(double lod) const
    {
        return std::min(kFarRadius, (shape_.warning || shape_.violation ? 2 : 1) * kFarDot / lod);
    }

    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget*) override
    {
        const double lod = levelOfDetail(option, painter);
        const double r = kNodeRadius;
        painter->setBrush(toQColor(shape_.fill));
        if (isDot(lod)) {
            painter->setPen(Qt::NoPen);
            painter->drawEllipse(QPointF(0, 0), dotRadius(lod), dotRadius(lod));
            if (shape_.violation)
                drawFarMark(painter, QPointF(0, 0), dotRadius(lod), lod, kViolationColor);
            if (isSelected())
                drawFarMark(painter, QPointF(0, 0), dotRadius(lod), lod);
            return;
        }
        QPen pen(shape_.warning ? QColor(0x7a, 0x3d, 0x00) : QColor(0x33, 0x33, 0x33), shape_.warning ? 2 : 1);
        if (shape_.kind == diagram::NodeKind::Unknown)
            pen.setStyle(Qt::DashLine);
        if (shape_.kind == diagram::NodeKind::Base)
            pen.setWidthF(2.5), pen.setColor(Qt::black);
        if (shape_.cutOff)
            pen.setColor(QColor(0x80, 0x80, 0x80)), pen.setStyle(Qt::DashLine);
        if (shape_.violation)
            pen.setColor(kViolationColor), pen.setWidthF(3), pen.setStyle(Qt::SolidLine);
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
            painter->setPen(QPen(kMarkColor, 3));
            painter->drawEllipse(QPointF(0, 0), r + 6, r + 6);
        }
        const bool major = shape_.kind == diagram::NodeKind::Base || shape_.kind == diagram::NodeKind::FixedVoltage ||
                           shape_.warning || shape_.violation || isSelected();
        if (lod >= kLabelScale || (major && lod >= kFarScale)) {
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
    const QLineF& line() const { return line_; }
    double width() const { return shape_.width; }
    Qt::PenStyle style() const { return shape_.outaged ? Qt::DashLine : Qt::SolidLine; }
    QColor color() const
    {
        if (shape_.warning)
            return toQColor(diagram::warningColor());
        if (isSelected())
            return kMarkColor;
        if (shape_.violation)
            return kViolationColor;
        return shape_.cutOff ? kCutOffColor : QColor(0x4d, 0x4d, 0x4d);
    }

    QPainterPath shape() const override
    {
        QPainterPathStroker stroker;
        stroker.setWidth(std::max(6.0, width() + 4));
        QPainterPath path(line_.p1());
        path.lineTo(line_.p2());
        return stroker.createStroke(path);
    }

    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget*) override
    {
        const double lod = levelOfDetail(option, painter);
        const QColor color = this->color();
        painter->setPen(QPen(color, width(), style(), Qt::RoundCap));
        // Thin lines of a distant view lose nothing without smoothing, which
        // is most of the cost of a frame.
        const bool smooth = lod * width() >= 2;
        painter->setRenderHint(QPainter::Antialiasing, smooth);
        painter->drawLine(line_);
        painter->setRenderHint(QPainter::Antialiasing, true);
        const double length = line_.length();
        if (length < 1e-9 || lod < kFarScale)
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
            const double size = 5 + width();
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
    // A marked node's ring from afar reaches beyond the node's own bounds.
    connect(scene(), &QGraphicsScene::selectionChanged, viewport(), qOverload<>(&QWidget::update));
    legend_ = new DiagramLegend(this);
}

void DiagramView::clearPicture()
{
    scene()->clear();
    nodes_.clear();
    branches_.clear();
    hulls_.clear();
    farNodes_.clear();
    dotStamps_.clear();
    marked_ = nullptr;
    legend_->hide();
}

void DiagramView::setPicture(const diagram::Picture& picture)
{
    clearPicture();
    legend_->showFor(picture);
    placeLegend();
    QGraphicsScene* s = scene();
    for (const diagram::Hull& h : picture.hulls) {
        // The hull widened by a rounded margin, computed once: stroking a
        // wide pen at every frame would cost more than the whole network.
        QPainterPath outline;
        if (!h.polygon.empty()) {
            QPolygonF polygon;
            for (const diagram::Point& p : h.polygon)
                polygon << toQPoint(p);
            outline.addPolygon(polygon);
            outline.closeSubpath();
        }
        // The sleeves in one stroke, which fills where they overlap (a node
        // is a segment too short to see, whose round caps make its disc).
        QPainterPath lines;
        for (const auto& [a, b] : h.sleeves) {
            lines.moveTo(toQPoint(a));
            lines.lineTo(a.x == b.x && a.y == b.y ? toQPoint(a) + QPointF(0.01, 0) : toQPoint(b));
        }
        QPainterPath area = h.sleeves.empty() ? (outline + margin(outline)).simplified() : margin(lines);
        area.setFillRule(Qt::WindingFill);
        auto* item = s->addPath(area, Qt::NoPen, toQColor(h.tint));
        item->setZValue(0);
        item->setToolTip(QStringLiteral("Район %1").arg(h.district));
        hulls_.push_back(item);
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
    // The larger warning and violation dots on top in the far view.
    farNodes_ = nodes_;
    std::stable_partition(farNodes_.begin(), farNodes_.end(), [](QGraphicsItem* n) {
        const diagram::NodeShape& shape = static_cast<NodeItem*>(n)->picture();
        return !shape.warning && !shape.violation;
    });
    content_ = s->itemsBoundingRect().adjusted(-40, -40, 40, 40);
    // Room around the network, so that any node can come to the centre.
    const double margin = std::max(content_.width(), content_.height()) / 2;
    s->setSceneRect(content_.adjusted(-margin, -margin, margin, margin));
}

void DiagramView::fitAll()
{
    // A view on a hidden tab has no size of its own yet: it fits again when shown.
    fitWhenShown_ = !isVisible();
    QRectF target = content_;
    if (!legend_->isHidden() && viewport()->width() > 2 * kLegendWidth) {
        // Room on the left for the legend, which stays in the corner.
        const double share = kLegendWidth / viewport()->width();
        target.setLeft(target.left() - target.width() * share / (1 - share));
    }
    fitInView(target, Qt::KeepAspectRatio);
}

DiagramView::Place DiagramView::place() const
{
    Place p;
    p.valid = !nodes_.empty() && !fitWhenShown_;
    p.transform = transform();
    p.centre = mapToScene(viewport()->rect().center());
    return p;
}

void DiagramView::setPlace(const Place& place)
{
    setTransform(place.transform);
    centerOn(place.centre);
}

void DiagramView::showEvent(QShowEvent* event)
{
    QGraphicsView::showEvent(event);
    if (fitWhenShown_)
        fitAll();
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
    return item && centreOnItem(item, item->scenePos());
}

bool DiagramView::centreOnBranch(int record)
{
    QGraphicsItem* item = branchItem(record);
    return item && centreOnItem(item, item->sceneBoundingRect().center());
}

bool DiagramView::centreOnItem(QGraphicsItem* item, QPointF at)
{
    scene()->clearSelection();
    item->setSelected(true);
    marked_ = item;
    if (transform().m11() < kLabelScale) {
        const double factor = 1.0 / transform().m11();
        QGraphicsView::scale(factor, factor);
    }
    centerOn(at);
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

bool DiagramView::isFarView() const
{
    return transform().m11() < kFarScale && !nodes_.empty();
}

QGraphicsItem* DiagramView::shapeAt(QPoint position) const
{
    if (isFarView())
        return farShapeAt(mapToScene(position));
    // Nodes lie above branches: the topmost shape with a role wins.
    for (QGraphicsItem* item : items(position))
        if (item->data(kRoleKey).isValid())
            return item;
    return nullptr;
}

// From afar a node's shape is far smaller than its dot: the nearest dot within
// a few pixels of the point, else the nearest line, is what the user points at.
QGraphicsItem* DiagramView::farShapeAt(QPointF point) const
{
    const double lod = transform().m11();
    QGraphicsItem* nearest = nullptr;
    double least = std::numeric_limits<double>::max();
    for (QGraphicsItem* item : nodes_) {
        const double distance = QLineF(item->pos(), point).length();
        if (distance <= static_cast<NodeItem*>(item)->dotRadius(lod) + kPickSlack / lod && distance < least)
            nearest = item, least = distance;
    }
    if (nearest)
        return nearest;
    for (QGraphicsItem* item : branches_) {
        const auto* branch = static_cast<BranchItem*>(item);
        const QLineF& line = branch->line();
        const QPointF d = line.p2() - line.p1();
        const double squared = QPointF::dotProduct(d, d);
        const double t = squared > 0 ? std::clamp(QPointF::dotProduct(point - line.p1(), d) / squared, 0.0, 1.0) : 0.0;
        const double distance = QLineF(line.pointAt(t), point).length();
        if (distance <= branch->width() / 2 + kPickSlack / lod && distance < least)
            nearest = item, least = distance;
    }
    return nearest;
}

void DiagramView::mousePressEvent(QMouseEvent* event)
{
    panFrom_.reset();
    panning_ = false;
    if (event->button() == Qt::LeftButton && itemAt(event->position().toPoint()))
        panFrom_ = event->position().toPoint();
    QGraphicsView::mousePressEvent(event);
}

void DiagramView::mouseMoveEvent(QMouseEvent* event)
{
    if (panFrom_ && (event->buttons() & Qt::LeftButton)) {
        const QPoint at = event->position().toPoint();
        const QPoint delta = at - *panFrom_;
        if (panning_ || delta.manhattanLength() >= QApplication::startDragDistance()) {
            panning_ = true;
            horizontalScrollBar()->setValue(horizontalScrollBar()->value() - delta.x());
            verticalScrollBar()->setValue(verticalScrollBar()->value() - delta.y());
            panFrom_ = at;
            viewport()->setCursor(Qt::ClosedHandCursor);
            event->accept();
            return;
        }
    }
    QGraphicsView::mouseMoveEvent(event);
}

void DiagramView::mouseReleaseEvent(QMouseEvent* event)
{
    if (panning_ && event->button() == Qt::LeftButton) {
        panFrom_.reset();
        panning_ = false;
        viewport()->setCursor(Qt::OpenHandCursor);
        event->accept();
        return;
    }
    panFrom_.reset();
    QGraphicsView::mouseReleaseEvent(event);
}

void DiagramView::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (activate(shapeAt(event->position().toPoint()))) {
        event->accept();
        return;
    }
    QGraphicsView::mouseDoubleClickEvent(event);
}

bool DiagramView::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::ToolTip && isFarView()) {
        const auto* help = static_cast<QHelpEvent*>(event);
        if (QGraphicsItem* item = farShapeAt(mapToScene(help->pos()))) {
            QToolTip::showText(help->globalPos(), item->toolTip(), viewport());
            return true;
        }
    }
    return QGraphicsView::viewportEvent(event);
}

// From afar the view paints the picture itself: walking 20 000 items one by
// one costs more than drawing them all.
void DiagramView::paintEvent(QPaintEvent* event)
{
    if (!isFarView()) {
        QGraphicsView::paintEvent(event);
        return;
    }
    QPainter painter(viewport());
    painter.setRenderHints(renderHints());
    painter.setWorldTransform(viewportTransform());
    const QRectF exposed = mapToScene(event->rect()).boundingRect();
    drawBackground(&painter, exposed);
    paintFarView(&painter, exposed);
}

void DiagramView::paintFarView(QPainter* painter, const QRectF& exposed) const
{
    const double lod = transform().m11();
    for (const QGraphicsPathItem* hull : hulls_)
        if (hull->boundingRect().intersects(exposed))
            painter->fillPath(hull->path(), hull->brush());

    // Branches: one batch of lines for each colour and width (to a quarter of
    // a unit), drawn as the items draw them from afar: without smoothing, so
    // that a line thinner than a pixel shows paler.
    struct Batch {
        QColor color;
        double width;
        Qt::PenStyle style;
        std::vector<QLineF> lines;
    };
    std::vector<Batch> batches;
    for (QGraphicsItem* item : branches_) {
        const auto* branch = static_cast<BranchItem*>(item);
        if (!branch->boundingRect().intersects(exposed))
            continue;
        const QColor color = branch->color();
        const double width = std::round(branch->width() * 4) / 4;
        const Qt::PenStyle style = branch->style();
        auto batch = std::find_if(batches.begin(), batches.end(), [&](const Batch& b) {
            return b.color == color && b.width == width && b.style == style;
        });
        if (batch == batches.end())
            batch = batches.insert(batches.end(), Batch{color, width, style, {}});
        batch->lines.push_back(branch->line());
    }
    painter->setRenderHint(QPainter::Antialiasing, false);
    for (const Batch& batch : batches) {
        painter->setPen(QPen(batch.color, batch.width, batch.style, Qt::RoundCap));
        painter->drawLines(batch.lines.data(), static_cast<int>(batch.lines.size()));
    }

    // Nodes: a smoothed dot drawn once for each colour and size, then stamped
    // at whole pixels, which is a fraction of the cost of drawing each.
    const QTransform toView = painter->worldTransform();
    painter->resetTransform();
    for (QGraphicsItem* item : farNodes_) {
        const auto* node = static_cast<NodeItem*>(item);
        const double dot = node->dotRadius(lod);
        const QPointF at = node->pos();
        if (!exposed.intersects(QRectF(at.x() - dot, at.y() - dot, 2 * dot, 2 * dot)))
            continue;
        const QPixmap& stamp = dotStamp(toQColor(node->picture().fill), dot * lod);
        const QPointF centre = toView.map(at);
        const QSizeF size = stamp.deviceIndependentSize();
        painter->drawPixmap(QPointF(centre.x() - size.width() / 2, centre.y() - size.height() / 2), stamp);
    }
    painter->setWorldTransform(toView);
    for (QGraphicsItem* item : farNodes_) {
        const auto* node = static_cast<NodeItem*>(item);
        if (node->picture().violation)
            drawFarMark(painter, node->pos(), node->dotRadius(lod), lod, kViolationColor);
    }
    for (QGraphicsItem* item : scene()->selectedItems())
        if (item->data(kRoleKey).toInt() == NodeRole)
            drawFarMark(painter, item->pos(), static_cast<NodeItem*>(item)->dotRadius(lod), lod);
}

const QPixmap& DiagramView::dotStamp(QColor fill, double radius) const
{
    // A few hundred colours of the scale at one or two sizes; a long zoom far
    // out makes new sizes, so the old ones are dropped now and then.
    const int quarters = static_cast<int>(std::lround(radius * 4));
    const quint64 key = (static_cast<quint64>(fill.rgb()) << 32) | static_cast<quint32>(quarters);
    if (const auto found = dotStamps_.constFind(key); found != dotStamps_.cend())
        return *found;
    if (dotStamps_.size() > 4096)
        dotStamps_.clear();
    const double ratio = viewport()->devicePixelRatioF();
    const double r = quarters / 4.0;
    const int side = static_cast<int>(std::ceil(2 * r)) + 2;
    QPixmap stamp(QSize(side, side) * ratio);
    stamp.setDevicePixelRatio(ratio);
    stamp.fill(Qt::transparent);
    QPainter painter(&stamp);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    painter.drawEllipse(QPointF(side / 2.0, side / 2.0), r, r);
    return *dotStamps_.insert(key, stamp);
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

void DiagramView::resizeEvent(QResizeEvent* event)
{
    QGraphicsView::resizeEvent(event);
    placeLegend();
}

void DiagramView::placeLegend()
{
    legend_->move(viewport()->geometry().topLeft() + QPoint(8, 8));
    legend_->raise();
}

DiagramLegend::DiagramLegend(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("DiagramLegend"));
    // Clicks, the wheel and hovering go through to the diagram below.
    setAttribute(Qt::WA_TransparentForMouseEvents);
    QFont small = font();
    small.setPointSizeF(8);
    setFont(small);
    hide();
}

void DiagramLegend::showFor(const diagram::Picture& picture)
{
    withScale_ = picture.withResults && !picture.nodes.empty();
    districts_.clear();
    for (const diagram::Hull& h : picture.hulls)
        districts_.push_back({h.district, toQColor(h.tint)});
    const int rows = (withScale_ ? 1 + static_cast<int>(diagram::legendScale().size()) : 0) +
                     (districts_.empty() ? 0 : 1 + static_cast<int>(districts_.size()));
    resize(static_cast<int>(kLegendWidth) - 20, 8 + 16 * rows);
    setVisible(rows > 0);
    update();
}

void DiagramLegend::paintEvent(QPaintEvent*)
{
    // Opaque, so that it reads the same over any part of the network.
    QPainter painter(this);
    painter.setPen(QColor(0x99, 0x99, 0x99));
    painter.setBrush(Qt::white);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    double top = 4;
    auto row = [&](QColor swatch, const QString& caption) {
        painter.setBrush(swatch);
        painter.setPen(QColor(0x33, 0x33, 0x33));
        painter.drawRect(QRectF(6, top + 2, 20, 12));
        painter.setPen(Qt::black);
        painter.drawText(QRectF(32, top, width() - 36, 16), Qt::AlignLeft | Qt::AlignVCenter, caption);
        top += 16;
    };
    auto heading = [&](const QString& caption) {
        painter.setPen(Qt::black);
        painter.drawText(QRectF(6, top, width() - 10, 16), Qt::AlignLeft | Qt::AlignVCenter, caption);
        top += 16;
    };
    if (withScale_) {
        heading(QStringLiteral("Отклонение U от Uном"));
        for (const diagram::LegendEntry& entry : diagram::legendScale())
            row(toQColor(diagram::deviationColor(entry.percent)), QString::fromStdString(entry.caption));
    }
    if (!districts_.empty()) {
        heading(QStringLiteral("Районы"));
        for (const auto& [district, tint] : districts_)
            row(tint, QString::fromStdString(diagram::districtCaption(district)));
    }
}

}  // namespace tarvel::ui
