// "Расчет по графику нагрузки...": the steps run from the window, the chart,
// a step's reports on a click, a wrong profile, cancel, and the chart's export.
#include <cmath>

#include <QImage>
#include <QLabel>
#include <QProgressDialog>
#include <QTimer>
#include <QToolTip>
#include <QPushButton>
#include <QRegularExpression>
#include <QWheelEvent>

#include "model/CalculationSettings.h"
#include "model/TextFile.h"
#include "series/SeriesReports.h"
#include "tests/support/TestSupport.h"
#include "tests/ui/WindowFixture.h"
#include "ui/ContingencyPage.h"
#include "ui/SeriesChart.h"

using tarvel::test::action;
using tarvel::test::named;
using tarvel::test::pane;
using tarvel::test::tabs;
using tarvel::test::WindowFixture;

class SeriesTest : public QObject {
    Q_OBJECT

    std::unique_ptr<WindowFixture> f;
    tarvel::ui::TForm1& w() { return *f->window; }

    void openSample(const char* name)
    {
        f->dialogs.answerOpen(QString::fromStdString(tarvel::test::sourcePath(name).string()));
        action(w(), "N4")->trigger();
    }
    // A profile of the districts 0 and 1 of IEEE 118 over `steps` hours.
    QString writeProfile(const QString& name, int steps, double scale = 1.0)
    {
        QByteArray text = "step,d0,d1\n";
        for (int h = 1; h <= steps; ++h)
            text += QByteArray::number(h) + "," + QByteArray::number(scale * (0.7 + 0.01 * (h % 30))) + "," +
                    QByteArray::number(scale * (0.8 + 0.005 * (h % 24))) + "\n";
        f->write(name, text);
        return f->path(name);
    }
    tarvel::ui::SeriesChartView* chart() { return named<tarvel::ui::SeriesPage>(w(), "Chart1")->view(); }

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

