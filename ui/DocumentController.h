// The input document of the main window: the file it belongs to, the three
// recent files, the questions asked before unsaved edits or the results shown
// are lost, and the commands that create, open and save it. Every way of
// opening a file ("Открыть...", a recent file, the command line) goes through
// openFile.
#pragma once

#include <array>
#include <functional>

#include <QObject>
#include <QString>

class QAction;
class QWidget;

namespace tarvel::ui {

class TextPane;

class DocumentController : public QObject {
    Q_OBJECT
public:
    // The "Файл" menu's entries of the recent files and the separators
    // around them.
    struct RecentEntries {
        QAction* separatorAbove = nullptr;
        std::array<QAction*, 3> files{};
        QAction* separatorBelow = nullptr;
    };
    // window: the parent of the dialogs. resultsShown: whether a run's
    // results are on screen, which new input would replace.
    DocumentController(QWidget* window, TextPane* inputPane, const RecentEntries& recentEntries,
                       std::function<bool()> resultsShown);

    // The caption of the input tab while the document has no file.
    static QString untitledCaption();

    // The file that "Сохранить" writes, empty while the document has none.
    const QString& currentFile() const { return currentFile_; }
    const std::array<QString, 3>& recentFiles() const { return recentFiles_; }
    // The recent files kept by the settings; present: which of them the
    // settings file named (the separators show when it named the first).
    void restoreRecentFiles(const std::array<QString, 3>& files, const std::array<bool, 3>& present);

    // Opens path as the input document and (RecentList::Add) puts it first
    // among the recent files; a file that cannot be read is told.
    enum class RecentList { Add, Keep };
    void openFile(const QString& path, RecentList recent = RecentList::Add);

    // Asks about unsaved edits; false: the command is abandoned.
    bool maybeSave();
    // maybeSave, then, with results shown, whether new input may replace
    // them; false: the command is abandoned.
    bool mayReplace();
    // Makes text (an imported case) the input document without a file,
    // marked as modified since it exists nowhere else.
    void takeUntitledText(const QString& text);

    // The file an export proposes: the document's name with suffix, in the
    // document's folder ("network" in the working folder for a document
    // without a file).
    QString proposedExportPath(const QString& suffix) const;

    enum class SaveResult { Saved, Cancelled, Failed };

public slots:
    // "Создать", "Открыть...", a recent file by its place 0..2.
    void newDocument();
    void openDocument();
    void openRecentFile(int slot);
    // "Сохранить" ("Сохранить как..." for a document without a file).
    SaveResult save();
    SaveResult saveAs();

signals:
    // A command is about to put a new document into the input pane: the
    // window shows its editing menus and tabs.
    void editingStarts();
    // The input pane holds another document: the results of the former are
    // gone and the input comes forward.
    void documentReplaced();
    // The input tab's caption: the file's name, or untitledCaption().
    void captionChanged(const QString& caption);

private:
    enum class DocumentLoad { NotLoaded, AsIs, Converted };
    // Loads a document into the input pane. A file that is not Windows-1251
    // text is told first: UTF-8 text is offered to be converted, a file that
    // is not text is opened only when the user insists.
    DocumentLoad loadDocument(const QString& fileName);
    // The one place that binds the document to a file (empty: no file yet):
    // the file Save writes, the input tab's caption, the modified flag.
    void setCurrentFile(const QString& fileName);
    void addRecentFile(const QString& path);
    void showRecentFiles();

    QWidget* window_;
    TextPane* inputPane_;
    RecentEntries recentEntries_;
    std::function<bool()> resultsShown_;
    QString currentFile_;
    std::array<QString, 3> recentFiles_;
};

}  // namespace tarvel::ui
