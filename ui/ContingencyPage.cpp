#include "ui/ContingencyPage.h"

#include <algorithm>
#include <cmath>

#include <QFile>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "model/TextFile.h"
#include "ui/OutageOverlayOf.h"
#include "ui/Dialogs.h"
#include "ui/WindowText.h"
#include "ui/PaneFiles.h"

namespace tarvel::ui {

namespace {

// A cell shown with the given decimals that sorts by its number.
class NumberItem : public QTableWidgetItem {
public:
    NumberItem(double value, int decimals) : QTableWidgetItem(userFigure(value, decimals)), value_(value)
    {
        setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    }
    bool operator<(const QTableWidgetItem& other) const override
    {
        const auto* number = dynamic_cast<const NumberItem*>(&other);
        return number ? value_ < number->value_ : QTableWidgetItem::operator<(other);
    }

private:
    double value_;
};

QTableWidgetItem* numberItem(double value, int decimals)
{
    return new NumberItem(value, decimals);
}

QTableWidgetItem* textItem(const std::string& text)
{
    return new QTableWidgetItem(QString::fromStdString(text));
}

}  // namespace

namespace {

// A study that does not say which outages it solved solved them all.
bool solvedOutage(const StudyResult& study, std::size_t i)
{
    return study.solved.size() != study.outages.size() || study.solved[i] != 0;
}

}  // namespace

QString timeLeftText(qint64 elapsedMs, std::size_t done, std::size_t total)
{
    // A guess from the pace so far, once there is a pace to go by.
    if (done == 0 || done >= total || elapsedMs < 2000)
        return QString();
    const double left = static_cast<double>(elapsedMs) / 1000.0 * static_cast<double>(total - done) /
                        static_cast<double>(done);
    if (left < 60)
        return QStringLiteral(", осталось около %1 с").arg(std::max(1, static_cast<int>(std::lround(left))));
    return QStringLiteral(", осталось около %1 мин").arg(static_cast<int>(std::lround(left / 60)));
}

void tellStudyProblem(QWidget* parent, const app::StudyProblem& problem)
{
    if (problem.kind == app::StudyProblem::Kind::Unreadable)
        dialogs().message(parent, fromUtf8(problem.text) + QLatin1Char('.'), QMessageBox::Critical);
    else
        dialogs().message(parent, fromUtf8(problem.text), QMessageBox::Warning);
}

ContingencyPage::ContingencyPage(QWidget* parent) : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    auto* bar = new QHBoxLayout;
    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("ContingencyStatus"));
    progress_ = new QProgressBar(this);
    progress_->setObjectName(QStringLiteral("ContingencyProgress"));
    progress_->setFormat(QStringLiteral("%v из %m"));
    cancel_ = new QPushButton(QStringLiteral("Прервать"), this);
    cancel_->setObjectName(QStringLiteral("ContingencyCancel"));
    export_ = new QPushButton(QStringLiteral("Экспорт в CSV..."), this);
    export_->setObjectName(QStringLiteral("ContingencyCsv"));
    // The status has a line of its own: the summary and the cancel's text
    // are longer than a bar shares out.
    status_->setWordWrap(true);
    layout->addWidget(status_);
    bar->addWidget(progress_, 1);
    bar->addWidget(cancel_);
    bar->addWidget(export_);
    layout->addLayout(bar);
    table_ = new QTableWidget(this);
    table_->setObjectName(QStringLiteral("ContingencyTable"));
    table_->setColumnCount(9);
    table_->setHorizontalHeaderLabels({QStringLiteral("Отключение"), QStringLiteral("Исход"), QStringLiteral("Итер."),
                                       QStringLiteral("Umin, о.е."), QStringLiteral("Узел"),
                                       QStringLiteral("Umax, о.е."), QStringLiteral("Узел"),
                                       QStringLiteral("Загрузка, %"), QStringLiteral("Нарушений")});
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->verticalHeader()->setVisible(false);
    table_->setSortingEnabled(true);
    layout->addWidget(table_, 1);
    timer_ = new QTimer(this);
    timer_->setInterval(100);
    connect(timer_, &QTimer::timeout, this, &ContingencyPage::poll);
    connect(cancel_, &QPushButton::clicked, this, &ContingencyPage::cancel);
    connect(table_, &QTableWidget::cellDoubleClicked, this, [this](int row, int) {
        if (const int outage = outageOfRow(row); outage >= 0)
            emit outageChosen(outage);
    });
    connect(export_, &QPushButton::clicked, this, [this] {
        const QString path = dialogs().saveFile(this, QStringLiteral("Отключения в CSV"),
                                                QStringLiteral("Таблица CSV *.csv (*.csv)"), QStringLiteral("csv"),
                                                proposedCsv_, false);
        if (!path.isEmpty() && !writeCsv(path))
            tellFileNotCreated(this, path);
    });
    cancel_->setEnabled(false);
    export_->setEnabled(false);
}

