#include "ui/MainWindow.h"

#include <QDir>
#include <QTextBlock>

#include "app/CalculationRun.h"
#include "diagram/RunDiagram.h"
#include "diagram/SvgWriter.h"
#include "diagram/png/DiagramPng.h"
#include "model/NetworkModel.h"
#include "ui/DiagramPage.h"
#include "ui/Dialogs.h"
#include "ui/DocumentController.h"
#include "ui/PaneFiles.h"
#include "ui/ReportTabs.h"
#include "ui/TextPane.h"
#include "ui/WindowText.h"

namespace tarvel::ui {

void TForm1::createDiagramPage()
{
    diagramPage_ = new DiagramPage;
    diagramPage_->setObjectName(QStringLiteral("Diagram1"));
    reportTabs_->addPage(ReportTabs::Diagram, "TabSheet6", QStringLiteral("Схема"), diagramPage_, 500);
    connect(diagramPage_, &DiagramPage::nodeActivated, this, &TForm1::selectNodeRecord);
    connect(diagramPage_, &DiagramPage::branchActivated, this, &TForm1::selectBranchRecord);
}

void TForm1::showRunDiagram(const app::CalculationResult& run)
{
    const NetworkModel& model = calculation_.model;
    const bool drawn = run.diagram.has_value();
    if (drawn)
        diagramPage_->showRun(*run.diagram);
    else
        diagramPage_->showTooLarge(model.nodeCount + 1, model.branchCount);
    diagramSvgAction_->setEnabled(drawn);
    diagramPngAction_->setEnabled(drawn);
    reportTabs_->setShown(ReportTabs::Diagram, true);
}

void TForm1::selectInputLine(int line)
{
    TextPane* input = inputPane();
    const QTextBlock block = input->document()->findBlockByNumber(line);
    if (!block.isValid())
        return;
    QTextCursor cursor(block);
    cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    input->setTextCursor(cursor);
    reportTabs_->activate(ReportTabs::Input);
    input->setFocus(Qt::OtherFocusReason);
}

// The record lines are those of the text the run read.
void TForm1::selectNodeRecord(int record)
{
    const std::vector<int32_t>& lines = calculation_.model.reading.nodeLines;
    if (record >= 0 && static_cast<std::size_t>(record) < lines.size())
        selectInputLine(lines[static_cast<std::size_t>(record)] - 1);
}

void TForm1::selectBranchRecord(int record)
{
    const std::vector<int32_t>& lines = calculation_.model.reading.branchLines;
    if (record >= 1 && static_cast<std::size_t>(record) < lines.size())
        selectInputLine(lines[static_cast<std::size_t>(record)] - 1);
}

// The file chosen for an export, once the picture is laid out ("" when cancelled).
QString TForm1::diagramExportPath(const QString& format)
{
    const QString suffix = format.toLower();
    const QString path = dialogs().saveFile(this, QStringLiteral("Схема в %1").arg(format),
                                            QStringLiteral("Рисунок %1 *.%2 (*.%2)").arg(format, suffix), suffix,
                                            document_->proposedExportPath(suffix), false);
    if (!path.isEmpty())
        diagramPage_->waitForLayout();
    return path;
}

void TForm1::exportDiagramSvg()
{
    const QString path = diagramExportPath(QStringLiteral("SVG"));
    if (!path.isEmpty() && !diagram::writeSvg(diagramPage_->picture(), localPath(path)))
        tellFileNotCreated(this, path);
}

void TForm1::exportDiagramPng()
{
    const QString path = diagramExportPath(QStringLiteral("PNG"));
    if (path.isEmpty())
        return;
    // The same picture as the SVG file, drawn into an image.
    const std::string svg = diagram::svgText(diagramPage_->picture());
    const QImage image = diagram::diagramImage(QByteArray(svg.data(), static_cast<qsizetype>(svg.size())));
    if (image.isNull() || !diagram::savePng(image, path))
        tellFileNotCreated(this, path);
}

}  // namespace tarvel::ui
