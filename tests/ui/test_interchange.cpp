// "Импорт..." and "Результаты в CSV..." from the window: the questions in
// their order, the converted text as a new untitled document with the summary
// below it, a refused case that changes nothing, and the two CSV files.
#include <cmath>

#include <QLocale>

#include "model/CalculationSettings.h"
#include "model/NetworkModel.h"
#include "model/TextFile.h"
#include "tests/support/TestSupport.h"
#include "tests/ui/WindowFixture.h"

using tarvel::test::action;
using tarvel::test::menu;
using tarvel::test::pane;
using tarvel::test::ScriptedDialogs;
using tarvel::test::typeText;
using tarvel::test::WindowFixture;

namespace {

QString source(const char* relative)
{
    return QString::fromStdString(tarvel::test::sourcePath(relative).string());
}

}  // namespace

class InterchangeTest : public QObject {
    Q_OBJECT

    std::unique_ptr<WindowFixture> f;
    tarvel::ui::TForm1& w() { return *f->window; }

private slots:
    void init()
    {
        f = std::make_unique<WindowFixture>();
        QVERIFY(f->exposed);
        w().calculation().settings.precision = 0.01f;
        w().calculation().settings.iteraz = 10;
    }
    void cleanup()
    {
        const QStringList unexpected = f->dialogs.unexpected();
        f.reset();
        QLocale::setDefault(QLocale::c());
        QVERIFY2(unexpected.isEmpty(), qPrintable(unexpected.join(QStringLiteral("; "))));
    }

    void importAsksForTheBaseVoltageAndOpensAnUntitledDocument()
    {
        f->dialogs.answerOpen(source("tests/data/interchange/case14.m"));
        f->dialogs.answerNumber(110);
        action(w(), "N35")->trigger();
        QCOMPARE(f->dialogs.count(ScriptedDialogs::Kind::Question), 0);
        QCOMPARE(f->dialogs.shown.at(0).caption, QStringLiteral("Импорт"));
        QVERIFY(f->dialogs.shown.at(0).text.startsWith(QStringLiteral("Случаи MATPOWER и IEEE CDF *.m *.cdf *.txt")));
        QCOMPARE(f->dialogs.shown.at(1).kind, ScriptedDialogs::Kind::Number);
        QVERIFY(f->dialogs.shown.at(1).text.endsWith(QStringLiteral("кВ: | 220")));
        QCOMPARE(f->visibleTabs(), QStringList({QStringLiteral("case14 (импорт)")}));
        QVERIFY(pane(w(), "Memo1")->text().contains(QStringLiteral("0201 0 2 110 -18.3 12.7 0 0 114.95 -40 50\n")));
        QVERIFY(pane(w(), "Memo1")->isModified());
        QVERIFY(w().document().currentFile().isEmpty());
        QVERIFY(w().isLowerPaneShown());
        QVERIFY(pane(w(), "Memo4")->text().startsWith(QStringLiteral("Импорт MATPOWER: узлов 14, ветвей 20")));
        QVERIFY(pane(w(), "Memo4")->text().contains(QStringLiteral("все узлы приняты на 110 кВ")));
        QVERIFY(menu(w(), "N1")->menuAction()->isVisible());

        // The imported network runs; its unsaved text is asked about before
        // the next import, whose case gives its own voltages.
        action(w(), "N2")->trigger();
        QCOMPARE(f->activeTab(), QStringLiteral("Результаты"));
        f->dialogs.clear();
        f->dialogs.answerQuestion(QMessageBox::No);  // do not save the converted text: its results go with it
        f->dialogs.answerOpen(source("tests/data/interchange/case9.m"));
        action(w(), "N35")->trigger();
        QCOMPARE(f->dialogs.questions(), QStringList{QStringLiteral("Сохранить изменения в файле исходных данных ?")});
        QVERIFY(pane(w(), "Memo1")->text().startsWith(QStringLiteral("0102 0 1 358.8 0 0 0 0 0 0 0\n")));
        QVERIFY(!menu(w(), "N13")->menuAction()->isVisible());
    }