ContingencyPage::~ContingencyPage()
{
    stop();
}

bool ContingencyPage::start(const NetworkModel& model, const CalculationSettings& settings,
                            const CaseStudyData& caseData, const ContingencyRequest& request, const QString& workDir)
{
    stop();
    const app::StudyFileNames names{request.listFile.isEmpty() ? std::filesystem::path() : localPath(request.listFile),
                                    request.limitsFile.isEmpty() ? std::filesystem::path() : localPath(request.limitsFile)};
    auto input = std::make_shared<app::StudyInput>(app::readStudyInput(model, caseData, names, true));
    if (input->problem) {
        tellStudyProblem(this, input->problem);
        return false;
    }
    outageCount_ = input->outages.size();
    workDir_ = workDir;
    run_ = {};
    control_.cancel = false;
    control_.done = 0;
    done_ = false;
    table_->setRowCount(0);
    progress_->setRange(0, static_cast<int>(outageCount_));
    progress_->setValue(0);
    progress_->show();
    status_->setText(QStringLiteral("Исходный режим..."));
    clock_.start();
    cancel_->setEnabled(true);
    export_->setEnabled(false);
    // The network is copied here: the window may calculate another one while the study runs.
    worker_ = std::thread([this, network = std::make_shared<NetworkModel>(model), settings, input,
                           threads = request.threads] {
        run_ = app::runContingencyStudy(*network, settings, std::move(*input), threads, &control_);
        done_ = true;
    });
    timer_->start();
    return true;
}

void ContingencyPage::cancel()
{
    control_.cancel = true;
}

void ContingencyPage::stop()
{
    if (!worker_.joinable())
        return;
    control_.cancel = true;
    worker_.join();
    timer_->stop();
}

void ContingencyPage::poll()
{
    const std::size_t done = control_.done.load();
    progress_->setValue(static_cast<int>(done));
    status_->setText(QStringLiteral("Рассчитано отключений: %1 из %2%3")
                         .arg(done)
                         .arg(outageCount_)
                         .arg(timeLeftText(clock_.elapsed(), done, outageCount_)));
    if (!done_)
        return;
    timer_->stop();
    worker_.join();
    cancel_->setEnabled(false);
    const bool completed = run_.complete();
    if (run_.status == app::ContingencyRun::Status::BaseNotSolved) {
        status_->setText(QString::fromUtf8(app::kBaseNotSolved));
    } else if (!completed) {
        // What was solved stays in sight; the files are written only for the whole list.
        showResults();
        status_->setText(QStringLiteral("Анализ прерван: рассчитано отключений %1 из %2. Таблица неполная: в ней "
                                        "только рассчитанные отключения; файлы не записаны.")
                             .arg(table_->rowCount())
                             .arg(outageCount_));
    } else {
        showResults();
        std::filesystem::path failed;
        if (!app::writeContingencyFiles(run_, {localPath(workDir_), {}, {}}, failed))
            tellFileNotCreated(this, QString::fromStdString(failed.string()));
    }
    emit finished(completed);
}

