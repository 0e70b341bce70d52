// Opens a report in the user's text editor, detached.
#pragma once

#include <functional>

#include <QString>

namespace tarvel::ui {

// Starts the editor ($VISUAL or $EDITOR when set, its words split as a shell
// splits them, with fileName as its last argument; otherwise, or when that
// cannot be started, the desktop's application for the file through
// QDesktopServices) and returns at once; false when nothing could be started.
bool openInTextEditor(const QString& fileName);

// Opens the Windows-1251 report fileName in the editor (openInTextEditor) as a
// copy in UTF-8 with LF line ends, which every editor of this system reads:
// the copy has the report's own name and lies in a temporary folder of this
// process, which stays after the program ends so that an editor still
// starting finds it. A missing report leaves no copy (an older one is
// removed) and the editor is started all the same; when no copy can be
// written, the report itself is opened.
bool openReportInTextEditor(const QString& fileName);

// For tests: replaces the starting of the editor (an empty function restores it).
void setTextEditorLauncher(std::function<bool(const QString&)> launcher);

}  // namespace tarvel::ui
