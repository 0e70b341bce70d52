// The main window: the input document and the reports in tabbed text panes,
// the lower message pane, the toolbar, the main menu and the status bar.
//
// Widgets and actions carry their component names as object names ("N2",
// "TabSheet3", "Memo1", ...): that is how tests and users' scripts find them.
// The handlers change the window's state and call the calculation core; they
// hold no calculation of their own. The working files of the calculation live
// in the process's current directory.
//
// The class is written in one file per job:
//   MainWindow.cpp             construction, tabs, lower pane, editing state
//   MainWindowDocument.cpp     document commands, recent files, setCurrentFile
//   MainWindowCalculation.cpp  power flow, loss analysis, loss allocation
//   MainWindowEdit.cpp         edit, font, export, help, about; the status bar
//   MainWindowSettings.cpp     settings at start and exit, parameters dialog
//   InterchangeCommands.cpp    import of MATPOWER and IEEE CDF cases, CSV export
//   MainWindowDiagram.cpp      the "Схема" tab: showing a run, exports, records
//   MainWindowSeries.cpp       the load profile run and its "График" tab
//
// Menu entry → handler:
//   "Файл"       "Создать" N3 (toolbar 2)        newDocument
//                "Открыть..." N4 (toolbar 3)     openDocument
//                "Импорт..." N35                 importCase
//                "Сохранить" N10 (toolbar 1)     saveDocument
//                "Сохранить как..." N11          saveDocumentAs
//                recent files N30, N31, N32      openRecentFile(0..2)
//                "Выход" N12                     exitProgram
//   "Правка"     N6, N7, N8, N9                  cutText, copyText, pasteText, selectAllText
//                Undo1, Redo1 (Ctrl+Z, Ctrl+Shift+Z) undoText, redoText
//                Find1, FindNext1 (Ctrl+F, F3 in the input tab) findText, findNextText
//   "Расчет"     "Потокораспределение" N2        calculatePowerFlow
//                "Анализ потерь" N22             showLossAnalysis
//                "Разделение потерь" N27         allocateLossesToLoads
//                "Расчет по графику нагрузки..." ProfileRun1  calculateLoadProfile
//                "Анализ отключений (N-1)..." Contingency1  analyseContingencies (ui/MainWindowContingency.cpp)
//   "Экспорт"    "В блокнот" N15, N16            exportEchoToEditor, exportResultsToEditor
//                "Результаты в CSV..." N36       exportResultsToCsv
//                "Схема в SVG..." DiagramSvg1    exportDiagramSvg
//                "Схема в PNG..." DiagramPng1    exportDiagramPng
//                "График в PNG..." ChartPng1     exportChartPng
//                "График в SVG..." ChartSvg1     exportChartSvg
//   "Настройки"  "Параметры расчета..." N25      editParameters
//                "Шрифт..." N33                  choosePaneFont
//   "Справка"    "О программе" N18               showAbout
//                "Помощь" N34, F1                showHelpContents, showHelpForFocus
#pragma once

#include <array>
#include <memory>
#include <string>

#include <QMainWindow>
#include <QString>

#include "app/CaseImport.h"
#include "model/Calculation.h"
#include "study/StudyInput.h"
#include "ui/SettingsFile.h"

namespace tarvel::app {
struct CalculationResult;
}

class QAction;
class QFrame;
class QLabel;
class QMenu;
class QSplitter;
class QTabWidget;
class QToolButton;

namespace tarvel {
struct NetworkResults;
struct LoadOverride;
class SeriesJob;
}

namespace tarvel::ui {

class ContingencyPage;
struct ProfileRequest;
class DiagramPage;
class SeriesPage;
class TextPane;
class TForm2;

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

    // "Открыть..." after its dialog, a recent file, the command line: opens
    // path as the input document and (RecentList::Add) puts it first among
    // the recent files; a file that cannot be read is told.
    enum class RecentList { Add, Keep };
    void openFile(const QString& path, RecentList recent = RecentList::Add);

    // The caption of the input tab while the document has no file.
    static QString untitledCaption();
    // The input tab's caption as the user reads it.
    QString inputCaption() const;
    // Panel 0..2 of the status bar.
    QString statusPanelText(int panel) const;
    // The lower pane and the splitter above it.
    bool isLowerPaneShown() const;
    // The network model of the last run and the calculation settings.
    Calculation& calculation() { return calculation_; }
    // Says in the status bar, for the whole run, where this window keeps its
    // working files when that is not the folder asked for.
    void showWorkingFolderNotice(const QString& text);
    QString workingFolderNoticeText() const;

