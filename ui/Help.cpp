#include "ui/Help.h"

#include <QDialog>
#include <QPointer>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

// The pages are compiled into the window's static library; the linker keeps
// them only when something names their initialiser.
static void initHelpPages()
{
    Q_INIT_RESOURCE(help);
}

namespace tarvel::ui {

namespace {

constexpr int kTopics[] = {100, 200, 300, 400, 500, 600};
constexpr int kMainTopic = 100;

class HelpWindow : public QDialog {
public:
    explicit HelpWindow(QWidget* parent) : QDialog(parent, windowFlagsFor())
    {
        setObjectName(QStringLiteral("HelpWindow"));
        setWindowTitle(QStringLiteral("Справка"));
        setModal(false);
        browser_ = new QTextBrowser(this);
        browser_->setObjectName(QStringLiteral("HelpBrowser"));
        browser_->setOpenLinks(true);
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(browser_);
        resize(720, 560);
    }

    static Qt::WindowFlags windowFlagsFor()
    {
        return Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
               Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint;
    }

    void showTopic(int topic)
    {
        topic_ = topic;
        browser_->setSource(QUrl(QStringLiteral("qrc:/help/%1.html").arg(topic)));
    }

    int topic() const { return topic_; }

private:
    QTextBrowser* browser_ = nullptr;
    int topic_ = 0;
};

QPointer<HelpWindow>& window()
{
    static QPointer<HelpWindow> instance;
    return instance;
}

int knownTopic(int context)
{
    for (int topic : kTopics)
        if (topic == context)
            return topic;
    return kMainTopic;
}

}  // namespace

void showHelp(QWidget* parent, int context)
{
    QPointer<HelpWindow>& help = window();
    if (!help) {
        initHelpPages();
        help = new HelpWindow(parent);
        help->setAttribute(Qt::WA_DeleteOnClose, false);
    } else if (help->parentWidget() != parent) {
        // A window that belongs to a modal dialog stays usable while the
        // dialog is open, so the help follows the window that asked for it.
        const QRect geometry = help->geometry();
        help->setParent(parent, HelpWindow::windowFlagsFor());
        help->setGeometry(geometry);
    }
    help->showTopic(knownTopic(context));
    help->show();
    help->raise();
    help->activateWindow();
}

QWidget* helpWindow()
{
    return window().data();
}

int shownHelpTopic()
{
    const QPointer<HelpWindow>& help = window();
    return help ? help->topic() : 0;
}

}  // namespace tarvel::ui
