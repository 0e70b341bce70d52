// The contingency study and the load-profile run as both front ends start
// them: input that cannot be taken is told in Russian with its line before
// anything runs, in the order of the files; a study that does not complete
// writes nothing.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "app/CalculationRun.h"
#include "app/ContingencyStudy.h"
#include "app/SeriesStudy.h"
#include "model/TextFile.h"
#include "series/SeriesReports.h"
#include "tests/support/TestSupport.h"

namespace tarvel::app {
namespace {

std::string sampleText(const char* name)
{
    return cp1251ToUtf8(test::fileBytes(test::sourcePath(std::string("samples/") + name)));
}

// IEEE 14 as the window holds it after a calculation.
class StudyOfIeee14 : public ::testing::Test {
protected:
    void SetUp() override
    {
        CollectingSink sink;
        CalculationRequest request;
        request.text = text;
        ASSERT_EQ(runCalculation(*calculation, work.path(), request, sink).outcome, RunOutcome::Converged);
    }
    const NetworkModel& model() const { return calculation->model; }
    std::filesystem::path write(const std::string& name, const std::string& text) const
    {
        test::writeBytes(files / name, text);
        return files / name;
    }

    test::TempDir work, files;
    std::string text = sampleText("ieee14.cdu");
    std::unique_ptr<Calculation> calculation = std::make_unique<Calculation>();
};

TEST_F(StudyOfIeee14, InputThatCannotBeTakenIsToldWithItsLineInTheOrderOfTheFiles)
{
    const std::filesystem::path badList = write("list.txt", "1 2\n2 77\n");
    const std::filesystem::path goodList = write("good.txt", "1 2\n2 3; 4 5\n");
    const std::filesystem::path badLimits = write("limits.txt", "1 2 0.5\n2 3 -1\n");
    const std::filesystem::path missing = files / "missing.txt";

    // The list comes first: its wrong line is told even though the limits file is missing.
    StudyInput input = readStudyInput(model(), {}, {badList, missing}, true);
    EXPECT_EQ(input.problem.kind, StudyProblem::Kind::Invalid);
    EXPECT_EQ(input.problem.text, "Строка 2 списка отключений: ветви 2 77 в сети нет");

    input = readStudyInput(model(), {}, {goodList, missing}, true);
    EXPECT_EQ(input.problem.kind, StudyProblem::Kind::Unreadable);
    EXPECT_EQ(input.problem.text, "Невозможно прочитать файл \"" + missing.string() + "\": файл не найден");

    input = readStudyInput(model(), {}, {goodList, badLimits}, true);
    EXPECT_EQ(input.problem.kind, StudyProblem::Kind::Invalid);
    EXPECT_EQ(input.problem.text.rfind("Строка 2 файла пределов", 0), 0u) << input.problem.text;

    // Without the outages the list is not read at all.
    input = readStudyInput(model(), {}, {missing, {}}, false);
    EXPECT_FALSE(input.problem) << input.problem.text;
    EXPECT_TRUE(input.outages.empty());

    // The bytes read by one process give what the files give.
    StudyFileBytes bytes{test::fileBytes(goodList), {}};
    const StudyInput fromBytes = takeStudyInput(model(), {}, {goodList, {}}, bytes, true);
    const StudyInput fromFiles = readStudyInput(model(), {}, {goodList, {}}, true);
    ASSERT_FALSE(fromBytes.problem);
    ASSERT_EQ(fromBytes.outages.size(), 2u);
    ASSERT_EQ(fromFiles.outages.size(), 2u);
    EXPECT_EQ(fromBytes.outages[1].label, fromFiles.outages[1].label);
    EXPECT_EQ(fromBytes.outages[1].branches.size(), 2u);
}

TEST_F(StudyOfIeee14, EveryOutageIsCountedOnceAndOnlyACompleteStudyWritesItsFiles)
{
    StudyInput input = readStudyInput(model(), {}, {}, true);
    ASSERT_FALSE(input.problem);
    const std::size_t outages = input.outages.size();
    EXPECT_EQ(outages, static_cast<std::size_t>(model().branchCount));

    StudyControl stopped;
    stopped.cancel = true;
    const ContingencyRun cancelled = runContingencyStudy(model(), calculation->settings, input, 1, &stopped);
    EXPECT_EQ(cancelled.status, ContingencyRun::Status::Cancelled);
    std::filesystem::path failed;
    EXPECT_TRUE(writeContingencyFiles(cancelled, {work.path(), work / "s.json", work / "s"}, failed));
    EXPECT_FALSE(std::filesystem::exists(work / kContingencyReportFile));
    EXPECT_FALSE(std::filesystem::exists(work / "s.json"));

    StudyControl control;
    const ContingencyRun run = runContingencyStudy(model(), calculation->settings, std::move(input), 2, &control);
    ASSERT_TRUE(run.complete());
    EXPECT_EQ(control.done.load(), outages);
    const StudyCounts& c = run.counts;
    EXPECT_EQ(c.outages, outages);
    EXPECT_EQ(c.secure + c.violations + c.splits + c.failed, c.outages);
    EXPECT_EQ(run.secure(), c.secure == c.outages);
    ASSERT_TRUE(writeContingencyFiles(run, {work.path(), work / "s.json", {}}, failed)) << failed;
    EXPECT_NE(cp1251ToUtf8(test::fileBytes(work / kContingencyReportFile)).find("Отключений: " + std::to_string(outages)),
              std::string::npos);
    EXPECT_TRUE(std::filesystem::exists(work / "s.json"));
}

TEST_F(StudyOfIeee14, ASeriesWithAWrongListIsRefusedBeforeAnyStep)
{
    const std::string profile = "step,d0\n1,0.9\n2,1.1\n";
    SeriesRequest request;
    request.text = text;
    request.profileBytes = profile;
    request.withOutages = true;
    request.files = {write("list.txt", "1 2\n2 77\n"), {}};
    SeriesSetUp setUp = prepareSeries(request, calculation->settings);
    EXPECT_EQ(setUp.state, SeriesPrepared::BadProfile);
    EXPECT_EQ(setUp.problem.text, "Строка 2 списка отключений: ветви 2 77 в сети нет");
    EXPECT_FALSE(setUp.job);

    // A network the reader refuses leaves the telling to the ordinary run.
    request.text = "0201 0 1 110\n";
    setUp = prepareSeries(request, calculation->settings);
    EXPECT_EQ(setUp.state, SeriesPrepared::NetworkRejected);
    EXPECT_FALSE(setUp.problem);

    // Every branch at every step: the steps' outage counts add up, and only
    // a run with the outages counts insecure steps.
    request.text = text;
    request.files = {};
    setUp = prepareSeries(request, calculation->settings);
    ASSERT_EQ(setUp.state, SeriesPrepared::Ready) << setUp.problem.text;
    const SeriesResults results = runSeries(*setUp.job, 2);
    ASSERT_EQ(results.steps.size(), 2u);
    for (const StepResult& s : results.steps)
        EXPECT_EQ(s.outagesSolved + s.outagesNotConverged + s.outagesDiverged + s.outagesSplit,
                  model().branchCount);
    const SeriesTally tally = tallySeries(results);
    EXPECT_EQ(tally.steps, 2);
    EXPECT_EQ(tally.unsolved, 0);
    EXPECT_DOUBLE_EQ(tally.energyLostMwh, energyLostMwh(results.steps));
    SeriesResults withoutOutages = results;
    withoutOutages.withOutages = false;
    EXPECT_EQ(tallySeries(withoutOutages).insecure, 0);
}

}  // namespace
}  // namespace tarvel::app
