// The steps file and timeseries.rez: the exact header and figures, the
// rankings and the energy lost.
#include <gtest/gtest.h>

#include "model/TextFile.h"
#include "series/SeriesReports.h"
#include "tests/support/TestSupport.h"

namespace tarvel {
namespace {

StepResult step(int64_t number, double losses, double vmin, double vmax, StepOutcome outcome = StepOutcome::Solved)
{
    StepResult s;
    s.step = number;
    s.outcome = outcome;
    s.iterations = 2;
    s.loadMw = 100.5;
    s.baseMw = 0.1 + 0.2;  // 0.30000000000000004: the shortest form that reads back the same
    s.lossesMw = losses;
    s.vminPu = vmin;
    s.vminNode = 7;
    s.vmaxPu = vmax;
    s.vmaxNode = -3;
    return s;
}

TEST(StepsCsv, HeaderAndShortestRoundTripFigures)
{
    std::vector<StepResult> steps = {step(1, 2.5, 0.95, 1.05), step(2, 1e-5, 0.9, 1.1, StepOutcome::NotConverged)};
    steps[1].maxLoadingPct = 101.25;
    steps[1].maxLoadingStart = 12;
    steps[1].maxLoadingEnd = 13;
    steps[1].maxLoadingParallel = 2;
    steps[1].violations = 4;
    EXPECT_EQ(stepsCsv(steps, false),
              "step,outcome,iterations,load_mw,base_mw,losses_mw,vmin_pu,vmin_node,vmax_pu,vmax_node,"
              "max_loading_pct,max_loading_branch,violations\n"
              "1,solved,2,100.5,0.30000000000000004,2.5,0.95,7,1.05,-3,,,0\n"
              "2,not_converged,2,100.5,0.30000000000000004,1e-05,0.9,7,1.1,-3,101.25,12 13 2,4\n");
    EXPECT_EQ(stepsCsvPath("/tmp/run/year"), std::filesystem::path("/tmp/run/year-steps.csv"));
}

TEST(TimeSeriesReport, RanksSolvedStepsAndSumsTheirEnergy)
{
    std::vector<StepResult> steps;
    for (int i = 0; i < 30; ++i)
        steps.push_back(step(i + 1, 1.0 + (i % 7), 1.0 - 0.001 * (i % 5), 1.0 + 0.002 * (i % 3)));
    steps[4].outcome = StepOutcome::Diverged;
    steps[4].lossesMw = 1000;  // a failed step counts nowhere

    double expected = 0;
    for (const StepResult& s : steps)
        if (s.outcome == StepOutcome::Solved)
            expected += s.lossesMw;
    EXPECT_DOUBLE_EQ(energyLostMwh(steps), expected);

    const std::vector<int> losses = worstByLosses(steps, kWorstSteps);
    ASSERT_EQ(losses.size(), 10u);
    // Losses 7 at steps 7, 14, 21, 28 (indices 6, 13, 20, 27), then 6 at 6, 13, 20, 27 ...
    EXPECT_EQ(losses[0], 6);
    EXPECT_EQ(losses[3], 27);
    EXPECT_EQ(losses[4], 5);
    for (const int i : losses)
        EXPECT_NE(i, 4);
    for (std::size_t i = 1; i < losses.size(); ++i)
        EXPECT_GE(steps[losses[i - 1]].lossesMw, steps[losses[i]].lossesMw);

    const std::vector<int> voltage = worstByVoltage(steps, kWorstSteps);
    for (std::size_t i = 1; i < voltage.size(); ++i) {
        const auto excursion = [&](int k) {
            return std::max(1 - steps[k].vminPu, steps[k].vmaxPu - 1);
        };
        EXPECT_GE(excursion(voltage[i - 1]), excursion(voltage[i]));
    }
    EXPECT_TRUE(worstByLoading(steps, kWorstSteps).empty());

    const std::string report = timeSeriesReport(steps, false);
    EXPECT_NE(report.find("Шагов: 30, решено: 29, не сошлось: 0, расходится: 1"), std::string::npos) << report;
    EXPECT_NE(report.find(formatFixed(expected, 0, 3) + " МВт·ч"), std::string::npos) << report;
    EXPECT_NE(report.find("        5          2   расходится"), std::string::npos) << report;

    test::TempDir dir;
    ASSERT_TRUE(writeTimeSeriesReport(steps, false, dir.path()));
    const std::string bytes = test::fileBytes(dir / kTimeSeriesFile);
    EXPECT_EQ(bytes, utf8ToCp1251(toCrLf(report)));
    EXPECT_TRUE(hasCrLfLineEnds(bytes));
}

}  // namespace
}  // namespace tarvel
