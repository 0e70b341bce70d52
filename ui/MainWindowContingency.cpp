// "Расчет" → "Анализ отключений (N-1)...": the dialog, then the study on the
// tab "Отключения" (ui/ContingencyPage), and an outage of it on "Схема".
#include <QDir>
#include <QTabWidget>
#include <QVBoxLayout>

#include "diagram/Topology.h"
#include "ui/ContingencyPage.h"
#include "ui/DiagramPage.h"
#include "ui/Dialogs.h"
#include "ui/MainWindow.h"
#include "ui/WindowText.h"

namespace tarvel::ui {

void TForm1::createContingencyPage()
{
    TabSheet8 = new QWidget;
    TabSheet8->setObjectName(QStringLiteral("TabSheet8"));
    TabSheet8->setProperty(kHelpContext, 600);
    auto* layout = new QVBoxLayout(TabSheet8);
    layout->setContentsMargins(0, 0, 0, 0);
    Contingency1Page = new ContingencyPage(TabSheet8);
    Contingency1Page->setObjectName(QStringLiteral("Contingency1Page"));
    layout->addWidget(Contingency1Page);
    PageControl1->addTab(TabSheet8, QStringLiteral("Отключения"));
    connect(Contingency1Page, &ContingencyPage::finished, this, [this] { Contingency1->setEnabled(true); });
    connect(Contingency1Page, &ContingencyPage::outageChosen, this, &TForm1::showOutageOnDiagram);
}

void TForm1::showOutageOnDiagram(int outage)
{
    const NetworkModel* studied = Contingency1Page->studiedModel();
    std::optional<diagram::OutageOverlay> overlay = Contingency1Page->overlayOf(outage);
    if (!studied || !overlay)
        return;
    const QString problem = Diagram1->showOutage(diagram::topologyOf(*studied), std::move(*overlay));
    if (!problem.isEmpty()) {
        dialogs().message(this, problem, QMessageBox::Warning);
        return;
    }
    activatePage(DiagramTab);
}

void TForm1::analyseContingencies()
{
    static ContingencyRequest last;
    ContingencyRequest request = last;
    if (!dialogs().contingencyOptions(this, request))
        return;
    last = request;
    if (!Contingency1Page->start(calculation_.model, calculation_.settings, request, QDir::currentPath()))
        return;
    // An outage of the earlier study would stay on the diagram beside a table that no longer has it.
    Diagram1->showBaseCase();
    Contingency1->setEnabled(false);
    PageControl1->setTabVisible(ContingencyTab, true);
    activatePage(ContingencyTab);
}

}  // namespace tarvel::ui
