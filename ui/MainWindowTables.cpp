#include "ui/MainWindow.h"

#include <QLineEdit>
#include <QTableView>

#include "ui/DiagramPage.h"
#include "ui/DiagramView.h"
#include "ui/ReportTabs.h"
#include "ui/TablesPage.h"
#include "ui/TextPane.h"

namespace tarvel::ui {

void TForm1::createTablesPage()
{
    tablesPage_ = new TablesPage(inputPane()->document());
    tablesPage_->setObjectName(QStringLiteral("Tables1"));
    // Shown on demand ("Правка" -> "Таблицы узлов и ветвей") until another document starts.
    reportTabs_->addPage(ReportTabs::Tables, "TabSheet9", QStringLiteral("Таблицы"), tablesPage_);
    // A double-click on the diagram finds the record's row as well as its line; the row
    // comes forward when the tables are open.
    connect(diagramPage_, &DiagramPage::nodeActivated, this, [this](int record) {
        tablesPage_->selectNodeSlot(record);
        showTablesRow(tablesPage_->nodeView());
    });
    connect(diagramPage_, &DiagramPage::branchActivated, this, [this](int record) {
        tablesPage_->selectBranchSlot(record);
        showTablesRow(tablesPage_->branchView());
    });
    // A row chosen in the grid is its node or branch marked and in view on the
    // diagram, without taking the focus.
    connect(tablesPage_, &TablesPage::nodeChosen, this, [this](int number) {
        diagramPage_->searchField()->setText(QString::number(number));
        diagramPage_->view()->centreOnNode(number);
    });
    connect(tablesPage_, &TablesPage::branchChosen, this, [this](int slot, int start, int) {
        diagramPage_->searchField()->setText(QString::number(start));
        if (!diagramPage_->view()->centreOnBranch(slot))
            diagramPage_->view()->centreOnNode(start);
    });
}

void TForm1::showTablesRow(QWidget* grid)
{
    if (!reportTabs_->isShown(ReportTabs::Tables))
        return;
    reportTabs_->activate(ReportTabs::Tables);
    grid->setFocus(Qt::OtherFocusReason);
}

void TForm1::showTablesPage()
{
    // The reader checks as the next calculation will read.
    tablesPage_->setSettings(calculation_.settings);
    reportTabs_->setShown(ReportTabs::Tables, true);
    reportTabs_->activate(ReportTabs::Tables);
}

void TForm1::showResultsInTables()
{
    tablesPage_->setSettings(calculation_.settings);
    tablesPage_->showResults(lastResults_.get(), imported_.caseData.branchRatingMva);
}

}  // namespace tarvel::ui
