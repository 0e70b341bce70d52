// Help topics 100 (the program and its commands), 200 (the ЦДУ input format),
// 300 (the reports) and 400 (the results report).
#pragma once

#include <QString>

class QWidget;

namespace tarvel::ui {

// Opens the help window at a topic context (an unknown one shows topic 100).
// The window is not modal, and one window serves every call.
void showHelp(QWidget* parent, int context);

// The help window, nullptr before the first showHelp().
QWidget* helpWindow();
// The topic that the help window shows (0 before the first showHelp()).
int shownHelpTopic();

}  // namespace tarvel::ui
