#include "ui/Form2.h"

#include <algorithm>
#include <cmath>

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QStyle>

#include "ui/Dialogs.h"
#include "ui/Help.h"
#include "ui/SettingsFile.h"

namespace tarvel::ui {

namespace {

constexpr int kHelpContext = 100;

template <typename W>
W* named(QWidget* parent, const char* name)
{
    auto* widget = new W(parent);
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

// The precision in the fields: fixed-point, at most 3 significant digits.
QString precisionText(float precision, int decimals)
{
    return formatUserFixed(precision, decimals, 3);
}

}  // namespace

TForm2::TForm2(CalculationSettings& calculation, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::CustomizeWindowHint), calculation_(calculation)
{
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Настройки параметров расчета"));
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPixelSize(11);
    setFont(font);
    setProperty("helpContext", kHelpContext);

    Label1 = named<QLabel>(this, "Label1");
    Label1->setText(QStringLiteral("Точность"));
    Edit1 = named<QLineEdit>(this, "Edit1");
    Edit1->setText(QStringLiteral("0.01"));
    Label2 = named<QLabel>(this, "Label2");
    Label2->setText(QStringLiteral("Число итераций"));
    Edit2 = named<QLineEdit>(this, "Edit2");
    Edit2->setText(QStringLiteral("10"));
    CheckBox1 = named<QCheckBox>(this, "CheckBox1");
    Label3 = named<QLabel>(this, "Label3");
    Label3->setText(QStringLiteral("Удаление файлов исходных данных и результатов"));
    Label4 = named<QLabel>(this, "Label4");
    Label4->setText(QStringLiteral("после завершения работы программы"));
    CheckBox2 = named<QCheckBox>(this, "CheckBox2");
    CheckBox2->setText(QStringLiteral("Учитывать пределы Q"));
    Label5 = named<QLabel>(this, "Label5");
    Label5->setText(QStringLiteral("Метод расчета"));
    ComboBox1 = named<QComboBox>(this, "ComboBox1");
    // In the order of CalculationMethod.
    ComboBox1->addItems({QStringLiteral("автоматически"), QStringLiteral("классический"),
                         QStringLiteral("полная модель")});
    Label5->setBuddy(ComboBox1);
    BitBtn1 = named<QPushButton>(this, "BitBtn1");
    BitBtn1->setText(QStringLiteral("Применить"));
    BitBtn1->setEnabled(false);
    BitBtn3 = named<QPushButton>(this, "BitBtn3");
    BitBtn3->setText(QStringLiteral("Закрыть"));
    // Enter presses no button by itself: in a field it applies (below), on
    // "Закрыть" or the check box it does nothing.
    BitBtn1->setAutoDefault(false);
    BitBtn3->setAutoDefault(false);
    fitToFont();

    setTabOrder(BitBtn1, BitBtn3);
    setTabOrder(BitBtn3, Edit1);
    setTabOrder(Edit1, Edit2);
    setTabOrder(Edit2, CheckBox1);
    setTabOrder(CheckBox1, CheckBox2);
    setTabOrder(CheckBox2, ComboBox1);

    connect(Edit1, &QLineEdit::textChanged, this, &TForm2::ChangeEdit);
    connect(Edit2, &QLineEdit::textChanged, this, &TForm2::ChangeEdit);
    connect(CheckBox1, &QCheckBox::toggled, this, &TForm2::ChangeEdit);
    connect(CheckBox2, &QCheckBox::toggled, this, &TForm2::ChangeEdit);
    connect(ComboBox1, &QComboBox::currentIndexChanged, this, &TForm2::ChangeEdit);
    connect(BitBtn1, &QPushButton::clicked, this, &TForm2::BitBtn1Click);
    connect(BitBtn3, &QPushButton::clicked, this, &TForm2::BitBtn3Click);
    connect(Edit1, &QLineEdit::returnPressed, this, &TForm2::applyOnEnter);
    connect(Edit2, &QLineEdit::returnPressed, this, &TForm2::applyOnEnter);

    auto* help = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(help, &QShortcut::activated, this, [this] { showHelp(this, kHelpContext); });
}

QSize TForm2::neededSize(const QWidget* control) const
{
    const QFontMetrics metrics(control->font());
    const int frame = 2 * control->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, control);
    if (const auto* button = qobject_cast<const QPushButton*>(control)) {
        // The style's own hint asks for a minimum width that no text needs.
        const int margin = 2 * button->style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, button);
        return {metrics.horizontalAdvance(button->text()) + margin + frame, button->sizeHint().height()};
    }
    if (qobject_cast<const QLineEdit*>(control)) {
        // Room for the longest text the dialog writes itself, the precision with 5 decimals.
        constexpr int kTextMargins = 4;
        return {metrics.horizontalAdvance(QStringLiteral("0,00000")) + frame + kTextMargins,
                control->minimumSizeHint().height()};
    }
    return control->sizeHint();
}

