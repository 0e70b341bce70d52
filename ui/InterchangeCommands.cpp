// "Файл" → "Импорт...": a MATPOWER or IEEE CDF case becomes a new untitled
// input document in ЦДУ text, with the summary of the conversion in the lower
// pane. "Экспорт" → "Результаты в CSV...": the figures of the last run as two
// spreadsheet files.
#include <string>

#include <QApplication>
#include <QDir>
#include <QFileInfo>

#include "app/CaseImport.h"
#include "app/ResultsForExport.h"
#include "interchange/CaseImport.h"
#include "interchange/ResultsExport.h"
#include "model/NetworkModel.h"
#include "model/TextFile.h"
#include "powerflow/NetworkResults.h"
#include "study/Outage.h"
#include "ui/Dialogs.h"
#include "ui/DocumentController.h"
#include "ui/LowerPane.h"
#include "ui/MainWindow.h"
#include "ui/PaneFiles.h"
#include "ui/TextPane.h"
#include "ui/WindowText.h"

namespace tarvel::ui {

namespace {

QString importFilter()
{
    return QStringLiteral("Случаи MATPOWER и IEEE CDF *.m *.cdf *.txt (*.m *.cdf *.txt);;"
                          "Случай MATPOWER *.m (*.m);;IEEE Common Data Format *.cdf *.txt (*.cdf *.txt);;"
                          "Все файлы *.* (*)");
}

QString csvFilter()
{
    return QStringLiteral("Таблица CSV *.csv (*.csv);;Все файлы *.* (*)");
}

// Holds the wait cursor while a large case is read and converted.
class WaitCursor {
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

QString importFailure(const std::string& reason)
{
    return QStringLiteral("Импорт невозможен:\n") + fromUtf8(reason);
}

}  // namespace

void TForm1::importCase()
{
    // The same questions as "Создать", before anything is chosen.
    if (!document_->mayReplace())
        return;
    const QString path =
        dialogs().openFile(this, QStringLiteral("Импорт"), importFilter(), {}, folders_.openFolder());
    if (path.isEmpty())
        return;
    folders_.remember(path);
    std::string bytes;
    if (!readFileBytes(localPath(path), bytes)) {
        dialogs().message(this, QStringLiteral("Невозможно открыть файл \"%1\".").arg(QDir::toNativeSeparators(path)),
                          QMessageBox::Critical);
        return;
    }
    importCaseBytes(path, bytes);
}

bool TForm1::importCaseBytes(const QString& path, const std::string& fileBytes)
{
    const std::string_view bytes = withoutUtf8Bom(fileBytes);
    CaseReadResult read;
    {
        WaitCursor wait;
        read = readCase(bytes, detectInputFormat(bytes));
    }
    if (!read.ok) {
        dialogs().message(this, importFailure(read.error), QMessageBox::Critical);
        return false;
    }

    ConversionOptions options;
    options.precision = calculation_.settings.precision;
    options.method = calculation_.settings.method;
    if (caseLacksBaseVoltage(read.data) &&
        !dialogs().askNumber(this, QStringLiteral("Базисное напряжение"),
                             QStringLiteral("В случае \"%1\" не заданы базисные напряжения узлов.\n"
                                            "Номинальное напряжение этих узлов, кВ:")
                                 .arg(QFileInfo(path).fileName()),
                             options.defaultBaseKv, 0.1, 1500, 3))
        return false;

    app::ImportResult converted;
    {
        WaitCursor wait;
        converted = app::importCase(read.data, options);
    }
    if (!converted.ok) {
        dialogs().message(this, importFailure(converted.error), QMessageBox::Critical);
        return false;
    }

    // The converted text exists nowhere else: leaving it asks first.
    document_->takeUntitledText(fromUtf8(converted.imported.text), path);
    imported_.fromCase = true;
    imported_.raisedBases = std::move(converted.imported.raisedBases);
    imported_.storedVoltages = std::move(converted.imported.storedVoltages);
    imported_.busAreas = std::move(converted.imported.busAreas);
    imported_.caseData.branchRecordOfCaseBranch = std::move(converted.imported.branchRecordOfCaseBranch);
    imported_.caseData.branchRatingMva = std::move(converted.imported.branchRatingMva);
    imported_.caseData.branchChargingShuntS = std::move(converted.imported.branchChargingShuntS);
    if (detectInputFormat(bytes) == InputFormat::Matpower)
        imported_.caseData.caseName = caseFunctionName(bytes);
    lowerPane_->showReadOnly(fromUtf8(toCrLf(converted.imported.summary)));
    return true;
}

void TForm1::exportResultsToCsv()
{
    if (!lastResults_)
        return;
    // The two files are told below when they would replace others: the
    // dialog asks nothing of the name itself.
    QString path = dialogs().saveFile(this, QStringLiteral("Результаты в CSV"), csvFilter(), QStringLiteral("csv"),
                                      document_->proposedExportPath(QStringLiteral("csv")), false);
    if (path.isEmpty())
        return;
    // The name chosen is the stem of the two files: "сеть.csv" gives
    // "сеть-nodes.csv" and "сеть-branches.csv".
    if (path.endsWith(QStringLiteral(".csv"), Qt::CaseInsensitive))
        path.chop(4);
    const std::filesystem::path prefix = localPath(path);
    const QString nodes = QString::fromStdString(nodesCsvPath(prefix).string());
    const QString branches = QString::fromStdString(branchesCsvPath(prefix).string());
    if (QFileInfo::exists(nodes) || QFileInfo::exists(branches)) {
        const auto answer = dialogs().question(
            this, QStringLiteral("Результаты в CSV"),
            QStringLiteral("Файлы \"%1\" и \"%2\" будут заменены. Продолжить?")
                .arg(QFileInfo(nodes).fileName(), QFileInfo(branches).fileName()),
            QMessageBox::Yes | QMessageBox::No);
        if (answer != QMessageBox::Yes)
            return;
    }
    const CsvConvention convention = csvConventionFor(userDecimalSeparator());
    std::filesystem::path failed;
    if (!writeResultsCsv(*lastResults_, prefix, convention, failed))
        tellFileNotCreated(this, QString::fromStdString(failed.string()));
}

}  // namespace tarvel::ui
