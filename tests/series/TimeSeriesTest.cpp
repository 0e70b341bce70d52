// The steps of a profile against separate runs of the network with each
// step's loads, the base case under a profile of ones, and the independence
// of the results from the number of threads and from how the steps are split.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include <tbb/global_control.h>

#include "powerflow/NetworkResults.h"
#include "powerflow/Solver.h"
#include "series/SeriesJob.h"
#include "series/SeriesReports.h"
#include "tests/series/SeriesTestSupport.h"
#include "tests/support/NetworkGenerator.h"

namespace tarvel {
namespace {

// A profile of districts 0..districts-1, steps 1..steps with multipliers
// between 0.6 and 1.3 (a seeded draw).
std::string randomProfile(int steps, uint32_t seed, int districts = 10)
{
    std::mt19937 draw(seed);
    std::uniform_real_distribution<double> m(0.6, 1.3);
    std::string text = "step";
    for (int d = 0; d < districts; ++d)
        text += ",d" + std::to_string(d);
    text += '\n';
    for (int s = 1; s <= steps; ++s) {
        text += std::to_string(s);
        for (int d = 0; d < districts; ++d)
            text += "," + std::to_string(m(draw));
        text += '\n';
    }
    return text;
}

struct Prepared {
    SeriesJob job;
    std::string text;
};

std::unique_ptr<Prepared> prepare(const std::string& cdu, const std::string& profile, const CalculationSettings& settings)
{
    auto p = std::make_unique<Prepared>();
    p->text = cdu;
    std::string error, note;
    if (p->job.prepare(cdu, {}, profile, settings, error, note) != SeriesPrepared::Ready) {
        ADD_FAILURE() << error;
        return nullptr;
    }
    return p;
}

// The figures of a separate run of the network with these loads.
StepResult separateRun(const NetworkModel& network, const StepLoads& loads, const CalculationSettings& settings)
{
    NetworkModel m = network;
    for (int k = 0; k <= m.nodeCount; ++k) {
        m.nodeLoadP[k] = static_cast<float>(loads.p[k]);
        m.nodeLoadQ[k] = static_cast<float>(loads.q[k]);
    }
    const SolveResult solved = solvePowerFlow(m, settings);
    EXPECT_EQ(solved.outcome, SolveOutcome::Converged);
    const NetworkResults results = collectResults(m);
    StepResult r;
    r.vminPu = 1e9;
    r.vmaxPu = -1e9;
    for (int k = 0; k <= m.nodeCount; ++k) {
        const double pu = results.nodes[k].u / nominalVoltage(network, k);
        if (pu < r.vminPu) {
            r.vminPu = pu;
            r.vminNode = m.nodeNumber[k];
        }
        if (pu > r.vmaxPu) {
            r.vmaxPu = pu;
            r.vmaxNode = m.nodeNumber[k];
        }
    }
    r.lossesMw = results.totalLoss;
    r.baseMw = -results.nodes[0].p;
    return r;
}

std::string gridText(int nodes, uint32_t seed)
{
    test::GridOptions options;
    options.nodes = nodes;
    options.seed = seed;
    return cp1251ToUtf8(test::cduText(test::generateGrid(options)));
}

TEST(TimeSeries, EveryStepEqualsASeparateRunWithItsLoads)
{
    CalculationSettings settings;
    settings.precision = 1e-8f;
    settings.iteraz = 30;
    const std::pair<std::string, int> networks[] = {{test::sourceText("samples/ieee118.cdu"), 2}, {gridText(400, 3), 4}};
    for (const auto& [cdu, districts] : networks) {
        const auto p = prepare(cdu, randomProfile(50, 7, districts), settings);
        ASSERT_TRUE(p);
        const std::vector<StepResult> steps = p->job.solveAll();
        ASSERT_EQ(steps.size(), 50u);
        StepLoads loads;
        for (const int i : {0, 1, 23, 24, 25, 49}) {
            SCOPED_TRACE("step " + std::to_string(i + 1));
            const StepResult& s = steps[i];
            EXPECT_EQ(s.step, i + 1);
            ASSERT_EQ(s.outcome, StepOutcome::Solved);
            p->job.study().stepLoads(i, loads);
            const StepResult separate = separateRun(p->job.model(), loads, settings);
            EXPECT_NEAR(s.vminPu, separate.vminPu, 1e-6);
            EXPECT_NEAR(s.vmaxPu, separate.vmaxPu, 1e-6);
            // Nodes held at the same voltage tie: the rounding of the
            // solve may then name another of them.
            if (s.vminNode != separate.vminNode)
                EXPECT_NEAR(s.vminPu, separate.vminPu, 1e-9);
            if (s.vmaxNode != separate.vmaxNode)
                EXPECT_NEAR(s.vmaxPu, separate.vmaxPu, 1e-9);
            EXPECT_NEAR(s.lossesMw, separate.lossesMw, 1e-6 * std::max(1.0, separate.lossesMw));
            EXPECT_NEAR(s.baseMw, separate.baseMw, 1e-5 * std::max(1.0, std::fabs(separate.baseMw)));
        }
    }
}

TEST(TimeSeries, AProfileOfOnesGivesTheBaseCaseAtEveryStep)
{
    CalculationSettings settings;
    settings.precision = 1e-8f;
    settings.iteraz = 30;
    const std::string cdu = gridText(300, 5);
    std::string profile = "hour,d1,d2,d3\n";
    for (int h = 0; h < 30; ++h)
        profile += std::to_string(h) + ",1,1,1\n";
    const auto p = prepare(cdu, profile, settings);
    ASSERT_TRUE(p);
    const std::vector<StepResult> steps = p->job.solveAll();
    StepLoads loads;
    p->job.study().stepLoads(0, loads);
    for (int k = 0; k <= p->job.model().nodeCount; ++k)
        ASSERT_EQ(loads.p[k], p->job.model().nodeLoadP[k]);
    const StepResult base = separateRun(p->job.model(), loads, settings);
    for (const StepResult& s : steps) {
        ASSERT_EQ(s.outcome, StepOutcome::Solved);
        EXPECT_NEAR(s.vminPu, base.vminPu, 1e-9);
        EXPECT_NEAR(s.vmaxPu, base.vmaxPu, 1e-9);
        EXPECT_NEAR(s.lossesMw, base.lossesMw, 1e-7);
    }
}

TEST(TimeSeries, FilesDoNotDependOnThreadsOrOnHowTheStepsAreShared)
{
    const std::string cdu = gridText(300, 9);
    const auto p = prepare(cdu, randomProfile(100, 11, 4), CalculationSettings{});
    ASSERT_TRUE(p);
    std::string one, two;
    {
        tbb::global_control limit(tbb::global_control::max_allowed_parallelism, 1);
        one = stepsCsv(p->job.solveAll(), false);
    }
    {
        tbb::global_control limit(tbb::global_control::max_allowed_parallelism, 2);
        two = stepsCsv(p->job.solveAll(), false);
    }
    EXPECT_EQ(one, two);

    // Three shares solved apart, as three processes would, put together in order.
    const int count = p->job.study().stepCount();
    std::vector<StepResult> pieced(count);
    for (int part = 0; part < 3; ++part) {
        const StepRange range = stepShare(count, part, 3);
        EXPECT_EQ(range.first % kStepsPerBlock, 0);
        p->job.study().solve(range, std::span<StepResult>(pieced).subspan(range.first, range.last - range.first));
    }
    EXPECT_EQ(stepShare(count, 0, 3).first, 0);
    EXPECT_EQ(stepShare(count, 2, 3).last, count);
    EXPECT_EQ(stepsCsv(pieced, false), one);
}

TEST(TimeSeries, AStepThatDoesNotConvergeIsToldAndTheSeriesGoesOn)
{
    CalculationSettings settings;
    settings.precision = 1e-6f;
    settings.iteraz = 15;
    // Step 2 asks for forty times the load, beyond what the grid can carry.
    const auto p = prepare(gridText(300, 5), "step,d0,d1,d2,d3\n1,1,1,1,1\n2,40,40,40,40\n3,1.1,1.1,1.1,1.1\n",
                           settings);
    ASSERT_TRUE(p);
    const std::vector<StepResult> steps = p->job.solveAll();
    ASSERT_EQ(steps.size(), 3u);
    EXPECT_EQ(steps[0].outcome, StepOutcome::Solved);
    EXPECT_NE(steps[1].outcome, StepOutcome::Solved);
    EXPECT_EQ(steps[2].outcome, StepOutcome::Solved);
    const std::string report = timeSeriesReport(steps, false);
    EXPECT_NE(report.find("не сошлось: " + std::string(steps[1].outcome == StepOutcome::NotConverged ? "1" : "0")),
              std::string::npos)
        << report;
    EXPECT_EQ(energyLostMwh(steps), steps[0].lossesMw + steps[2].lossesMw);
}

}  // namespace
}  // namespace tarvel

