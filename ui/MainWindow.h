// The main window: the input document and the reports in tabbed text panes,
// the lower message pane, the toolbar, the main menu and the status bar.
//
// Component names are the object names of the widgets and actions ("N2",
// "TabSheet3", "Memo1", ...), and every command is a handler named after its
// component (N2Click). The handlers change the window's state and call the
// calculation core; they hold no calculation of their own. The working files
// of the calculation live in the process's current directory.
#pragma once

#include <array>
#include <memory>

#include <QMainWindow>
#include <QString>

#include "ui/SettingsFile.h"

class QAction;
class QFrame;
class QLabel;
class QMenu;
class QSplitter;
class QTabWidget;
class QToolButton;

namespace tarvel::ui {

class TextPane;
class TForm2;

class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    // Creates the parameters dialog, hidden; the program does it right after
    // creating the window (N25Click creates it itself if nobody did).
    void createParametersDialog();

    // The caption of the input tab while the document has no file.
    static QString untitledCaption();
    // The input tab's caption as the user reads it.
    QString inputCaption() const;
    // Panel 0..2 of the status bar.
    QString statusPanelText(int panel) const;
    // The lower pane and the splitter above it.
    bool isLowerPaneShown() const;

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
    QMenu* N1 = nullptr;  // "Расчет"
    QAction* N2 = nullptr;
    QAction* N22 = nullptr;
    QAction* N27 = nullptr;
    QMenu* N13 = nullptr;  // "Экспорт"
    QMenu* N14 = nullptr;  // "В блокнот"
    QAction* N15 = nullptr;
    QAction* N16 = nullptr;
    QMenu* N24 = nullptr;  // "Настройки"
    QAction* N25 = nullptr;
    QAction* N33 = nullptr;
    QMenu* N17 = nullptr;  // "Справка"
    QAction* N18 = nullptr;
    QAction* N34 = nullptr;

    TForm2* Form2 = nullptr;

    // The file that Save writes; the three recent files.
    QString CurrentFileName;
    std::array<QString, 3> RecentFiles;

public slots:
    void N3Click();   // New
    void N4Click();   // Open
    void N10Click();  // Save
    void N11Click();  // Save as
    void N30Click();  // recent files 1..3
    void N31Click();
    void N32Click();
    void N12Click();  // Exit
    void N2Click();   // power flow
    void N22Click();  // loss analysis by district
    void N27Click();  // loss allocation
    void N6Click();   // cut
    void N7Click();   // copy
    void N8Click();   // paste
    void N9Click();   // select all
    void N15Click();  // input echo to the text editor
    void N16Click();  // results to the text editor
    void N18Click();  // about
    void N25Click();  // calculation parameters
    void N33Click();  // font
    void N34Click();  // help

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    enum class SaveResult { Saved, Cancelled, Failed };
    class WindowSink;

    void createPanes();
    void createMenus();
    void createToolBar();
    void createStatusBar();
    void connectStatusEvents();
    void Form1Create();
    void Form1Close();

    void EnterEditingState();
    bool AskSaveChanges();  // false: the command is abandoned
    SaveResult saveDocument();
    SaveResult saveDocumentAs();
    void openRecentFile(int slot);
    void AddRecentFile(const QString& path);
    void ShowRecentFiles();

    void hideResultTabs();
    void setInputCaption(const QString& caption);
    void activatePage(int index);
    TextPane* activePane() const;
    TextPane* paneOfPage(int index) const;
    std::array<TextPane*, 6> allPanes() const;
    void showLowerPane();
    void hideLowerPane();

    // Loads a Windows-1251 file into a pane; tells the user and returns false
    // when the file cannot be read.
    bool loadPane(TextPane* pane, const QString& fileName);
    // Writes a pane to a file in Windows-1251 without ever leaving a cut-off
    // file behind; tells the user and returns false when it cannot.
    bool savePane(TextPane* pane, const QString& fileName);

    void showHelpForFocus();

    // The status bar. One operation; the names say which event of which pane
    // runs it.
    void ShowCaretStatus(TextPane* pane);
    void StatBar1() { ShowCaretStatus(Memo1); }  // input pane: key
    void StatBar2() { ShowCaretStatus(Memo1); }  //   mouse, tab page click
    void StatBar3() { ShowCaretStatus(Memo1); }  //   tab shown or entered, window resize
    void StatBa37() { ShowCaretStatus(Memo2); }  // "Исх. данные": key
    void StatBa36() { ShowCaretStatus(Memo2); }  //   mouse
    void M2() { ShowCaretStatus(Memo2); }        //   tab shown or entered
    void StatBar4() { ShowCaretStatus(Memo3); }  // "Результаты": key
    void StatBar5() { ShowCaretStatus(Memo3); }  //   mouse
    void M3() { ShowCaretStatus(Memo3); }        //   tab shown or entered
    void Stat15() { ShowCaretStatus(Memo5); }    // "Анализ потерь": key
    void Stat25() { ShowCaretStatus(Memo5); }    //   mouse
    void M5() { ShowCaretStatus(Memo5); }        //   tab shown or entered
    void SMemo6() { ShowCaretStatus(Memo6); }    // "Составляющие потерь": key
    void SbMemo6() { ShowCaretStatus(Memo6); }   //   mouse
    void M6() { ShowCaretStatus(Memo6); }        //   tab shown or entered
    void Mem4key() { ShowCaretStatus(Memo4); }   // lower pane: key
    void Mem4Mouse() { ShowCaretStatus(Memo4); } //   mouse
    void pageShown(int index);
    void pageClicked(int index);

    std::array<QLabel*, 3> statusPanels_{};
    std::unique_ptr<SettingsFile> settings_;
    WindowSettings windowSettings_;
    int lowerPaneHeight_ = 77;
    bool shownOnce_ = false;
};

}  // namespace tarvel::ui
