// The N-1 of every step of a profile: a step's outages against a contingency
// study of the network run on its own with that step's loads, and the files
// of the combined study whatever the number of threads or of shares.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <sstream>
#include <tuple>

#include <tbb/global_control.h>

#include "series/SeriesJob.h"
#include "series/SeriesReports.h"
#include "study/Study.h"
#include "study/StudyFiles.h"
#include "tests/series/SeriesTestSupport.h"
#include "tests/support/NetworkGenerator.h"

namespace tarvel {
namespace {

std::string gridText(int nodes, uint32_t seed)
{
    test::GridOptions options;
    options.nodes = nodes;
    options.seed = seed;
    return cp1251ToUtf8(test::cduText(test::generateGrid(options)));
}

std::string profileText(int steps, uint32_t seed)
{
    std::mt19937 draw(seed);
    std::uniform_real_distribution<double> m(0.7, 1.3);
    std::string text = "step,d0,d1\n";
    for (int s = 1; s <= steps; ++s) {
        text += std::to_string(s);
        for (int d = 0; d < 2; ++d)
            text += "," + std::to_string(m(draw));
        text += '\n';
    }
    return text;
}

// Ratings that the heaviest branches of the base case exceed: 70 % of the
// largest |S| of any branch, the same for every branch.
Limits tightLimits(const NetworkModel& model, const CalculationSettings& settings)
{
    Limits probe = defaultLimits(model);
    applyRatings(probe, std::vector<double>(static_cast<std::size_t>(model.branchCount) + 1, 1.0));
    StudyOptions options;
    options.settings = settings;
    const StudyBase base(model, probe, options);
    EXPECT_TRUE(base.solved());
    Limits limits = defaultLimits(model);
    applyRatings(limits, std::vector<double>(static_cast<std::size_t>(model.branchCount) + 1,
                                             0.7 * base.baseResult().maxLoading.percent / 100.0));
    return limits;
}

// One row of the violations table, read back.
struct Row {
    std::string step, label, kind, node, branch, unit;
    double value = 0, limit = 0;
};

std::vector<Row> rowsOf(const std::string& table, bool withStep)
{
    std::vector<Row> rows;
    std::istringstream in(table);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::vector<std::string> f;
        std::stringstream fields(line);
        for (std::string x; std::getline(fields, x, ',');)
            f.push_back(x);
        if (!withStep)
            f.insert(f.begin(), "");
        if (f.size() < 9 || f[1] == "label")
            continue;
        rows.push_back({f[0], f[1], f[2], f[3], f[4], f[7], std::stod(f[5]), std::stod(f[6])});
    }
    return rows;
}

TEST(StepOutages, AStepsOutagesEqualAStudyOfASeparateRunWithItsLoads)
{
    CalculationSettings settings;
    settings.precision = 1e-8f;
    settings.iteraz = 30;
    SeriesJob job;
    std::string error, note;
    ASSERT_EQ(job.prepare(gridText(150, 21), {}, profileText(30, 4), settings, error, note), SeriesPrepared::Ready)
        << error;
    const Limits limits = tightLimits(job.model(), settings);
    job.setLimits(limits);
    job.setOutages(allBranchOutages(BranchIndex(job.model())));
    const SeriesResults combined = job.solveWithOutages();
    ASSERT_EQ(combined.steps.size(), 30u);
    const std::vector<Row> combinedRows = rowsOf(combined.violations, true);

    bool sawViolations = false;
    for (const int i : {0, 7, 24, 29}) {
        SCOPED_TRACE("step " + std::to_string(i + 1));
        const StepResult& s = combined.steps[static_cast<std::size_t>(i)];
        ASSERT_EQ(s.outcome, StepOutcome::Solved);

        // The network with the step's loads as if written so, studied from a flat start.
        StepLoads loads;
        job.study().stepLoads(i, loads);
        NetworkModel separate = job.model();
        for (int k = 0; k <= separate.nodeCount; ++k) {
            separate.written.nodeLoadP[k] = loads.p[k];
            separate.written.nodeLoadQ[k] = loads.q[k];
            separate.nodeLoadP[k] = static_cast<float>(loads.p[k]);
            separate.nodeLoadQ[k] = static_cast<float>(loads.q[k]);
        }
        StudyOptions options;
        options.settings = settings;
        const StudyBase base(separate, limits, options);
        ASSERT_TRUE(base.solved());
        const StudyResult study = runStudy(base, allBranchOutages(base.branches()));
        const StudyCounts counts = countOutcomes(study.results);
        EXPECT_EQ(s.outagesSolved, static_cast<int>(counts.secure + counts.violations));
        EXPECT_EQ(s.outagesWithViolations, static_cast<int>(counts.violations));
        EXPECT_EQ(s.outagesSplit, static_cast<int>(counts.splits));
        EXPECT_EQ(s.outagesNotConverged + s.outagesDiverged, static_cast<int>(counts.failed));
        EXPECT_EQ(s.violations, static_cast<int>(base.baseResult().violations.size()));
        ASSERT_EQ(s.maxLoadingPct == s.maxLoadingPct, base.baseResult().maxLoading.branch > 0);
        EXPECT_NEAR(s.maxLoadingPct, base.baseResult().maxLoading.percent, 1e-5);

        // The same violations, row by row, within the precision.
        std::vector<Row> expected = rowsOf(violationsCsv(base, study), false);
        std::vector<Row> got;
        for (const Row& r : combinedRows)
            if (r.step == std::to_string(s.step))
                got.push_back(r);
        ASSERT_EQ(got.size(), expected.size());
        sawViolations = sawViolations || !got.empty();
        for (std::size_t k = 0; k < got.size(); ++k) {
            EXPECT_EQ(std::tie(got[k].label, got[k].kind, got[k].node, got[k].branch, got[k].unit),
                      std::tie(expected[k].label, expected[k].kind, expected[k].node, expected[k].branch,
                               expected[k].unit));
            EXPECT_NEAR(got[k].value, expected[k].value, 1e-6 * std::max(1.0, std::fabs(expected[k].value)));
            EXPECT_EQ(got[k].limit, expected[k].limit);
        }
    }
    EXPECT_TRUE(sawViolations) << "the limits should be broken somewhere";
}

// The files of a combined study: steps, violations, report and JSON.
std::string filesOf(const SeriesResults& results)
{
    return stepsCsv(results.steps, results.withOutages) + results.violations +
           timeSeriesReport(results.steps, results.withOutages) + seriesJson(results, CalculationSettings{});
}

TEST(StepOutages, FilesDoNotDependOnThreadsOrOnHowThePairsAreShared)
{
    SeriesJob job;
    std::string error, note;
    // 50 steps: three blocks, so that shares cut through blocks and steps.
    ASSERT_EQ(job.prepare(gridText(120, 8), {}, profileText(50, 9), CalculationSettings{}, error, note),
              SeriesPrepared::Ready)
        << error;
    job.setLimits(tightLimits(job.model(), CalculationSettings{}));
    job.setOutages(allBranchOutages(BranchIndex(job.model())));
    std::string one;
    {
        tbb::global_control limit(tbb::global_control::max_allowed_parallelism, 1);
        one = filesOf(job.solveWithOutages());
    }
    {
        tbb::global_control limit(tbb::global_control::max_allowed_parallelism, 2);
        EXPECT_EQ(filesOf(job.solveWithOutages()), one);
    }
    EXPECT_NE(one.find("overload"), std::string::npos);
    for (const int parts : {2, 3, 7}) {
        SCOPED_TRACE(std::to_string(parts) + " shares");
        std::vector<SeriesShare> shares;
        for (int part = 0; part < parts; ++part)
            shares.push_back(job.solveShare(part, parts));
        EXPECT_EQ(filesOf(mergeShares(shares, job.study().stepCount(), true)), one);
    }
}

}  // namespace
}  // namespace tarvel
