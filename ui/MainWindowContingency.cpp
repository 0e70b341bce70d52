// "Расчет" → "Анализ отключений (N-1)...": the dialog, then the study on the
// tab "Отключения" (ui/ContingencyPage), and an outage of it on "Схема".
#include <QDir>

#include "diagram/Topology.h"
#include "ui/ContingencyPage.h"
#include "ui/DiagramPage.h"
#include "ui/Dialogs.h"
#include "ui/MainWindow.h"
#include "ui/ReportTabs.h"
#include "ui/WindowText.h"

namespace tarvel::ui {

void TForm1::createContingencyPage()
{
    contingencyPage_ = new ContingencyPage;
    contingencyPage_->setObjectName(QStringLiteral("Contingency1Page"));
    reportTabs_->addPage(ReportTabs::Contingency, "TabSheet8", QStringLiteral("Отключения"), contingencyPage_, 600);
    connect(contingencyPage_, &ContingencyPage::finished, this, [this] { contingencyAction_->setEnabled(true); });
    connect(contingencyPage_, &ContingencyPage::outageChosen, this, &TForm1::showOutageOnDiagram);
}

void TForm1::showOutageOnDiagram(int outage)
{
    const NetworkModel* studied = contingencyPage_->studiedModel();
    std::optional<diagram::OutageOverlay> overlay = contingencyPage_->overlayOf(outage);
    if (!studied || !overlay)
        return;
    const QString problem = diagramPage_->showOutage(diagram::topologyOf(*studied), std::move(*overlay));
    if (!problem.isEmpty()) {
        dialogs().message(this, problem, QMessageBox::Warning);
        return;
    }
    reportTabs_->activate(ReportTabs::Diagram);
}

void TForm1::analyseContingencies()
{
    static ContingencyRequest last;
    ContingencyRequest request = last;
    if (!dialogs().contingencyOptions(this, request))
        return;
    last = request;
    if (!contingencyPage_->start(calculation_.model, calculation_.settings, importedCaseData_, request,
                                 QDir::currentPath()))
        return;
    // An outage of the earlier study would stay on the diagram beside a table that no longer has it.
    diagramPage_->showBaseCase();
    contingencyAction_->setEnabled(false);
    reportTabs_->setShown(ReportTabs::Contingency, true);
    reportTabs_->activate(ReportTabs::Contingency);
}

}  // namespace tarvel::ui
