#include "ui/TextEditor.h"

#include <memory>

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QUrl>

#include "model/TextFile.h"

namespace tarvel::ui {

namespace {

std::function<bool(const QString&)>& launcher()
{
    static std::function<bool(const QString&)> replacement;
    return replacement;
}

// Splits a command as a shell splits words: blanks separate, '...' is taken
// literally, "..." keeps blanks and lets a backslash escape " \\ $ and `, and a
// backslash outside quotes escapes the next character. No expansions.
QStringList splitWords(const QString& command)
{
    QStringList words;
    QString word;
    bool inWord = false;
    for (qsizetype i = 0; i < command.size(); ++i) {
        const QChar c = command[i];
        if (c == QLatin1Char('\'')) {
            inWord = true;
            const qsizetype close = command.indexOf(QLatin1Char('\''), i + 1);
            const qsizetype end = close < 0 ? command.size() : close;
            word += command.mid(i + 1, end - i - 1);
            i = end;
        } else if (c == QLatin1Char('"')) {
            inWord = true;
            for (++i; i < command.size() && command[i] != QLatin1Char('"'); ++i) {
                if (command[i] == QLatin1Char('\\') && i + 1 < command.size() &&
                    QStringLiteral("\"\\$`").contains(command[i + 1]))
                    ++i;
                word += command[i];
            }
        } else if (c == QLatin1Char('\\')) {
            inWord = true;
            if (i + 1 < command.size())
                word += command[++i];
        } else if (c.isSpace()) {
            if (inWord)
                words << word;
            word.clear();
            inWord = false;
        } else {
            inWord = true;
            word += c;
        }
    }
    if (inWord)
        words << word;
    return words;
}

// The editor command of the environment, split into program and arguments;
// empty when neither variable is set.
QStringList editorCommand()
{
    for (const char* variable : {"VISUAL", "EDITOR"}) {
        const QStringList command = splitWords(qEnvironmentVariable(variable));
        if (!command.isEmpty() && !command.first().isEmpty())
            return command;
    }
    return {};
}

bool startDetached(QStringList command, const QString& fileName)
{
    const QString program = command.takeFirst();
    command.append(fileName);
    return QProcess::startDetached(program, command);
}

// The folder of this process's editor copies, created at the first export;
// empty when it cannot be created.
QString copyFolder()
{
    static const std::unique_ptr<QTemporaryDir> folder = [] {
        auto dir = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/tarvel-XXXXXX"));
        dir->setAutoRemove(false);
        return dir;
    }();
    return folder->isValid() ? folder->path() : QString();
}

// The report as a UTF-8 text with LF line ends.
QByteArray utf8Text(const QByteArray& cp1251)
{
    const std::string utf8 =
        cp1251ToUtf8(std::string_view(cp1251.constData(), static_cast<std::size_t>(cp1251.size())));
    QByteArray text(utf8.data(), static_cast<qsizetype>(utf8.size()));
    text.replace("\r\n", "\n");
    return text;
}

// Writes the editor's copy of fileName and returns its path; the report
// itself when no copy can be written.
QString editorCopy(const QString& fileName)
{
    const QString folder = copyFolder();
    if (folder.isEmpty())
        return fileName;
    const QString copy = QDir(folder).filePath(QFileInfo(fileName).fileName());
    QFile report(fileName);
    if (!report.open(QIODevice::ReadOnly)) {
        QFile::remove(copy);  // the editor must not show an older report
        return copy;
    }
    QSaveFile file(copy);
    const QByteArray text = utf8Text(report.readAll());
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit())
        return fileName;
    return copy;
}

}  // namespace

bool openReportInTextEditor(const QString& fileName)
{
    return openInTextEditor(editorCopy(fileName));
}

bool openInTextEditor(const QString& fileName)
{
    if (launcher())
        return launcher()(fileName);
    const QStringList editor = editorCommand();
    if (!editor.isEmpty() && startDetached(editor, fileName))
        return true;
    // The desktop's own application for text files, as a double-click in the
    // file manager would choose it.
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(fileName).absoluteFilePath()));
}

void setTextEditorLauncher(std::function<bool(const QString&)> replacement)
{
    launcher() = std::move(replacement);
}

}  // namespace tarvel::ui
