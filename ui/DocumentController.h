// The input document of the main window: the file it belongs to, the three
// recent files, the questions asked before unsaved edits or the results shown
// are lost, and the commands that create, open and save it. Every way of
// opening a file ("Открыть...", a recent file, the command line) goes through
// openFile.
#pragma once

#include <array>
#include <functional>
#include <string>

#include <QObject>
#include <QString>

class QAction;
class QWidget;

namespace tarvel::ui {

class FileFolders;
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
    // folders: where the dialogs open, told of the document's file.
    DocumentController(QWidget* window, TextPane* inputPane, const RecentEntries& recentEntries,
                       std::function<bool()> resultsShown, FileFolders& folders);

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
    // maybeSave for an edited document; for an unedited one with results
    // shown, whether new input may replace them; false: the command is
    // abandoned.
    bool mayReplace();
    // Makes text (an imported case) the input document without a file,
    // marked as modified since it exists nowhere else. origin: the case file
    // it came from, which names the document and is never written by it.
    void takeUntitledText(const QString& text, const QString& origin = QString());

    // Imports a case that "Открыть...", a recent file or the command line
    // chose (its path and bytes); false when it was not imported (told).
    using CaseImporter = std::function<bool(const QString& path, const std::string& bytes)>;
    void setCaseImporter(CaseImporter importer) { caseImporter_ = std::move(importer); }

    // The file an export proposes: the document's name with suffix, in the
    // document's folder or another one that can be written ("network" for a
    // document without a file).
    QString proposedExportPath(const QString& suffix) const;
    // The file "Сохранить как..." proposes: the document's own, or for an
    // imported case its name as ЦДУ text beside it (never the case itself).
    QString proposedSavePath() const;

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
    DocumentLoad loadDocument(const QString& fileName, const std::string& bytes);
    // The one place that binds the document to a file (empty: no file yet):
    // the file Save writes, the input tab's caption, the modified flag.
    void setCurrentFile(const QString& fileName);
    void addRecentFile(const QString& path);
    void showRecentFiles();

    QWidget* window_;
    TextPane* inputPane_;
    RecentEntries recentEntries_;
    std::function<bool()> resultsShown_;
    FileFolders& folders_;
    QString currentFile_;
    // The case an untitled document was imported from, empty for others.
    QString origin_;
    CaseImporter caseImporter_;
    std::array<QString, 3> recentFiles_;
};

}  // namespace tarvel::ui
