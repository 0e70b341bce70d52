#include "ui/MainWindow.h"

#include "powerflow/NetworkResults.h"

#include <type_traits>

#include <QAction>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include "ui/ContingencyPage.h"
#include "ui/DiagramPage.h"
#include "ui/TextPane.h"
#include "ui/WindowPlacement.h"
#include "ui/WindowText.h"

namespace tarvel::ui {

TForm1::TForm1(QWidget* parent, bool unwritableFolderTold, const QString& settingsPath) : QMainWindow(parent)
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

    Form1Create(unwritableFolderTold, settingsPath.isEmpty() ? SettingsFile::defaultPath() : settingsPath);
    placeOnScreen(this, size());
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

    struct PageInfo {
        QWidget** page;
        TextPane** pane;
        const char* pageName;
        const char* paneName;
        QString caption;
        int helpContext;
    };
    const PageInfo pages[] = {
        {&TabSheet1, &Memo1, "TabSheet1", "Memo1", untitledCaption(), 200},
        {&TabSheet2, &Memo2, "TabSheet2", "Memo2", QStringLiteral("Исх. данные"), 300},
        {&TabSheet3, &Memo3, "TabSheet3", "Memo3", QStringLiteral("Результаты"), 400},
        {&TabSheet4, &Memo5, "TabSheet4", "Memo5", QStringLiteral("Анализ потерь"), 300},
        {&TabSheet5, &Memo6, "TabSheet5", "Memo6", QStringLiteral("Составляющие потерь"), 300},
    };
    for (const PageInfo& info : pages) {
        auto* page = new QWidget;
        page->setObjectName(QLatin1String(info.pageName));
        page->setProperty(kHelpContext, info.helpContext);
        auto* layout = new QVBoxLayout(page);
        layout->setContentsMargins(0, 0, 0, 0);
        auto* pane = new TextPane(QLatin1String(info.paneName), page);
        pane->setProperty(kHelpContext, info.helpContext);
        layout->addWidget(pane);
        PageControl1->addTab(page, info.caption);
        *info.page = page;
        *info.pane = pane;
    }
    Memo1->setOemConvert(true);
    Memo2->setOemConvert(true);
    createDiagramPage();
    createSeriesPage();
    createContingencyPage();
    for (int i = EchoPage; i <= ContingencyTab; ++i)
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
    connect(ToolButton1, &QToolButton::clicked, this, &TForm1::saveDocument);
    connect(ToolButton2, &QToolButton::clicked, this, &TForm1::newDocument);
    connect(ToolButton3, &QToolButton::clicked, this, &TForm1::openDocument);
    ToolButton1->hide();

    // Floats over the right end of the tab row.
    PageControl1->setCornerWidget(ToolBar1, Qt::TopRightCorner);
    ToolBar1->hide();
}

