// The main window: builds the menus, the toolbar and the status bar and wires
// them to the objects that do each job:
//   DocumentController  the input document, its file, recent files, the
//                       questions before edits or results are lost
//   ReportTabs          the tab row: which tabs show, the reports of a run
//   LowerPane           the message pane below the tabs
//   DiagramPage         the "Схема" tab
//   SeriesTab           "Расчет по графику нагрузки..." and its "График" tab
//   ContingencyTab      "Анализ отключений (N-1)..." and its "Отключения" tab
// Its own handlers change the window's state and call the application layer;
// they hold no calculation of their own. The working files of the
// calculation live in the process's current directory.
//
// Widgets and actions carry their component names as object names ("N2",
// "TabSheet3", "Memo1", ...): that is how tests and users' scripts find them.
//   "Файл"       N3 "Создать" (toolbar ToolButton2), N4 "Открыть..." (ToolButton3),
//                N35 "Импорт...", N10 "Сохранить" (ToolButton1), N11 "Сохранить как...",
//                N28, N30, N31, N32, N29 the recent files, N12 "Выход"
//   "Правка" N5  N6, N7, N8, N9, Undo1, Redo1, Find1, FindNext1 (Ctrl+F, F3 in the input tab)
//   "Расчет" N1  N2 "Потокораспределение" (F9), N22 "Анализ потерь", N27 "Разделение потерь",
//                ProfileRun1 "Расчет по графику нагрузки...", Contingency1 "Анализ отключений (N-1)..."
//   "Экспорт" N13  N14 "В блокнот" (N15, N16), N36 "Результаты в CSV...",
//                DiagramSvg1, DiagramPng1, ChartPng1, ChartSvg1
//   "Настройки" N24  N25 "Параметры расчета...", N33 "Шрифт..."
//   "Справка" N17  N18 "О программе", N34 "Помощь" (F1: the topic of the focus)
//   Tabs "PageControl1": TabSheet1..5 with Memo1 (input), Memo2, Memo3, Memo5, Memo6;
//   TabSheet6 "Diagram1", TabSheet7 "Chart1", TabSheet8 "Contingency1Page"; toolbar "ToolBar1";
//   "Panel1" with "Memo4" below the handle "Splitter1" of "MainSplitter"; "StatusBar1".
#pragma once

#include <array>
#include <memory>
#include <string>

#include <QMainWindow>
#include <QString>
#include <QStringList>

#include "model/Calculation.h"
#include "ui/FileFolders.h"
#include "ui/ImportedInput.h"
#include "ui/SettingsFile.h"

namespace tarvel::app {
struct CalculationResult;
}

class QAction;
class QFrame;
class QLabel;
class QMenu;
class QToolButton;

namespace tarvel {
struct NetworkResults;
struct LoadOverride;
}

namespace tarvel::ui {

class ContingencyTab;
class DiagramPage;
class DocumentController;
class LowerPane;
class ReportTabs;
class SeriesTab;
class TextPane;
class TForm2;
class TablesPage;

class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    // unwritableFolderTold: the user has been told at start that nothing can
    // be written in the working folder, so the settings file's own messages
    // about it are not repeated. settingsPath: the settings file, by default
    // Vetrasol.ini in the working folder.
    explicit TForm1(QWidget* parent = nullptr, bool unwritableFolderTold = false,
                    const QString& settingsPath = QString());
    ~TForm1() override;

    // Creates the parameters dialog, hidden; the program does it right after
    // creating the window (N25Click creates it itself if nobody did).
    void createParametersDialog();
    // The document named on the command line, opened as "Открыть..." opens it.
    void openFile(const QString& path);
    DocumentController& document() const { return *document_; }

    // The program's own caption, which the title bar starts with.
    static QString programCaption();
    // The input tab's caption as the user reads it.
    QString inputCaption() const;
    // Panel 0..2 of the status bar.
    QString statusPanelText(int panel) const;
    bool isLowerPaneShown() const;
    // The network model of the last run and the calculation settings.
    Calculation& calculation() { return calculation_; }
    // Says in the status bar, for the whole run, where this window keeps its
    // working files when that is not the folder asked for.
    void showWorkingFolderNotice(const QString& text);
    QString workingFolderNoticeText() const;

    // The handlers that scripts call by their component names.
    void N22Click() { showLossAnalysis(); }
    void N25Click() { editParameters(); }

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    class WindowSink;

