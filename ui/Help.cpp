#include "ui/Help.h"

namespace tarvel::ui {

void showHelp(QWidget*, int) {}  // placeholder until the help window lands

}  // namespace tarvel::ui
