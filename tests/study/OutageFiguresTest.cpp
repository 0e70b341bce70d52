// The branch figures of one outage, as the window shows them on the diagram:
// the flows of a cold run of the network without the branch, and the
// loadings that the study ranks the outage by.
#include <cmath>

#include <gtest/gtest.h>

#include "model/TextFile.h"
#include "powerflow/BranchFlows.h"
#include "powerflow/Solver.h"
#include "study/OutageSolver.h"
#include "tests/study/StudySupport.h"
#include "tests/support/TestSupport.h"

namespace tarvel {
namespace {

TEST(OutageFigures, TheFlowsOfAnOutageAreAColdRunsAndItsWorstLoadingIsTheStudys)
{
    const NetworkModel model = test::modelFromFile("samples/ieee118.cdu");
    const BranchIndex index(model);
    Limits limits = defaultLimits(model);
    std::string text;
    ASSERT_TRUE(readTextFile(test::sourcePath("samples/ieee118-limits.txt"), text));
    ASSERT_EQ(readCurrentLimits(text, index, limits), "");
    StudyOptions options;
    options.settings.precision = 1e-8f;
    options.settings.iteraz = 30;
    const StudyBase base(model, limits, options);
    ASSERT_TRUE(base.solved());
    OutageWorkspace workspace(base);

    // The outage that loads a limited branch most.
    Outage heaviest;
    double heaviestLoading = 0;
    for (const Outage& outage : allBranchOutages(index)) {
        const OutageResult r = evaluateOutage(base, outage, workspace);
        if (r.outcome == OutageOutcome::Solved && r.maxLoading.percent > heaviestLoading)
            heaviest = outage, heaviestLoading = r.maxLoading.percent;
    }
    ASSERT_EQ(heaviest.branches.size(), 1u);
    const int out = heaviest.branches[0];
    OutageSolution solution;
    const OutageResult result = evaluateOutage(base, heaviest, workspace, &solution);
    ASSERT_EQ(result.outcome, OutageOutcome::Solved);
    ASSERT_EQ(solution.branches.size(), static_cast<std::size_t>(model.branchCount) + 1);
    EXPECT_EQ(solution.branches[out].current, 0.0);
    EXPECT_EQ(solution.branches[out].p12, 0.0);

    NetworkModel cold = test::withoutElements(model, {out}, std::vector<char>(model.nodeCount + 1, 0));
    ASSERT_EQ(solveSparseModel(cold, options.settings).outcome, SolveOutcome::Converged);
    const FlowState<double> coldState = doubleState(cold);
    double worst = -1;
    int worstBranch = 0;
    for (int i = 1; i <= model.branchCount; ++i) {
        if (i == out)
            continue;
        const BranchFigures& figures = solution.branches[i];
        const BranchFlowOf<double> flow = branchFlowsOf(cold, coldState, i < out ? i : i - 1);
        EXPECT_NEAR(figures.p12, flow.p12, 1e-4) << branchLabel(index, i);
        EXPECT_NEAR(figures.q21, flow.q21, 1e-4) << branchLabel(index, i);
        EXPECT_NEAR(figures.current, std::hypot(flow.i12Re, flow.i12Im), 1e-6) << branchLabel(index, i);
        if (limits.kind[i] == BranchLimitKind::None) {
            EXPECT_EQ(figures.loading, -1) << branchLabel(index, i);
            continue;
        }
        EXPECT_NEAR(figures.loading, 100 * figures.current / limits.branchLimit[i], 1e-9);
        if (figures.loading > worst)
            worst = figures.loading, worstBranch = i;
    }
    EXPECT_EQ(worstBranch, result.maxLoading.branch);
    EXPECT_DOUBLE_EQ(worst, result.maxLoading.percent);
    EXPECT_GT(worst, 100);
}

TEST(OutageFigures, ASplitLeavesTheCutOffBranchesWithoutFlow)
{
    const NetworkModel model = test::modelFromFile("samples/ieee118.cdu");
    const BranchIndex index(model);
    const StudyBase base(model, defaultLimits(model), {});
    ASSERT_TRUE(base.solved());
    OutageWorkspace workspace(base);
    // 9-10 is the only way to 10, which generates: 10 is cut off.
    const int out = index.find(9, 10, 1);
    ASSERT_GT(out, 0);
    OutageSolution solution;
    const OutageResult result = evaluateOutage(base, {"9 10", {out}}, workspace, &solution);
    ASSERT_EQ(result.outcome, OutageOutcome::Split);
    ASSERT_EQ(result.lostNodes.size(), 1u);
    EXPECT_EQ(model.nodeNumber[result.lostNodes[0]], 10);
    EXPECT_EQ(solution.inService[out], 0);
    EXPECT_EQ(solution.branches[out].current, 0.0);
    // 8-9 now carries only the charging of 9's lines.
    const int feeding = index.find(8, 9, 1);
    ASSERT_GT(feeding, 0);
    EXPECT_GT(solution.branches[feeding].current, 0.0);
    EXPECT_LT(std::fabs(solution.branches[feeding].p12), 5.0);
}

}  // namespace
}  // namespace tarvel
