#include "ui/SeriesChart.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include <QChart>
#include <QLabel>
#include <QLegendMarker>
#include <QLineSeries>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QSaveFile>
#include <QScatterSeries>
#include <QSvgGenerator>
#include <QToolTip>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPushButton>
#include <QRubberBand>
#include <QWheelEvent>
#include <QVBoxLayout>
#include <QValueAxis>

#include "series/SeriesReports.h"
#include "ui/WindowText.h"

namespace tarvel::ui {

namespace {

QString number(double value, int decimals)
{
    return userFigure(value, decimals);
}

// The steps the chart marks: those that did not solve as well.
bool insecure(const StepResult& s)
{
    return s.outcome != StepOutcome::Solved || isInsecureStep(s);
}

}  // namespace

SeriesChartView::SeriesChartView(QWidget* parent) : QChartView(parent)
{
    setObjectName(QStringLiteral("SeriesChart1"));
    setRenderHint(QPainter::Antialiasing);
    // The figures follow the pointer without a button held.
    viewport()->setMouseTracking(true);
    auto* chart = new QChart;
    chart->setTitle(QStringLiteral("Напряжения и потери по шагам графика нагрузки"));
    chart->legend()->setAlignment(Qt::AlignBottom);
    chart->setLocale(figureLocale());
    chart->setLocalizeNumbers(true);

    vmin_ = new QLineSeries;
    vmin_->setName(QStringLiteral("Umin, о.е."));
    vmin_->setPen(QPen(QColor(0x1f, 0x5f, 0xbf), 1.5));
    vmax_ = new QLineSeries;
    vmax_->setName(QStringLiteral("Umax, о.е."));
    vmax_->setPen(QPen(QColor(0xc0, 0x30, 0x30), 1.5));
    lowLimit_ = new QLineSeries;
    lowLimit_->setName(QStringLiteral("Пределы напряжения"));
    highLimit_ = new QLineSeries;
    for (QLineSeries* limit : {lowLimit_, highLimit_}) {
        QPen pen(QColor(0x60, 0x60, 0x60), 1.0, Qt::DashLine);
        limit->setPen(pen);
    }
    losses_ = new QLineSeries;
    losses_->setName(QStringLiteral("Потери, МВт"));
    losses_->setPen(QPen(QColor(0x20, 0x90, 0x40), 1.2));
    insecure_ = new QScatterSeries;
    insecure_->setName(QStringLiteral("Небезопасные и нерешенные шаги"));
    insecure_->setMarkerSize(7);
    insecure_->setColor(QColor(0xe0, 0x80, 0x00));
    insecure_->setBorderColor(QColor(0xe0, 0x80, 0x00));

    for (QAbstractSeries* s : std::initializer_list<QAbstractSeries*>{vmin_, vmax_, lowLimit_, highLimit_, insecure_, losses_})
        chart->addSeries(s);

    stepAxis_ = new QValueAxis;
    stepAxis_->setTitleText(QStringLiteral("Шаг"));
    stepAxis_->setLabelFormat(QStringLiteral("%d"));
    voltageAxis_ = new QValueAxis;
    voltageAxis_->setTitleText(QStringLiteral("U, о.е."));
    lossAxis_ = new QValueAxis;
    lossAxis_->setTitleText(QStringLiteral("Потери, МВт"));
    chart->addAxis(stepAxis_, Qt::AlignBottom);
    chart->addAxis(voltageAxis_, Qt::AlignLeft);
    chart->addAxis(lossAxis_, Qt::AlignRight);
    for (QAbstractSeries* s : std::initializer_list<QAbstractSeries*>{vmin_, vmax_, lowLimit_, highLimit_, insecure_}) {
        s->attachAxis(stepAxis_);
        s->attachAxis(voltageAxis_);
    }
    losses_->attachAxis(stepAxis_);
    losses_->attachAxis(lossAxis_);
    // The upper limit line shares the lower one's legend entry.
    for (QLegendMarker* marker : chart->legend()->markers(highLimit_))
        marker->setVisible(false);
    setChart(chart);
}

void SeriesChartView::setSteps(std::vector<StepResult> steps)
{
    steps_ = std::move(steps);
    QList<QPointF> vmin, vmax, losses, marked;
    vmin.reserve(static_cast<qsizetype>(steps_.size()));
    vmax.reserve(static_cast<qsizetype>(steps_.size()));
    losses.reserve(static_cast<qsizetype>(steps_.size()));
    double low = kChartLowVoltage, high = kChartHighVoltage, lossTop = 0;
    for (const StepResult& s : steps_) {
        const double x = static_cast<double>(s.step);
        if (s.outcome == StepOutcome::Solved) {
            vmin.append({x, s.vminPu});
            vmax.append({x, s.vmaxPu});
            losses.append({x, s.lossesMw});
            low = std::min(low, s.vminPu);
            high = std::max(high, s.vmaxPu);
            lossTop = std::max(lossTop, s.lossesMw);
        }
        if (insecure(s))
            marked.append({x, s.outcome == StepOutcome::Solved ? s.vminPu : kChartLowVoltage});
    }
    vmin_->replace(vmin);
    vmax_->replace(vmax);
    losses_->replace(losses);
    insecure_->replace(marked);
    const double first = steps_.empty() ? 0 : static_cast<double>(steps_.front().step);
    const double last = steps_.empty() ? 1 : static_cast<double>(std::max(steps_.back().step, steps_.front().step + 1));
    lowLimit_->replace(QList<QPointF>{{first, kChartLowVoltage}, {last, kChartLowVoltage}});
    highLimit_->replace(QList<QPointF>{{first, kChartHighVoltage}, {last, kChartHighVoltage}});
    allSteps_ = {first, last};
    stepAxis_->setRange(first, last);
    const double margin = 0.02;
    voltageAxis_->setRange(low - margin, high + margin);
    lossAxis_->setRange(0, lossTop > 0 ? lossTop * 1.1 : 1);
}

int SeriesChartView::stepAt(const QPoint& position) const
{
    if (steps_.empty())
        return -1;
    const QPointF scene = mapToScene(position);
    const QPointF inChart = chart()->mapFromScene(scene);
    if (!chart()->plotArea().contains(inChart))
        return -1;
    const double step = chart()->mapToValue(inChart, vmin_).x();
    const int64_t nearest = static_cast<int64_t>(std::llround(step));
    const int64_t first = steps_.front().step;
    const int64_t index = std::clamp<int64_t>(nearest - first, 0, static_cast<int64_t>(steps_.size()) - 1);
    return static_cast<int>(index);
}

QString SeriesChartView::stepText(int index) const
{
    if (index < 0 || index >= static_cast<int>(steps_.size()))
        return QString();
    const StepResult& s = steps_[static_cast<std::size_t>(index)];
    QString text = QStringLiteral("Шаг %1: %2, итераций %3").arg(s.step).arg(QString::fromUtf8(stepOutcomeText(s.outcome))).arg(s.iterations);
    if (s.outcome == StepOutcome::Solved) {
        text += QStringLiteral("\nUmin %1 о.е. (узел %2), Umax %3 о.е. (узел %4)")
                    .arg(number(s.vminPu, 4))
                    .arg(s.vminNode)
                    .arg(number(s.vmaxPu, 4))
                    .arg(s.vmaxNode);
        text += QStringLiteral("\nНагрузка %1 МВт, потери %2 МВт, базисный узел %3 МВт")
                    .arg(number(s.loadMw, 2), number(s.lossesMw, 3), number(s.baseMw, 2));
        if (std::isfinite(s.maxLoadingPct))
            text += QStringLiteral("\nНаибольшая загрузка %1 % (ветвь %2-%3)")
                        .arg(number(s.maxLoadingPct, 1))
                        .arg(s.maxLoadingStart)
                        .arg(s.maxLoadingEnd);
        if (s.violations > 0)
            text += QStringLiteral("\nНарушений: %1").arg(s.violations);
        const int outages = s.outagesSolved + s.outagesNotConverged + s.outagesDiverged + s.outagesSplit;
        if (outages > 0)
            text += QStringLiteral("\nN-1: отключений %1, с нарушениями %2, разделение сети %3, не решено %4")
                        .arg(outages)
                        .arg(s.outagesWithViolations)
                        .arg(s.outagesSplit)
                        .arg(s.outagesNotConverged + s.outagesDiverged);
    } else {
        text += QStringLiteral("\nБазисный узел должен выдать %1 МВт").arg(number(s.baseShareMw, 1));
        if (s.worstNode != 0)
            text += QStringLiteral("\nНаибольший небаланс: узел %1").arg(s.worstNode);
    }
    text += QStringLiteral("\nЩелчок - отчеты этого шага");
    return text;
}

void SeriesChartView::mouseMoveEvent(QMouseEvent* event)
{
    if (pressedAt_ && (event->buttons() & Qt::LeftButton)) {
        // The span a drag would zoom to, across the whole plot's height.
        if (!band_)
            band_ = new QRubberBand(QRubberBand::Rectangle, viewport());
        const QRectF plot = chart()->plotArea();
        const QPoint top = mapFromScene(chart()->mapToScene(plot.topLeft()));
        const QPoint bottom = mapFromScene(chart()->mapToScene(plot.bottomRight()));
        const int x = event->position().toPoint().x();
        band_->setGeometry(QRect(QPoint(std::min(x, pressedAt_->x()), top.y()),
                                 QPoint(std::max(x, pressedAt_->x()), bottom.y())));
        band_->show();
    }
    const int index = stepAt(event->position().toPoint());
    if (index >= 0)
        QToolTip::showText(event->globalPosition().toPoint(), stepText(index), this);
    else
        QToolTip::hideText();
    QChartView::mouseMoveEvent(event);
}

void SeriesChartView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && stepAt(event->position().toPoint()) >= 0) {
        pressedAt_ = event->position().toPoint();
        event->accept();
        return;
    }
    QChartView::mousePressEvent(event);
}

