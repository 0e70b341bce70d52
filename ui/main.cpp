// The program: the application object, the working folder, the main window,
// the parameters dialog created hidden, the document named on the command
// line, and the message loop.
#include <cstdio>
#include <cstdlib>
#include <exception>

#include <QApplication>
#include <QDir>
#include <QIcon>

#include "ui/Dialogs.h"
#include "ui/MainWindow.h"
#include "ui/SettingsFile.h"
#include "ui/StartUp.h"

namespace {

// A failure thrown out of a command is shown, and the window goes on with
// the next event.
class Application : public QApplication {
public:
    using QApplication::QApplication;

    bool notify(QObject* receiver, QEvent* event) override
    {
        try {
            return QApplication::notify(receiver, event);
        } catch (const std::exception& e) {
            tarvel::ui::dialogs().message(activeWindow(), QString::fromLocal8Bit(e.what()),
                                          QMessageBox::Critical);
        } catch (...) {
            tarvel::ui::dialogs().message(activeWindow(), QStringLiteral("Неизвестная ошибка"),
                                          QMessageBox::Critical);
        }
        return false;
    }
};

}  // namespace

int main(int argc, char* argv[])
{
    // --help answers before the toolkit looks for a display.
    QStringList rawArguments;
    for (int i = 1; i < argc; ++i)
        rawArguments << QString::fromLocal8Bit(argv[i]);
    if (tarvel::ui::parseStartOptions(rawArguments, QString(), QString()).help) {
        std::fputs(tarvel::ui::startUsage().toUtf8().constData(), stdout);
        return 0;
    }

    Application app(argc, argv);
    // The toolkit has taken its own options out of the arguments by now.
    const tarvel::ui::StartOptions options =
        tarvel::ui::parseStartOptions(app.arguments().mid(1), QDir::currentPath(), QDir::homePath());
    if (!options.error.isEmpty()) {
        std::fprintf(stderr, "tarvel: %s\n%s", options.error.toUtf8().constData(),
                     tarvel::ui::startUsage().toUtf8().constData());
        return 2;
    }
    // The desktop entry of the installed program names its icon.
    app.setDesktopFileName(QStringLiteral("tarvel"));
    app.setWindowIcon(QIcon::fromTheme(QStringLiteral("tarvel")));
    // The toolkit's buttons and dialogs speak Russian, as every text of the
    // program does, whatever the system's language.
    tarvel::ui::installToolkitTranslation(QLocale(QLocale::Russian, QLocale::Russia));
    // The settings file is found in the working folder, so it is settled first.
    const QString folderProblem = tarvel::ui::prepareWorkingFolder(options.workDir);
    if (!folderProblem.isEmpty())
        tarvel::ui::dialogs().message(nullptr, folderProblem, QMessageBox::Warning);
    // The settings are the user's, whichever folder this window's working
    // files go to: a second window reads and writes the same Vetrasol.ini.
    const QString settingsPath = tarvel::ui::SettingsFile::defaultPath();
    const tarvel::ui::WorkingFolderClaim claim = tarvel::ui::claimWorkingFolder();
    try {
        const bool unwritableFolderTold =
            !folderProblem.isEmpty() && !tarvel::ui::canCreateFileIn(QDir::currentPath());
        tarvel::ui::TForm1 window(nullptr, unwritableFolderTold, settingsPath);
        window.showWorkingFolderNotice(tarvel::ui::workingFolderNotice(claim));
        window.createParametersDialog();
        window.show();
        if (!options.file.isEmpty())
            window.openFile(options.file);
        return app.exec();
    } catch (const std::exception& e) {
        tarvel::ui::dialogs().message(nullptr, QString::fromLocal8Bit(e.what()), QMessageBox::Critical);
    } catch (...) {
        tarvel::ui::dialogs().message(nullptr, QStringLiteral("Неизвестная ошибка"), QMessageBox::Critical);
    }
    // The failure was shown; whoever started the program learns of it too.
    return EXIT_FAILURE;
}
