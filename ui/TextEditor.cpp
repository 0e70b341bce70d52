#include "ui/TextEditor.h"

namespace tarvel::ui {

// Placeholder until the launcher lands.
bool openInTextEditor(const QString&) { return false; }
void setTextEditorLauncher(std::function<bool(const QString&)>) {}

}  // namespace tarvel::ui