void TForm2::fitToFont()
{
    // The places of the controls at the dialog's own font ("MS Sans Serif" of
    // 11 pixels). A label's rectangle is the room its text may take: up to the
    // buttons' column or the right edge, and down to the next line.
    const struct {
        QWidget* control;
        QRect room;
    } controls[] = {
        {Label1, {64, 16, 144, 20}},  {Edit1, {56, 36, 65, 21}},      {Label2, {48, 64, 160, 20}},
        {Edit2, {56, 84, 65, 21}},    {CheckBox1, {16, 120, 17, 33}}, {Label3, {40, 120, 271, 16}},
        {Label4, {48, 136, 263, 31}}, {BitBtn1, {208, 34, 75, 25}},   {BitBtn3, {208, 82, 75, 25}},
        {CheckBox2, {16, 167, 283, 20}}, {Label5, {16, 198, 96, 20}},  {ComboBox1, {112, 195, 171, 22}},
    };
    const QSize client(315, 230);

    // A font wider or taller than that one scales the whole layout up alike,
    // so that every text fits and the controls keep their arrangement.
    double scale = 1.0;
    for (const auto& c : controls) {
        const QSize need = neededSize(c.control);
        scale = std::max({scale, static_cast<double>(need.width()) / c.room.width(),
                          static_cast<double>(need.height()) / c.room.height()});
    }
    const auto scaled = [scale](int value) { return static_cast<int>(std::lround(value * scale)); };
    for (const auto& c : controls) {
        const QPoint topLeft(scaled(c.room.left()), scaled(c.room.top()));
        if (qobject_cast<QLabel*>(c.control) || c.control == CheckBox2) {
            c.control->setGeometry(QRect(topLeft, c.control->sizeHint()));
        } else {
            // Edges scaled alike keep controls that touched touching, and never overlapping.
            const QPoint end(scaled(c.room.left() + c.room.width()), scaled(c.room.top() + c.room.height()));
            const QSize size(end.x() - topLeft.x(), end.y() - topLeft.y());
            c.control->setGeometry(QRect(topLeft, size.expandedTo(neededSize(c.control))));
        }
    }
    setFixedSize(scaled(client.width()), scaled(client.height()));
}

void TForm2::changeEvent(QEvent* event)
{
    QDialog::changeEvent(event);
    // The font is set while the controls are still being created.
    if ((event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) && BitBtn3)
        fitToFont();
}

void TForm2::prepare()
{
    Edit1->setText(precisionText(calculation_.precision, 2));
    Edit2->setText(QString::number(calculation_.iteraz));
    Edit1->setModified(false);
    Edit2->setModified(false);
    CheckBox2->setChecked(calculation_.qLimits);
    ComboBox1->setCurrentIndex(static_cast<int>(calculation_.method));
    BitBtn1->setEnabled(false);
    // A box that changes its state enables "Применить" through ChangeEdit.
    CheckBox1->setChecked(calculation_.DelFile);
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

void TForm2::applyOnEnter()
{
    if (BitBtn1->isEnabled())
        BitBtn1Click();
}

void TForm2::BitBtn1Click()
{
    BitBtn1->setEnabled(false);
    const std::optional<int32_t> iterations = parseWholeNumber(Edit2->text());
    std::optional<long double> precision;
    if (iterations && *iterations > kMostIterations) {
        dialogs().message(this, QStringLiteral("Число итераций будет не более %1").arg(kMostIterations),
                          QMessageBox::Information);
        Edit2->setText(QString::number(calculation_.iteraz));
        return;
    }
    if (iterations) {
        calculation_.iteraz = *iterations;  // stored at once, whatever the precision gives
        precision = parseUserNumber(Edit1->text());
        if (precision) {
            if (*precision < 0.0099L) {
                dialogs().message(this, QStringLiteral("Точность будет не более 0.01"), QMessageBox::Information);
                Edit1->setText(precisionText(calculation_.precision, 5));
            } else {
                calculation_.precision = static_cast<float>(*precision);
                calculation_.DelFile = CheckBox1->isChecked();
                calculation_.qLimits = CheckBox2->isChecked();
                calculation_.method = static_cast<CalculationMethod>(ComboBox1->currentIndex());
            }
            return;
        }
    }
    dialogs().message(this,
                      QStringLiteral("Используйте только цифры и запятую.\n"
                                     "Уберите лишние пробелы.\n"
                                     " Число итераций - только целое."),
                      QMessageBox::Information);
    Edit1->setText(precisionText(calculation_.precision, 5));
    Edit2->setText(QString::number(calculation_.iteraz));
}

void TForm2::BitBtn3Click()
{
    close();
}

}  // namespace tarvel::ui