    // Content area: the tab control with the five pages and their panes.
    QFrame* Panel2 = nullptr;
    QTabWidget* PageControl1 = nullptr;
    QWidget* TabSheet1 = nullptr;
    QWidget* TabSheet2 = nullptr;
    QWidget* TabSheet3 = nullptr;
    QWidget* TabSheet4 = nullptr;
    QWidget* TabSheet5 = nullptr;
    TextPane* Memo1 = nullptr;  // the input document
    TextPane* Memo2 = nullptr;  // network.out
    TextPane* Memo3 = nullptr;  // network.rez
    TextPane* Memo5 = nullptr;  // network.rip
    TextPane* Memo6 = nullptr;  // losses.rez
    QWidget* TabSheet6 = nullptr;     // "Схема"
    DiagramPage* Diagram1 = nullptr;  // the network diagram
    QWidget* TabSheet7 = nullptr;     // "График"
    SeriesPage* Chart1 = nullptr;     // the steps of the last load profile run
    QWidget* TabSheet8 = nullptr;            // "Отключения"
    ContingencyPage* Contingency1Page = nullptr;  // the contingency study
    QFrame* ToolBar1 = nullptr;
    QToolButton* ToolButton1 = nullptr;  // "Сохранить"
    QToolButton* ToolButton2 = nullptr;  // "Создать"
    QToolButton* ToolButton3 = nullptr;  // "Открыть..."
    // Lower message pane below the splitter.
    QSplitter* MainSplitter = nullptr;
    QWidget* Splitter1 = nullptr;  // the splitter's handle
    QFrame* Panel1 = nullptr;
    TextPane* Memo4 = nullptr;
    QWidget* StatusBar1 = nullptr;

    // Menus and their entries.
    QMenu* Afqk1 = nullptr;  // "Файл"
    QAction* N3 = nullptr;
    QAction* N4 = nullptr;
    QAction* N35 = nullptr;  // "Импорт..."
    QAction* N10 = nullptr;
    QAction* N11 = nullptr;
    QAction* N28 = nullptr;
    QAction* N30 = nullptr;
    QAction* N31 = nullptr;
    QAction* N32 = nullptr;
    QAction* N29 = nullptr;
    QAction* N12 = nullptr;
    QMenu* N5 = nullptr;  // "Правка"
    QAction* N6 = nullptr;
    QAction* N7 = nullptr;
    QAction* N8 = nullptr;
    QAction* N9 = nullptr;
    QAction* Undo1 = nullptr;
    QAction* Redo1 = nullptr;
    QAction* Find1 = nullptr;
    QAction* FindNext1 = nullptr;
    QMenu* N1 = nullptr;  // "Расчет"
    QAction* N2 = nullptr;
    QAction* N22 = nullptr;
    QAction* N27 = nullptr;
    QAction* ProfileRun1 = nullptr;  // "Расчет по графику нагрузки..."
    QAction* Contingency1 = nullptr;  // "Анализ отключений (N-1)..."
    QMenu* N13 = nullptr;  // "Экспорт"
    QMenu* N14 = nullptr;  // "В блокнот"
    QAction* N15 = nullptr;
    QAction* N16 = nullptr;
    QAction* N36 = nullptr;  // "Результаты в CSV..."
    QAction* DiagramSvg1 = nullptr;
    QAction* DiagramPng1 = nullptr;
    QAction* ChartPng1 = nullptr;
    QAction* ChartSvg1 = nullptr;
    QMenu* N24 = nullptr;  // "Настройки"
    QAction* N25 = nullptr;
    QAction* N33 = nullptr;
    QMenu* N17 = nullptr;  // "Справка"
    QAction* N18 = nullptr;
    QAction* N34 = nullptr;

    TForm2* Form2 = nullptr;

    // The file that Save writes, empty while the document has none; the
    // three recent files.
    QString CurrentFileName;
    std::array<QString, 3> RecentFiles;

public slots:
    // Document commands.
    void newDocument();
    void openDocument();
    void openRecentFile(int slot);  // slot 0..2
    void importCase();
    void exitProgram();
    // Calculation commands.
    void calculatePowerFlow();
    void showLossAnalysis();
    void allocateLossesToLoads();
    void calculateLoadProfile();
    void analyseContingencies();
    // A row of the outage table double-clicked: that outage on "Схема".
    void showOutageOnDiagram(int outage);
    // Edit, settings, export and help commands.
    void cutText();
    void copyText();
    void pasteText();
    void selectAllText();
    void undoText();
    void redoText();
    // Asks for a text and selects its next occurrence in the input pane.
    void findText();
    void findNextText();
    void exportEchoToEditor();
    void exportResultsToEditor();
    void exportResultsToCsv();
    void exportDiagramSvg();
    void exportDiagramPng();
    void exportChartPng();
    void exportChartSvg();
    void showAbout();
    void editParameters();
    void choosePaneFont();
    void showHelpContents();