    void createPanes();
    void createToolBar();
    void createMenus();
    void createStatusBar();
    void connectDocument();
    void loadSettings(bool unwritableFolderTold, const QString& settingsPath);
    void saveSettings();

    // The title bar: the program's caption, the document's name, the mark
    // of unsaved edits.
    void showDocumentInTitle(const QString& caption);
    // With an N-1 study running, whether it may be stopped to do `then`
    // ("закрыть окно"); true without one.
    bool mayStopStudy(const QString& then);
    // A new document is about to be shown: the editing menus and tabs.
    void enterEditingState();
    // Another document replaced the input: its results and imported data go.
    void hideResultTabs();
    TextPane* inputPane() const;

    // "Файл" → "Импорт...".
    void importCase();
    // Imports the case read from path: the document becomes its text, the
    // summary shows in the lower pane; false when it was not imported (told).
    bool importCaseBytes(const QString& path, const std::string& bytes);
    // "Расчет".
    void calculatePowerFlow();
    // The power flow of the input tab, with loads replaced when given.
    void runCalculation(const LoadOverride& loads);
    // Shows what a run gave: its reports, or the error list of refused data.
    void showRun(app::CalculationResult& run, const QStringList& warnings);
    void showLossAnalysis();
    void allocateLossesToLoads();
    // "Правка".
    void findText();
    void findNextText();
    // "Экспорт".
    void openReportInEditor(const char* report);
    void exportResultsToCsv();
    void exportDiagramSvg();
    void exportDiagramPng();
    // "Настройки".
    void editParameters();
    void choosePaneFont();
    void showHelpForFocus();

    // The "Схема" tab.
    void createDiagramPage();
    // Shows the "Схема" tab for the run that just read the input.
    void showRunDiagram(const app::CalculationResult& run);
    // Selects a record of the input pane and brings the pane forward.
    void selectInputLine(int line);
    void selectNodeRecord(int record);
    void selectBranchRecord(int record);
    QString diagramExportPath(const QString& format);
    // The "Таблицы" tab over the input document, linked to the diagram.
    void createTablesPage();
    void showResultsInTables();
    // "Таблицы узлов и ветвей": the tab shown, forward.
    void showTablesPage();
    // The grid of a record chosen on the diagram, forward when the tables are open.
    void showTablesRow(QWidget* grid);
    // The status bar: the caret and the modified mark of a pane, after a key
    // or a mouse event in it, its tab page shown, entered or clicked, and
    // (the input pane) a search or a resize of the window.
    void showCaretStatus(TextPane* pane);

    // Before every part that opens a file dialog.
    FileFolders folders_;
    ReportTabs* reportTabs_ = nullptr;
    LowerPane* lowerPane_ = nullptr;
    DocumentController* document_ = nullptr;
    DiagramPage* diagramPage_ = nullptr;
    SeriesTab* seriesTab_ = nullptr;
    ContingencyTab* contingencyTab_ = nullptr;
    TablesPage* tablesPage_ = nullptr;
    TForm2* parametersDialog_ = nullptr;

    QLabel* startHint_ = nullptr;
    QFrame* toolBar_ = nullptr;
    QToolButton* saveButton_ = nullptr;
    QMenu* editMenu_ = nullptr;
    QMenu* calculationMenu_ = nullptr;
    QMenu* exportMenu_ = nullptr;
    QAction* saveAction_ = nullptr;
    QAction* saveAsAction_ = nullptr;
    QAction* calculateAction_ = nullptr;
    QAction* lossAnalysisAction_ = nullptr;
    QAction* lossAllocationAction_ = nullptr;
    QAction* contingencyAction_ = nullptr;
    QAction* diagramSvgAction_ = nullptr;
    QAction* diagramPngAction_ = nullptr;
    QAction* chartPngAction_ = nullptr;
    QAction* chartSvgAction_ = nullptr;

    std::array<QLabel*, 3> statusPanels_{};
    QLabel* workingFolderPanel_ = nullptr;
    QString textToFind_;
    std::unique_ptr<SettingsFile> settings_;
    WindowSettings windowSettings_;
    bool shownOnce_ = false;
    std::unique_ptr<NetworkResults> lastResults_;
    ImportedInput imported_;
    Calculation calculation_;
};

}  // namespace tarvel::ui
