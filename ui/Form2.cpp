#include "ui/Form2.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>

#include "ui/Dialogs.h"
#include "ui/Help.h"
#include "ui/SettingsFile.h"

namespace tarvel::ui {

namespace {

constexpr int kHelpContext = 100;

template <typename W>
W* place(QWidget* parent, const char* name, int left, int top, int width = -1, int height = -1)
{
    auto* widget = new W(parent);
    widget->setObjectName(QString::fromLatin1(name));
    if (width < 0) {
        widget->move(left, top);
    } else {
        widget->setGeometry(left, top, width, height);
    }
    return widget;
}

QLabel* label(QWidget* parent, const char* name, const QString& text, int left, int top)
{
    auto* l = place<QLabel>(parent, name, left, top);
    l->setText(text);
    l->adjustSize();
    return l;
}

// The precision in the fields: fixed-point, at most 3 significant digits.
QString precisionText(float precision, int decimals)
{
    return formatUserFixed(precision, decimals, 3);
}

}  // namespace

TForm2::TForm2(NetworkModel& model, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::CustomizeWindowHint), model_(model)
{
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Настройки параметров расчета"));
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPixelSize(11);
    setFont(font);
    setFixedSize(315, 167);
    setProperty("helpContext", kHelpContext);

    Label1 = label(this, "Label1", QStringLiteral("Точность"), 64, 16);
    Edit1 = place<QLineEdit>(this, "Edit1", 56, 36, 65, 21);
    Edit1->setText(QStringLiteral("0.01"));
    Label2 = label(this, "Label2", QStringLiteral("Число итераций"), 48, 64);
    Edit2 = place<QLineEdit>(this, "Edit2", 56, 84, 65, 21);
    Edit2->setText(QStringLiteral("10"));
    CheckBox1 = place<QCheckBox>(this, "CheckBox1", 16, 120, 17, 33);
    Label3 = label(this, "Label3", QStringLiteral("Удаление файлов исходных данных и результатов"), 40, 120);
    Label4 = label(this, "Label4", QStringLiteral("после завершения работы программы"), 48, 136);
    BitBtn1 = place<QPushButton>(this, "BitBtn1", 208, 34, 75, 25);
    BitBtn1->setText(QStringLiteral("Применить"));
    BitBtn1->setEnabled(false);
    BitBtn3 = place<QPushButton>(this, "BitBtn3", 208, 82, 75, 25);
    BitBtn3->setText(QStringLiteral("Закрыть"));
    // Enter in a field presses no button: only a click applies or closes.
    BitBtn1->setAutoDefault(false);
    BitBtn3->setAutoDefault(false);

    setTabOrder(BitBtn1, BitBtn3);
    setTabOrder(BitBtn3, Edit1);
    setTabOrder(Edit1, Edit2);
    setTabOrder(Edit2, CheckBox1);

    connect(Edit1, &QLineEdit::textChanged, this, &TForm2::ChangeEdit);
    connect(Edit2, &QLineEdit::textChanged, this, &TForm2::ChangeEdit);
    connect(CheckBox1, &QCheckBox::toggled, this, &TForm2::ChangeEdit);
    connect(BitBtn1, &QPushButton::clicked, this, &TForm2::BitBtn1Click);
    connect(BitBtn3, &QPushButton::clicked, this, &TForm2::BitBtn3Click);

    auto* help = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(help, &QShortcut::activated, this, [this] { showHelp(this, kHelpContext); });
}

void TForm2::prepare()
{
    Edit1->setText(precisionText(model_.precision, 2));
    Edit2->setText(QString::number(model_.iteraz));
    Edit1->setModified(false);
    Edit2->setModified(false);
    BitBtn1->setEnabled(false);
    // A box that changes its state enables "Применить" through ChangeEdit.
    CheckBox1->setChecked(model_.DelFile);
}

void TForm2::openModal()
{
    prepare();
    // The dialog opens at the start of its tab order: on "Применить", or on
    // "Закрыть" while "Применить" is disabled.
    (BitBtn1->isEnabled() ? BitBtn1 : BitBtn3)->setFocus();
    exec();
}

void TForm2::ChangeEdit()
{
    BitBtn1->setEnabled(true);
}

void TForm2::BitBtn1Click()
{
    BitBtn1->setEnabled(false);
    const std::optional<int32_t> iterations = parseWholeNumber(Edit2->text());
    std::optional<long double> precision;
    if (iterations) {
        model_.iteraz = *iterations;  // stored at once, whatever the precision gives
        precision = parseUserNumber(Edit1->text());
        if (precision) {
            if (*precision < 0.0099L) {
                dialogs().message(this, QStringLiteral("Точность будет не более 0.01"),
                                  QMessageBox::Information);
                Edit1->setText(precisionText(model_.precision, 5));
            } else {
                model_.precision = static_cast<float>(*precision);
                model_.DelFile = CheckBox1->isChecked();
            }
            return;
        }
    }
    dialogs().message(this,
                      QStringLiteral("Используйте только цифры и запятую.\n"
                                     "Уберите лишние пробелы.\n"
                                     " Число итераций - только целое."),
                      QMessageBox::Information);
    Edit1->setText(precisionText(model_.precision, 5));
    Edit2->setText(QString::number(model_.iteraz));
}

void TForm2::BitBtn3Click()
{
    close();
}

}  // namespace tarvel::ui
