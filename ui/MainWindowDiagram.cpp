#include "ui/MainWindow.h"

#include <QDir>
#include <QFileInfo>
#include <QTabWidget>
#include <QTextBlock>
#include <QVBoxLayout>

#include "app/CalculationRun.h"
#include "diagram/RunDiagram.h"
#include "diagram/SvgWriter.h"
#include "diagram/png/DiagramPng.h"
#include "model/NetworkModel.h"
#include "ui/DiagramPage.h"
#include "ui/Dialogs.h"
#include "ui/TextPane.h"
#include "ui/WindowText.h"

namespace tarvel::ui {

void TForm1::createDiagramPage()
{
    TabSheet6 = new QWidget;
    TabSheet6->setObjectName(QStringLiteral("TabSheet6"));
    TabSheet6->setProperty(kHelpContext, 500);
    auto* layout = new QVBoxLayout(TabSheet6);
    layout->setContentsMargins(0, 0, 0, 0);
    Diagram1 = new DiagramPage(TabSheet6);
    Diagram1->setObjectName(QStringLiteral("Diagram1"));
    layout->addWidget(Diagram1);
    PageControl1->addTab(TabSheet6, QStringLiteral("Схема"));
    connect(Diagram1, &DiagramPage::nodeActivated, this, &TForm1::selectNodeRecord);
    connect(Diagram1, &DiagramPage::branchActivated, this, &TForm1::selectBranchRecord);
}

void TForm1::showRunDiagram(const app::CalculationResult& run)
{
    const NetworkModel& model = calculation_.model;
    const bool drawn = run.diagram.has_value();
    if (drawn)
        Diagram1->showRun(*run.diagram);
    else
        Diagram1->showTooLarge(model.nodeCount + 1, model.branchCount);
    DiagramSvg1->setEnabled(drawn);
    DiagramPng1->setEnabled(drawn);
    PageControl1->setTabVisible(DiagramTab, true);
}

void TForm1::selectInputLine(int line)
{
    const QTextBlock block = Memo1->document()->findBlockByNumber(line);
    if (!block.isValid())
        return;
    QTextCursor cursor(block);
    cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    Memo1->setTextCursor(cursor);
    activatePage(InputPage);
    Memo1->setFocus(Qt::OtherFocusReason);
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
                                            proposedExportPath(suffix), false);
    if (!path.isEmpty())
        Diagram1->waitForLayout();
    return path;
}

void TForm1::exportDiagramSvg()
{
    const QString path = diagramExportPath(QStringLiteral("SVG"));
    if (!path.isEmpty() && !diagram::writeSvg(Diagram1->picture(), localPath(path)))
        tellFileNotCreated(path);
}

void TForm1::exportDiagramPng()
{
    const QString path = diagramExportPath(QStringLiteral("PNG"));
    if (path.isEmpty())
        return;
    // The same picture as the SVG file, drawn into an image.
    const std::string svg = diagram::svgText(Diagram1->picture());
    const QImage image = diagram::diagramImage(QByteArray(svg.data(), static_cast<qsizetype>(svg.size())));
    if (image.isNull() || !diagram::savePng(image, path))
        tellFileNotCreated(path);
}

void TForm1::tellFileNotCreated(const QString& path)
{
    dialogs().message(this, QStringLiteral("Невозможно создать файл \"%1\".").arg(QDir::toNativeSeparators(path)),
                      QMessageBox::Critical);
}

}  // namespace tarvel::ui