void ContingencyPage::showResults()
{
    const StudyBase& base = *run_.base;
    const StudyResult& result = run_.study;
    status_->setText(QString::fromStdString(studySummary(run_.counts)));
    progress_->hide();
    table_->setSortingEnabled(false);
    table_->setRowCount(0);
    int rows = 0;
    for (std::size_t i = 0; i < result.outages.size(); ++i)
        rows += solvedOutage(result, i) ? 1 : 0;
    table_->setRowCount(rows);
    int row = -1;
    for (std::size_t i = 0; i < result.outages.size(); ++i) {
        if (!solvedOutage(result, i))
            continue;
        ++row;
        const OutageResult& r = result.results[i];
        QTableWidgetItem* label = textItem(result.outages[i].label);
        label->setData(Qt::UserRole, static_cast<int>(i));
        label->setToolTip(QStringLiteral("Двойной щелчок: показать отключение на схеме"));
        table_->setItem(row, 0, label);
        table_->setItem(row, 1, textItem(outcomeText(r.outcome)));
        table_->setItem(row, 2, numberItem(r.iterations, 0));
        if (r.vmin.node >= 0) {
            table_->setItem(row, 3, numberItem(r.vmin.pu, 4));
            table_->setItem(row, 4, numberItem(base.model().nodeNumber[r.vmin.node], 0));
            table_->setItem(row, 5, numberItem(r.vmax.pu, 4));
            table_->setItem(row, 6, numberItem(base.model().nodeNumber[r.vmax.node], 0));
        }
        if (r.maxLoading.branch > 0) {
            QTableWidgetItem* loading = numberItem(r.maxLoading.percent, 1);
            loading->setToolTip(QString::fromStdString(branchLabel(base.branches(), r.maxLoading.branch)));
            table_->setItem(row, 7, loading);
        }
        QTableWidgetItem* count = numberItem(static_cast<double>(r.violations.size()), 0);
        QString tip;
        for (const Violation& v : r.violations)
            tip += QString::fromStdString(violationText(base, v)) + QLatin1Char('\n');
        if (!r.lostNodes.empty())
            tip += QStringLiteral("отделено узлов: %1, нагрузка %2 МВт\n")
                       .arg(r.lostNodes.size())
                       .arg(userFigure(r.lostLoadMw, 2));
        if (r.balanceNode > 0)
            tip += QStringLiteral("базисный узел отделен, баланс принял узел %1\n")
                       .arg(base.model().nodeNumber[r.balanceNode]);
        count->setToolTip(tip.trimmed());
        table_->setItem(row, 8, count);
    }
    table_->setSortingEnabled(true);
    table_->resizeColumnsToContents();
    table_->resizeRowsToContents();
    export_->setEnabled(run_.complete());
}

int ContingencyPage::outageOfRow(int row) const
{
    const QTableWidgetItem* label = table_->item(row, 0);
    if (!label || running())
        return -1;
    bool ok = false;
    const int outage = label->data(Qt::UserRole).toInt(&ok);
    return ok && outage >= 0 && static_cast<std::size_t>(outage) < run_.study.results.size() ? outage : -1;
}

std::optional<diagram::OutageOverlay> ContingencyPage::overlayOf(int outage) const
{
    if (running() || !run_.base || outage < 0 || static_cast<std::size_t>(outage) >= run_.study.results.size() ||
        !solvedOutage(run_.study, static_cast<std::size_t>(outage)))
        return std::nullopt;
    const StudyBase& base = *run_.base;
    OutageWorkspace workspace(base);
    OutageSolution solution;
    const Outage& chosen = run_.study.outages[static_cast<std::size_t>(outage)];
    const OutageResult result = evaluateOutage(base, chosen, workspace, &solution);
    return outageOverlayOf(base, chosen, result, solution);
}

const NetworkModel* ContingencyPage::studiedModel() const
{
    return run_.base && !running() ? &run_.base->model() : nullptr;
}

bool ContingencyPage::writeCsv(const QString& path) const
{
    if (!run_.complete() || run_.study.results.empty())
        return false;
    return replaceFileSafely(localPath(path), contingenciesCsv(*run_.base, run_.study));
}

}  // namespace tarvel::ui
