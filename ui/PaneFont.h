// The font of the text panes. The settings name a family; where that family
// is only another name for an installed one (on Linux "Courier New" usually
// stands for Liberation Mono), the panes show the installed family, and that
// is the one the font dialog must be given to find it.
#pragma once

#include <QFont>
#include <QString>

namespace tarvel::ui {

// The family and size (points) the panes are built with; a first run writes
// them into the settings file.
QString builtInPaneFamily();
constexpr int kBuiltInPaneSize = 9;

// The installed family that shows `family`: the family itself where it is
// installed, otherwise what the system's font matching gives for it. For the
// built-in family, which the reports' columns need monospaced, a match that
// is not monospaced gives way to the system's monospaced family. Each name is
// resolved once.
QString installedFamily(const QString& family);

// The panes' font for a family named in the settings and a size in points.
QFont paneFont(const QString& family, int pointSize);

}  // namespace tarvel::ui
