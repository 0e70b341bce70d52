// Two starts of the program in one folder: what the first run changes in the
// parameters dialog, the font command and the window size is what the second
// run starts with.
#include <functional>
#include <memory>

#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "model/CalculationSettings.h"
#include "model/NetworkModel.h"
#include "tests/ui/NamedWidgets.h"
#include "tests/ui/ScriptedDialogs.h"
#include "ui/Form2.h"
#include "ui/MainWindow.h"
#include "ui/TextPane.h"

using tarvel::test::action;
using tarvel::test::named;
using tarvel::test::pane;
using tarvel::test::ScriptedDialogs;
using tarvel::ui::TForm1;
using tarvel::ui::TForm2;
using tarvel::ui::TextPane;

class RestartTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    QString previousDir_;

    static std::unique_ptr<TForm1> start()
    {
        auto window = std::make_unique<TForm1>();
        window->show();
        return window;
    }

    // Runs the parameters dialog, doing `inside` while it is open; then closes it.
    static void withParametersDialog(TForm1& window, const std::function<void(TForm2&)>& inside)
    {
        QTimer::singleShot(0, &window, [&window, inside] {
            TForm2* dialog = named<tarvel::ui::TForm2>(window, "Form2");
            QVERIFY(dialog && dialog->isVisible());
            inside(*dialog);
            QTest::mouseClick(dialog->BitBtn3, Qt::LeftButton);
        });
        window.N25Click();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir_.isValid());
        previousDir_ = QDir::currentPath();
        QDir::setCurrent(dir_.path());
        QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    }
    void cleanupTestCase()
    {
        QLocale::setDefault(QLocale::c());
        QDir::setCurrent(previousDir_);
    }

    void secondStartFindsTheFirstRunsSettings()
    {
        ScriptedDialogs dialogs;
        {
            auto first = start();
            QVERIFY(QFile::exists(dir_.filePath(QStringLiteral("Vetrasol.ini"))));
            withParametersDialog(*first, [](TForm2& dialog) {
                QCOMPARE(dialog.Edit1->text(), QStringLiteral("0,01"));
                dialog.Edit1->setText(QStringLiteral("0,025"));
                dialog.Edit2->setText(QStringLiteral("25"));
                dialog.CheckBox1->setChecked(true);
                QTest::mouseClick(dialog.BitBtn1, Qt::LeftButton);
            });
            QCOMPARE(first->calculation().settings.precision, 0.025f);

            QFont chosen(QStringLiteral("Liberation Mono"), 12);
            chosen.setBold(true);
            dialogs.answerFont(chosen);
            action(*first, "N33")->trigger();
            QVERIFY(pane(*first, "Memo6")->font().bold());
            first->resize(760, 560);
            first->close();
        }
        QVERIFY2(dialogs.messages().isEmpty(), qPrintable(dialogs.messages().join(QLatin1Char('|'))));

        auto second = start();
        QCOMPARE(second->calculation().settings.precision, 0.03f);  // written rounded to two decimals
        QCOMPARE(second->calculation().settings.iteraz, 25);
        QCOMPARE(second->calculation().settings.DelFile, true);
        QCOMPARE(second->size(), QSize(760, 560));
        for (TextPane* pane : {pane(*second, "Memo1"), pane(*second, "Memo2"), pane(*second, "Memo3"), pane(*second, "Memo4"), pane(*second, "Memo5"),
                               pane(*second, "Memo6")}) {
            QCOMPARE(pane->font().family(), QStringLiteral("Liberation Mono"));
            QCOMPARE(pane->font().pointSize(), 12);
            QVERIFY(!pane->font().bold());  // only the name and the size are kept
        }

        // The first opening in a run with DelFile on shows "Применить"
        // enabled, the second one disabled.
        withParametersDialog(*second, [](TForm2& dialog) {
            QCOMPARE(dialog.Edit1->text(), QStringLiteral("0,03"));
            QCOMPARE(dialog.Edit2->text(), QStringLiteral("25"));
            QVERIFY(dialog.BitBtn1->isEnabled());
        });
        withParametersDialog(*second, [](TForm2& dialog) { QVERIFY(!dialog.BitBtn1->isEnabled()); });

        // At close the working files go, the input copy stays.
        for (const char* name : {"network.out", "Network.REZ", "network.cdu"}) {
            QFile f(dir_.filePath(QLatin1String(name)));
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        second->close();
        QVERIFY(!QFile::exists(dir_.filePath(QStringLiteral("network.out"))));
        QVERIFY(!QFile::exists(dir_.filePath(QStringLiteral("Network.REZ"))));
        QVERIFY(QFile::exists(dir_.filePath(QStringLiteral("network.cdu"))));
        QVERIFY(dialogs.unexpected().isEmpty());
    }
};

QTEST_MAIN(RestartTest)
#include "test_restart.moc"
