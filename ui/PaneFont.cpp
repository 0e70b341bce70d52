#include "ui/PaneFont.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QHash>

namespace tarvel::ui {

QString builtInPaneFamily()
{
    return QStringLiteral("Courier New");
}

QString installedFamily(const QString& family)
{
    static QHash<QString, QString> resolved;
    if (const auto found = resolved.constFind(family); found != resolved.constEnd())
        return found.value();
    QString installed = family;
    if (!QFontDatabase::hasFamily(family)) {
        QFont wanted(family);
        const bool monospaced = family == builtInPaneFamily();
        if (monospaced)
            wanted.setStyleHint(QFont::TypeWriter);
        const QFontInfo match(wanted);
        installed = match.family();
        if (monospaced && !match.fixedPitch())
            installed = QFontInfo(QFontDatabase::systemFont(QFontDatabase::FixedFont)).family();
    }
    resolved.insert(family, installed);
    return installed;
}

QFont paneFont(const QString& family, int pointSize)
{
    return QFont(installedFamily(family), pointSize);
}

}  // namespace tarvel::ui
