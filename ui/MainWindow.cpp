#include "ui/MainWindow.h"

#include "powerflow/NetworkResults.h"
#include "powerflow/PowerFlowRun.h"

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
#include <QTextDocument>
#include <QToolButton>
#include <QVBoxLayout>

#include "ui/ContingencyTab.h"
#include "ui/DiagramPage.h"
#include "model/WorkingFiles.h"
#include "ui/Dialogs.h"
#include "ui/DocumentController.h"
#include "ui/Help.h"
#include "ui/LowerPane.h"
#include "ui/ReportTabs.h"
#include "ui/SeriesTab.h"
#include "ui/TextPane.h"
#include "ui/WindowPlacement.h"
#include "ui/WindowText.h"

namespace tarvel::ui {

TForm1::TForm1(QWidget* parent, bool unwritableFolderTold, const QString& settingsPath) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(programCaption());
    setProperty(kHelpContext, 100);
    setMinimumSize(600, 130);
    resize(716, 534);

    createPanes();
    createToolBar();
    createMenus();
    connectDocument();
    createStatusBar();

    auto* help = new QAction(this);
    help->setObjectName(QStringLiteral("HelpKey"));
    help->setShortcut(QKeySequence(Qt::Key_F1));
    help->setShortcutContext(Qt::WindowShortcut);
    connect(help, &QAction::triggered, this, &TForm1::showHelpForFocus);
    addAction(help);

    loadSettings(unwritableFolderTold, settingsPath.isEmpty() ? SettingsFile::defaultPath() : settingsPath);
    placeOnScreen(this, size());
    if (windowSettings_.position)
        restorePosition(this, *windowSettings_.position);
}

TForm1::~TForm1() = default;

void TForm1::createPanes()
{
    auto* splitter = new QSplitter(Qt::Vertical, this);
    splitter->setObjectName(QStringLiteral("MainSplitter"));
    splitter->setChildrenCollapsible(false);
    splitter->setHandleWidth(3);
    setCentralWidget(splitter);

    auto* content = new QFrame(splitter);
    content->setObjectName(QStringLiteral("Panel2"));
    content->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    content->setLineWidth(1);
    auto* contentLayout = new QVBoxLayout(content);
    contentLayout->setContentsMargins(1, 1, 1, 1);
    reportTabs_ = new ReportTabs(content, DocumentController::untitledCaption());
    contentLayout->addWidget(reportTabs_->widget());
    // Until the first document the content area says where to begin.
    startHint_ = new QLabel(QStringLiteral("С чего начать:\n\n"
                                           "• открыть пример сети: «Файл» → «Открыть...» (Ctrl+O),\n"
                                           "   примеры — на боковой панели окна открытия;\n"
                                           "• импортировать случай MATPOWER или IEEE CDF: «Файл» → «Импорт...»;\n"
                                           "• набрать сеть в формате ЦДУ: «Файл» → «Создать» (Ctrl+N).\n\n"
                                           "Расчет — клавиша F9, справка — F1."),
                            content);
    startHint_->setObjectName(QStringLiteral("StartHint"));
    // Read as a hint: grey, its lines flush left in a block in the middle.
    QPalette hintColours = startHint_->palette();
    hintColours.setColor(QPalette::WindowText, QColor(0x55, 0x55, 0x55));
    startHint_->setPalette(hintColours);
    startHint_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    contentLayout->addWidget(startHint_, 1, Qt::AlignCenter);
    reportTabs_->inputPane()->setPlaceholderText(
        QStringLiteral("Наберите данные сети в формате ЦДУ: по записи в строке, начиная с базисного узла "
                       "(0102 ...), затем узлы (0201 ...) и ветви (0301 ...). Пример записей — в файлах "
                       "«Файл» → «Открыть...», описание формата — в справке (F1)."));
    splitter->addWidget(content);
    lowerPane_ = new LowerPane(splitter);
    createDiagramPage();
    seriesTab_ = new SeriesTab(this, *reportTabs_, *lowerPane_, calculation_, imported_, folders_,
                               [this](const LoadOverride& loads) { runCalculation(loads); });
    contingencyTab_ = new ContingencyTab(this, *reportTabs_, *diagramPage_, calculation_, imported_, folders_);
    createTablesPage();
}

