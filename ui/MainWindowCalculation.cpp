#include "ui/MainWindow.h"

#include <string>
#include <utility>

#include <QAction>
#include <QDir>
#include <QMenu>
#include <QStringList>

#include "app/CalculationRun.h"
#include "losses/LossAllocation.h"
#include "model/CalculationSettings.h"
#include "model/NetworkModel.h"
#include "powerflow/PowerFlowRun.h"
#include "ui/ContingencyTab.h"
#include "ui/Dialogs.h"
#include "ui/LowerPane.h"
#include "ui/ReportTabs.h"
#include "ui/TextPane.h"
#include "ui/WindowText.h"

namespace tarvel::ui {

// Shows the core's messages as message boxes of the window once the panes
// show the outcome (showHeldMessages), so that no box stands over a pane that
// still says the run is going on; warnings go to a pane (the lower pane
// during a power flow).
class TForm1::WindowSink : public MessageSink {
public:
    WindowSink(TForm1& window, TextPane* warningPane) : window_(window), warningPane_(warningPane) {}

    void showMessage(const std::string& text) override { held_ << fromUtf8(text); }
    void showHeldMessages()
    {
        const QStringList messages = std::exchange(held_, {});
        for (const QString& text : messages)
            dialogs().message(&window_, text);
    }
    void runStarted(const std::string& progressText) override
    {
        window_.lowerPane_->show();
        window_.lowerPane_->pane()->setText(fromUtf8(progressText));
    }
    void warning(const std::string& text) override
    {
        QString line = fromUtf8(text);
        while (line.endsWith(QLatin1Char('\n')) || line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        warningPane_->appendPlainText(line);
        warnings.push_back(line);
    }

    QStringList warnings;

private:
    TForm1& window_;
    TextPane* warningPane_;
    QStringList held_;
};

void TForm1::calculatePowerFlow()
{
    // The study's table and diagram belong to the results a new run would
    // replace: the run waits, and the user learns why.
    if (contingencyTab_->running()) {
        dialogs().message(this,
                          QStringLiteral("Идет анализ отключений (N-1). Расчет можно выполнить после его окончания; "
                                         "прервать анализ можно кнопкой «Прервать» на вкладке «Отключения»."),
                          QMessageBox::Information);
        return;
    }
    runCalculation({});
}

void TForm1::runCalculation(const LoadOverride& loads)
{
    // A run shows the input's own state unless its caller says otherwise.
    reportTabs_->setStateNote(QString());
    WindowSink sink(*this, lowerPane_->pane());
    const QByteArray input = inputPane()->text().toUtf8();
    const app::CalculationRequest request{std::string_view(input.constData(), static_cast<std::size_t>(input.size())),
                                          userDecimalSeparator(), loads, imported_.raisedBases,
                                          imported_.storedVoltages, imported_.fromCase};
    app::CalculationResult run = app::runCalculation(calculation_, localPath(QDir::currentPath()), request, sink);
    showRun(run, sink.warnings);
    sink.showHeldMessages();
}

void TForm1::showRun(app::CalculationResult& run, const QStringList& warnings)
{
    switch (run.outcome) {
    case RunOutcome::InputNotSaved:
    case RunOutcome::OutNotCreatable:
    case RunOutcome::FilesNotWritten:
        return;
    case RunOutcome::Rejected: {
        reportTabs_->hideReports();
        showRunDiagram(run);
        // The error list with the lines of its records, then where the reading stopped.
        QStringList lines;
        for (const std::string& line : app::findingsWithTheirLines(calculation_.model))
            lines << fromUtf8(line);
        lines << warnings;
        lowerPane_->showReadOnly(lines.join(QLatin1Char('\n')));
        return;
    }
    case RunOutcome::Converged:
    case RunOutcome::NotConverged:
    case RunOutcome::Diverged:
        break;
    }
    // The figures stay for the exports until the next run whose reports are written.
    lastResults_ = std::make_unique<NetworkResults>(std::move(*run.results));
    showResultsInTables();

    showRunDiagram(run);
    // Warnings of an accepted run stay in sight in the lower pane.
    if (warnings.isEmpty())
        lowerPane_->hide();
    if (!reportTabs_->loadReports(run.files))
        return;
    exportMenu_->menuAction()->setVisible(true);
    lossAnalysisAction_->setEnabled(true);
    lossAllocationAction_->setEnabled(true);
    contingencyAction_->setEnabled(true);
}

void TForm1::showLossAnalysis()
{
    reportTabs_->showLossAnalysis();
}

void TForm1::allocateLossesToLoads()
{
    reportTabs_->setShown(ReportTabs::Allocation, true);
    reportTabs_->activate(ReportTabs::Allocation);
    WindowSink sink(*this, reportTabs_->paneOf(ReportTabs::Allocation));
    const LossOutcome outcome = allocateLosses(calculation_.model, localPath(QDir::currentPath()), sink);
    // Told before the pane loads, which would otherwise show an earlier
    // report as if it were this one's.
    if (outcome == LossOutcome::ReportNotCreated) {
        sink.showMessage(kLossRezNotCreatedMessage);
        sink.showHeldMessages();
    }
    if (outcome != LossOutcome::Refused)
        reportTabs_->loadLossAllocation();
    sink.showHeldMessages();
}

}  // namespace tarvel::ui
