// "Расчет" → "Расчет по графику нагрузки...": the network of the input tab at
// every step of a load profile, on all cores in the background with a
// progress dialog that can cancel, then the "График" tab. A click on a step
// loads that step's full reports.
#include <atomic>
#include <memory>

#include <QAction>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QMenu>
#include <QProgressDialog>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

#include "app/SeriesStudy.h"
#include "model/CalculationSettings.h"
#include "powerflow/PowerFlowRun.h"
#include "series/SeriesJob.h"
#include "series/SeriesReports.h"
#include "ui/ContingencyPage.h"
#include "ui/Dialogs.h"
#include "ui/LowerPane.h"
#include "ui/MainWindow.h"
#include "ui/PaneFiles.h"
#include "ui/ReportTabs.h"
#include "ui/SeriesChart.h"
#include "ui/TextPane.h"
#include "ui/WindowText.h"

namespace tarvel::ui {

void TForm1::createSeriesPage()
{
    seriesPage_ = new SeriesPage;
    seriesPage_->setObjectName(QStringLiteral("Chart1"));
    reportTabs_->addPage(ReportTabs::Chart, "TabSheet7", QStringLiteral("График"), seriesPage_);
    connect(seriesPage_->view(), &SeriesChartView::stepChosen, this, &TForm1::showProfileStep);
}

void TForm1::addSeriesEntries(QMenu* calculationMenu, QMenu* exportMenu)
{
    QAction* run = calculationMenu->addAction(QStringLiteral("Расчет по &графику нагрузки..."));
    run->setObjectName(QStringLiteral("ProfileRun1"));
    connect(run, &QAction::triggered, this, &TForm1::calculateLoadProfile);
    chartPngAction_ = exportMenu->addAction(QStringLiteral("&График в PNG..."));
    chartPngAction_->setObjectName(QStringLiteral("ChartPng1"));
    connect(chartPngAction_, &QAction::triggered, this, &TForm1::exportChartPng);
    chartSvgAction_ = exportMenu->addAction(QStringLiteral("Гр&афик в SVG..."));
    chartSvgAction_->setObjectName(QStringLiteral("ChartSvg1"));
    connect(chartSvgAction_, &QAction::triggered, this, &TForm1::exportChartSvg);
    chartPngAction_->setEnabled(false);
    chartSvgAction_->setEnabled(false);
}

void TForm1::calculateLoadProfile()
{
    const QString path = dialogs().openFile(this, QStringLiteral("Расчет по графику нагрузки"),
                                            QStringLiteral("График нагрузки (*.csv *.m);;Все файлы (*)"));
    if (path.isEmpty())
        return;
    std::string profile;
    if (const app::StudyProblem problem = app::readUserFile(localPath(path), profile)) {
        tellStudyProblem(this, problem);
        return;
    }
    static ProfileRequest last;
    ProfileRequest request = last;
    if (!dialogs().profileOptions(this, QFileInfo(path).fileName(), request))
        return;
    last = request;
    const QByteArray input = inputPane()->text().toUtf8();
    app::SeriesRequest series;
    series.text = std::string_view(input.constData(), static_cast<std::size_t>(input.size()));
    series.profileBytes = profile;
    series.areas = nodeAreasOf(importedBusAreas_);
    series.caseData = importedCaseData_;
    const ContingencyRequest& study = request.study;
    series.files = {study.listFile.isEmpty() ? std::filesystem::path() : localPath(study.listFile),
                    study.limitsFile.isEmpty() ? std::filesystem::path() : localPath(study.limitsFile)};
    series.withOutages = request.withOutages;
    app::SeriesSetUp setUp = app::prepareSeries(series, calculation_.settings);
    switch (setUp.state) {
    case SeriesPrepared::BadProfile:
        tellStudyProblem(this, setUp.problem);
        return;
    case SeriesPrepared::NetworkRejected:
        calculatePowerFlow();  // tells why
        return;
    case SeriesPrepared::Ready:
        break;
    }
    const std::shared_ptr<const SeriesJob> job = std::move(setUp.job);
    const std::string& note = setUp.note;

    // The steps run beside the window; the dialog shows their count and can stop them.
    const int count = job->study().stepCount();
    std::atomic<bool> cancel{false};
    std::atomic<int> done{0};
    QProgressDialog progress(QStringLiteral("Расчет шагов графика нагрузки..."), QStringLiteral("Отмена"), 0, count,
                             this);
    progress.setObjectName(QStringLiteral("ProfileProgress1"));
    progress.setWindowTitle(applicationTitle());
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(300);
    QFutureWatcher<SeriesResults> watcher;
    QEventLoop loop;
    connect(&watcher, &QFutureWatcherBase::finished, &loop, &QEventLoop::quit);
    connect(&progress, &QProgressDialog::canceled, &loop, [&cancel] { cancel = true; });
    QTimer ticks;
    connect(&ticks, &QTimer::timeout, &progress, [&] {
        if (progress.wasCanceled()) {
            cancel = true;
            return;
        }
        progress.setValue(done.load());
        progress.setLabelText(QStringLiteral("Расчет шагов графика нагрузки: %1 из %2").arg(done.load()).arg(count));
    });
    ticks.start(100);
    const int threads = request.study.threads;
    watcher.setFuture(QtConcurrent::run([job, threads, &cancel, &done] {
        return app::runSeries(*job, threads, &cancel, [&done](int n) { done.store(n, std::memory_order_relaxed); });
    }));
    loop.exec();
    ticks.stop();
    progress.reset();
    if (cancel) {
        // The earlier chart and files stay as they were.
        lowerPane_->show();
        lowerPane_->pane()->setText(QStringLiteral("Расчет по графику нагрузки прерван, прежние результаты сохранены"));
        return;
    }
    const SeriesResults results = watcher.result();
    const std::vector<StepResult>& steps = results.steps;
    SeriesOutputs outputs;
    outputs.workDir = localPath(QDir::currentPath());
    std::filesystem::path failed;
    if (!writeSeriesFiles(results, calculation_.settings, outputs, failed))
        tellFileNotCreated(this, QString::fromStdString(failed.string()));

    // The reports of the network as written, then the chart of its steps.
    calculatePowerFlow();
    seriesJob_ = job;
    const app::SeriesTally tally = app::tallySeries(results);
    seriesPage_->setSummary(QStringLiteral("Шагов: %1, не решено: %2, потери энергии %3 МВт·ч%4. %5Щелчок по шагу "
                                           "загружает его отчеты.")
                                .arg(count)
                                .arg(tally.unsolved)
                                .arg(QLocale().toString(tally.energyLostMwh, 'f', 3))
                                .arg(results.withOutages
                                         ? QStringLiteral(", небезопасных шагов при N-1: %1").arg(tally.insecure)
                                         : QString())
                                .arg(note.empty() ? QString() : fromUtf8(note) + QStringLiteral(". ")));
    seriesPage_->view()->setSteps(steps);
    reportTabs_->setShown(ReportTabs::Chart, true);
    reportTabs_->activate(ReportTabs::Chart);
    chartPngAction_->setEnabled(true);
    chartSvgAction_->setEnabled(true);
}

void TForm1::showProfileStep(int index)
{
    if (!seriesJob_ || index < 0 || index >= seriesJob_->study().stepCount())
        return;
    StepLoads loads;
    seriesJob_->study().stepLoads(index, loads);
    runCalculation(LoadOverride{loads.p, loads.q});
    seriesPage_->setShownStep(seriesPage_->view()->steps()[static_cast<std::size_t>(index)].step);
}

void TForm1::exportChartPng()
{
    const QString path = dialogs().saveFile(this, QStringLiteral("График в PNG"),
                                            QStringLiteral("Рисунок PNG *.png (*.png)"), QStringLiteral("png"));
    if (!path.isEmpty() && !seriesPage_->view()->exportPng(path))
        tellFileNotCreated(this, path);
}

void TForm1::exportChartSvg()
{
    const QString path = dialogs().saveFile(this, QStringLiteral("График в SVG"),
                                            QStringLiteral("Рисунок SVG *.svg (*.svg)"), QStringLiteral("svg"));
    if (!path.isEmpty() && !seriesPage_->view()->exportSvg(path))
        tellFileNotCreated(this, path);
}

}  // namespace tarvel::ui
