// The "График" tab: the steps of a load profile as a chart (Qt Charts):
// the lowest and highest node voltage in p.u. and the losses in MW over the
// steps, the voltage limits as lines of their own, the insecure and failed
// steps marked. Pointing at the chart shows the nearest step's figures;
// a click chooses that step; the wheel and a drag zoom into the steps, as on
// the diagram, and Home or "Весь график" shows them all again.
#pragma once

#include <optional>
#include <utility>
#include <vector>

#include <QChartView>
#include <QString>
#include <QWidget>

#include "series/StepResult.h"

class QLabel;
class QPushButton;
class QRubberBand;
class QLineSeries;
class QScatterSeries;
class QValueAxis;

namespace tarvel::ui {

// The voltage limits drawn on the chart, p.u.
constexpr double kChartLowVoltage = 0.9;
constexpr double kChartHighVoltage = 1.1;

class SeriesChartView : public QChartView {
    Q_OBJECT
public:
    explicit SeriesChartView(QWidget* parent = nullptr);

    // Shows the steps (an empty list clears the chart).
    void setSteps(std::vector<StepResult> steps);
    const std::vector<StepResult>& steps() const { return steps_; }

    // The index of the step nearest to a point of the view, -1 outside the plot.
    int stepAt(const QPoint& position) const;
    // The figures of a step as the hover text shows them.
    QString stepText(int index) const;

    // The steps in sight: all of them after setSteps and resetZoom; the
    // wheel zooms about the pointer, a drag across the plot zooms to what it
    // spans (a click without a drag chooses a step), Home shows all again.
    std::pair<double, double> stepRange() const;
    void zoomSteps(double about, double factor);
    void resetZoom();

    // The chart as a picture; false when the file cannot be written.
    bool exportPng(const QString& path);
    bool exportSvg(const QString& path);

signals:
    void stepChosen(int index);

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // The step (as a value of the axis) under a point of the view.
    double stepValueAt(const QPoint& position) const;
    void setStepRange(double first, double last);

    std::vector<StepResult> steps_;
    std::pair<double, double> allSteps_{0, 1};
    std::optional<QPoint> pressedAt_;  // a left press on the plot, until released
    QRubberBand* band_ = nullptr;
    QLineSeries* vmin_ = nullptr;
    QLineSeries* vmax_ = nullptr;
    QLineSeries* losses_ = nullptr;
    QLineSeries* lowLimit_ = nullptr;
    QLineSeries* highLimit_ = nullptr;
    QScatterSeries* insecure_ = nullptr;
    QValueAxis* stepAxis_ = nullptr;
    QValueAxis* voltageAxis_ = nullptr;
    QValueAxis* lossAxis_ = nullptr;
};

// The tab's page: a line of explanation above the chart.
class SeriesPage : public QWidget {
    Q_OBJECT
public:
    explicit SeriesPage(QWidget* parent = nullptr);
    SeriesChartView* view() const { return view_; }
    // The line above the chart: the run's summary, and which step's reports
    // the report tabs show (none after a new run).
    void setSummary(const QString& text);
    void setShownStep(int64_t step);
    QString caption() const;
    QPushButton* resetButton() const { return reset_; }

private:
    QPushButton* reset_ = nullptr;
    QString summary_;
    QLabel* caption_ = nullptr;
    SeriesChartView* view_ = nullptr;
};

}  // namespace tarvel::ui
