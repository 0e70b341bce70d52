#include "ui/FileFolders.h"

#include <QDir>
#include <QFileInfo>

#include "ui/StartUp.h"

namespace tarvel::ui {

void FileFolders::remember(const QString& chosenPath)
{
    if (!chosenPath.isEmpty())
        lastUsed_ = QFileInfo(chosenPath).absolutePath();
}

QString FileFolders::openFolder(const QString& fallback) const
{
    if (!document_.isEmpty())
        return QFileInfo(document_).absolutePath();
    return lastUsed_.isEmpty() ? fallback : lastUsed_;
}

QString FileFolders::exportPath(const QString& suffix, const QString& stem) const
{
    QString name = stem;
    if (name.isEmpty())
        name = document_.isEmpty() ? QStringLiteral("network") : QFileInfo(document_).completeBaseName();
    name += QLatin1Char('.') + suffix;
    QStringList candidates;
    if (!document_.isEmpty())
        candidates << QFileInfo(document_).absolutePath();
    if (!lastUsed_.isEmpty())
        candidates << lastUsed_;
    candidates << QDir::currentPath() << QDir::homePath();
    for (const QString& folder : candidates)
        if (canCreateFileIn(folder))
            return QDir(folder).filePath(name);
    return QDir(candidates.back()).filePath(name);
}

}  // namespace tarvel::ui