    // The handlers that scripts call by their component names.
    void N22Click() { showLossAnalysis(); }
    void N25Click() { editParameters(); }

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    enum class SaveResult { Saved, Cancelled, Failed };
    // Tab pages in tab order.
    enum Page {
        InputPage = 0,
        EchoPage = 1,
        ResultsPage = 2,
        AnalysisPage = 3,
        AllocationPage = 4,
        DiagramTab = 5,
        ChartTab = 6,
        ContingencyTab = 7
    };
    class WindowSink;

    void createPanes();
    void createMenus();
    void createToolBar();
    void createStatusBar();
    void connectStatusEvents();
    void Form1Create(bool unwritableFolderTold, const QString& settingsPath);
    void Form1Close();

    void EnterEditingState();
    bool AskSaveChanges();  // false: the command is abandoned
    // With results shown, asks whether new input may replace them; false:
    // the command is abandoned.
    bool AskDiscardResults();
    SaveResult saveDocument();
    SaveResult saveDocumentAs();
    // The one place that binds the document to a file (empty: no file yet):
    // the file Save writes, the input tab's caption, the modified flag.
    void setCurrentFile(const QString& fileName);
    void AddRecentFile(const QString& path);
    void ShowRecentFiles();
    // The file an export proposes: the document's name with suffix, in the
    // document's folder ("network" in the working folder for a document
    // without a file).
    QString proposedExportPath(const QString& suffix) const;

    void hideResultTabs();
    void createDiagramPage();
    // The power flow of the input tab, with loads replaced when given.
    void runCalculation(const LoadOverride& loads);
    // The "График" tab and its menu entries.
    void createSeriesPage();
    void addSeriesEntries();
    // Loads the reports of one step of the chart's run.
    void showProfileStep(int index);
    void createContingencyPage();
    // The limits and (with the N-1) the outages of a run over a load
    // profile, read into the job; false when a file cannot be taken (told).
    bool takeStudyFiles(const ProfileRequest& request, SeriesJob& job);
    // Shows the "Схема" tab for the run that just read the input.
    void showRunDiagram(const app::CalculationResult& run);
    // Selects a record of the input pane and brings the pane forward.
    void selectInputLine(int line);
    void selectNodeRecord(int record);
    void selectBranchRecord(int record);
    QString diagramExportPath(const QString& format);
    void tellFileNotCreated(const QString& path);
    void activatePage(int index);
    TextPane* activePane() const;
    TextPane* paneOfPage(int index) const;
    std::array<TextPane*, 6> allPanes() const;
    void showLowerPane();
    void hideLowerPane();

    // Reads a file whole; tells the user and returns false when it cannot.
    bool readPaneFile(const QString& fileName, std::string& bytes);
    // Loads a Windows-1251 file into a pane; tells the user and returns false
    // when the file cannot be read.
    bool loadPane(TextPane* pane, const QString& fileName);
    // Loads a document into the input pane. A file that is not Windows-1251
    // text is told first: UTF-8 text is offered to be converted, a file that
    // is not text is opened only when the user insists.
    enum class DocumentLoad { NotLoaded, AsIs, Converted };
    DocumentLoad loadDocument(const QString& fileName);
    // Writes a pane to a file in Windows-1251 without ever leaving a cut-off
    // file behind; tells the user and returns false when it cannot.
    bool savePane(TextPane* pane, const QString& fileName);

    void showHelpForFocus();

    // The status bar: the caret and the modified mark of a pane, after a key
    // or a mouse event in it, its tab page shown, entered or clicked, and
    // (the input pane) a search or a resize of the window.
    void showCaretStatus(TextPane* pane);
    void showCaretStatusOfPage(int index);

    std::array<QLabel*, 3> statusPanels_{};
    QLabel* workingFolderPanel_ = nullptr;
    QString textToFind_;
    std::unique_ptr<SettingsFile> settings_;
    WindowSettings windowSettings_;
    int lowerPaneHeight_ = 77;
    bool shownOnce_ = false;
    std::unique_ptr<NetworkResults> lastResults_;
    // The levels that the import of the document wrote on a raised base;
    // empty for a document that was not imported.
    app::RaisedBases importedRaisedBases_;
    // The buses' areas (for a load profile by areas) and what a study takes
    // from the imported case (its branch ratings and branch rows).
    std::vector<CduConversion::BusArea> importedBusAreas_;
    CaseStudyData importedCaseData_;
    Calculation calculation_;
    std::shared_ptr<const SeriesJob> seriesJob_;  // the load profile run the chart shows
};

}  // namespace tarvel::ui