void TForm1::createToolBar()
{
    toolBar_ = new QFrame;
    toolBar_->setObjectName(QStringLiteral("ToolBar1"));
    toolBar_->setFixedSize(129, 24);
    auto* layout = new QHBoxLayout(toolBar_);
    layout->setContentsMargins(2, 0, 2, 0);
    layout->setSpacing(0);
    auto makeButton = [&](const char* name, const QString& caption, QStyle::StandardPixmap icon) {
        auto* button = new QToolButton(toolBar_);
        button->setObjectName(QLatin1String(name));
        button->setText(caption);
        button->setIcon(style()->standardIcon(icon));
        button->setToolButtonStyle(Qt::ToolButtonIconOnly);
        button->setAutoRaise(true);
        button->setFixedSize(23, 22);
        layout->addWidget(button);
        return button;
    };
    saveButton_ = makeButton("ToolButton1", QStringLiteral("Сохранить"), QStyle::SP_DialogSaveButton);
    auto* newButton = makeButton("ToolButton2", QStringLiteral("Создать"), QStyle::SP_FileIcon);
    auto* openButton = makeButton("ToolButton3", QStringLiteral("Открыть..."), QStyle::SP_DialogOpenButton);
    openButton->setToolTip(QStringLiteral("Открыть файл исх. данных"));
    layout->addStretch(1);
    connect(saveButton_, &QToolButton::clicked, this, [this] { document_->save(); });
    connect(newButton, &QToolButton::clicked, this, [this] { document_->newDocument(); });
    connect(openButton, &QToolButton::clicked, this, [this] { document_->openDocument(); });
    saveButton_->hide();

    // Floats over the right end of the tab row.
    reportTabs_->widget()->setCornerWidget(toolBar_, Qt::TopRightCorner);
    toolBar_->hide();
}

