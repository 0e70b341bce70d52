#include "ui/StartUp.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryFile>

namespace tarvel::ui {

namespace {

QString expandHome(const QString& folder, const QString& homeFolder)
{
    if (folder == QLatin1String("~"))
        return homeFolder;
    if (folder.startsWith(QLatin1String("~/")))
        return homeFolder + folder.mid(1);
    return folder;
}

QString shown(const QString& folder)
{
    return QDir::toNativeSeparators(folder);
}

}  // namespace

// Permission bits do not tell a read-only file system, nor the super-user's
// rights: only a file actually created does.
bool canCreateFileIn(const QString& folder)
{
    QTemporaryFile probe(QDir(folder).filePath(QStringLiteral(".tarvel-XXXXXX")));
    return probe.open();
}

StartOptions parseStartOptions(const QStringList& arguments, const QString& startFolder,
                               const QString& homeFolder)
{
    StartOptions options;
    auto fail = [&options](const QString& text) {
        if (options.error.isEmpty())
            options.error = text;
    };
    bool optionsEnded = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& arg = arguments[i];
        if (!optionsEnded && arg.size() > 1 && arg.startsWith(QLatin1Char('-'))) {
            if (arg == QLatin1String("--")) {
                optionsEnded = true;
            } else if (arg == QLatin1String("-h") || arg == QLatin1String("--help")) {
                options.help = true;
            } else if (arg == QLatin1String("--workdir") || arg.startsWith(QLatin1String("--workdir="))) {
                QString value;
                if (arg.contains(QLatin1Char('=')))
                    value = arg.section(QLatin1Char('='), 1);
                else if (i + 1 < arguments.size())
                    value = arguments[++i];
                if (value.isEmpty())
                    fail(QStringLiteral("не задана рабочая папка"));
                else
                    options.workDir = expandHome(value, homeFolder);
            } else {
                fail(QStringLiteral("неизвестный параметр %1").arg(arg));
            }
        } else if (options.file.isEmpty()) {
            options.file = QDir::cleanPath(QDir(startFolder).absoluteFilePath(arg));
        } else {
            fail(QStringLiteral("лишний параметр %1").arg(arg));
        }
    }
    return options;
}

QString startUsage()
{
    return QStringLiteral(
        "Использование: tarvel [--workdir ПАПКА] [ФАЙЛ.cdu]\n"
        "\n"
        "Расчет потокораспределения электрической сети.\n"
        "\n"
        "  ФАЙЛ.cdu         открыть файл, как это делает команда \"Открыть...\"\n"
        "  --workdir ПАПКА  рабочая папка: файлы расчета network.* и настройки Vetrasol.ini\n"
        "                   (по умолчанию текущая; создается, если ее нет; ~ - домашняя папка)\n"
        "  -h, --help       показать эту справку\n");
}

QString prepareWorkingFolder(const QString& workDir)
{
    QString problem;
    if (!workDir.isEmpty() && !(QDir().mkpath(workDir) && QDir::setCurrent(workDir)))
        problem = QStringLiteral("Рабочая папка \"%1\" не создана.\n").arg(shown(workDir));
    const QString current = QDir::currentPath();
    if (canCreateFileIn(current)) {
        if (problem.isEmpty())
            return {};
        return problem + QStringLiteral("Файлы расчета и настройки записываются в папку \"%1\".").arg(shown(current));
    }
    return problem +
           QStringLiteral("В рабочую папку \"%1\" невозможно записать файлы: расчет не сможет сохранить "
                          "свои результаты, а настройки не будут сохранены.\n"
                          "Запустите программу из папки, доступной для записи, или укажите ее "
                          "параметром --workdir.")
               .arg(shown(current));
}

}  // namespace tarvel::ui