    void aProfileRunShowsTheChartAndAStepsReports()
    {
        // An English desktop: figures still without a group separator, which
        // a Russian reader would take for the decimal one.
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        openSample("samples/ieee118.cdu");
        QVERIFY(action(w(), "ProfileRun1")->isEnabled());
        f->dialogs.answerOpen(writeProfile(QStringLiteral("day.csv"), 30));
        action(w(), "ProfileRun1")->trigger();
        QCOMPARE(f->dialogs.messages(), QStringList());
        QCOMPARE(f->activeTab(), QStringLiteral("График"));
        QCOMPARE(chart()->steps().size(), std::size_t(30));
        QVERIFY(!f->read(QString::fromLatin1(tarvel::kTimeSeriesFile)).isEmpty());
        QVERIFY(action(w(), "ChartPng1")->isEnabled());
        QVERIFY(chart()->stepText(4).startsWith(QStringLiteral("Шаг 5: решен")));
        const QString summary = named<tarvel::ui::SeriesPage>(w(), "Chart1")->caption();
        QVERIFY2(summary.contains(QRegularExpression(QStringLiteral("потери энергии \\d{4}\\.\\d{3} МВт·ч"))),
                 qPrintable(summary));

        // The base case's reports first; a click on the chart loads that step's.
        const QString baseResults = pane(w(), "Memo3")->text();
        chart()->resize(900, 500);
        QApplication::processEvents();
        const QRectF plot = chart()->chart()->plotArea();
        const QPoint middle = chart()->mapFromScene(chart()->chart()->mapToScene(plot.center()));
        const int index = chart()->stepAt(middle);
        QVERIFY(index > 0 && index < 29);
        // Pointing at a step shows its figures.
        QTest::mouseMove(chart()->viewport(), middle);
        QTRY_COMPARE(QToolTip::text(), chart()->stepText(index));
        QTest::mouseClick(chart()->viewport(), Qt::LeftButton, {}, middle);
        QCOMPARE(f->activeTab(), QStringLiteral("Результаты"));
        QVERIFY(pane(w(), "Memo3")->text() != baseResults);
        QVERIFY(named<tarvel::ui::SeriesPage>(w(), "Chart1")->caption().endsWith(
            QStringLiteral("показывают шаг %1.").arg(chart()->steps()[std::size_t(index)].step)));
        // Every report tab says which step it shows, until a run of the input itself.
        const QString shownStep = QStringLiteral("шаг %1 ").arg(chart()->steps()[std::size_t(index)].step);
        for (const char* note : {"StateNote2", "StateNote3"}) {
            QVERIFY(named<QLabel>(w(), note)->text().contains(shownStep));
            QVERIFY(!named<QLabel>(w(), note)->isHidden());
        }
        action(w(), "N2")->trigger();
        QVERIFY(named<QLabel>(w(), "StateNote3")->isHidden());
        QCOMPARE(pane(w(), "Memo3")->text(), baseResults);
        QTest::mouseClick(chart()->viewport(), Qt::LeftButton, {}, middle);
        QVERIFY(!named<QLabel>(w(), "StateNote3")->isHidden());
        QCOMPARE(f->dialogs.messages(), QStringList());

        // The wheel and a drag zoom into the steps; Home shows them all again.
        tabs(w())->setCurrentWidget(named<QWidget>(w(), "TabSheet7"));
        QApplication::processEvents();
        const QRectF area = chart()->chart()->plotArea();
        const QPoint centre = chart()->mapFromScene(chart()->chart()->mapToScene(area.center()));
        const int centreIndex = chart()->stepAt(centre);
        const auto all = chart()->stepRange();
        QWheelEvent wheel(QPointF(centre), QPointF(chart()->viewport()->mapToGlobal(centre)), QPoint(), QPoint(0, 120),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(chart()->viewport(), &wheel);
        const auto zoomed = chart()->stepRange();
        QVERIFY(zoomed.second - zoomed.first < 0.9 * (all.second - all.first));
        QVERIFY(zoomed.first <= chart()->steps()[std::size_t(centreIndex)].step);
        QVERIFY(zoomed.second >= chart()->steps()[std::size_t(centreIndex)].step);
        QTest::keyClick(chart(), Qt::Key_Home);
        QCOMPARE(chart()->stepRange(), all);
        const QPoint left = chart()->mapFromScene(chart()->chart()->mapToScene(area.topLeft() + QPointF(area.width() * 0.25, area.height() / 2)));
        const QPoint right = chart()->mapFromScene(chart()->chart()->mapToScene(area.topLeft() + QPointF(area.width() * 0.5, area.height() / 2)));
        const QString activeBefore = f->activeTab();
        QTest::mousePress(chart()->viewport(), Qt::LeftButton, {}, left);
        QTest::mouseMove(chart()->viewport(), right);
        QTest::mouseRelease(chart()->viewport(), Qt::LeftButton, {}, right);
        const auto dragged = chart()->stepRange();
        const double span = all.second - all.first;
        QVERIFY(std::fabs(dragged.first - (all.first + 0.25 * span)) < 1.5);
        QVERIFY(std::fabs(dragged.second - (all.first + 0.5 * span)) < 1.5);
        QCOMPARE(f->activeTab(), activeBefore);  // a drag chooses no step
        named<tarvel::ui::SeriesPage>(w(), "Chart1")->resetButton()->click();
        QCOMPARE(chart()->stepRange(), all);

        // Exports of the chart.
        f->dialogs.answerSave(f->path(QStringLiteral("chart.png")));
        action(w(), "ChartPng1")->trigger();
        QVERIFY(!QImage(f->path(QStringLiteral("chart.png"))).isNull());
        f->dialogs.answerSave(f->path(QStringLiteral("chart.svg")));
        action(w(), "ChartSvg1")->trigger();
        QVERIFY(f->read(QStringLiteral("chart.svg")).contains("<svg"));
    }

    void aWrongProfileIsToldWithItsLine()
    {
        openSample("samples/ieee118.cdu");
        f->write(QStringLiteral("bad.csv"), "step,d0\n1,1\n2,-0.5\n");
        f->dialogs.answerOpen(f->path(QStringLiteral("bad.csv")));
        action(w(), "ProfileRun1")->trigger();
        QCOMPARE(f->dialogs.messages(),
                 QStringList{QStringLiteral("График нагрузки, строка 3: столбец \"d0\": отрицательный множитель -0.5")});
        QVERIFY(!tabs(w())->isTabVisible(6));
        QVERIFY(f->read(QString::fromLatin1(tarvel::kTimeSeriesFile)).isEmpty());
    }

    void cancelLeavesTheEarlierResults()
    {
        openSample("samples/ieee118.cdu");
        f->dialogs.answerOpen(writeProfile(QStringLiteral("day.csv"), 24));
        action(w(), "ProfileRun1")->trigger();
        QCOMPARE(chart()->steps().size(), std::size_t(24));
        const QByteArray report = f->read(QString::fromLatin1(tarvel::kTimeSeriesFile));

        // A long second run, cancelled from its progress dialog as soon as it
        // exists, as its button cancels it (a year of IEEE 118 takes a tenth
        // of a second on a fast machine: the dialog's own check comes too late).
        f->dialogs.answerOpen(writeProfile(QStringLiteral("year.csv"), 8784, 1.1));
        QTimer poll;
        bool cancelled = false;
        connect(&poll, &QTimer::timeout, this, [&] {
            if (auto* progress = w().findChild<QProgressDialog*>(QStringLiteral("ProfileProgress1"))) {
                emit progress->canceled();
                cancelled = true;
                poll.stop();
            }
        });
        poll.start(5);
        action(w(), "ProfileRun1")->trigger();
        QVERIFY(cancelled);
        QCOMPARE(chart()->steps().size(), std::size_t(24));
        QCOMPARE(f->read(QString::fromLatin1(tarvel::kTimeSeriesFile)), report);
        QVERIFY(pane(w(), "Memo4")->text().contains(QStringLiteral("прерван")));
    }

    // With the N-1 of every step: IEEE 118 with three branches at node 69
    // limited near their base-case current, so that outages break them.
    void theOutagesOfEveryStepMarkTheInsecureSteps()
    {
        openSample("samples/ieee118.cdu");
        tarvel::ui::ProfileRequest request;
        request.withOutages = true;
        request.study.limitsFile = QString::fromStdString(tarvel::test::sourcePath("samples/ieee118-limits.txt").string());
        f->dialogs.answerOpen(writeProfile(QStringLiteral("day.csv"), 24));
        f->dialogs.answerProfile(request);
        action(w(), "ProfileRun1")->trigger();
        QCOMPARE(f->dialogs.messages(), QStringList());
        QCOMPARE(f->activeTab(), QStringLiteral("График"));
        int insecure = 0, outages = 0;
        for (const tarvel::StepResult& s : chart()->steps()) {
            insecure += tarvel::isInsecureStep(s);
            outages += s.outagesSolved + s.outagesSplit + s.outagesNotConverged + s.outagesDiverged;
        }
        QCOMPARE(outages, 24 * 186);  // every branch of IEEE 118 at every step
        QVERIFY(insecure > 0);
        QVERIFY(chart()->stepText(0).contains(QStringLiteral("N-1: отключений 186, с нарушениями ")));
        const QByteArray report = f->read(QString::fromLatin1(tarvel::kTimeSeriesFile));
        QVERIFY(report.contains(tarvel::utf8ToCp1251("небезопасные при отключении одной ветви").c_str()));

        // A wrong limits file is told with its line and nothing runs.
        f->write(QStringLiteral("bad.txt"), "69 70 -1\n");
        request.study.limitsFile = f->path(QStringLiteral("bad.txt"));
        f->dialogs.answerOpen(writeProfile(QStringLiteral("day2.csv"), 24, 1.1));
        f->dialogs.answerProfile(request);
        action(w(), "ProfileRun1")->trigger();
        QCOMPARE(f->dialogs.messages().size(), 1);
        QVERIFY(f->dialogs.messages().at(0).contains(QStringLiteral("Строка 1 файла пределов")));
        QCOMPARE(f->read(QString::fromLatin1(tarvel::kTimeSeriesFile)), report);
    }

    // An imported MATPOWER case keeps its buses' areas for the profile's a<area> columns.
    void anImportedCaseTakesAreaColumns()
    {
        QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
        f->dialogs.answerOpen(
            QString::fromStdString(tarvel::test::sourcePath("tests/data/series/case_ACTIVSg200.m").string()));
        action(w(), "N35")->trigger();
        f->write(QStringLiteral("areas.csv"), "step,a1\n1,0.9\n2,1.1\n");
        f->dialogs.answerOpen(f->path(QStringLiteral("areas.csv")));
        f->dialogs.answerProfile({});
        action(w(), "ProfileRun1")->trigger();
        QVERIFY2(f->dialogs.messages().isEmpty(), qPrintable(f->dialogs.messages().join(QStringLiteral("; "))));
        QCOMPARE(chart()->steps().size(), std::size_t(2));
        const tarvel::StepResult& low = chart()->steps()[0];
        const tarvel::StepResult& high = chart()->steps()[1];
        QCOMPARE(low.outcome, tarvel::StepOutcome::Solved);
        QVERIFY(std::fabs(high.loadMw / low.loadMw - 1.1 / 0.9) < 1e-9);
        // The user's decimal comma, in the summary and the figures of a step.
        const QString summary = named<tarvel::ui::SeriesPage>(w(), "Chart1")->caption();
        QVERIFY2(summary.contains(QRegularExpression(QStringLiteral("потери энергии \\d+,\\d{3} МВт·ч"))),
                 qPrintable(summary));
        QVERIFY(chart()->stepText(0).contains(QRegularExpression(QStringLiteral("\\d,\\d{4}"))));
    }

    // TARVEL_SERIES_SHOT=FILE.png: the window with the chart of a week of hours.
    void screenshot()
    {
        const QByteArray shot = qgetenv("TARVEL_SERIES_SHOT");
        if (shot.isEmpty())
            QSKIP("TARVEL_SERIES_SHOT not set");
        w().resize(1200, 760);
        openSample("samples/ieee118.cdu");
        f->dialogs.answerOpen(writeProfile(QStringLiteral("week.csv"), 168));
        action(w(), "ProfileRun1")->trigger();
        QTest::qWait(300);
        QVERIFY(w().grab().save(QString::fromLocal8Bit(shot)));
    }
};

QTEST_MAIN(SeriesTest)
#include "test_series.moc"
