// The calculation parameters dialog: layout, the opening steps, the Apply
// checks and messages with a comma and with a point as decimal separator.
#include <memory>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "tests/ui/ScriptedDialogs.h"
#include "ui/Form2.h"
#include "ui/Help.h"
#include "ui/SettingsFile.h"

using tarvel::CalculationSettings;
using tarvel::test::ScriptedDialogs;
using tarvel::ui::TForm2;

namespace {

const QString kTooSmall = QStringLiteral("Точность будет не более 0.01");
const QString kNotNumber = QStringLiteral("Используйте только цифры и запятую.\n"
                                          "Уберите лишние пробелы.\n"
                                          " Число итераций - только целое.");

QLocale russian()
{
    return QLocale(QLocale::Russian, QLocale::Russia);
}

}  // namespace

class Form2Test : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<CalculationSettings> calculation_;
    std::unique_ptr<TForm2> form_;
    std::unique_ptr<ScriptedDialogs> dialogs_;

    // Types into the fields as the user would and presses "Применить".
    void apply(const QString& precision, const QString& iterations)
    {
        form_->Edit1->selectAll();
        QTest::keyClicks(form_->Edit1, precision);
        if (precision.isEmpty())
            form_->Edit1->clear();
        form_->Edit2->selectAll();
        QTest::keyClicks(form_->Edit2, iterations);
        if (iterations.isEmpty())
            form_->Edit2->clear();
        QVERIFY(form_->BitBtn1->isEnabled());
        QTest::mouseClick(form_->BitBtn1, Qt::LeftButton);
    }

