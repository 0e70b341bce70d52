// Opens a report in the user's text editor, detached.
#pragma once

#include <functional>

#include <QString>

namespace tarvel::ui {

// Starts the editor ($VISUAL or $EDITOR when set, its words split as a shell
// splits them; otherwise, or when that cannot be started, xdg-open, the
// desktop's application for the file) with fileName as its last argument and
// returns at once; false when nothing could be started.
bool openInTextEditor(const QString& fileName);

// For tests: replaces the starting of the editor (an empty function restores it).
void setTextEditorLauncher(std::function<bool(const QString&)> launcher);

}  // namespace tarvel::ui
