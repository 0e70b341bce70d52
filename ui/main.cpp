// The program: the application object, the main window, the parameters
// dialog created hidden, and the message loop.
#include <cstdlib>
#include <exception>

#include <QApplication>

#include "ui/Dialogs.h"
#include "ui/MainWindow.h"

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
    Application app(argc, argv);
    // The toolkit's buttons and dialogs speak the user's language, as the system's own do.
    tarvel::ui::installToolkitTranslation(QLocale());
    try {
        tarvel::ui::TForm1 window;
        window.createParametersDialog();
        window.show();
        return app.exec();
    } catch (const std::exception& e) {
        tarvel::ui::dialogs().message(nullptr, QString::fromLocal8Bit(e.what()), QMessageBox::Critical);
    } catch (...) {
        tarvel::ui::dialogs().message(nullptr, QStringLiteral("Неизвестная ошибка"), QMessageBox::Critical);
    }
    // The failure was shown; whoever started the program learns of it too.
    return EXIT_FAILURE;
}