void SeriesChartView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !pressedAt_) {
        QChartView::mouseReleaseEvent(event);
        return;
    }
    const QPoint from = *pressedAt_;
    const QPoint to = event->position().toPoint();
    pressedAt_.reset();
    if (band_)
        band_->hide();
    event->accept();
    // A few pixels of a trembling hand are still a click.
    constexpr int kDrag = 5;
    if (std::abs(to.x() - from.x()) < kDrag) {
        if (const int index = stepAt(from); index >= 0)
            emit stepChosen(index);
        return;
    }
    const double a = stepValueAt(from), b = stepValueAt(to);
    setStepRange(std::min(a, b), std::max(a, b));
}

void SeriesChartView::wheelEvent(QWheelEvent* event)
{
    if (steps_.empty() || event->angleDelta().y() == 0) {
        QChartView::wheelEvent(event);
        return;
    }
    zoomSteps(stepValueAt(event->position().toPoint()), event->angleDelta().y() > 0 ? 0.8 : 1.25);
    event->accept();
}

void SeriesChartView::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Home) {
        resetZoom();
        event->accept();
        return;
    }
    QChartView::keyPressEvent(event);
}

double SeriesChartView::stepValueAt(const QPoint& position) const
{
    const QPointF inChart = chart()->mapFromScene(mapToScene(position));
    return chart()->mapToValue(inChart, vmin_).x();
}