    void aRefusedCaseOrACancelChangesNothing()
    {
        action(w(), "N3")->trigger();  // a fresh document to type into
        typeText(pane(w(), "Memo1"), QStringLiteral("0102 0 1 110"));
        f->dialogs.answerQuestion(QMessageBox::Cancel);
        action(w(), "N35")->trigger();
        QCOMPARE(f->dialogs.count(ScriptedDialogs::Kind::OpenFile), 0);

        f->write(QStringLiteral("cut.m"), "mpc.baseMVA = 100;\nmpc.bus = [\n1 3 0 0 0 0 1 1 0 110 1 1.1 0.9;\n");
        f->dialogs.answerQuestion(QMessageBox::No);
        f->dialogs.answerOpen(f->path(QStringLiteral("cut.m")));
        action(w(), "N35")->trigger();
        QCOMPARE(f->dialogs.messages(),
                 QStringList({QStringLiteral("Импорт невозможен:\nФайл обрывается: таблица mpc.bus, начатая в строке 2, "
                                             "не закрыта знаком «]»")}));
        QCOMPARE(pane(w(), "Memo1")->text(), QStringLiteral("0102 0 1 110"));
        QVERIFY(pane(w(), "Memo1")->isModified());
    }

    // A case opened as a document ("Открыть...", a recent file, the command
    // line) is known by its content and imported; the case file is never
    // written, and the document is saved as ЦДУ text beside it.
    void openingACaseImportsItAndNeverWritesIt()
    {
        const QString casePath = f->path(QStringLiteral("case9.m"));
        QVERIFY(QFile::copy(source("tests/data/interchange/case9.m"), casePath));
        const QByteArray caseBytes = f->read(QStringLiteral("case9.m"));
        f->dialogs.answerOpen(casePath);
        action(w(), "N4")->trigger();
        QVERIFY(pane(w(), "Memo1")->text().startsWith(QStringLiteral("0102 0 1 358.8 0 0 0 0 0 0 0\n")));
        QVERIFY(pane(w(), "Memo4")->text().startsWith(QStringLiteral("Импорт MATPOWER: узлов 9")));
        QVERIFY(w().isLowerPaneShown());
        QCOMPARE(f->visibleTabs(), QStringList({QStringLiteral("case9 (импорт)")}));
        QVERIFY(w().document().currentFile().isEmpty());
        QVERIFY(pane(w(), "Memo1")->isModified());
        QCOMPARE(w().document().recentFiles()[0], casePath);

        // It runs as an imported case does.
        action(w(), "N2")->trigger();
        QCOMPARE(f->activeTab(), QStringLiteral("Результаты"));

        // Save asks for a name and proposes the case's own beside it.
        f->dialogs.answerSave(f->path(QStringLiteral("case9.cdu")));
        action(w(), "N10")->trigger();
        QCOMPARE(f->dialogs.shown.back().kind, ScriptedDialogs::Kind::SaveFile);
        QCOMPARE(f->dialogs.shown.back().proposed, f->path(QStringLiteral("case9.cdu")));
        QCOMPARE(f->read(QStringLiteral("case9.m")), caseBytes);
        QVERIFY(f->read(QStringLiteral("case9.cdu")).startsWith("0102 0 1 358.8 0 0 0 0 0 0 0\r\n"));
        QCOMPARE(w().inputCaption(), QStringLiteral("case9.cdu"));

        // A case written with Notepad's byte-order mark, named .cdu and
        // named on the command line: still a case, and its name never proposed.
        QByteArray marked = "\xEF\xBB\xBF" + caseBytes;
        f->write(QStringLiteral("marked.cdu"), marked);
        w().openFile(f->path(QStringLiteral("marked.cdu")));
        QVERIFY(pane(w(), "Memo1")->text().startsWith(QStringLiteral("0102 0 1 358.8 0 0 0 0 0 0 0\n")));
        f->dialogs.answerSave(QString());
        action(w(), "N10")->trigger();
        QVERIFY(f->dialogs.shown.back().proposed != f->path(QStringLiteral("marked.cdu")));
        QCOMPARE(f->read(QStringLiteral("marked.cdu")), marked);
    }

