#include "ui/TextEditor.h"

#include <QProcess>
#include <QStandardPaths>

namespace tarvel::ui {

namespace {

std::function<bool(const QString&)>& launcher()
{
    static std::function<bool(const QString&)> replacement;
    return replacement;
}

// The editor command of the environment, split into program and arguments;
// empty when neither variable is set.
QStringList editorCommand()
{
    for (const char* variable : {"VISUAL", "EDITOR"}) {
        const QString value = qEnvironmentVariable(variable).trimmed();
        if (!value.isEmpty()) {
            const QStringList command = QProcess::splitCommand(value);
            if (!command.isEmpty())
                return command;
        }
    }
    return {};
}

bool startDetached(QStringList command, const QString& fileName)
{
    const QString program = command.takeFirst();
    command.append(fileName);
    return QProcess::startDetached(program, command);
}

}  // namespace

bool openInTextEditor(const QString& fileName)
{
    if (launcher())
        return launcher()(fileName);
    const QStringList editor = editorCommand();
    if (!editor.isEmpty() && startDetached(editor, fileName))
        return true;
    const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (!opener.isEmpty())
        return startDetached({opener}, fileName);
    return false;
}

void setTextEditorLauncher(std::function<bool(const QString&)> replacement)
{
    launcher() = std::move(replacement);
}

}  // namespace tarvel::ui