std::pair<double, double> SeriesChartView::stepRange() const
{
    return {stepAxis_->min(), stepAxis_->max()};
}

void SeriesChartView::setStepRange(double first, double last)
{
    // Within the steps there are, and never narrower than one step.
    first = std::max(first, allSteps_.first);
    last = std::min(last, allSteps_.second);
    if (last - first < 1) {
        const double middle = (first + last) / 2;
        first = std::max(allSteps_.first, middle - 0.5);
        last = std::min(allSteps_.second, first + 1);
    }
    stepAxis_->setRange(first, last);
}

void SeriesChartView::zoomSteps(double about, double factor)
{
    const auto [first, last] = stepRange();
    setStepRange(about - (about - first) * factor, about + (last - about) * factor);
}

void SeriesChartView::resetZoom()
{
    stepAxis_->setRange(allSteps_.first, allSteps_.second);
}

bool SeriesChartView::exportPng(const QString& path)
{
    const QPixmap picture = grab();
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !picture.save(&file, "PNG"))
        return false;
    return file.commit();
}

bool SeriesChartView::exportSvg(const QString& path)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QSvgGenerator generator;
    generator.setOutputDevice(&file);
    generator.setSize(size());
    generator.setViewBox(rect());
    generator.setTitle(chart()->title());
    {
        QPainter painter(&generator);
        render(&painter);
    }
    return file.commit();
}

SeriesPage::SeriesPage(QWidget* parent) : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    caption_ = new QLabel(this);
    caption_->setObjectName(QStringLiteral("SeriesCaption1"));
    caption_->setContentsMargins(6, 4, 6, 0);
    caption_->setWordWrap(true);
    view_ = new SeriesChartView(this);
    reset_ = new QPushButton(QStringLiteral("&Весь график"), this);
    reset_->setObjectName(QStringLiteral("ChartFit"));
    reset_->setToolTip(QStringLiteral("Показать все шаги (Home). Колесо мыши и протяжка по графику - увеличение"));
    connect(reset_, &QPushButton::clicked, view_, &SeriesChartView::resetZoom);
    auto* top = new QHBoxLayout;
    top->addWidget(caption_, 1);
    top->addWidget(reset_, 0, Qt::AlignTop);
    layout->addLayout(top);
    layout->addWidget(view_, 1);
}

void SeriesPage::setSummary(const QString& text)
{
    summary_ = text;
    caption_->setText(summary_);
}

void SeriesPage::setShownStep(int64_t step)
{
    caption_->setText(summary_ + QStringLiteral(" Вкладки отчетов показывают шаг %1.").arg(step));
}

QString SeriesPage::caption() const
{
    return caption_->text();
}

}  // namespace tarvel::ui
