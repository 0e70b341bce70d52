// The calculation commands from the window: power flow, loss analysis and
// loss allocation on a real network, and a network the reader refuses.
#include "model/CalculationSettings.h"
#include "model/NetworkModel.h"
#include "model/TextFile.h"
#include "powerflow/PowerFlowRun.h"
#include "tests/support/TestSupport.h"
#include "tests/ui/WindowFixture.h"

using tarvel::test::action;
using tarvel::test::menu;
using tarvel::test::named;
using tarvel::test::pane;
using tarvel::test::tabs;
using tarvel::test::ScriptedDialogs;
using tarvel::test::WindowFixture;

namespace {

const QString kRejected = QStringLiteral("Расчет невозможен!");

}  // namespace

class CalculationTest : public QObject {
    Q_OBJECT

    std::unique_ptr<WindowFixture> f;
    tarvel::ui::TForm1& w() { return *f->window; }

    // A working file as the window shows it.
    QString working(const QString& name) const
    {
        const QByteArray bytes = f->read(name);
        const std::string utf8 = tarvel::cp1251ToUtf8(std::string_view(bytes.constData(), std::size_t(bytes.size())));
        QString text = QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
        text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        return text;
    }
    void openSample()
    {
        f->dialogs.answerOpen(QString::fromStdString(tarvel::test::sourcePath("samples/ieee14.cdu").string()));
        action(w(), "N4")->trigger();
    }

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
        QVERIFY2(unexpected.isEmpty(), qPrintable(unexpected.join(QStringLiteral("; "))));
    }

    void powerFlowThenLossCommands()
    {
        QTest::keyClick(&w(), Qt::Key_F9);  // no document, no calculation menu: nothing runs
        QVERIFY(!QFile::exists(f->path(QStringLiteral("network.cdu"))));
        openSample();
        QCOMPARE(action(w(), "N2")->shortcut(), QKeySequence(Qt::Key_F9));  // shown in the menu
        QTest::keyClick(pane(w(), "Memo1"), Qt::Key_F9);
        QCOMPARE(f->dialogs.messages(), QStringList());
        QCOMPARE(f->visibleTabs(), QStringList({QStringLiteral("ieee14.cdu"), QStringLiteral("Исх. данные"),
                                                QStringLiteral("Результаты"), QStringLiteral("Схема")}));
        QCOMPARE(f->activeTab(), QStringLiteral("Результаты"));
        QVERIFY(!working(QStringLiteral("network.rez")).isEmpty());
        QCOMPARE(pane(w(), "Memo3")->text(), working(QStringLiteral("network.rez")));
        QCOMPARE(pane(w(), "Memo2")->text(), working(QStringLiteral("network.out")));
        QVERIFY(pane(w(), "Memo2")->text().startsWith(QStringLiteral("Число узлов n = 13\tЧисло Ветвей m = 20")));
        QVERIFY(!w().isLowerPaneShown());
        QVERIFY(menu(w(), "N13")->menuAction()->isVisible());
        QVERIFY(action(w(), "N22")->isEnabled());
        QVERIFY(action(w(), "N27")->isEnabled());
        QCOMPARE(w().statusPanelText(0), QStringLiteral("1: 1"));

        action(w(), "N22")->trigger();
        QCOMPARE(f->activeTab(), QStringLiteral("Анализ потерь"));
        QVERIFY(!pane(w(), "Memo5")->text().isEmpty());
        QCOMPARE(pane(w(), "Memo5")->text(), working(QStringLiteral("network.rip")));

        action(w(), "N27")->trigger();
        QCOMPARE(f->activeTab(), QStringLiteral("Составляющие потерь"));
        QVERIFY(!pane(w(), "Memo6")->text().isEmpty());
        QCOMPARE(pane(w(), "Memo6")->text(), working(QStringLiteral("losses.rez")));
        QCOMPARE(f->dialogs.messages(), QStringList());

        // A second run reloads the tabs already shown (the allocation tab
        // from network.tok) and makes the results active again.
        pane(w(), "Memo5")->clear();
        action(w(), "N2")->trigger();
        QCOMPARE(f->activeTab(), QStringLiteral("Результаты"));
        QCOMPARE(f->visibleTabs().size(), 6);
        QCOMPARE(pane(w(), "Memo5")->text(), working(QStringLiteral("network.rip")));
        QCOMPARE(pane(w(), "Memo6")->text(), working(QStringLiteral("network.tok")));

        // New with results on display: only the second question when the
        // input is unchanged; No keeps everything.
        f->dialogs.answerQuestion(QMessageBox::No);
        action(w(), "N3")->trigger();
        QCOMPARE(f->dialogs.questions(),
                 QStringList{QStringLiteral("Вы действительно хотите задать новые исходные данные?\n"
                                            "При этом вы потеряете результаты текущего расчета.")});
        QCOMPARE(f->dialogs.shown.back().caption, QStringLiteral("Открытие нового окна"));
        QCOMPARE(f->dialogs.shown.back().buttons, QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(f->visibleTabs().size(), 6);

        // Edited input: one question, whose answer decides for the edits
        // and the results alike, then the editing state.
        pane(w(), "Memo1")->setFocus();
        tarvel::test::typeText(pane(w(), "Memo1"), QStringLiteral(" "));
        f->dialogs.answerQuestion(QMessageBox::Cancel);
        action(w(), "N3")->trigger();
        QCOMPARE(f->visibleTabs().size(), 6);
        f->dialogs.answerQuestion(QMessageBox::No);
        action(w(), "N3")->trigger();
        QCOMPARE(f->dialogs.questions().size(), 3);
        QCOMPARE(f->dialogs.questions().back(), QStringLiteral("Сохранить изменения в файле исходных данных ?"));
        QCOMPARE(f->visibleTabs(), QStringList{QStringLiteral("Без_имени(*.cdu)")});
        QVERIFY(!action(w(), "N22")->isEnabled());
        QVERIFY(!action(w(), "N27")->isEnabled());
        QVERIFY(!menu(w(), "N13")->menuAction()->isVisible());
        QVERIFY(pane(w(), "Memo1")->text().isEmpty());
    }

    void rejectedDataShowTheErrorList()
    {
        openSample();
        action(w(), "N2")->trigger();
        QVERIFY(action(w(), "N22")->isEnabled());

        // Node 3 has no branch: the reader refuses the data.
        pane(w(), "Memo1")->setPlainText(QStringLiteral("0102 0 1 110 0 0 0 0 0 0 0\n"
                                               "0201 0 2 110 10 5 0 0 0 0 0\n"
                                               "0201 0 3 110 1 1 0 0 0 0 0\n"
                                               "0301 0 1 2 5 20 -100 1 0 0 0\n"));
        action(w(), "N2")->trigger();
        QVERIFY(f->dialogs.messages().contains(kRejected));
        QCOMPARE(f->visibleTabs(), (QStringList{QStringLiteral("ieee14.cdu"), QStringLiteral("Схема")}));
        QCOMPARE(f->activeTab(), QStringLiteral("ieee14.cdu"));
        QVERIFY(w().isLowerPaneShown());
        QVERIFY(named<QWidget>(w(), "Splitter1")->isVisible());
        // The list names the line of the record; network.err keeps its own form.
        QCOMPARE(pane(w(), "Memo4")->text(), QStringLiteral("Ошибка связи 1. Нет ветвей для узла 3 (строка 3)"));
        QCOMPARE(working(QStringLiteral("network.err")), QStringLiteral("Ошибка связи 1. Нет ветвей для узла 3\n"));
        QVERIFY(pane(w(), "Memo4")->isReadOnly());
        // A rejected run leaves the loss commands and the export menu as they were.
        QVERIFY(action(w(), "N22")->isEnabled());
        QVERIFY(action(w(), "N27")->isEnabled());
        QVERIFY(menu(w(), "N13")->menuAction()->isVisible());

        // The lower pane reports its own caret and never the modified mark.
        pane(w(), "Memo1")->setFocus();
        tarvel::test::typeText(pane(w(), "Memo1"), QStringLiteral("x"));
        QCOMPARE(w().statusPanelText(1), QStringLiteral("модиф."));
        pane(w(), "Memo4")->setFocus();
        QTest::keyClick(pane(w(), "Memo4"), Qt::Key_End);
        QCOMPARE(w().statusPanelText(0), QStringLiteral("1: 49"));
        QCOMPARE(w().statusPanelText(1), QString());

        // A good run afterwards: the reports again, the lower pane hidden, Memo4 stays read-only.
        f->dialogs.clear();
        const QByteArray sample = QByteArray::fromStdString(tarvel::test::fileBytes(tarvel::test::sourcePath("samples/ieee14.cdu")));
        pane(w(), "Memo1")->setPlainText(QString::fromLatin1(sample));
        action(w(), "N2")->trigger();
        QCOMPARE(f->dialogs.messages(), QStringList());
        QCOMPARE(f->activeTab(), QStringLiteral("Результаты"));
        QVERIFY(!w().isLowerPaneShown());
        QVERIFY(pane(w(), "Memo4")->isReadOnly());

        // New hides an error list as well.
        pane(w(), "Memo1")->setPlainText(QString());
        action(w(), "N2")->trigger();
        QVERIFY(w().isLowerPaneShown());
        action(w(), "N3")->trigger();  // no question: the input is unmodified and no results are shown
        QCOMPARE(f->dialogs.count(ScriptedDialogs::Kind::Question), 0);
        QVERIFY(!w().isLowerPaneShown());
        QCOMPARE(f->visibleTabs(), QStringList{QStringLiteral("Без_имени(*.cdu)")});
    }

    // "Расчет невозможен!" comes over the list that says why, not over a
    // pane that still says the run is going on.
    void theRefusalIsToldOverItsErrorList()
    {
        openSample();
        QStringList messages, panes;
        {
            struct PaneAtEachMessage : ScriptedDialogs {
                tarvel::ui::TForm1* window = nullptr;
                QStringList panes;
                void message(QWidget* parent, const QString& text, QMessageBox::Icon icon) override
                {
                    panes << pane(*window, "Memo4")->text();
                    ScriptedDialogs::message(parent, text, icon);
                }
            } boxes;
            boxes.window = &w();
            pane(w(), "Memo1")->setPlainText(QStringLiteral("0102 0 1 110 0 0 0 0 0 0 0\n"
                                                   "0201 0 2 110 10 5 0 0 0 0 0\n"
                                                   "0201 0 3 110 1 1 0 0 0 0 0\n"
                                                   "0301 0 1 2 5 20 -100 1 0 0 0\n"));
            action(w(), "N2")->trigger();
            messages = boxes.messages();
            panes = boxes.panes;
        }
        tarvel::ui::setDialogs(&f->dialogs);
        QCOMPARE(messages, QStringList{kRejected});
        QCOMPARE(panes, QStringList{QStringLiteral("Ошибка связи 1. Нет ветвей для узла 3 (строка 3)")});
    }

    // The error list of refused data is followed by the place where the
    // reading stopped, which explains it.
    void anEarlyStopFollowsTheErrorList()
    {
        openSample();
        pane(w(), "Memo1")->setPlainText(QStringLiteral("0102 0 1 110 0 0 0 0 0 0 0\n"
                                               "0201 0 2 110 10 5 0 0 0 0 0\n"
                                               "0301 0 1 2 5 20 -100 1 0 0 0\n"
                                               "0201 0 3 110 7,6 0 0 0 0 0 0\n"
                                               "0301 0 2 3 5 20 -100 1 0 0 0\n"));
        action(w(), "N2")->trigger();
        QVERIFY(f->dialogs.messages().contains(kRejected));
        QVERIFY(w().isLowerPaneShown());
        QCOMPARE(pane(w(), "Memo4")->text(), QStringLiteral("Ошибка связи 1. Нет ветвей для узла 3 (строка 4)\n"
                                                   "Данные прочитаны не полностью: в строке 4, позиции 15 текст \",6\" "
                                                   "не является числом; дальше данные не читались."));
        QCOMPARE(working(QStringLiteral("network.err")), QStringLiteral("Ошибка связи 1. Нет ветвей для узла 3\n"));
    }

    void warningsOfAnAcceptedRunStayInSight()
    {
        openSample();
        pane(w(), "Memo1")->moveCursor(QTextCursor::End);
        pane(w(), "Memo1")->insertPlainText(QStringLiteral("\nконец\n"));
        action(w(), "N2")->trigger();
        QCOMPARE(f->activeTab(), QStringLiteral("Результаты"));
        QVERIFY(w().isLowerPaneShown());
        const QStringList lines = pane(w(), "Memo4")->text().split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 2);
        QVERIFY(lines[0].startsWith(QStringLiteral("Идёт расчет")));
        QVERIFY(lines[1].startsWith(QStringLiteral("Данные прочитаны не полностью")));

        // The next clean run hides the pane again.
        f->dialogs.answerQuestion(QMessageBox::No);  // the edited input is dropped
        openSample();
        action(w(), "N2")->trigger();
        QVERIFY(!w().isLowerPaneShown());
    }

    // The method chosen in the parameters dialog steers the run: the full
    // model on a small network, and the classic method refused (with a word)
    // for a network beyond its limits.
    void theChosenMethodSteersTheRun()
    {
        openSample();
        w().calculation().settings.method = tarvel::CalculationMethod::Sparse;
        action(w(), "N2")->trigger();
        QVERIFY(working(QStringLiteral("network.out")).contains(QStringLiteral("разреженным методом")));

        w().calculation().settings.method = tarvel::CalculationMethod::Exact;
        f->dialogs.answerOpen(QString::fromStdString(tarvel::test::sourcePath("samples/ieee118.cdu").string()));
        action(w(), "N4")->trigger();
        action(w(), "N2")->trigger();
        QVERIFY(working(QStringLiteral("network.out")).contains(QStringLiteral("разреженным методом")));
        QVERIFY(pane(w(), "Memo4")->text().contains(QString::fromUtf8(tarvel::kExactMethodTooSmallText)));
    }

    void echoFileThatCannotBeCreated()
    {
        openSample();
        action(w(), "N2")->trigger();
        action(w(), "N22")->trigger();
        const QStringList tabs = f->visibleTabs();
        QVERIFY(QDir(f->path(QString())).mkdir(QStringLiteral("network.out.dir")));
        QVERIFY(QFile::remove(f->path(QStringLiteral("network.out"))));
        QVERIFY(QDir(f->path(QString())).rename(QStringLiteral("network.out.dir"), QStringLiteral("network.out")));

        // Told; the progress text stays in sight and nothing else changes.
        action(w(), "N2")->trigger();
        QCOMPARE(f->dialogs.messages(), QStringList{QStringLiteral("Невозможно открыть(создать) файл \"network.out\"")});
        QVERIFY(w().isLowerPaneShown());
        QCOMPARE(pane(w(), "Memo4")->text(), QStringLiteral("Идёт расчет потокораспределения электрической сети Tarvel V.M 1.1"));
        QVERIFY(!pane(w(), "Memo4")->isReadOnly());
        QCOMPARE(f->visibleTabs(), tabs);
        QCOMPARE(f->activeTab(), QStringLiteral("Анализ потерь"));
        QVERIFY(menu(w(), "N13")->menuAction()->isVisible());
        QVERIFY(action(w(), "N22")->isEnabled());
    }

    // An earlier losses.rez must not pass for this run's report unannounced.
    void lossReportThatCannotBeCreatedIsTold()
    {
        openSample();
        action(w(), "N2")->trigger();
        QVERIFY(QDir(f->path(QString())).mkdir(QStringLiteral("losses.rez")));
        action(w(), "N27")->trigger();
        // Told first; the folder in its place then cannot be shown either.
        QVERIFY(!f->dialogs.messages().isEmpty());
        QCOMPARE(f->dialogs.messages().front(), QStringLiteral("Невозможно открыть(создать) файл \"losses.rez\""));
        QCOMPARE(f->activeTab(), QStringLiteral("Составляющие потерь"));
    }

    void nonConvergenceStillShowsTheReports()
    {
        openSample();
        w().calculation().settings.iteraz = 0;
        action(w(), "N2")->trigger();
        QCOMPARE(f->dialogs.messages().size(), 1);
        QVERIFY(f->dialogs.messages().front().startsWith(QStringLiteral("За данное число итераций")));
        QCOMPARE(f->activeTab(), QStringLiteral("Результаты"));
        QVERIFY(action(w(), "N27")->isEnabled());
    }

    void missingReportIsToldAndStopsTheCommand()
    {
        openSample();
        action(w(), "N2")->trigger();
        QFile::remove(f->path(QStringLiteral("network.rip")));
        action(w(), "N22")->trigger();
        QCOMPARE(f->dialogs.messages().size(), 1);
        QVERIFY(f->dialogs.messages().front().contains(QStringLiteral("network.rip")));
        QVERIFY(tabs(w())->isTabVisible(3));  // shown before the load
        QCOMPARE(f->activeTab(), QStringLiteral("Результаты"));

        // Without network.tok the allocation appends the core's note to its pane
        // and then shows the report it wrote from the previous branch data.
        QFile::remove(f->path(QStringLiteral("network.tok")));
        action(w(), "N27")->trigger();
        QCOMPARE(f->activeTab(), QStringLiteral("Составляющие потерь"));
        QCOMPARE(pane(w(), "Memo6")->text(), working(QStringLiteral("losses.rez")));
    }

    // TARVEL_SCREENSHOT=<file.png>: saves the window with the results of the
    // sample network, for the documentation.
    void screenshot()
    {
        const QString target = qEnvironmentVariable("TARVEL_SCREENSHOT");
        if (target.isEmpty())
            QSKIP("TARVEL_SCREENSHOT not set");
        openSample();
        action(w(), "N2")->trigger();
        action(w(), "N22")->trigger();
        tabs(w())->setCurrentIndex(2);
        QTest::qWait(100);
        QVERIFY(w().grab().save(target));
    }
};

QTEST_MAIN(CalculationTest)
#include "test_calculation.moc"
