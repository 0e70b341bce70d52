#include "ui/Form2.h"

namespace tarvel::ui {

// Placeholder until the dialog lands.
TForm2::TForm2(NetworkModel& model, QWidget* parent) : QDialog(parent), model_(model) {}
void TForm2::prepare() {}
void TForm2::openModal() { prepare(); }

}  // namespace tarvel::ui
