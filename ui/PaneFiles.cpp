#include "ui/PaneFiles.h"

#include <cerrno>
#include <cstring>

#include <QDir>
#include <QSaveFile>

#include "model/TextFile.h"
#include "ui/Dialogs.h"
#include "ui/TextPane.h"
#include "ui/WindowText.h"

namespace tarvel::ui {

namespace {

// The system's reason in the program's language: the C library speaks
// English under many desktops ("Read-only file system").
QString systemErrorText(int error)
{
    switch (error) {
    case EACCES:
    case EPERM:
        return QStringLiteral("Доступ запрещен.");
    case EROFS:
        return QStringLiteral("Диск или папка доступны только для чтения.");
    case ENOSPC:
        return QStringLiteral("На диске нет места.");
    case EDQUOT:
        return QStringLiteral("Превышена квота диска.");
    case ENOENT:
        return QStringLiteral("Файл или папка не найдены.");
    case EISDIR:
        return QStringLiteral("Это папка, а не файл.");
    case ENOTDIR:
        return QStringLiteral("Часть пути не является папкой.");
    case ENAMETOOLONG:
        return QStringLiteral("Слишком длинное имя файла.");
    default:
        return QString::fromLocal8Bit(std::strerror(error));
    }
}

}  // namespace

bool readPaneFile(QWidget* window, const QString& fileName, std::string& bytes)
{
    errno = 0;
    if (readFileBytes(localPath(fileName), bytes))
        return true;
    const int error = errno;
    QString text = QStringLiteral("Невозможно открыть файл \"%1\".").arg(QDir::toNativeSeparators(fileName));
    if (error != 0)
        text += QLatin1Char('\n') + systemErrorText(error);
    dialogs().message(window, text, QMessageBox::Critical);
    return false;
}

bool loadPane(QWidget* window, TextPane* pane, const QString& fileName)
{
    std::string bytes;
    if (!readPaneFile(window, fileName, bytes))
        return false;
    pane->setText(fromUtf8(toCrLf(cp1251ToUtf8(bytes))));
    pane->setModified(false);
    return true;
}

bool savePane(QWidget* window, const TextPane* pane, const QString& fileName)
{
    const QByteArray utf8 = pane->text().toUtf8();
    const std::string bytes = utf8ToCp1251(toCrLf(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size()))));
    // The text goes to a temporary file beside the target, which replaces the
    // target only when everything was written.
    QSaveFile file(fileName);
    errno = 0;
    bool ok = file.open(QIODevice::WriteOnly);
    if (ok)
        ok = file.write(bytes.data(), static_cast<qint64>(bytes.size())) == static_cast<qint64>(bytes.size());
    if (ok)
        ok = file.commit();
    if (!ok) {
        const int error = errno;
        const QString reason = error != 0 ? systemErrorText(error) : file.errorString();
        file.cancelWriting();
        tellFileNotCreated(window, fileName, reason);
    }
    return ok;
}

void tellFileNotCreated(QWidget* window, const QString& fileName, const QString& reason)
{
    QString text = QStringLiteral("Невозможно создать файл \"%1\".").arg(QDir::toNativeSeparators(fileName));
    if (!reason.isEmpty())
        text += QLatin1Char('\n') + reason;
    dialogs().message(window, text, QMessageBox::Critical);
}

}  // namespace tarvel::ui