private slots:
    void init()
    {
        QLocale::setDefault(russian());
        calculation_ = std::make_unique<CalculationSettings>();
        dialogs_ = std::make_unique<ScriptedDialogs>();
        form_ = std::make_unique<TForm2>(*calculation_);
        form_->prepare();
        form_->show();
    }
    void cleanup()
    {
        form_.reset();
        dialogs_.reset();
        QLocale::setDefault(QLocale::c());
    }

    void layoutAndCaptions()
    {
        QCOMPARE(form_->windowTitle(), QStringLiteral("Настройки параметров расчета"));
        // The fixed layout itself, at a font whose texts fit it.
        QFont small = form_->font();
        small.setPixelSize(8);
        form_->setFont(small);
        QCOMPARE(form_->size(), QSize(315, 230));
        QCOMPARE(form_->minimumSize(), form_->maximumSize());
        QVERIFY(!(form_->windowFlags() & Qt::WindowCloseButtonHint));
        QVERIFY(form_->windowFlags() & Qt::CustomizeWindowHint);
        QCOMPARE(form_->Edit1->geometry(), QRect(56, 36, 65, 21));
        QCOMPARE(form_->Edit2->geometry(), QRect(56, 84, 65, 21));
        QCOMPARE(form_->CheckBox1->geometry(), QRect(16, 120, 17, 33));
        QCOMPARE(form_->BitBtn1->geometry(), QRect(208, 34, 75, 25));
        QCOMPARE(form_->BitBtn3->geometry(), QRect(208, 82, 75, 25));
        QCOMPARE(form_->Label1->pos(), QPoint(64, 16));
        QCOMPARE(form_->Label4->pos(), QPoint(48, 136));
        QCOMPARE(form_->BitBtn1->text(), QStringLiteral("Применить"));
        QCOMPARE(form_->BitBtn3->text(), QStringLiteral("Закрыть"));
        QCOMPARE(form_->Label2->text(), QStringLiteral("Число итераций"));
        QCOMPARE(form_->Label3->text(), QStringLiteral("Удаление файлов исходных данных и результатов"));
        QVERIFY(form_->CheckBox1->text().isEmpty());
        QCOMPARE(form_->CheckBox2->text(), QStringLiteral("Учитывать пределы Q"));
        QCOMPARE(form_->Label5->text(), QStringLiteral("Метод расчета"));
        QCOMPARE(form_->ComboBox1->count(), 3);
        QCOMPARE(form_->ComboBox1->itemText(0), QStringLiteral("автоматически"));
        QCOMPARE(form_->ComboBox1->itemText(1), QStringLiteral("классический"));
        QCOMPARE(form_->ComboBox1->itemText(2), QStringLiteral("полная модель"));
        for (const char* name : {"Edit1", "Edit2", "CheckBox1", "BitBtn1", "BitBtn3", "Label1", "Label4", "CheckBox2",
                                 "ComboBox1"})
            QVERIFY2(form_->findChild<QWidget*>(QString::fromLatin1(name)), name);

        // Tab order: Применить, Закрыть, the two fields, the check boxes, the method.
        QWidget* expected[] = {form_->BitBtn3,   form_->Edit1,     form_->Edit2,
                               form_->CheckBox1, form_->CheckBox2, form_->ComboBox1};
        QWidget* w = form_->BitBtn1;
        for (QWidget* next : expected) {
            w = w->nextInFocusChain();
            while (w->focusPolicy() == Qt::NoFocus)
                w = w->nextInFocusChain();
            QCOMPARE(w, next);
        }
    }

    // In the font in use, a larger one and a smaller one: each text fits its
    // control, no two controls overlap, all lie inside the dialog, and the
    // arrangement stays that of the fixed layout, scaled alike.
    void controlsFitTheirTexts()
    {
        const QList<QWidget*> controls = {form_->Label1,    form_->Edit1,  form_->Label2,
                                          form_->Edit2,     form_->CheckBox1, form_->Label3,
                                          form_->Label4,    form_->BitBtn1, form_->BitBtn3,
                                          form_->CheckBox2, form_->Label5, form_->ComboBox1};
        for (int pixels : {0, 18, 24, 8}) {
            if (pixels > 0) {
                QFont font = form_->font();
                font.setPixelSize(pixels);
                form_->setFont(font);
            }
            const QString at = QStringLiteral("font of %1 pixels").arg(form_->font().pixelSize());
            const QRect inside(QPoint(0, 0), form_->size());
            for (QWidget* c : controls) {
                const QString what = c->objectName() + QStringLiteral(", ") + at;
                QVERIFY2(inside.contains(c->geometry()), qPrintable(what));
                for (QWidget* other : controls)
                    QVERIFY2(c == other || !c->geometry().intersects(other->geometry()), qPrintable(what));
                const QFontMetrics metrics(c->font());
                if (auto* label = qobject_cast<QLabel*>(c)) {
                    QVERIFY2(metrics.horizontalAdvance(label->text()) <= label->width(), qPrintable(what));
                    QVERIFY2(metrics.height() <= label->height(), qPrintable(what));
                } else if (auto* button = qobject_cast<QPushButton*>(c)) {
                    QVERIFY2(metrics.horizontalAdvance(button->text()) + 8 <= button->width(), qPrintable(what));
                    QVERIFY2(button->sizeHint().height() <= button->height(), qPrintable(what));
                } else if (auto* field = qobject_cast<QLineEdit*>(c)) {
                    QVERIFY2(metrics.horizontalAdvance(QStringLiteral("0,01000")) + 8 <= field->width(), qPrintable(what));
                    QVERIFY2(field->minimumSizeHint().height() <= field->height(), qPrintable(what));
                }
            }
            // The buttons' column, the fields under their labels, the two lines
            // of the check box's caption one under the other.
            QVERIFY(form_->Edit1->geometry().right() < form_->BitBtn1->x());
            QVERIFY(form_->Label3->geometry().bottom() < form_->Label4->y());
            QCOMPARE(form_->BitBtn1->x(), form_->BitBtn3->x());
            QCOMPARE(form_->Edit1->x(), form_->Edit2->x());
            const double scale = form_->width() / 315.0;
            QVERIFY(scale >= 1.0);
            QVERIFY(qAbs(form_->height() - 230 * scale) <= 1.0);
            QVERIFY(qAbs(form_->BitBtn1->x() - 208 * scale) <= 1.0);
            QVERIFY(qAbs(form_->Label4->y() - 136 * scale) <= 1.0);
        }
    }

    void precisionTextsInTheFields()
    {
        using tarvel::ui::formatUserFixed;
        QLocale::setDefault(QLocale::c());
        const struct {
            double value;
            int decimals;
            const char* text;
        } cases[] = {
            {0.01f, 2, "0.01"},    {0.015f, 2, "0.01"},  // the float lies just below 0.015
            {0.001f, 2, "0.00"},   {12.345f, 2, "12.30"},  // three digits before two decimals
            {0.01f, 5, "0.01000"}, {0.015f, 5, "0.01500"}, {0.001f, 5, "0.00100"}, {12.345f, 5, "12.30000"},
            {0.125, 2, "0.13"},  // a tie rounds away from zero
            {0.995, 2, "0.99"}, {0.9951, 2, "1.00"},     {999.5, 2, "1000.00"}, {-0.001, 2, "0.00"},
            {-2.5, 2, "-2.50"},    {0.0, 5, "0.00000"},
        };
        for (const auto& c : cases)
            QCOMPARE(formatUserFixed(c.value, c.decimals, 3), QString::fromLatin1(c.text));

        QLocale::setDefault(russian());
        calculation_->precision = 0.015f;
        calculation_->iteraz = 1234;
        form_->prepare();
        QCOMPARE(form_->Edit1->text(), QStringLiteral("0,01"));
        QCOMPARE(form_->Edit2->text(), QStringLiteral("1234"));  // no group separator
        QVERIFY(!form_->Edit1->isModified());
        QVERIFY(!form_->BitBtn1->isEnabled());
    }

    void applyButtonStates()
    {
        QVERIFY(!form_->BitBtn1->isEnabled());
        QTest::keyClick(form_->Edit2, Qt::Key_5);
        QVERIFY(form_->BitBtn1->isEnabled());
        QVERIFY(form_->Edit2->isModified());

        // A new dialog in a run whose DelFile is on: the box changes, so
        // "Применить" is enabled at the first opening, not at the second.
        calculation_->DelFile = true;
        TForm2 fresh(*calculation_);
        fresh.prepare();
        QVERIFY(fresh.BitBtn1->isEnabled());
        QVERIFY(fresh.CheckBox1->isChecked());
        fresh.prepare();
        QVERIFY(!fresh.BitBtn1->isEnabled());
        QVERIFY(!fresh.Edit1->isModified());

        // Clicking the box enables it too; Apply disables it.
        QTest::mouseClick(fresh.CheckBox1, Qt::LeftButton, {}, QPoint(8, 16));
        QVERIFY(!fresh.CheckBox1->isChecked());
        QVERIFY(fresh.BitBtn1->isEnabled());
        QTest::mouseClick(fresh.BitBtn1, Qt::LeftButton);
        QVERIFY(!fresh.BitBtn1->isEnabled());
        QCOMPARE(calculation_->DelFile, false);
        QVERIFY(dialogs_->messages().isEmpty());
    }

    // The reactive limits and the method: shown from the working values
    // without enabling "Применить", changed by the user, stored by Apply with
    // the precision, and not stored when the precision is refused.
    void limitsAndCalculationMethods()
    {
        calculation_->qLimits = true;
        calculation_->method = tarvel::CalculationMethod::Sparse;
        form_->prepare();
        QVERIFY(form_->CheckBox2->isChecked());
        QCOMPARE(form_->ComboBox1->currentIndex(), 2);
        QVERIFY(!form_->BitBtn1->isEnabled());

        QTest::mouseClick(form_->CheckBox2, Qt::LeftButton, {}, QPoint(6, form_->CheckBox2->height() / 2));
        QVERIFY(!form_->CheckBox2->isChecked());
        QVERIFY(form_->BitBtn1->isEnabled());
        form_->ComboBox1->setCurrentIndex(1);
        apply(QStringLiteral("0,005"), QStringLiteral("10"));  // refused: nothing of the choices stored
        QCOMPARE(calculation_->qLimits, true);
        QCOMPARE(calculation_->method, tarvel::CalculationMethod::Sparse);
        apply(QStringLiteral("0,01"), QStringLiteral("10"));
        QCOMPARE(calculation_->qLimits, false);
        QCOMPARE(calculation_->method, tarvel::CalculationMethod::Exact);

        form_->ComboBox1->setFocus();
        QTest::keyClick(form_->ComboBox1, Qt::Key_Up);
        QVERIFY(form_->BitBtn1->isEnabled());
        QTest::mouseClick(form_->BitBtn1, Qt::LeftButton);
        QCOMPARE(calculation_->method, tarvel::CalculationMethod::Auto);
    }

    // Enter in either field acts as "Применить" while it is enabled.
    void enterInAFieldApplies()
    {
        form_->Edit1->selectAll();
        QTest::keyClicks(form_->Edit1, QStringLiteral("0,02"));
        QTest::keyClick(form_->Edit1, Qt::Key_Return);
        QCOMPARE(calculation_->precision, 0.02f);
        QVERIFY(!form_->BitBtn1->isEnabled());
        form_->Edit2->setText(QStringLiteral("x"));
        form_->BitBtn1->setEnabled(false);
        QTest::keyClick(form_->Edit2, Qt::Key_Enter, Qt::KeypadModifier);  // disabled: nothing
        QVERIFY(dialogs_->messages().isEmpty());
        QTest::keyClick(form_->Edit2, Qt::Key_4);
        QTest::keyClick(form_->Edit2, Qt::Key_Enter, Qt::KeypadModifier);
        QCOMPARE(dialogs_->messages(), QStringList{kNotNumber});
        QVERIFY(form_->isVisible());
    }

    void applyWithACommaSeparator()
    {
        // Too small: refused, the field reset (which enables Apply again), the
        // new iteration count kept, the ticked box not stored.
        QTest::mouseClick(form_->CheckBox1, Qt::LeftButton, {}, QPoint(8, 16));
        apply(QStringLiteral("0,005"), QStringLiteral("15"));
        QCOMPARE(dialogs_->messages(), QStringList{kTooSmall});
        QCOMPARE(dialogs_->shown.back().icon, QMessageBox::Information);
        QCOMPARE(form_->Edit1->text(), QStringLiteral("0,01000"));
        QVERIFY(form_->BitBtn1->isEnabled());
        QCOMPARE(calculation_->iteraz, 15);
        QCOMPARE(calculation_->precision, 0.01f);
        QCOMPARE(calculation_->DelFile, false);

        apply(QStringLiteral("0,009"), QStringLiteral("15"));
        QCOMPARE(dialogs_->messages().size(), 2);
        QCOMPARE(calculation_->precision, 0.01f);

        // 0,0099 is not below 0.0099 when both are compared in extended precision.
        apply(QStringLiteral("0,0099"), QStringLiteral("15"));
        QCOMPARE(dialogs_->messages().size(), 2);
        QCOMPARE(calculation_->precision, 0.0099f);
        QCOMPARE(calculation_->DelFile, true);

        apply(QStringLiteral("0,01"), QStringLiteral("-3"));
        QCOMPARE(dialogs_->messages().size(), 2);
        QCOMPARE(calculation_->precision, 0.01f);
        QCOMPARE(calculation_->iteraz, -3);  // no range is checked
        QVERIFY(!form_->BitBtn1->isEnabled());
        QVERIFY(form_->isVisible());  // Apply does not close

        // A point does not convert with a comma locale: the iteration count
        // stays stored, both fields show the working values.
        apply(QStringLiteral("0.02"), QStringLiteral("12"));
        QCOMPARE(dialogs_->messages().last(), kNotNumber);
        QCOMPARE(dialogs_->shown.back().icon, QMessageBox::Information);
        QCOMPARE(calculation_->iteraz, 12);
        QCOMPARE(calculation_->precision, 0.01f);
        QCOMPARE(form_->Edit1->text(), QStringLiteral("0,01000"));
        QCOMPARE(form_->Edit2->text(), QStringLiteral("12"));

        // Letters in the iteration field change nothing.
        calculation_->DelFile = false;
        apply(QStringLiteral("0,5"), QStringLiteral("1O"));
        QCOMPARE(dialogs_->messages().last(), kNotNumber);
        QCOMPARE(calculation_->iteraz, 12);
        QCOMPARE(calculation_->precision, 0.01f);
        QCOMPARE(calculation_->DelFile, false);
        QCOMPARE(form_->Edit2->text(), QStringLiteral("12"));

        for (const char* bad : {"", " ", "1 0", "nan", "inf", "1e39", "0,5x"}) {
            const int before = dialogs_->messages().size();
            apply(QString::fromLatin1(bad), QStringLiteral("12"));
            QCOMPARE(dialogs_->messages().size(), before + 1);
            QCOMPARE(dialogs_->messages().last(), kNotNumber);
            QCOMPARE(calculation_->precision, 0.01f);
        }
        QVERIFY(dialogs_->unexpected().isEmpty());
    }

    // A limit of a billion iterations only grows network.out for as long as
    // the user waits: the most is 1000, told, the field set back.
    void iterationsBeyondTheMostAreRefused()
    {
        apply(QStringLiteral("0,01"), QStringLiteral("1000000000"));
        QCOMPARE(dialogs_->messages(), QStringList{QStringLiteral("Число итераций будет не более 1000")});
        QCOMPARE(calculation_->iteraz, 10);
        QCOMPARE(form_->Edit2->text(), QStringLiteral("10"));
        apply(QStringLiteral("0,01"), QStringLiteral("1000"));
        QCOMPARE(dialogs_->messages().size(), 1);
        QCOMPARE(calculation_->iteraz, 1000);
        QVERIFY(dialogs_->unexpected().isEmpty());
    }

    void applyWithAPointSeparator()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        form_->prepare();
        QCOMPARE(form_->Edit1->text(), QStringLiteral("0.01"));
        apply(QStringLiteral("0.02"), QStringLiteral("$14"));
        QVERIFY(dialogs_->messages().isEmpty());
        QCOMPARE(calculation_->precision, 0.02f);
        QCOMPARE(calculation_->iteraz, 20);
        apply(QStringLiteral("0,03"), QStringLiteral("14"));
        QCOMPARE(dialogs_->messages(), QStringList{kNotNumber});
        QCOMPARE(form_->Edit1->text(), QStringLiteral("0.02000"));
        QCOMPARE(calculation_->precision, 0.02f);
        apply(QStringLiteral("0.001"), QStringLiteral("14"));
        QCOMPARE(dialogs_->messages().last(), kTooSmall);
        QCOMPARE(form_->Edit1->text(), QStringLiteral("0.02000"));
    }

    void closeButtonEndsTheModalDialog()
    {
        form_->hide();
        calculation_->iteraz = 7;
        QTimer::singleShot(0, form_.get(), [this] {
            form_->Edit2->setText(QStringLiteral("99"));  // not applied
            QTest::mouseClick(form_->BitBtn3, Qt::LeftButton);
        });
        form_->openModal();
        QVERIFY(!form_->isVisible());
        QCOMPARE(calculation_->iteraz, 7);
        QCOMPARE(form_->Edit2->text(), QStringLiteral("99"));
        form_->prepare();
        QCOMPARE(form_->Edit2->text(), QStringLiteral("7"));
    }

    void focusAtOpeningFollowsTheTabOrder()
    {
        // "Применить" is disabled, so "Закрыть" comes first.
        form_->hide();
        QWidget* focused = nullptr;
        QTimer::singleShot(0, form_.get(), [&] {
            QVERIFY(QTest::qWaitForWindowActive(form_.get()));
            focused = QApplication::focusWidget();
            QTest::mouseClick(form_->BitBtn3, Qt::LeftButton);
        });
        form_->openModal();
        QCOMPARE(focused, form_->BitBtn3);

        // The first opening in a run whose DelFile is on enables "Применить".
        calculation_->DelFile = true;
        TForm2 fresh(*calculation_);
        QTimer::singleShot(0, &fresh, [&] {
            QVERIFY(QTest::qWaitForWindowActive(&fresh));
            focused = QApplication::focusWidget();
            QTest::mouseClick(fresh.BitBtn3, Qt::LeftButton);
        });
        fresh.openModal();
        QCOMPARE(focused, fresh.BitBtn1);
    }

    void f1OpensTheMainHelpTopic()
    {
        form_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form_.get()));
        QTest::keyClick(form_.get(), Qt::Key_F1);
        QCOMPARE(tarvel::ui::shownHelpTopic(), 100);
        QVERIFY(tarvel::ui::helpWindow()->isVisible());
    }
};

QTEST_MAIN(Form2Test)
#include "test_form2.moc"