void TForm1::createMenus()
{
    // Captions carry their Alt+letter mnemonics ('&' before the letter),
    // distinct within each menu and within the menu bar.
    auto menu = [&](QMenu* parent, const char* name, const QString& title) {
        QMenu* m = parent ? parent->addMenu(title) : menuBar()->addMenu(title);
        m->setObjectName(QLatin1String(name));
        m->menuAction()->setObjectName(QLatin1String(name));
        return m;
    };
    // handler: a member of the window, a function of no arguments, or nullptr.
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
    const QToolButton* saveButton = saveButton_;
    const auto* newButton = toolBar_->findChild<QToolButton*>(QStringLiteral("ToolButton2"));
    const auto* openButton = toolBar_->findChild<QToolButton*>(QStringLiteral("ToolButton3"));

    QMenu* file = menu(nullptr, "Afqk1", QStringLiteral("&Файл"));
    entry(file, "N3", QStringLiteral("&Создать"), [this] { document_->newDocument(); }, QKeySequence::New)
        ->setIcon(newButton->icon());
    QAction* open = entry(file, "N4", QStringLiteral("&Открыть..."), [this] { document_->openDocument(); },
                          QKeySequence::Open);
    open->setIcon(openButton->icon());
    open->setToolTip(QStringLiteral("Открыть файл исх. данных"));
    entry(file, "N35", QStringLiteral("&Импорт..."), &TForm1::importCase)
        ->setToolTip(QStringLiteral("Открыть случай MATPOWER или IEEE CDF как новые исх. данные"));
    saveAction_ = entry(file, "N10", QStringLiteral("Со&хранить"), [this] { document_->save(); }, QKeySequence::Save);
    saveAction_->setIcon(saveButton->icon());
    saveAsAction_ = entry(file, "N11", QStringLiteral("Сохранить &как..."), [this] { document_->saveAs(); },
                          QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    DocumentController::RecentEntries recent;
    recent.separatorAbove = separator(file, "N28");
    // The slots fill from the first, so the newest file is in the last one
    // filled: the menu lists them from the third up, newest first.
    QAction* third = entry(file, "N32", QStringLiteral("Третий файл"), nullptr);
    QAction* second = entry(file, "N31", QStringLiteral("Второй файл"), nullptr);
    QAction* first = entry(file, "N30", QStringLiteral("Первый файл"), nullptr);
    recent.files = {first, second, third};
    recent.separatorBelow = separator(file, "N29");
    entry(file, "N12", QStringLiteral("В&ыход"), [this] { close(); }, QKeySequence(Qt::CTRL | Qt::Key_Q));  // closeEvent asks about unsaved edits
    for (QAction* hidden : {saveAction_, saveAsAction_, recent.separatorAbove, recent.files[0], recent.files[1],
                            recent.files[2], recent.separatorBelow})
        hidden->setVisible(false);
    document_ = new DocumentController(this, inputPane(), recent,
                                       [this] { return reportTabs_->isShown(ReportTabs::Results); }, folders_);

    // The edit commands act on the pane of the tab shown.
    const auto onActivePane = [this](void (QPlainTextEdit::*command)()) {
        return [this, command] {
            if (TextPane* pane = reportTabs_->activePane())
                (pane->*command)();
        };
    };
    editMenu_ = menu(nullptr, "N5", QStringLiteral("&Правка"));
    entry(editMenu_, "N6", QStringLiteral("Вы&резать"), onActivePane(&QPlainTextEdit::cut),
          QKeySequence(Qt::SHIFT | Qt::Key_Delete));
    entry(editMenu_, "N7", QStringLiteral("&Копировать"), onActivePane(&QPlainTextEdit::copy),
          QKeySequence(Qt::CTRL | Qt::Key_Insert));
    entry(editMenu_, "N8", QStringLiteral("Вст&авить"), onActivePane(&QPlainTextEdit::paste),
          QKeySequence(Qt::SHIFT | Qt::Key_Insert));
    entry(editMenu_, "N9", QStringLiteral("Выделить &все"), onActivePane(&QPlainTextEdit::selectAll),
          QKeySequence(Qt::Key_F5));
    separator(editMenu_, "N37");
    // Undo and redo tell the bar at once: back at the text as loaded or
    // saved, the mark goes, whether the key or the menu undid the edit.
    const auto onActivePaneTold = [this](void (QPlainTextEdit::*command)()) {
        return [this, command] {
            if (TextPane* pane = reportTabs_->activePane()) {
                (pane->*command)();
                showCaretStatus(pane);
            }
        };
    };
    entry(editMenu_, "Undo1", QStringLiteral("&Отменить"), onActivePaneTold(&QPlainTextEdit::undo),
          QKeySequence(Qt::CTRL | Qt::Key_Z));
    entry(editMenu_, "Redo1", QStringLiteral("&Повторить"), onActivePaneTold(&QPlainTextEdit::redo),
          QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
    separator(editMenu_, "N38");
    QAction* find = entry(editMenu_, "Find1", QStringLiteral("&Найти..."), &TForm1::findText, QKeySequence::Find);
    QAction* findNext =
        entry(editMenu_, "FindNext1", QStringLiteral("Найти &далее"), &TForm1::findNextText, QKeySequence::FindNext);
    // The keys search the input tab; on the "Схема" tab Ctrl+F finds a node.
    for (QAction* a : {find, findNext}) {
        a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        reportTabs_->widget()->widget(ReportTabs::Input)->addAction(a);
    }
    separator(editMenu_, "N39");
    entry(editMenu_, "Tables2", QStringLiteral("&Таблицы узлов и ветвей"), &TForm1::showTablesPage,
          QKeySequence(Qt::CTRL | Qt::Key_T));
    editMenu_->menuAction()->setVisible(false);

    calculationMenu_ = menu(nullptr, "N1", QStringLiteral("&Расчет"));
    calculateAction_ = entry(calculationMenu_, "N2", QStringLiteral("&Потокораспределение"), &TForm1::calculatePowerFlow);
    lossAnalysisAction_ = entry(calculationMenu_, "N22", QStringLiteral("&Анализ потерь"), &TForm1::showLossAnalysis);
    lossAllocationAction_ =
        entry(calculationMenu_, "N27", QStringLiteral("&Разделение потерь"), &TForm1::allocateLossesToLoads);
    contingencyAction_ = entry(calculationMenu_, "Contingency1", QStringLiteral("Анализ &отключений (N-1)..."),
                               [this] { contingencyTab_->analyse(); });
    connect(contingencyTab_, &ContingencyTab::studyRunning, contingencyAction_,
            [this](bool running) { contingencyAction_->setEnabled(!running); });
    entry(calculationMenu_, "ProfileRun1", QStringLiteral("Расчет по &графику нагрузки..."),
          [this] { seriesTab_->calculateLoadProfile(); });
    for (QAction* a : {lossAnalysisAction_, lossAllocationAction_, contingencyAction_})
        a->setEnabled(false);
    calculationMenu_->menuAction()->setVisible(false);

    exportMenu_ = menu(nullptr, "N13", QStringLiteral("&Экспорт"));
    QMenu* toEditor = menu(exportMenu_, "N14", QStringLiteral("&В блокнот"));
    entry(toEditor, "N15", QStringLiteral("&Исх. данные"), [this] { openReportInEditor(kEchoFile); });
    entry(toEditor, "N16", QStringLiteral("&Результаты"), [this] { openReportInEditor(kResultsFile); });
    entry(exportMenu_, "N36", QStringLiteral("&Результаты в CSV..."), &TForm1::exportResultsToCsv);
    diagramSvgAction_ = entry(exportMenu_, "DiagramSvg1", QStringLiteral("Схема в &SVG..."), &TForm1::exportDiagramSvg);
    diagramPngAction_ = entry(exportMenu_, "DiagramPng1", QStringLiteral("Схема в P&NG..."), &TForm1::exportDiagramPng);
    QAction* chartPng =
        entry(exportMenu_, "ChartPng1", QStringLiteral("&График в PNG..."), [this] { seriesTab_->exportPng(); });
    QAction* chartSvg =
        entry(exportMenu_, "ChartSvg1", QStringLiteral("Гр&афик в SVG..."), [this] { seriesTab_->exportSvg(); });
    for (QAction* chart : {chartPng, chartSvg}) {
        chart->setEnabled(false);
        connect(seriesTab_, &SeriesTab::chartShown, chart, [chart] { chart->setEnabled(true); });
    }
    exportMenu_->menuAction()->setVisible(false);

    QMenu* settings = menu(nullptr, "N24", QStringLiteral("&Настройки"));
    entry(settings, "N25", QStringLiteral("&Параметры расчета..."), &TForm1::editParameters);
    entry(settings, "N33", QStringLiteral("&Шрифт..."), &TForm1::choosePaneFont);

    QMenu* help = menu(nullptr, "N17", QStringLiteral("&Справка"));
    entry(help, "N18", QStringLiteral("&О программе"),
          [this] { dialogs().message(this, QStringLiteral("Tarvel  V2.0"), QMessageBox::Information); });
    entry(help, "N34", QStringLiteral("&Помощь"), [this] { showHelp(this, 100); });
}

void TForm1::connectDocument()
{
    connect(document_, &DocumentController::editingStarts, this, &TForm1::enterEditingState);
    connect(document_, &DocumentController::documentReplaced, this, [this] {
        hideResultTabs();
        reportTabs_->activate(ReportTabs::Input);
        inputPane()->setFocus();  // ready for typing
    });
    connect(document_, &DocumentController::captionChanged, reportTabs_, &ReportTabs::setInputCaption);
    connect(document_, &DocumentController::captionChanged, this, &TForm1::showDocumentInTitle);
    // Before the first document the title names none, and marks nothing.
    connect(inputPane()->document(), &QTextDocument::modificationChanged, this, [this](bool modified) {
        if (windowTitle().contains(QStringLiteral("[*]")))
            setWindowModified(modified);
    });
    document_->setCaseImporter(
        [this](const QString& path, const std::string& bytes) { return importCaseBytes(path, bytes); });
}

QString TForm1::programCaption()
{
    return QStringLiteral("Расчет потокораспределения электрической сети Tarvel 2.0");
}

void TForm1::showDocumentInTitle(const QString& caption)
{
    // "[*]" is where the toolkit marks unsaved edits.
    setWindowTitle(programCaption() + QStringLiteral(" — ") + caption + QStringLiteral("[*]"));
    setWindowModified(inputPane()->isModified());
}

void TForm1::openFile(const QString& path)
{
    document_->openFile(path);
}

TextPane* TForm1::inputPane() const
{
    return reportTabs_->inputPane();
}

QString TForm1::inputCaption() const
{
    return reportTabs_->inputCaption();
}

bool TForm1::isLowerPaneShown() const
{
    return lowerPane_->isShown();
}

void TForm1::enterEditingState()
{
    lowerPane_->hide();
    calculationMenu_->menuAction()->setVisible(true);
    // The key runs the calculation only while its menu is in sight.
    calculateAction_->setShortcut(QKeySequence(Qt::Key_F9));
    lossAnalysisAction_->setEnabled(false);
    lossAllocationAction_->setEnabled(false);
    contingencyAction_->setEnabled(false);
    exportMenu_->menuAction()->setVisible(false);
    editMenu_->menuAction()->setVisible(true);
    saveAction_->setVisible(true);
    saveAsAction_->setVisible(true);
    toolBar_->show();
    saveButton_->show();
    startHint_->hide();
    reportTabs_->widget()->show();
    for (TextPane* pane : reportTabs_->textPanes())
        pane->setModified(false);
    lowerPane_->pane()->setModified(false);
}

void TForm1::hideResultTabs()
{
    contingencyTab_->stop();
    reportTabs_->hideResults();
    diagramPage_->clear();  // the layouts stay in the session's cache
    // Every command that hides the results starts another document.
    imported_ = {};
}

}  // namespace tarvel::ui
