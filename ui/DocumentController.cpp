#include "ui/DocumentController.h"

#include <string>

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include "interchange/CaseImport.h"
#include "model/TextFile.h"
#include "ui/CodePageFilter.h"
#include "ui/Dialogs.h"
#include "ui/FileFolders.h"
#include "ui/PaneFiles.h"
#include "ui/TextPane.h"
#include "ui/WindowText.h"

namespace tarvel::ui {

namespace {

QString openFilter()
{
    return QStringLiteral("Файл ЦДУ *.cdu (*.cdu);;Все файлы *.* (*)");
}

QString saveFilter()
{
    return QStringLiteral("Формат ЦДУ *.cdu (*.cdu);;Все файлы *.* (*)");
}

// The sample networks that come with the program: beside the installed
// program in share/tarvel/samples, or in the source tree of a build.
QStringList samplePlaces()
{
    const QString installed =
        QDir(QCoreApplication::applicationDirPath()).absoluteFilePath(QStringLiteral(TARVEL_SAMPLES_FROM_BIN));
    for (const QString& folder : {installed, QStringLiteral(TARVEL_SOURCE_SAMPLES)})
        if (QFileInfo(folder).isDir())
            return {QDir::cleanPath(folder)};
    return {};
}

}  // namespace

DocumentController::DocumentController(QWidget* window, TextPane* inputPane, const RecentEntries& recentEntries,
                                       std::function<bool()> resultsShown, FileFolders& folders)
    : QObject(window), window_(window), inputPane_(inputPane), recentEntries_(recentEntries),
      resultsShown_(std::move(resultsShown)), folders_(folders)
{
    for (int slot = 0; slot < 3; ++slot)
        connect(recentEntries_.files[static_cast<std::size_t>(slot)], &QAction::triggered, this,
                [this, slot] { openRecentFile(slot); });
}

QString DocumentController::untitledCaption()
{
    return QStringLiteral("Без_имени(*.cdu)");
}

bool DocumentController::maybeSave()
{
    if (!inputPane_->isModified())
        return true;
    const auto answer = dialogs().question(window_, QStringLiteral("Файл изменен"),
                                           QStringLiteral("Сохранить изменения в файле исходных данных ?"),
                                           QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    // A save that failed or was cancelled in its dialog abandons the command:
    // the edits exist nowhere else.
    if (answer == QMessageBox::Yes)
        return save() == SaveResult::Saved;
    return answer == QMessageBox::No;
}

bool DocumentController::mayReplace()
{
    // Edits are asked about alone: the results go with the document they
    // belong to, and a second question in a row would ask the same again.
    if (inputPane_->isModified())
        return maybeSave();
    if (!resultsShown_())
        return true;
    const auto answer = dialogs().question(window_, QStringLiteral("Открытие нового окна"),
                                           QStringLiteral("Вы действительно хотите задать новые исходные данные?\n"
                                                          "При этом вы потеряете результаты текущего расчета."),
                                           QMessageBox::Yes | QMessageBox::No);
    return answer == QMessageBox::Yes;
}

DocumentController::SaveResult DocumentController::save()
{
    if (currentFile_.isEmpty())
        return saveAs();
    if (!savePane(window_, inputPane_, currentFile_)) {
        // A file that cannot be written where it is (a read-only sample, a
        // folder gone) can still be kept under another name.
        if (dialogs().question(window_, QStringLiteral("Сохранить"),
                               QStringLiteral("Сохранить документ под другим именем?"),
                               QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes)
            return saveAs();
        return SaveResult::Failed;
    }
    inputPane_->setModified(false);
    return SaveResult::Saved;
}

DocumentController::SaveResult DocumentController::saveAs()
{
    const QString path = dialogs().saveFile(window_, QStringLiteral("Сохранить как:"), saveFilter(),
                                            QStringLiteral("cdu"), proposedSavePath());
    if (path.isEmpty())
        return SaveResult::Cancelled;
    folders_.remember(path);
    if (!savePane(window_, inputPane_, path))
        return SaveResult::Failed;
    setCurrentFile(path);
    addRecentFile(path);
    showRecentFiles();
    return SaveResult::Saved;
}

void DocumentController::setCurrentFile(const QString& fileName)
{
    currentFile_ = fileName;
    origin_.clear();
    folders_.setDocument(fileName);
    emit captionChanged(fileName.isEmpty() ? untitledCaption() : QFileInfo(fileName).fileName());
    inputPane_->setModified(false);
}

void DocumentController::newDocument()
{
    if (!mayReplace())
        return;
    emit editingStarts();
    inputPane_->clear();
    setCurrentFile(QString());
    emit documentReplaced();
}

void DocumentController::takeUntitledText(const QString& text, const QString& origin)
{
    emit editingStarts();
    inputPane_->setText(text);
    setCurrentFile(QString());
    origin_ = origin;
    folders_.setDocument(origin);
    if (!origin.isEmpty())
        emit captionChanged(QStringLiteral("%1 (импорт)").arg(QFileInfo(origin).completeBaseName()));
    inputPane_->setModified(true);
    emit documentReplaced();
}

void DocumentController::openDocument()
{
    // Before the first document the samples are where a new user starts.
    const QStringList samples = samplePlaces();
    const QString path = dialogs().openFile(window_, QStringLiteral("Открыть"), openFilter(), samples,
                                            folders_.openFolder(samples.value(0)));
    if (path.isEmpty())
        return;
    folders_.remember(path);
    openFile(path);
}

void DocumentController::openFile(const QString& path, RecentList recent)
{
    if (!maybeSave())
        return;
    emit editingStarts();
    std::string bytes;
    if (!readPaneFile(window_, path, bytes))
        return;
    // A case is known by its content, whatever its name: it is imported,
    // and the document becomes its ЦДУ text without a file.
    if (caseImporter_ && detectInputFormat(withoutUtf8Bom(bytes)) != InputFormat::Cdu) {
        if (caseImporter_(path, bytes) && recent == RecentList::Add) {
            addRecentFile(path);
            showRecentFiles();
        }
        return;
    }
    const DocumentLoad loaded = loadDocument(path, bytes);
    if (loaded == DocumentLoad::NotLoaded)
        return;
    emit documentReplaced();
    setCurrentFile(path);
    // The converted text is not yet in the file: leaving it asks first.
    inputPane_->setModified(loaded == DocumentLoad::Converted);
    if (recent == RecentList::Add) {
        addRecentFile(path);
        showRecentFiles();
    }
}

void DocumentController::openRecentFile(int slot)
{
    // The file of the entry chosen, taken before saving the document can
    // change the list.
    const QString path = recentFiles_[static_cast<std::size_t>(slot)];
    openFile(path, RecentList::Keep);
}

QString DocumentController::proposedExportPath(const QString& suffix) const
{
    return folders_.exportPath(suffix);
}

QString DocumentController::proposedSavePath() const
{
    if (!currentFile_.isEmpty())
        return currentFile_;
    if (origin_.isEmpty())
        return folders_.openFolder();
    const QFileInfo origin(origin_);
    QString name = origin.completeBaseName() + QStringLiteral(".cdu");
    if (name == origin.fileName())
        name = origin.completeBaseName() + QStringLiteral(" (импорт).cdu");
    return origin.dir().filePath(name);
}

void DocumentController::restoreRecentFiles(const std::array<QString, 3>& files, const std::array<bool, 3>& present)
{
    for (std::size_t k = 0; k < 3; ++k) {
        if (!present[k])
            continue;
        recentFiles_[k] = files[k];
        recentEntries_.files[k]->setText(menuCaption(recentFiles_[k]));
        recentEntries_.files[k]->setVisible(true);
    }
    if (present[0]) {
        recentEntries_.separatorAbove->setVisible(true);
        recentEntries_.separatorBelow->setVisible(true);
    }
}

void DocumentController::addRecentFile(const QString& path)
{
    // Exact comparison: names differing in letter case are different files.
    for (QString& slot : recentFiles_) {
        if (slot.isEmpty()) {
            slot = path;
            return;
        }
        if (slot == path)
            return;
    }
    recentFiles_[0] = recentFiles_[1];
    recentFiles_[1] = recentFiles_[2];
    recentFiles_[2] = path;
}

void DocumentController::showRecentFiles()
{
    for (std::size_t k = 0; k < 3; ++k) {
        if (recentFiles_[k].isEmpty())
            continue;
        recentEntries_.files[k]->setText(menuCaption(recentFiles_[k]));
        recentEntries_.files[k]->setVisible(true);
    }
}

DocumentController::DocumentLoad DocumentController::loadDocument(const QString& fileName, const std::string& bytes)
{
    const QString shown = QDir::toNativeSeparators(fileName);
    switch (guessTextKind(bytes)) {
    case TextKind::Binary:
        if (dialogs().question(window_, QStringLiteral("Открыть"),
                               QStringLiteral("Файл \"%1\" не похож на текст: в нем есть двоичные данные.\n"
                                              "Все равно открыть его?")
                                   .arg(shown),
                               QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
            return DocumentLoad::NotLoaded;
        break;
    case TextKind::Utf8Cyrillic: {
        const auto answer = dialogs().question(
            window_, QStringLiteral("Открыть"),
            QStringLiteral("Файл \"%1\" записан в кодировке UTF-8, а файлы ЦДУ записываются в кодировке "
                           "Windows-1251.\nПреобразовать его текст в Windows-1251?\n"
                           "(Да - преобразовать, Нет - открыть как есть)")
                .arg(shown),
            QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        if (answer == QMessageBox::Cancel)
            return DocumentLoad::NotLoaded;
        if (answer == QMessageBox::Yes) {
            // Characters the pane cannot hold become '?', as when pasted.
            inputPane_->setText(replaceNonOem(fromUtf8(toCrLf(withoutUtf8Bom(bytes)))));
            return DocumentLoad::Converted;
        }
        break;
    }
    case TextKind::Windows1251:
        break;
    }
    inputPane_->setText(fromUtf8(toCrLf(cp1251ToUtf8(bytes))));
    inputPane_->setModified(false);
    return DocumentLoad::AsIs;
}

}  // namespace tarvel::ui
