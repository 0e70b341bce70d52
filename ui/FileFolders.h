// Where the window's file dialogs open: in the document's folder, or in the
// folder last used by any of them, never by accident in the working folder
// of the calculation; and where an export is proposed: in a folder the user
// can write to (not the read-only installed samples).
#pragma once

#include <QString>

namespace tarvel::ui {

class FileFolders {
public:
    // The document's file, or the case it was imported from; empty: none.
    void setDocument(const QString& path) { document_ = path; }
    // A file chosen in any dialog: its folder is the last one used.
    void remember(const QString& chosenPath);

    // The folder an open dialog starts in: the document's, else the last
    // used, else fallback.
    QString openFolder(const QString& fallback = QString()) const;
    // The file an export proposes: stem.suffix in the first writable folder
    // of the document's, the last used, the working folder and the home
    // folder; stem empty: the document's own name ("network" without one).
    QString exportPath(const QString& suffix, const QString& stem = QString()) const;

private:
    QString document_;
    QString lastUsed_;
};

}  // namespace tarvel::ui
