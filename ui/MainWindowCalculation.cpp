#include "ui/MainWindow.h"

#include <string>

#include <QAction>
#include <QDir>
#include <QMenu>
#include <QStringList>
#include <QTabWidget>
#include <QTextBlock>
#include <QTextCursor>

#include "app/CalculationRun.h"
#include "losses/LossAllocation.h"
#include "model/CalculationSettings.h"
#include "model/NetworkModel.h"
#include "model/TextFile.h"
#include "model/WorkingFiles.h"
#include "powerflow/PowerFlowRun.h"
#include "ui/Dialogs.h"
#include "ui/TextPane.h"
#include "ui/WindowText.h"

namespace tarvel::ui {

// Shows the core's messages as message boxes of the window; warnings go to a
// pane (the lower pane during a power flow).
class TForm1::WindowSink : public MessageSink {
public:
    WindowSink(TForm1& window, TextPane* warningPane) : window_(window), warningPane_(warningPane) {}

    void showMessage(const std::string& text) override
    {
        dialogs().message(&window_, fromUtf8(text));
    }
    void runStarted(const std::string& progressText) override
    {
        window_.showLowerPane();
        window_.Memo4->setText(fromUtf8(progressText));
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

namespace {

// Lines after the text of a pane loaded from a file, whose last line has its end.
void appendLines(TextPane* pane, const QStringList& lines)
{
    if (lines.isEmpty())
        return;
    QTextCursor cursor(pane->document());
    cursor.movePosition(QTextCursor::End);
    const bool lineEnded = cursor.block().text().isEmpty();
    cursor.insertText((lineEnded ? QString() : QStringLiteral("\n")) + lines.join(QLatin1Char('\n')));
}

// A working file as the panes name it: within the working folder, which is
// the current one.
QString paneFile(const std::filesystem::path& file)
{
    return QString::fromStdString(file.filename().string());
}

}  // namespace

void TForm1::calculatePowerFlow()
{
    runCalculation({});
}

void TForm1::runCalculation(const LoadOverride& loads)
{
    WindowSink sink(*this, Memo4);
    const QByteArray input = Memo1->text().toUtf8();
    const app::CalculationRequest request{std::string_view(input.constData(), static_cast<std::size_t>(input.size())),
                                          userDecimalSeparator(), loads, importedRaisedBases_};
    app::CalculationResult run = app::runCalculation(calculation_, localPath(QDir::currentPath()), request, sink);

    switch (run.outcome) {
    case RunOutcome::InputNotSaved:
    case RunOutcome::OutNotCreatable:
        return;
    case RunOutcome::Rejected: {
        // The input comes forward when its report tab goes, even though the
        // toolkit would move to the "Схема" tab beside it.
        const int shown = PageControl1->currentIndex();
        PageControl1->setTabVisible(ResultsPage, false);
        PageControl1->setTabVisible(EchoPage, false);
        PageControl1->setTabVisible(AnalysisPage, false);
        PageControl1->setTabVisible(AllocationPage, false);
        if (!PageControl1->isTabVisible(shown) || !PageControl1->isTabVisible(PageControl1->currentIndex()))
            activatePage(InputPage);
        showRunDiagram(run);
        if (!loadPane(Memo4, paneFile(run.files.errors)))
            return;
        // The error list replaced the pane; where the reading stopped follows it.
        appendLines(Memo4, sink.warnings);
        Memo4->setReadOnly(true);
        // Read-only keeps the caret: the list can still be walked and copied by keyboard.
        Memo4->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        showLowerPane();
        return;
    }
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
        hideLowerPane();
    PageControl1->setTabVisible(EchoPage, true);
    if (!loadPane(Memo2, paneFile(run.files.echo)))
        return;
    PageControl1->setTabVisible(ResultsPage, true);
    if (!loadPane(Memo3, paneFile(run.files.results)))
        return;
    if (PageControl1->isTabVisible(AnalysisPage) && !loadPane(Memo5, paneFile(run.files.districts)))
        return;
    if (PageControl1->isTabVisible(AllocationPage) && !loadPane(Memo6, paneFile(run.files.currents)))
        return;
    activatePage(ResultsPage);
    N13->menuAction()->setVisible(true);
    N22->setEnabled(true);
    N27->setEnabled(true);
    Contingency1->setEnabled(true);
}

void TForm1::showLossAnalysis()
{
    PageControl1->setTabVisible(AnalysisPage, true);
    if (!loadPane(Memo5, QString::fromLatin1(kDistrictFile)))
        return;
    activatePage(AnalysisPage);
}

void TForm1::allocateLossesToLoads()
{
    PageControl1->setTabVisible(AllocationPage, true);
    activatePage(AllocationPage);
    WindowSink sink(*this, Memo6);
    if (allocateLosses(calculation_.model, localPath(QDir::currentPath()), sink) == LossOutcome::Refused)
        return;
    loadPane(Memo6, QString::fromLatin1(kLossShareFile));
}

}  // namespace tarvel::ui