namespace tarvel {
namespace {

// Hours past what the grid can carry, between ordinary ones: the steps that
// fail carry no figure of their last iterate (the same whatever the number
// of threads), and the report says why they failed.
TEST(TimeSeries, AStepThatFailsCarriesNoFiguresButWhyItFailed)
{
    std::string profile = "step,d0,d1,d2,d3\n";
    for (int s = 1; s <= 60; ++s) {
        const char* m = s % 7 == 3 ? "40" : (s % 7 == 4 ? "25" : "1.05");
        profile += std::to_string(s) + "," + m + "," + m + "," + m + "," + m + "\n";
    }
    const auto p = prepare(gridText(300, 5), profile, CalculationSettings{});
    ASSERT_TRUE(p);
    std::string one, two;
    std::vector<StepResult> steps;
    {
        tbb::global_control limit(tbb::global_control::max_allowed_parallelism, 1);
        steps = p->job.solveAll();
        one = stepsCsv(steps, false);
    }
    {
        tbb::global_control limit(tbb::global_control::max_allowed_parallelism, 2);
        two = stepsCsv(p->job.solveAll(), false);
    }
    EXPECT_EQ(one, two);

    int failed = 0;
    std::size_t at = one.find('\n') + 1;
    for (const StepResult& s : steps) {
        const std::size_t end = one.find('\n', at);
        const std::string line = one.substr(at, end - at);
        at = end + 1;
        if (s.outcome == StepOutcome::Solved)
            continue;
        ++failed;
        std::vector<std::string> fields;
        for (std::size_t from = 0;;) {
            const std::size_t comma = line.find(',', from);
            fields.push_back(line.substr(from, comma - from));
            if (comma == std::string::npos)
                break;
            from = comma + 1;
        }
        ASSERT_EQ(fields.size(), 13u) << line;
        for (std::size_t f = 4; f <= 11; ++f)
            EXPECT_EQ(fields[f], "") << "field " << f << " of " << line;
        EXPECT_NE(s.worstNode, 0);
        EXPECT_GT(s.baseShareMw, s.loadMw * 0.5);
    }
    EXPECT_GE(failed, 8);
    const std::string report = timeSeriesReport(steps, false);
    EXPECT_NE(report.find("Баланс.узел,МВт   Наибольший небаланс"), std::string::npos) << report;
    EXPECT_NE(report.find("   узел "), std::string::npos) << report;
}

}  // namespace
}  // namespace tarvel
