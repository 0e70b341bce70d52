#include "ui/MainWindow.h"

#include <string>

#include <QAction>
#include <QDir>
#include <QMenu>
#include <QStringList>

#include "app/CalculationRun.h"
#include "losses/LossAllocation.h"
#include "model/CalculationSettings.h"
#include "model/NetworkModel.h"
#include "powerflow/PowerFlowRun.h"
#include "ui/Dialogs.h"
#include "ui/LowerPane.h"
#include "ui/ReportTabs.h"
#include "ui/TextPane.h"
#include "ui/WindowText.h"

namespace tarvel::ui {

// Shows the core's messages as message boxes of the window; warnings go to a
// pane (the lower pane during a power flow).
class TForm1::WindowSink : public MessageSink {
public:
    WindowSink(TForm1& window, TextPane* warningPane) : window_(window), warningPane_(warningPane) {}

    void showMessage(const std::string& text) override { dialogs().message(&window_, fromUtf8(text)); }
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
};

void TForm1::calculatePowerFlow()
{
    runCalculation({});
}

void TForm1::runCalculation(const LoadOverride& loads)
{
    WindowSink sink(*this, lowerPane_->pane());
    const QByteArray input = inputPane()->text().toUtf8();
    const app::CalculationRequest request{std::string_view(input.constData(), static_cast<std::size_t>(input.size())),
                                          userDecimalSeparator(), loads, imported_.raisedBases};
    app::CalculationResult run = app::runCalculation(calculation_, localPath(QDir::currentPath()), request, sink);

    switch (run.outcome) {
    case RunOutcome::InputNotSaved:
    case RunOutcome::OutNotCreatable:
    case RunOutcome::FilesNotWritten:
        return;
    case RunOutcome::Rejected:
        reportTabs_->hideReports();
        showRunDiagram(run);
        // The error list, then where the reading stopped.
        lowerPane_->showFile(QString::fromStdString(run.files.errors.filename().string()), sink.warnings);
        return;
    case RunOutcome::Converged:
    case RunOutcome::NotConverged:
    case RunOutcome::Diverged:
        break;
    }
    // The figures stay for the exports until the next run whose reports are written.
    lastResults_ = std::make_unique<NetworkResults>(std::move(*run.results));

    showRunDiagram(run);
    // Warnings of an accepted run stay in sight in the lower pane.
    if (sink.warnings.isEmpty())
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
    if (allocateLosses(calculation_.model, localPath(QDir::currentPath()), sink) == LossOutcome::Refused)
        return;
    reportTabs_->loadLossAllocation();
}

}  // namespace tarvel::ui