void TForm1::createMenus()
{
    // Captions carry their Alt+letter mnemonics ('&' before the letter),
    // distinct within each menu and within the menu bar.
    auto menu = [&](const char* name, const QString& title) {
        QMenu* m = menuBar()->addMenu(title);
        m->setObjectName(QLatin1String(name));
        m->menuAction()->setObjectName(QLatin1String(name));
        return m;
    };
    auto entry = [&](QMenu* m, const char* name, const QString& caption, auto handler,
                     const QKeySequence& shortcut = QKeySequence()) {
        QAction* a = m->addAction(caption);
        a->setObjectName(QLatin1String(name));
        if (!shortcut.isEmpty())
            a->setShortcut(shortcut);
        if constexpr (!std::is_null_pointer_v<decltype(handler)>)
            connect(a, &QAction::triggered, this, handler);
        return a;
    };
    auto separator = [&](QMenu* m, const char* name) {
        QAction* a = m->addSeparator();
        a->setObjectName(QLatin1String(name));
        return a;
    };

    Afqk1 = menu("Afqk1", QStringLiteral("&Файл"));
    N3 = entry(Afqk1, "N3", QStringLiteral("&Создать"), &TForm1::newDocument, QKeySequence::New);
    N3->setIcon(ToolButton2->icon());
    N4 = entry(Afqk1, "N4", QStringLiteral("&Открыть..."), &TForm1::openDocument, QKeySequence::Open);
    N4->setIcon(ToolButton3->icon());
    N4->setToolTip(QStringLiteral("Открыть файл исх. данных"));
    N35 = entry(Afqk1, "N35", QStringLiteral("&Импорт..."), &TForm1::importCase);
    N35->setToolTip(QStringLiteral("Открыть случай MATPOWER или IEEE CDF как новые исх. данные"));
    N10 = entry(Afqk1, "N10", QStringLiteral("Со&хранить"), &TForm1::saveDocument, QKeySequence::Save);
    N10->setIcon(ToolButton1->icon());
    N11 = entry(Afqk1, "N11", QStringLiteral("Сохранить &как..."), &TForm1::saveDocumentAs);
    N28 = separator(Afqk1, "N28");
    N30 = entry(Afqk1, "N30", QStringLiteral("Первый файл"), nullptr);
    N31 = entry(Afqk1, "N31", QStringLiteral("Второй файл"), nullptr);
    N32 = entry(Afqk1, "N32", QStringLiteral("Третий файл"), nullptr);
    N29 = separator(Afqk1, "N29");
    N12 = entry(Afqk1, "N12", QStringLiteral("В&ыход"), &TForm1::exitProgram);
    const QAction* recent[3] = {N30, N31, N32};
    for (int slot = 0; slot < 3; ++slot)
        connect(recent[slot], &QAction::triggered, this, [this, slot] { openRecentFile(slot); });
    for (QAction* hidden : {N10, N11, N28, N30, N31, N32, N29})
        hidden->setVisible(false);

    N5 = menu("N5", QStringLiteral("&Правка"));
    N6 = entry(N5, "N6", QStringLiteral("Вы&резать"), &TForm1::cutText, QKeySequence(Qt::SHIFT | Qt::Key_Delete));
    N7 = entry(N5, "N7", QStringLiteral("&Копировать"), &TForm1::copyText, QKeySequence(Qt::CTRL | Qt::Key_Insert));
    N8 = entry(N5, "N8", QStringLiteral("Вст&авить"), &TForm1::pasteText, QKeySequence(Qt::SHIFT | Qt::Key_Insert));
    N9 = entry(N5, "N9", QStringLiteral("Выделить &все"), &TForm1::selectAllText, QKeySequence(Qt::Key_F5));
    separator(N5, "N37");
    Undo1 = entry(N5, "Undo1", QStringLiteral("&Отменить"), &TForm1::undoText, QKeySequence(Qt::CTRL | Qt::Key_Z));
    Redo1 = entry(N5, "Redo1", QStringLiteral("&Повторить"), &TForm1::redoText,
                  QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
    separator(N5, "N38");
    Find1 = entry(N5, "Find1", QStringLiteral("&Найти..."), &TForm1::findText, QKeySequence::Find);
    FindNext1 = entry(N5, "FindNext1", QStringLiteral("Найти &далее"), &TForm1::findNextText, QKeySequence::FindNext);
    // The keys search the input tab; on the "Схема" tab Ctrl+F finds a node.
    for (QAction* a : {Find1, FindNext1}) {
        a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        TabSheet1->addAction(a);
    }
    N5->menuAction()->setVisible(false);

    N1 = menu("N1", QStringLiteral("&Расчет"));
    N2 = entry(N1, "N2", QStringLiteral("&Потокораспределение"), &TForm1::calculatePowerFlow);
    N22 = entry(N1, "N22", QStringLiteral("&Анализ потерь"), &TForm1::showLossAnalysis);
    N27 = entry(N1, "N27", QStringLiteral("&Разделение потерь"), &TForm1::allocateLossesToLoads);
    Contingency1 = entry(N1, "Contingency1", QStringLiteral("Анализ &отключений (N-1)..."), &TForm1::analyseContingencies);
    N22->setEnabled(false);
    N27->setEnabled(false);
    Contingency1->setEnabled(false);
    N1->menuAction()->setVisible(false);

    N13 = menu("N13", QStringLiteral("&Экспорт"));
    N14 = N13->addMenu(QStringLiteral("&В блокнот"));
    N14->setObjectName(QStringLiteral("N14"));
    N14->menuAction()->setObjectName(QStringLiteral("N14"));
    N15 = entry(N14, "N15", QStringLiteral("&Исх. данные"), &TForm1::exportEchoToEditor);
    N16 = entry(N14, "N16", QStringLiteral("&Результаты"), &TForm1::exportResultsToEditor);
    N36 = entry(N13, "N36", QStringLiteral("&Результаты в CSV..."), &TForm1::exportResultsToCsv);
    DiagramSvg1 = entry(N13, "DiagramSvg1", QStringLiteral("Схема в &SVG..."), &TForm1::exportDiagramSvg);
    DiagramPng1 = entry(N13, "DiagramPng1", QStringLiteral("Схема в P&NG..."), &TForm1::exportDiagramPng);
    N13->menuAction()->setVisible(false);

    N24 = menu("N24", QStringLiteral("&Настройки"));
    N25 = entry(N24, "N25", QStringLiteral("&Параметры расчета..."), &TForm1::editParameters);
    N33 = entry(N24, "N33", QStringLiteral("&Шрифт..."), &TForm1::choosePaneFont);
    addSeriesEntries();

    N17 = menu("N17", QStringLiteral("&Справка"));
    N18 = entry(N17, "N18", QStringLiteral("&О программе"), &TForm1::showAbout);
    N34 = entry(N17, "N34", QStringLiteral("&Помощь"), &TForm1::showHelpContents);
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
    workingFolderPanel_ = new QLabel(bar);
    workingFolderPanel_->setObjectName(QStringLiteral("WorkingFolderPanel"));
    bar->addPermanentWidget(workingFolderPanel_);
    workingFolderPanel_->hide();
}

void TForm1::showWorkingFolderNotice(const QString& text)
{
    workingFolderPanel_->setText(text);
    workingFolderPanel_->setToolTip(text);
    workingFolderPanel_->setVisible(!text.isEmpty());
}

QString TForm1::workingFolderNoticeText() const
{
    return workingFolderPanel_->text();
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
        showCaretStatusOfPage(index);
}

void TForm1::hideResultTabs()
{
    Contingency1Page->stop();
    for (int i = EchoPage; i <= ContingencyTab; ++i)
        PageControl1->setTabVisible(i, false);
    Diagram1->clear();  // the layouts stay in the session's cache
    // Every command that hides the results starts another document.
    importedRaisedBases_.clear();
    importedBusAreas_.clear();
    importedCaseData_ = {};
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
    // The key runs the calculation only while its menu is in sight.
    N2->setShortcut(QKeySequence(Qt::Key_F9));
    N22->setEnabled(false);
    N27->setEnabled(false);
    Contingency1->setEnabled(false);
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

}  // namespace tarvel::ui
