#include "ui/MainWindow.h"

#include <cerrno>
#include <cstring>
#include <string>

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFocusEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QSaveFile>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include "losses/LossAllocation.h"
#include "model/NetworkModel.h"
#include "model/TextFile.h"
#include "powerflow/PowerFlowRun.h"
#include "ui/Dialogs.h"
#include "ui/Form2.h"
#include "ui/Help.h"
#include "ui/TextEditor.h"
#include "ui/TextPane.h"

namespace tarvel::ui {

namespace {

const char* const kHelpContext = "helpContext";

// Tab pages in tab order.
enum Page { InputPage = 0, EchoPage = 1, ResultsPage = 2, AnalysisPage = 3, AllocationPage = 4 };

QString openFilter()
{
    return QStringLiteral("Файл ЦДУ *.cdu (*.cdu);;Все файлы *.* (*)");
}

QString saveFilter()
{
    return QStringLiteral("Формат ЦДУ *.cdu (*.cdu);;Все файлы *.* (*)");
}

// A menu caption shows '&' as a mnemonic marker unless it is doubled.
QString menuCaption(const QString& text)
{
    QString escaped = text;
    escaped.replace(QLatin1Char('&'), QStringLiteral("&&"));
    return escaped;
}

std::filesystem::path localPath(const QString& fileName)
{
    return std::filesystem::path(QFile::encodeName(fileName).toStdString());
}

QString fromUtf8(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

// Shows the core's messages as message boxes of the window; warnings go to a
// pane (the lower pane during a power flow).
class TForm1::WindowSink : public MessageSink {
public:
    WindowSink(TForm1& window, TextPane* warningPane) : window_(window), warningPane_(warningPane) {}

    void showMessage(const std::string& text) override
    {
        dialogs().message(&window_, fromUtf8(text));
    }
    void runStarted(const std::string& progressText) override
    {
        window_.showLowerPane();
        window_.Memo4->setText(fromUtf8(progressText));
    }
    void warning(const std::string& text) override
    {
        warned = true;
        QString line = fromUtf8(text);
        while (line.endsWith(QLatin1Char('\n')) || line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        warningPane_->appendPlainText(line);
    }

    bool warned = false;

private:
    TForm1& window_;
    TextPane* warningPane_;
};

TForm1::TForm1(QWidget* parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Расчет потокораспределения электрической сети Tarvel 2.0"));
    setProperty(kHelpContext, 100);
    setMinimumSize(600, 130);
    resize(716, 534);

    createPanes();
    createToolBar();
    createMenus();
    createStatusBar();
    connectStatusEvents();

    auto* help = new QAction(this);
    help->setObjectName(QStringLiteral("HelpKey"));
    help->setShortcut(QKeySequence(Qt::Key_F1));
    help->setShortcutContext(Qt::WindowShortcut);
    connect(help, &QAction::triggered, this, &TForm1::showHelpForFocus);
    addAction(help);

    Form1Create();

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
}

TForm1::~TForm1() = default;

QString TForm1::untitledCaption()
{
    return QStringLiteral("Без_имени(*.cdu)");
}

void TForm1::createPanes()
{
    MainSplitter = new QSplitter(Qt::Vertical, this);
    MainSplitter->setObjectName(QStringLiteral("MainSplitter"));
    MainSplitter->setChildrenCollapsible(false);
    MainSplitter->setHandleWidth(3);
    setCentralWidget(MainSplitter);

    Panel2 = new QFrame(MainSplitter);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    Panel2->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel2->setLineWidth(1);
    auto* contentLayout = new QVBoxLayout(Panel2);
    contentLayout->setContentsMargins(1, 1, 1, 1);

    PageControl1 = new QTabWidget(Panel2);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    contentLayout->addWidget(PageControl1);

    struct PageSpec {
        QWidget** page;
        TextPane** pane;
        const char* pageName;
        const char* paneName;
        QString caption;
        int helpContext;
    };
    const PageSpec pages[] = {
        {&TabSheet1, &Memo1, "TabSheet1", "Memo1", untitledCaption(), 200},
        {&TabSheet2, &Memo2, "TabSheet2", "Memo2", QStringLiteral("Исх. данные"), 300},
        {&TabSheet3, &Memo3, "TabSheet3", "Memo3", QStringLiteral("Результаты"), 400},
        {&TabSheet4, &Memo5, "TabSheet4", "Memo5", QStringLiteral("Анализ потерь"), 300},
        {&TabSheet5, &Memo6, "TabSheet5", "Memo6", QStringLiteral("Составляющие потерь"), 300},
    };
    for (const PageSpec& spec : pages) {
        auto* page = new QWidget;
        page->setObjectName(QLatin1String(spec.pageName));
        page->setProperty(kHelpContext, spec.helpContext);
        auto* layout = new QVBoxLayout(page);
        layout->setContentsMargins(0, 0, 0, 0);
        auto* pane = new TextPane(QLatin1String(spec.paneName), page);
        pane->setProperty(kHelpContext, spec.helpContext);
        layout->addWidget(pane);
        PageControl1->addTab(page, spec.caption);
        *spec.page = page;
        *spec.pane = pane;
    }
    Memo1->setOemConvert(true);
    Memo2->setOemConvert(true);
    for (int i = EchoPage; i <= AllocationPage; ++i)
        PageControl1->setTabVisible(i, false);
    PageControl1->setCurrentIndex(InputPage);
    PageControl1->hide();

    Panel1 = new QFrame(MainSplitter);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel1->setLineWidth(1);
    Panel1->setMinimumHeight(60);
    auto* lowerLayout = new QVBoxLayout(Panel1);
    lowerLayout->setContentsMargins(1, 1, 1, 1);
    Memo4 = new TextPane(QStringLiteral("Memo4"), Panel1);
    QPalette grey = Memo4->palette();
    grey.setColor(QPalette::Base, grey.color(QPalette::Button));
    Memo4->setPalette(grey);
    lowerLayout->addWidget(Memo4);

    MainSplitter->addWidget(Panel2);
    MainSplitter->addWidget(Panel1);
    MainSplitter->setStretchFactor(0, 1);
    MainSplitter->setStretchFactor(1, 0);
    Splitter1 = MainSplitter->handle(1);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    Panel1->hide();
}

void TForm1::createToolBar()
{
    ToolBar1 = new QFrame;
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setFixedSize(129, 24);
    auto* layout = new QHBoxLayout(ToolBar1);
    layout->setContentsMargins(2, 0, 2, 0);
    layout->setSpacing(0);
    auto makeButton = [&](const char* name, const QString& caption, QStyle::StandardPixmap icon) {
        auto* button = new QToolButton(ToolBar1);
        button->setObjectName(QLatin1String(name));
        button->setText(caption);
        button->setIcon(style()->standardIcon(icon));
        button->setToolButtonStyle(Qt::ToolButtonIconOnly);
        button->setAutoRaise(true);
        button->setFixedSize(23, 22);
        layout->addWidget(button);
        return button;
    };
    ToolButton1 = makeButton("ToolButton1", QStringLiteral("Сохранить"), QStyle::SP_DialogSaveButton);
    ToolButton2 = makeButton("ToolButton2", QStringLiteral("Создать"), QStyle::SP_FileIcon);
    ToolButton3 = makeButton("ToolButton3", QStringLiteral("Открыть..."), QStyle::SP_DialogOpenButton);
    ToolButton3->setToolTip(QStringLiteral("Открыть файл исх. данных"));
    layout->addStretch(1);
    connect(ToolButton1, &QToolButton::clicked, this, &TForm1::N10Click);
    connect(ToolButton2, &QToolButton::clicked, this, &TForm1::N3Click);
    connect(ToolButton3, &QToolButton::clicked, this, &TForm1::N4Click);
    ToolButton1->hide();

    // Floats over the right end of the tab row.
    PageControl1->setCornerWidget(ToolBar1, Qt::TopRightCorner);
    ToolBar1->hide();
}

void TForm1::createMenus()
{
    auto menu = [&](const char* name, const QString& title) {
        QMenu* m = menuBar()->addMenu(title);
        m->setObjectName(QLatin1String(name));
        m->menuAction()->setObjectName(QLatin1String(name));
        return m;
    };
    auto entry = [&](QMenu* m, const char* name, const QString& caption, void (TForm1::*handler)(),
                     const QKeySequence& shortcut = QKeySequence()) {
        QAction* a = m->addAction(caption);
        a->setObjectName(QLatin1String(name));
        if (!shortcut.isEmpty())
            a->setShortcut(shortcut);
        if (handler)
            connect(a, &QAction::triggered, this, handler);
        return a;
    };
    auto separator = [&](QMenu* m, const char* name) {
        QAction* a = m->addSeparator();
        a->setObjectName(QLatin1String(name));
        return a;
    };

    Afqk1 = menu("Afqk1", QStringLiteral("Файл"));
    N3 = entry(Afqk1, "N3", QStringLiteral("Создать"), &TForm1::N3Click);
    N3->setIcon(ToolButton2->icon());
    N4 = entry(Afqk1, "N4", QStringLiteral("Открыть..."), &TForm1::N4Click);
    N4->setIcon(ToolButton3->icon());
    N4->setToolTip(QStringLiteral("Открыть файл исх. данных"));
    N10 = entry(Afqk1, "N10", QStringLiteral("Сохранить"), &TForm1::N10Click);
    N10->setIcon(ToolButton1->icon());
    N11 = entry(Afqk1, "N11", QStringLiteral("Сохранить как..."), &TForm1::N11Click);
    N28 = separator(Afqk1, "N28");
    N30 = entry(Afqk1, "N30", QStringLiteral("Первый файл"), &TForm1::N30Click);
    N31 = entry(Afqk1, "N31", QStringLiteral("Второй файл"), &TForm1::N31Click);
    N32 = entry(Afqk1, "N32", QStringLiteral("Третий файл"), &TForm1::N32Click);
    N29 = separator(Afqk1, "N29");
    N12 = entry(Afqk1, "N12", QStringLiteral("Выход"), &TForm1::N12Click);
    for (QAction* hidden : {N10, N11, N28, N30, N31, N32, N29})
        hidden->setVisible(false);

    N5 = menu("N5", QStringLiteral("Правка"));
    N6 = entry(N5, "N6", QStringLiteral("Вырезать"), &TForm1::N6Click, QKeySequence(Qt::SHIFT | Qt::Key_Delete));
    N7 = entry(N5, "N7", QStringLiteral("Копировать"), &TForm1::N7Click, QKeySequence(Qt::CTRL | Qt::Key_Insert));
    N8 = entry(N5, "N8", QStringLiteral("Вставить"), &TForm1::N8Click, QKeySequence(Qt::SHIFT | Qt::Key_Insert));
    N9 = entry(N5, "N9", QStringLiteral("Выделить все"), &TForm1::N9Click, QKeySequence(Qt::Key_F5));
    N5->menuAction()->setVisible(false);

    N1 = menu("N1", QStringLiteral("Расчет"));
    N2 = entry(N1, "N2", QStringLiteral("Потокораспределение"), &TForm1::N2Click);
    N22 = entry(N1, "N22", QStringLiteral("Анализ потерь"), &TForm1::N22Click);
    N27 = entry(N1, "N27", QStringLiteral("Разделение потерь"), &TForm1::N27Click);
    N22->setEnabled(false);
    N27->setEnabled(false);
    N1->menuAction()->setVisible(false);

    N13 = menu("N13", QStringLiteral("Экспорт"));
    N14 = N13->addMenu(QStringLiteral("В блокнот"));
    N14->setObjectName(QStringLiteral("N14"));
    N14->menuAction()->setObjectName(QStringLiteral("N14"));
    N15 = entry(N14, "N15", QStringLiteral("Исх. данные"), &TForm1::N15Click);
    N16 = entry(N14, "N16", QStringLiteral("Результаты"), &TForm1::N16Click);
    N13->menuAction()->setVisible(false);

    N24 = menu("N24", QStringLiteral("Настройки"));
    N25 = entry(N24, "N25", QStringLiteral("Параметры расчета..."), &TForm1::N25Click);
    N33 = entry(N24, "N33", QStringLiteral("Шрифт..."), &TForm1::N33Click);

    N17 = menu("N17", QStringLiteral("Справка"));
    N18 = entry(N17, "N18", QStringLiteral("О программе"), &TForm1::N18Click);
    N34 = entry(N17, "N34", QStringLiteral("Помощь"), &TForm1::N34Click);
}

void TForm1::createStatusBar()
{
    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1 = bar;
    const Qt::Alignment alignments[3] = {Qt::AlignCenter, Qt::AlignCenter, Qt::AlignLeft | Qt::AlignVCenter};
    for (int i = 0; i < 3; ++i) {
        auto* panel = new QLabel(bar);
        panel->setObjectName(QStringLiteral("StatusPanel%1").arg(i + 1));
        panel->setMinimumWidth(50);
        panel->setAlignment(alignments[i]);
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        bar->addWidget(panel);
        statusPanels_[static_cast<std::size_t>(i)] = panel;
    }
}

void TForm1::connectStatusEvents()
{
    connect(Memo1, &TextPane::keyEvent, this, &TForm1::StatBar1);
    connect(Memo1, &TextPane::mouseEvent, this, &TForm1::StatBar2);
    connect(Memo2, &TextPane::keyEvent, this, &TForm1::StatBa37);
    connect(Memo2, &TextPane::mouseEvent, this, &TForm1::StatBa36);
    connect(Memo3, &TextPane::keyEvent, this, &TForm1::StatBar4);
    connect(Memo3, &TextPane::mouseEvent, this, &TForm1::StatBar5);
    connect(Memo5, &TextPane::keyEvent, this, &TForm1::Stat15);
    connect(Memo5, &TextPane::mouseEvent, this, &TForm1::Stat25);
    connect(Memo6, &TextPane::keyEvent, this, &TForm1::SMemo6);
    connect(Memo6, &TextPane::mouseEvent, this, &TForm1::SbMemo6);
    connect(Memo4, &TextPane::keyEvent, this, &TForm1::Mem4key);
    connect(Memo4, &TextPane::mouseEvent, this, &TForm1::Mem4Mouse);
    // Tab pages: shown, entered (the focus comes into the page's pane) and
    // clicked outside the pane.
    for (QWidget* page : {TabSheet1, TabSheet2, TabSheet3, TabSheet4, TabSheet5})
        page->installEventFilter(this);
    for (TextPane* pane : {Memo1, Memo2, Memo3, Memo5, Memo6})
        pane->installEventFilter(this);
}

bool TForm1::eventFilter(QObject* watched, QEvent* event)
{
    const QWidget* pages[] = {TabSheet1, TabSheet2, TabSheet3, TabSheet4, TabSheet5};
    const TextPane* panes[] = {Memo1, Memo2, Memo3, Memo5, Memo6};
    for (int i = 0; i < 5; ++i) {
        if (watched == pages[i]) {
            // A window restored from its minimized state shows its pages again
            // without any page being shown anew.
            if (event->type() == QEvent::Show && !event->spontaneous())
                pageShown(i);
            else if (event->type() == QEvent::MouseButtonPress)
                pageClicked(i);
        } else if (watched == panes[i] && event->type() == QEvent::FocusIn) {
            // The focus coming back to the window (after a dialog, a menu or
            // another program) returns to the same pane and enters no page.
            const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
            if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
                pageShown(i);
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TForm1::pageShown(int index)
{
    switch (index) {
    case InputPage: StatBar3(); break;
    case EchoPage: M2(); break;
    case ResultsPage: M3(); break;
    case AnalysisPage: M5(); break;
    case AllocationPage: M6(); break;
    default: break;
    }
}

void TForm1::pageClicked(int index)
{
    switch (index) {
    case InputPage: StatBar2(); break;
    case EchoPage: StatBa36(); break;
    case ResultsPage: StatBar5(); break;
    case AnalysisPage: Stat25(); break;
    case AllocationPage: SbMemo6(); break;
    default: break;
    }
}

void TForm1::ShowCaretStatus(TextPane* pane)
{
    const TextPane::Caret caret = pane->caret();
    statusPanels_[0]->setText(QStringLiteral("%1: %2").arg(caret.line + 1).arg(caret.column + 1));
    const bool marked = pane != Memo4 && pane->isModified();
    statusPanels_[1]->setText(marked ? QStringLiteral("модиф.") : QString());
    statusPanels_[2]->setText(QString());
}

QString TForm1::statusPanelText(int panel) const
{
    if (panel < 0 || panel > 2)
        return QString();
    return statusPanels_[static_cast<std::size_t>(panel)]->text();
}

// ---------------------------------------------------------------- settings

void TForm1::Form1Create()
{
    settings_ = std::make_unique<SettingsFile>(SettingsFile::defaultPath());
    // The design values, which a first run writes into the new file.
    windowSettings_.fontName = Memo1->font().family();
    windowSettings_.fontSize = Memo1->font().pointSize();
    windowSettings_.height = height();
    windowSettings_.width = width();
    settings_->load(globalModel(), windowSettings_, QCoreApplication::applicationFilePath(), this);

    QFont font = Memo1->font();
    font.setFamily(windowSettings_.fontName);
    if (windowSettings_.fontSize > 0)
        font.setPointSize(windowSettings_.fontSize);
    for (TextPane* pane : allPanes())
        pane->setFont(font);
    resize(windowSettings_.width, windowSettings_.height);  // the minimum size still applies

    QAction* entries[3] = {N30, N31, N32};
    for (std::size_t k = 0; k < 3; ++k) {
        if (!windowSettings_.recentKeyPresent[k])
            continue;
        RecentFiles[k] = windowSettings_.recentFiles[k];
        entries[k]->setText(menuCaption(RecentFiles[k]));
        entries[k]->setVisible(true);
    }
    if (windowSettings_.recentKeyPresent[0]) {
        N28->setVisible(true);
        N29->setVisible(true);
    }
}

void TForm1::Form1Close()
{
    const QFont font = Memo1->font();
    windowSettings_.fontName = font.family();
    windowSettings_.fontSize = font.pointSize() > 0 ? font.pointSize() : QFontInfo(font).pointSize();
    windowSettings_.height = height();
    windowSettings_.width = width();
    windowSettings_.recentFiles = RecentFiles;
    if (settings_->save(globalModel(), windowSettings_, this) && globalModel().DelFile)
        deleteWorkingFiles(QDir::currentPath());
}

void TForm1::closeEvent(QCloseEvent* event)
{
    Form1Close();
    event->accept();
}

void TForm1::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    if (shownOnce_)
        StatBar3();
}

void TForm1::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    shownOnce_ = true;
}

void TForm1::createParametersDialog()
{
    if (!Form2)
        Form2 = new TForm2(globalModel(), this);
}

void TForm1::N25Click()
{
    createParametersDialog();
    Form2->openModal();
}

// ---------------------------------------------------------------- window state

std::array<TextPane*, 6> TForm1::allPanes() const
{
    return {Memo1, Memo2, Memo3, Memo4, Memo5, Memo6};
}

TextPane* TForm1::paneOfPage(int index) const
{
    switch (index) {
    case InputPage: return Memo1;
    case EchoPage: return Memo2;
    case ResultsPage: return Memo3;
    case AnalysisPage: return Memo5;
    case AllocationPage: return Memo6;
    default: return nullptr;
    }
}

TextPane* TForm1::activePane() const
{
    return paneOfPage(PageControl1->currentIndex());
}

void TForm1::activatePage(int index)
{
    // A hidden tab's page would show without its tab: never switch to one.
    if (!PageControl1->isTabVisible(index))
        return;
    if (PageControl1->currentIndex() != index)
        PageControl1->setCurrentIndex(index);  // the page's show event refreshes the status bar
    else if (PageControl1->isVisible())
        pageShown(index);
}

void TForm1::hideResultTabs()
{
    for (int i = EchoPage; i <= AllocationPage; ++i)
        PageControl1->setTabVisible(i, false);
}

void TForm1::setInputCaption(const QString& caption)
{
    PageControl1->setTabText(InputPage, menuCaption(caption));
}

QString TForm1::inputCaption() const
{
    QString caption = PageControl1->tabText(InputPage);
    caption.replace(QStringLiteral("&&"), QStringLiteral("&"));
    return caption;
}

bool TForm1::isLowerPaneShown() const
{
    return !Panel1->isHidden();
}

void TForm1::showLowerPane()
{
    if (!Panel1->isHidden())
        return;
    Panel1->show();
    Splitter1->show();  // the splitter would show its handle only on its next layout pass
    const int total = MainSplitter->height() - MainSplitter->handleWidth();
    MainSplitter->setSizes({std::max(0, total - lowerPaneHeight_), lowerPaneHeight_});
}

void TForm1::hideLowerPane()
{
    if (Panel1->isHidden())
        return;
    if (Panel1->isVisible())
        lowerPaneHeight_ = Panel1->height();
    Panel1->hide();
    Splitter1->hide();
}

void TForm1::EnterEditingState()
{
    hideLowerPane();
    N1->menuAction()->setVisible(true);
    N22->setEnabled(false);
    N27->setEnabled(false);
    N13->menuAction()->setVisible(false);
    N5->menuAction()->setVisible(true);
    N10->setVisible(true);
    N11->setVisible(true);
    ToolBar1->show();
    ToolButton1->show();
    PageControl1->show();
    for (TextPane* pane : allPanes())
        pane->setModified(false);
}

// ---------------------------------------------------------------- files

bool TForm1::loadPane(TextPane* pane, const QString& fileName)
{
    std::string bytes;
    errno = 0;
    if (!readFileBytes(localPath(fileName), bytes)) {
        const int error = errno;
        QString text = QStringLiteral("Невозможно открыть файл \"%1\".").arg(QDir::toNativeSeparators(fileName));
        if (error != 0)
            text += QLatin1Char('\n') + QString::fromLocal8Bit(std::strerror(error));
        dialogs().message(this, text, QMessageBox::Critical);
        return false;
    }
    pane->setText(fromUtf8(toCrLf(cp1251ToUtf8(bytes))));
    pane->setModified(false);
    return true;
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

// ---------------------------------------------------------------- document commands

bool TForm1::AskSaveChanges()
{
    if (!Memo1->isModified())
        return true;
    const auto answer = dialogs().question(this, QStringLiteral("Файл изменен"),
                                           QStringLiteral("Сохранить изменения в файле исходных данных ?"),
                                           QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    if (answer == QMessageBox::Yes)
        return saveDocument() != SaveResult::Failed;  // edits that could not be written are kept
    return answer == QMessageBox::No;
}

TForm1::SaveResult TForm1::saveDocument()
{
    if (inputCaption() == untitledCaption())
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
    setInputCaption(QFileInfo(path).fileName());
    Memo1->setModified(false);
    CurrentFileName = path;
    AddRecentFile(path);
    ShowRecentFiles();
    return SaveResult::Saved;
}

void TForm1::N10Click()
{
    saveDocument();
}

void TForm1::N11Click()
{
    saveDocumentAs();
}

void TForm1::N3Click()
{
    if (!AskSaveChanges())
        return;
    if (PageControl1->isTabVisible(ResultsPage)) {
        const auto answer = dialogs().question(
            this, QStringLiteral("Открытие нового окна"),
            QStringLiteral("Вы действительно хотите задать новые исходные данные?\n"
                           "При этом вы потеряете результаты текущего расчета."),
            QMessageBox::Yes | QMessageBox::No);
        if (answer != QMessageBox::Yes)
            return;
    }
    EnterEditingState();
    hideResultTabs();
    Memo1->clear();
    Memo1->setModified(false);
    setInputCaption(untitledCaption());
    activatePage(InputPage);
}

void TForm1::N4Click()
{
    const QString path = dialogs().openFile(this, QStringLiteral("Открыть"), openFilter());
    if (path.isEmpty())
        return;
    if (!AskSaveChanges())
        return;
    EnterEditingState();
    if (!loadPane(Memo1, path))
        return;
    hideResultTabs();
    activatePage(InputPage);
    CurrentFileName = path;
    setInputCaption(QFileInfo(path).fileName());
    AddRecentFile(path);
    ShowRecentFiles();
}

void TForm1::openRecentFile(int slot)
{
    if (!AskSaveChanges())
        return;
    EnterEditingState();
    const QString path = RecentFiles[static_cast<std::size_t>(slot)];
    if (!loadPane(Memo1, path))
        return;
    hideResultTabs();
    activatePage(InputPage);
    CurrentFileName = path;
    setInputCaption(QFileInfo(path).fileName());
}

void TForm1::N30Click()
{
    openRecentFile(0);
}

void TForm1::N31Click()
{
    openRecentFile(1);
}

void TForm1::N32Click()
{
    openRecentFile(2);
}

void TForm1::N12Click()
{
    if (!AskSaveChanges())
        return;
    close();
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

// ---------------------------------------------------------------- calculation commands

void TForm1::N2Click()
{
    WindowSink sink(*this, Memo4);
    const QByteArray input = Memo1->text().toUtf8();
    const QString point = QLocale().decimalPoint();
    const char separator = point.size() == 1 && point.at(0).unicode() < 0x80 ? static_cast<char>(point.at(0).unicode()) : ',';
    const RunOutcome outcome =
        runPowerFlow(globalModel(), localPath(QDir::currentPath()),
                     toCrLf(std::string_view(input.constData(), static_cast<std::size_t>(input.size()))), sink,
                     separator);

    switch (outcome) {
    case RunOutcome::InputNotSaved:
    case RunOutcome::OutNotCreatable:
        return;
    case RunOutcome::Rejected:
        PageControl1->setTabVisible(ResultsPage, false);
        PageControl1->setTabVisible(EchoPage, false);
        PageControl1->setTabVisible(AnalysisPage, false);
        PageControl1->setTabVisible(AllocationPage, false);
        if (!PageControl1->isTabVisible(PageControl1->currentIndex()))
            activatePage(InputPage);
        if (!loadPane(Memo4, QStringLiteral("network.err")))
            return;
        Memo4->setReadOnly(true);
        // Read-only keeps the caret: the list can still be walked and copied by keyboard.
        Memo4->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        showLowerPane();
        return;
    case RunOutcome::Converged:
    case RunOutcome::NotConverged:
        break;
    }

    // Warnings of an accepted run stay in sight in the lower pane.
    if (!sink.warned)
        hideLowerPane();
    PageControl1->setTabVisible(EchoPage, true);
    if (!loadPane(Memo2, QStringLiteral("network.out")))
        return;
    PageControl1->setTabVisible(ResultsPage, true);
    if (!loadPane(Memo3, QStringLiteral("network.rez")))
        return;
    if (PageControl1->isTabVisible(AnalysisPage) && !loadPane(Memo5, QStringLiteral("network.rip")))
        return;
    if (PageControl1->isTabVisible(AllocationPage) && !loadPane(Memo6, QStringLiteral("network.tok")))
        return;
    activatePage(ResultsPage);
    N13->menuAction()->setVisible(true);
    N22->setEnabled(true);
    N27->setEnabled(true);
}

void TForm1::N22Click()
{
    PageControl1->setTabVisible(AnalysisPage, true);
    if (!loadPane(Memo5, QStringLiteral("network.rip")))
        return;
    activatePage(AnalysisPage);
}

void TForm1::N27Click()
{
    PageControl1->setTabVisible(AllocationPage, true);
    activatePage(AllocationPage);
    WindowSink sink(*this, Memo6);
    if (!allocateLosses(globalModel(), localPath(QDir::currentPath()), sink))
        return;
    loadPane(Memo6, QStringLiteral("losses.rez"));
}

// ---------------------------------------------------------------- edit, font, export, help

void TForm1::N6Click()
{
    if (TextPane* pane = activePane())
        pane->cut();
}

void TForm1::N7Click()
{
    if (TextPane* pane = activePane())
        pane->copy();
}

void TForm1::N8Click()
{
    if (TextPane* pane = activePane())
        pane->paste();
}

void TForm1::N9Click()
{
    if (TextPane* pane = activePane())
        pane->selectAll();
}

void TForm1::N33Click()
{
    QFont font = Memo1->font();
    if (!dialogs().chooseFont(this, font))
        return;
    for (TextPane* pane : allPanes())
        pane->setFont(font);
}

void TForm1::N15Click()
{
    if (!openInTextEditor(QStringLiteral("network.out")))
        dialogs().message(this, QStringLiteral("Программа блокнот не найдена"));
}

void TForm1::N16Click()
{
    if (!openInTextEditor(QStringLiteral("network.rez")))
        dialogs().message(this, QStringLiteral("Программа блокнот не найдена"));
}

void TForm1::N18Click()
{
    dialogs().message(this, QStringLiteral("Tarvel  V2.0"), QMessageBox::Information);
}

void TForm1::N34Click()
{
    showHelp(this, 100);
}

void TForm1::showHelpForFocus()
{
    int context = 100;
    for (const QWidget* w = QApplication::focusWidget(); w; w = w->parentWidget()) {
        const QVariant value = w->property(kHelpContext);
        if (value.isValid()) {
            context = value.toInt();
            break;
        }
    }
    showHelp(this, context);
}

}  // namespace tarvel::ui