    void csvExportWritesTwoFilesInTheUsersConvention()
    {
        QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
        // The exact method chosen, whose single-precision figures are written as such.
        w().calculation().settings.method = tarvel::CalculationMethod::Exact;
        f->dialogs.answerOpen(source("tests/data/interchange/case9.m"));
        action(w(), "N35")->trigger();
        action(w(), "N2")->trigger();
        QVERIFY(action(w(), "N36")->isVisible());
        f->dialogs.answerSave(f->path(QStringLiteral("сеть.csv")));
        action(w(), "N36")->trigger();
        // An imported case has no file yet: the case's name beside it.
        QCOMPARE(f->dialogs.shown.back().proposed,
                 QFileInfo(source("tests/data/interchange/case9.m")).dir().filePath(QStringLiteral("case9.csv")));
        QVERIFY(!f->dialogs.shown.back().confirmNewFile);
        const QByteArray nodes = f->read(QStringLiteral("сеть-nodes.csv"));
        const QByteArray branches = f->read(QStringLiteral("сеть-branches.csv"));
        // The mark tells a spreadsheet of a decimal-comma locale the UTF-8;
        // the base node's 358.8 kV is a float, written as such.
        QVERIFY(nodes.startsWith("\xEF\xBB\xBF"));
        QVERIFY2(QString::fromUtf8(nodes.mid(3)).startsWith(
            QStringLiteral("N;Район;Uном (кВ);U (кВ);dV (%);Угол (град);P (МВт);Q (Мвар);Pg (МВт);Qb (Мвар)\r\n"
                           "1;0;358,8;358,8;0;0;")), nodes.left(200).constData());
        QCOMPARE(nodes.count('\n'), 10);
        QVERIFY(branches.startsWith("\xEF\xBB\xBFN1;N2;"));
        QCOMPARE(branches.count('\n'), 10);

        // A second export to the same name asks before replacing the pair.
        f->dialogs.answerSave(f->path(QStringLiteral("сеть.csv")));
        f->dialogs.answerQuestion(QMessageBox::No);
        action(w(), "N36")->trigger();
        QVERIFY(f->dialogs.questions().last().startsWith(QStringLiteral("Файлы \"сеть-nodes.csv\" и \"сеть-branches.csv\"")));
    }

    // A cable level written on a raised base comes back in the case's own kV,
    // as tarvel-cli's --csv gives it.
    void csvExportOfAnImportedCaseGivesTheCasesVoltages()
    {
        // The exact method chosen: the import raises the cable level for it.
        w().calculation().settings.method = tarvel::CalculationMethod::Exact;
        f->dialogs.answerOpen(source("tests/data/interchange/short-cables.m"));
        action(w(), "N35")->trigger();
        action(w(), "N2")->trigger();
        QCOMPARE(f->activeTab(), QStringLiteral("Результаты"));
        f->dialogs.answerSave(f->path(QStringLiteral("cables.csv")));
        action(w(), "N36")->trigger();
        const QStringList rows = QString::fromUtf8(f->read(QStringLiteral("cables-nodes.csv"))).split(QStringLiteral("\r\n"));
        QVERIFY(rows.size() > 4);
        const QStringList node3 = rows[3].split(QLatin1Char(','));
        QCOMPARE(node3.at(0), QStringLiteral("3"));
        QVERIFY2(std::fabs(node3.at(2).toDouble() - 6.6) < 1e-6, qPrintable(rows[3]));

        // Another document's results are its own again.
        f->dialogs.answerQuestion(QMessageBox::No);  // do not save the converted text, nor keep its results
        action(w(), "N3")->trigger();
        pane(w(), "Memo1")->setPlainText(QStringLiteral("0102 0 1 110 0 0 0 0 0 0 0\n0201 0 3 110 1 1 0 0 0 0 0\n"
                                               "0301 0 1 3 1 20 0 0 0 0 0\n"));
        action(w(), "N2")->trigger();
        f->dialogs.answerSave(f->path(QStringLiteral("typed.csv")));
        action(w(), "N36")->trigger();
        const QStringList typed = QString::fromUtf8(f->read(QStringLiteral("typed-nodes.csv"))).split(QStringLiteral("\r\n"));
        QVERIFY(typed.size() > 2);
        QVERIFY2(typed[2].startsWith(QStringLiteral("3,0,110,")), qPrintable(typed[2]));
    }
};

QTEST_MAIN(InterchangeTest)
#include "test_interchange.moc"
