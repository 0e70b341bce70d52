#include "ui/ContingencyTab.h"

#include <QDir>

#include "diagram/Topology.h"
#include "model/Calculation.h"
#include "ui/ContingencyPage.h"
#include "ui/DiagramPage.h"
#include "ui/Dialogs.h"
#include "ui/FileFolders.h"
#include "ui/ImportedInput.h"
#include "ui/ReportTabs.h"

namespace tarvel::ui {

ContingencyTab::ContingencyTab(QWidget* window, ReportTabs& tabs, DiagramPage& diagram, const Calculation& calculation,
                               const ImportedInput& imported, const FileFolders& folders)
    : QObject(window), window_(window), tabs_(tabs), diagram_(diagram), calculation_(calculation), imported_(imported),
      folders_(folders)
{
    page_ = new ContingencyPage;
    page_->setObjectName(QStringLiteral("Contingency1Page"));
    tabs_.addPage(ReportTabs::Contingency, "TabSheet8", QStringLiteral("Отключения"), page_, 600);
    connect(page_, &ContingencyPage::finished, this, [this] { emit studyRunning(false); });
    connect(page_, &ContingencyPage::outageChosen, this, &ContingencyTab::showOutageOnDiagram);
}

void ContingencyTab::stop()
{
    page_->stop();
}

bool ContingencyTab::running() const
{
    return page_->running();
}

void ContingencyTab::analyse()
{
    static ContingencyRequest last;
    ContingencyRequest request = last;
    request.folder = folders_.openFolder();
    if (!dialogs().contingencyOptions(window_, request))
        return;
    last = request;
    if (!page_->start(calculation_.model, calculation_.settings, imported_.caseData, request, QDir::currentPath()))
        return;
    page_->setProposedCsv(folders_.exportPath(QStringLiteral("csv"), QStringLiteral("contingencies")));
    // An outage of the earlier study would stay on the diagram beside a table that no longer has it.
    diagram_.showBaseCase();
    emit studyRunning(true);
    tabs_.setShown(ReportTabs::Contingency, true);
    tabs_.activate(ReportTabs::Contingency);
}

void ContingencyTab::showOutageOnDiagram(int outage)
{
    const NetworkModel* studied = page_->studiedModel();
    std::optional<diagram::OutageOverlay> overlay = page_->overlayOf(outage);
    if (!studied || !overlay)
        return;
    const QString problem = diagram_.showOutage(diagram::topologyOf(*studied), std::move(*overlay));
    if (!problem.isEmpty()) {
        dialogs().message(window_, problem, QMessageBox::Warning);
        return;
    }
    tabs_.activate(ReportTabs::Diagram);
}

}  // namespace tarvel::ui
