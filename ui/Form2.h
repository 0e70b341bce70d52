// The calculation parameters dialog: precision, iteration limit, deletion of
// the working files at exit, reactive limits and the method.
#pragma once

#include <QDialog>

#include "model/CalculationSettings.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace tarvel::ui {

class TForm2 : public QDialog {
    Q_OBJECT
public:
    TForm2(CalculationSettings& calculation, QWidget* parent = nullptr);

    // Fills the fields from the working values (the opening steps before the
    // dialog is shown); openModal() then shows it modally.
    void prepare();
    void openModal();

    QLabel* Label1 = nullptr;
    QLineEdit* Edit1 = nullptr;  // precision
    QLabel* Label2 = nullptr;
    QLineEdit* Edit2 = nullptr;  // iteration limit
    QCheckBox* CheckBox1 = nullptr;  // delete the working files at exit
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    QCheckBox* CheckBox2 = nullptr;  // "Учитывать пределы Q"
    QLabel* Label5 = nullptr;        // "Метод расчета"
    QComboBox* ComboBox1 = nullptr;  // автоматически / классический / полная модель
    QPushButton* BitBtn1 = nullptr;  // "Применить"
    QPushButton* BitBtn3 = nullptr;  // "Закрыть"

public slots:
    void ChangeEdit();
    void BitBtn1Click();
    void BitBtn3Click();

protected:
    void changeEvent(QEvent* event) override;

private:
    // Places the controls for the font in use: the fixed layout, scaled up
    // alike where a text would not fit.
    void fitToFont();
    // The size a control needs for its text in its font.
    QSize neededSize(const QWidget* control) const;
    // Enter in a field: "Применить", when it is enabled.
    void applyOnEnter();

    CalculationSettings& calculation_;
};

}  // namespace tarvel::ui
