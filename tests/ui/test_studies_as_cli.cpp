// The window's contingency study and load-profile run write the same files as
// tarvel-cli for the same input: an imported MATPOWER case's ratings are
// branch limits in both, and a profile with the N-1 of every step gives the
// same timeseries.rez.
#include <QSignalSpy>
#include <QTest>

#include "model/TextFile.h"
#include "series/SeriesReports.h"
#include "study/StudyFiles.h"
#include "tests/support/TestSupport.h"
#include "tests/ui/WindowFixture.h"
#include "ui/ContingencyPage.h"

using tarvel::test::action;
using tarvel::test::named;
using tarvel::test::WindowFixture;

class StudiesAsCliTest : public QObject {
    Q_OBJECT

    static QString source(const char* relative)
    {
        return QString::fromStdString(tarvel::test::sourcePath(relative).string());
    }

    static tarvel::test::ProgramRun runCli(const tarvel::test::TempDir& dir, const std::string& args)
    {
        return tarvel::test::runInFolder(TARVEL_CLI_PATH, dir.path(), args);
    }

    static std::string quoted(const QString& path) { return "'" + path.toStdString() + "'"; }

private slots:
    void theN1OfAnImportedCaseTakesItsRatingsAsTheCommandLineDoes()
    {
        const QString caseFile = source("tests/data/series/case_ACTIVSg200.m");
        WindowFixture f;
        f.dialogs.answerOpen(caseFile);
        action(*f.window, "N35")->trigger();
        action(*f.window, "N2")->trigger();
        f.dialogs.answerContingency({});
        auto* page = named<tarvel::ui::ContingencyPage>(*f.window, "Contingency1Page");
        QSignalSpy spy(page, &tarvel::ui::ContingencyPage::finished);
        action(*f.window, "Contingency1")->trigger();
        QVERIFY(spy.wait(120000));
        QCOMPARE(spy.first().first().toBool(), true);
        const QByteArray window = f.read(QString::fromLatin1(tarvel::kContingencyReportFile));

        tarvel::test::TempDir dir;
        const tarvel::test::ProgramRun cli = runCli(dir, "--contingencies all " + quoted(caseFile));
        QVERIFY2(cli.status == 0 || cli.status == 4, cli.err.c_str());
        const std::string expected = tarvel::test::fileBytes(dir / tarvel::kContingencyReportFile);
        QVERIFY(tarvel::cp1251ToUtf8(expected).find("rateA случая") != std::string::npos);
        QCOMPARE(window.toStdString(), expected);
        QVERIFY(f.dialogs.unexpected().isEmpty());
    }

    void aProfileWithTheOutagesOfEveryStepGivesTheSameReport()
    {
        WindowFixture f;
        f.window->calculation().settings.precision = 0.01f;
        f.window->calculation().settings.iteraz = 10;
        const QString network = source("samples/ieee118.cdu");
        const QString limits = source("samples/ieee118-limits.txt");
        f.write(QStringLiteral("day.csv"), "step,d0,d1\n1,0.7,0.8\n2,0.9,0.95\n3,1.1,1.05\n4,1.25,1.2\n");
        f.dialogs.answerOpen(network);
        action(*f.window, "N4")->trigger();
        tarvel::ui::ProfileRequest request;
        request.withOutages = true;
        request.study.limitsFile = limits;
        f.dialogs.answerOpen(f.path(QStringLiteral("day.csv")));
        f.dialogs.answerProfile(request);
        action(*f.window, "ProfileRun1")->trigger();
        QCOMPARE(f.dialogs.messages(), QStringList());
        const QByteArray window = f.read(QString::fromLatin1(tarvel::kTimeSeriesFile));
        QVERIFY(!window.isEmpty());

        tarvel::test::TempDir dir;
        const tarvel::test::ProgramRun cli =
            runCli(dir, "--profile " + quoted(f.path(QStringLiteral("day.csv"))) + " --contingencies all --limits " +
                            quoted(limits) + " " + quoted(network));
        QVERIFY2(cli.status == 0 || cli.status == 4, cli.err.c_str());
        QCOMPARE(window.toStdString(), tarvel::test::fileBytes(dir / tarvel::kTimeSeriesFile));
        QVERIFY(f.dialogs.unexpected().isEmpty());
    }
};

QTEST_MAIN(StudiesAsCliTest)
#include "test_studies_as_cli.moc"
