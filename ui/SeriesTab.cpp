#include "ui/SeriesTab.h"

#include <atomic>

#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QProgressDialog>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

#include "app/SeriesStudy.h"
#include "model/Calculation.h"
#include "powerflow/PowerFlowRun.h"
#include "series/SeriesJob.h"
#include "series/SeriesReports.h"
#include "ui/ContingencyPage.h"
#include "ui/Dialogs.h"
#include "ui/FileFolders.h"
#include "ui/ImportedInput.h"
#include "ui/LowerPane.h"
#include "ui/PaneFiles.h"
#include "ui/ReportTabs.h"
#include "ui/SeriesChart.h"
#include "ui/TextPane.h"
#include "ui/WindowText.h"

namespace tarvel::ui {

SeriesTab::SeriesTab(QWidget* window, ReportTabs& tabs, LowerPane& lowerPane, const Calculation& calculation,
                     const ImportedInput& imported, FileFolders& folders, Calculate calculate)
    : QObject(window), window_(window), tabs_(tabs), lowerPane_(lowerPane), calculation_(calculation),
      imported_(imported), folders_(folders), calculate_(std::move(calculate))
{
    page_ = new SeriesPage;
    page_->setObjectName(QStringLiteral("Chart1"));
    tabs_.addPage(ReportTabs::Chart, "TabSheet7", QStringLiteral("График"), page_);
    connect(page_->view(), &SeriesChartView::stepChosen, this, &SeriesTab::showStep);
}

SeriesTab::~SeriesTab() = default;

void SeriesTab::calculateLoadProfile()
{
    const QString path = dialogs().openFile(window_, QStringLiteral("Расчет по графику нагрузки"),
                                            QStringLiteral("График нагрузки (*.csv *.m);;Все файлы (*)"), {},
                                            folders_.openFolder());
    if (path.isEmpty())
        return;
    folders_.remember(path);
    std::string profile;
    if (const app::StudyProblem problem = app::readUserFile(localPath(path), profile)) {
        tellStudyProblem(window_, problem);
        return;
    }
    static ProfileRequest last;
    ProfileRequest request = last;
    request.study.folder = folders_.openFolder();
    if (!dialogs().profileOptions(window_, QFileInfo(path).fileName(), request))
        return;
    last = request;
    const QByteArray input = tabs_.inputPane()->text().toUtf8();
    app::SeriesRequest series;
    series.text = std::string_view(input.constData(), static_cast<std::size_t>(input.size()));
    series.profileBytes = profile;
    series.areas = nodeAreasOf(imported_.busAreas);
    series.caseData = imported_.caseData;
    const ContingencyRequest& study = request.study;
    series.files = {study.listFile.isEmpty() ? std::filesystem::path() : localPath(study.listFile),
                    study.limitsFile.isEmpty() ? std::filesystem::path() : localPath(study.limitsFile)};
    series.withOutages = request.withOutages;
    app::SeriesSetUp setUp = app::prepareSeries(series, calculation_.settings);
    switch (setUp.state) {
    case SeriesPrepared::BadProfile:
        tellStudyProblem(window_, setUp.problem);
        return;
    case SeriesPrepared::NetworkRejected:
        calculate_({});  // tells why
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
                             window_);
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
        lowerPane_.show();
        lowerPane_.pane()->setText(QStringLiteral("Расчет по графику нагрузки прерван, прежние результаты сохранены"));
        return;
    }
    const SeriesResults results = watcher.result();
    const std::vector<StepResult>& steps = results.steps;
    SeriesOutputs outputs;
    outputs.workDir = localPath(QDir::currentPath());
    std::filesystem::path failed;
    if (!writeSeriesFiles(results, calculation_.settings, outputs, failed))
        tellFileNotCreated(window_, QString::fromStdString(failed.string()));

    // The reports of the network as written, then the chart of its steps.
    calculate_({});
    job_ = job;
    const app::SeriesTally tally = app::tallySeries(results);
    page_->setSummary(QStringLiteral("Шагов: %1, не решено: %2, потери энергии %3 МВт·ч%4. %5Щелчок по шагу "
                                     "загружает его отчеты.")
                          .arg(count)
                          .arg(tally.unsolved)
                          .arg(userFigure(tally.energyLostMwh, 3))
                          .arg(results.withOutages
                                   ? QStringLiteral(", небезопасных шагов при N-1: %1").arg(tally.insecure)
                                   : QString())
                          .arg(note.empty() ? QString() : fromUtf8(note) + QStringLiteral(". ")));
    page_->view()->setSteps(steps);
    tabs_.setShown(ReportTabs::Chart, true);
    tabs_.activate(ReportTabs::Chart);
    emit chartShown();
}

void SeriesTab::showStep(int index)
{
    if (!job_ || index < 0 || index >= job_->study().stepCount())
        return;
    StepLoads loads;
    job_->study().stepLoads(index, loads);
    calculate_(LoadOverride{loads.p, loads.q});
    const std::int64_t step = page_->view()->steps()[static_cast<std::size_t>(index)].step;
    page_->setShownStep(step);
    tabs_.setStateNote(QStringLiteral("Показан шаг %1 графика нагрузки (щелчок на вкладке «График»), а не "
                                      "нагрузки исходных данных. Расчет (F9) вернет их.")
                           .arg(step));
}

void SeriesTab::exportPng()
{
    const QString path = dialogs().saveFile(window_, QStringLiteral("График в PNG"),
                                            QStringLiteral("Рисунок PNG *.png (*.png)"), QStringLiteral("png"),
                                            folders_.exportPath(QStringLiteral("png")), false);
    if (!path.isEmpty() && !page_->view()->exportPng(path))
        tellFileNotCreated(window_, path);
}

void SeriesTab::exportSvg()
{
    const QString path = dialogs().saveFile(window_, QStringLiteral("График в SVG"),
                                            QStringLiteral("Рисунок SVG *.svg (*.svg)"), QStringLiteral("svg"),
                                            folders_.exportPath(QStringLiteral("svg")), false);
    if (!path.isEmpty() && !page_->view()->exportSvg(path))
        tellFileNotCreated(window_, path);
}

}  // namespace tarvel::ui
