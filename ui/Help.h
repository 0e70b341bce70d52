// Help topics 100 (the program and its commands), 200 (the ЦДУ input format),
// 300 (the reports) and 400 (the results report).
#pragma once

class QWidget;

namespace tarvel::ui {

// Opens the help window at a topic context (an unknown one shows topic 100).
void showHelp(QWidget* parent, int context);

}  // namespace tarvel::ui
