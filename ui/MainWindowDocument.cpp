#include "ui/MainWindow.h"

#include <cerrno>
#include <cstring>
#include <string>

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QTabWidget>

#include "model/TextFile.h"
#include "ui/CodePageFilter.h"
#include "ui/Dialogs.h"
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

bool TForm1::AskSaveChanges()
{
    if (!Memo1->isModified())
        return true;
    const auto answer = dialogs().question(this, QStringLiteral("Файл изменен"),
                                           QStringLiteral("Сохранить изменения в файле исходных данных ?"),
                                           QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    // A save that failed or was cancelled in its dialog abandons the command:
    // the edits exist nowhere else.
    if (answer == QMessageBox::Yes)
        return saveDocument() == SaveResult::Saved;
    return answer == QMessageBox::No;
}

bool TForm1::AskDiscardResults()
{
    if (!PageControl1->isTabVisible(ResultsPage))
        return true;
    const auto answer = dialogs().question(this, QStringLiteral("Открытие нового окна"),
                                           QStringLiteral("Вы действительно хотите задать новые исходные данные?\n"
                                                          "При этом вы потеряете результаты текущего расчета."),
                                           QMessageBox::Yes | QMessageBox::No);
    return answer == QMessageBox::Yes;
}

TForm1::SaveResult TForm1::saveDocument()
{
    if (CurrentFileName.isEmpty())
        return saveDocumentAs();
    if (!savePane(Memo1, CurrentFileName))
        return SaveResult::Failed;
    Memo1->setModified(false);
    return SaveResult::Saved;
}

TForm1::SaveResult TForm1::saveDocumentAs()
{
    const QString path = dialogs().saveFile(this, QStringLiteral("Сохранить как:"), saveFilter(),
                                            QStringLiteral("cdu"));
    if (path.isEmpty())
        return SaveResult::Cancelled;
    if (!savePane(Memo1, path))
        return SaveResult::Failed;
    setCurrentFile(path);
    AddRecentFile(path);
    ShowRecentFiles();
    return SaveResult::Saved;
}

void TForm1::setCurrentFile(const QString& fileName)
{
    CurrentFileName = fileName;
    const QString caption = fileName.isEmpty() ? untitledCaption() : QFileInfo(fileName).fileName();
    PageControl1->setTabText(InputPage, menuCaption(caption));
    Memo1->setModified(false);
}

void TForm1::newDocument()
{
    if (!AskSaveChanges())
        return;
    if (!AskDiscardResults())
        return;
    EnterEditingState();
    hideResultTabs();
    Memo1->clear();
    setCurrentFile(QString());
    activatePage(InputPage);
    Memo1->setFocus();  // ready for typing
}

void TForm1::openDocument()
{
    const QString path = dialogs().openFile(this, QStringLiteral("Открыть"), openFilter(), samplePlaces());
    if (path.isEmpty())
        return;
    openFile(path);
}

void TForm1::openFile(const QString& path, RecentList recent)
{
    if (!AskSaveChanges())
        return;
    EnterEditingState();
    const DocumentLoad loaded = loadDocument(path);
    if (loaded == DocumentLoad::NotLoaded)
        return;
    hideResultTabs();
    activatePage(InputPage);
    Memo1->setFocus();
    setCurrentFile(path);
    // The converted text is not yet in the file: leaving it asks first.
    Memo1->setModified(loaded == DocumentLoad::Converted);
    if (recent == RecentList::Add) {
        AddRecentFile(path);
        ShowRecentFiles();
    }
}

void TForm1::openRecentFile(int slot)
{
    // The file of the entry chosen, taken before saving the document can
    // change the list.
    const QString path = RecentFiles[static_cast<std::size_t>(slot)];
    openFile(path, RecentList::Keep);
}

void TForm1::exitProgram()
{
    close();  // closeEvent asks about unsaved edits, whichever way the window is closed
}

QString TForm1::proposedExportPath(const QString& suffix) const
{
    if (CurrentFileName.isEmpty())
        return QDir::current().filePath(QStringLiteral("network.") + suffix);
    const QFileInfo document(CurrentFileName);
    return document.dir().filePath(document.completeBaseName() + QLatin1Char('.') + suffix);
}

void TForm1::AddRecentFile(const QString& path)
{
    // Exact comparison: names differing in letter case are different files.
    for (QString& slot : RecentFiles) {
        if (slot.isEmpty()) {
            slot = path;
            return;
        }
        if (slot == path)
            return;
    }
    RecentFiles[0] = RecentFiles[1];
    RecentFiles[1] = RecentFiles[2];
    RecentFiles[2] = path;
}

void TForm1::ShowRecentFiles()
{
    QAction* entries[3] = {N30, N31, N32};
    for (std::size_t k = 0; k < 3; ++k) {
        if (RecentFiles[k].isEmpty())
            continue;
        entries[k]->setText(menuCaption(RecentFiles[k]));
        entries[k]->setVisible(true);
    }
}

// ---------------------------------------------------------------- pane files

bool TForm1::readPaneFile(const QString& fileName, std::string& bytes)
{
    errno = 0;
    if (readFileBytes(localPath(fileName), bytes))
        return true;
    const int error = errno;
    QString text = QStringLiteral("Невозможно открыть файл \"%1\".").arg(QDir::toNativeSeparators(fileName));
    if (error != 0)
        text += QLatin1Char('\n') + QString::fromLocal8Bit(std::strerror(error));
    dialogs().message(this, text, QMessageBox::Critical);
    return false;
}

bool TForm1::loadPane(TextPane* pane, const QString& fileName)
{
    std::string bytes;
    if (!readPaneFile(fileName, bytes))
        return false;
    pane->setText(fromUtf8(toCrLf(cp1251ToUtf8(bytes))));
    pane->setModified(false);
    return true;
}

TForm1::DocumentLoad TForm1::loadDocument(const QString& fileName)
{
    std::string bytes;
    if (!readPaneFile(fileName, bytes))
        return DocumentLoad::NotLoaded;
    const QString shown = QDir::toNativeSeparators(fileName);
    switch (guessTextKind(bytes)) {
    case TextKind::Binary:
        if (dialogs().question(this, QStringLiteral("Открыть"),
                               QStringLiteral("Файл \"%1\" не похож на текст: в нем есть двоичные данные.\n"
                                              "Все равно открыть его?")
                                   .arg(shown),
                               QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
            return DocumentLoad::NotLoaded;
        break;
    case TextKind::Utf8Cyrillic: {
        const auto answer = dialogs().question(
            this, QStringLiteral("Открыть"),
            QStringLiteral("Файл \"%1\" записан в кодировке UTF-8, а файлы ЦДУ записываются в кодировке "
                           "Windows-1251.\nПреобразовать его текст в Windows-1251?\n"
                           "(Да - преобразовать, Нет - открыть как есть)")
                .arg(shown),
            QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        if (answer == QMessageBox::Cancel)
            return DocumentLoad::NotLoaded;
        if (answer == QMessageBox::Yes) {
            // Characters the pane cannot hold become '?', as when pasted.
            Memo1->setText(replaceNonOem(fromUtf8(toCrLf(bytes))));
            return DocumentLoad::Converted;
        }
        break;
    }
    case TextKind::Windows1251:
        break;
    }
    Memo1->setText(fromUtf8(toCrLf(cp1251ToUtf8(bytes))));
    Memo1->setModified(false);
    return DocumentLoad::AsIs;
}

bool TForm1::savePane(TextPane* pane, const QString& fileName)
{
    const QByteArray utf8 = pane->text().toUtf8();
    const std::string bytes = utf8ToCp1251(toCrLf(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size()))));
    // The text goes to a temporary file beside the target, which replaces the
    // target only when everything was written.
    QSaveFile file(fileName);
    bool ok = file.open(QIODevice::WriteOnly);
    if (ok)
        ok = file.write(bytes.data(), static_cast<qint64>(bytes.size())) == static_cast<qint64>(bytes.size());
    if (ok)
        ok = file.commit();
    if (!ok) {
        const QString reason = file.errorString();
        file.cancelWriting();
        QString text = QStringLiteral("Невозможно создать файл \"%1\".").arg(QDir::toNativeSeparators(fileName));
        if (!reason.isEmpty())
            text += QLatin1Char('\n') + reason;
        dialogs().message(this, text, QMessageBox::Critical);
    }
    return ok;
}

}  // namespace tarvel::ui
