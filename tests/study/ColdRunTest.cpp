// Every outage against a cold run of the sparse method on the network that
// the outage leaves (the outaged branches and any cut-off nodes removed):
// the same voltages, whether the outage was solved by the low-rank
// correction or by Newton's method, and the cut-off nodes exactly those that a
// breadth-first walk from the base node misses.
#include <cmath>
#include <complex>
#include <queue>

#include <gtest/gtest.h>

#include "powerflow/SparseSolver.h"
#include "study/OutageSolver.h"
#include "study/Study.h"
#include "tests/study/StudySupport.h"
#include "tests/support/NetworkGenerator.h"

namespace tarvel {
namespace {

// The nodes that a breadth-first walk from the base node misses, the walk
// written here from the branch tables alone.
std::vector<char> unreachedNodes(const NetworkModel& model, const std::vector<int>& outaged)
{
    std::vector<char> reached(model.nodeCount + 1, 0);
    std::vector<std::vector<int>> next(model.nodeCount + 1);
    for (int i = 1; i <= model.branchCount; ++i) {
        if (std::find(outaged.begin(), outaged.end(), i) != outaged.end())
            continue;
        next[model.branchStartIndex[i]].push_back(model.branchEndIndex[i]);
        next[model.branchEndIndex[i]].push_back(model.branchStartIndex[i]);
    }
    std::queue<int> queue;
    queue.push(0);
    reached[0] = 1;
    while (!queue.empty()) {
        const int k = queue.front();
        queue.pop();
        for (int j : next[k])
            if (!reached[j]) {
                reached[j] = 1;
                queue.push(j);
            }
    }
    std::vector<char> lost(model.nodeCount + 1);
    for (int k = 0; k <= model.nodeCount; ++k)
        lost[k] = !reached[k];
    return lost;
}

struct Comparison {
    int outages = 0;
    int splits = 0;
    int woodbury = 0;
    double worst = 0;  // p.u.
};

Comparison compareWithColdRuns(const NetworkModel& model, OutageMethod method)
{
    StudyOptions options;
    options.settings.precision = 1e-8f;
    options.settings.iteraz = 30;
    options.method = method;
    const StudyBase base(model, defaultLimits(model), options);
    EXPECT_TRUE(base.solved());
    OutageWorkspace workspace(base);
    Comparison c;
    for (const Outage& outage : allBranchOutages(base.branches())) {
        OutageSolution solution;
        const OutageResult result = evaluateOutage(base, outage, workspace, &solution);
        ++c.outages;
        const std::vector<char> lost = unreachedNodes(model, outage.branches);
        std::vector<int> expectedLost;
        for (int k = 1; k <= model.nodeCount; ++k)
            if (lost[k])
                expectedLost.push_back(k);
        EXPECT_EQ(result.lostNodes, expectedLost) << outage.label;
        if (!expectedLost.empty()) {
            ++c.splits;
            EXPECT_EQ(result.outcome, OutageOutcome::Split) << outage.label;
            EXPECT_TRUE(result.restSolved) << outage.label;
        } else {
            EXPECT_EQ(result.outcome, OutageOutcome::Solved) << outage.label;
        }
        c.woodbury += result.woodbury;

        const Network cold = buildNetwork(test::withoutElements(model, outage.branches, lost));
        const Solution coldResult = solveSparse(cold, options.settings, Start::flat());
        EXPECT_EQ(coldResult.outcome, SolveOutcome::Converged) << outage.label;
        int j = 0;
        for (int k = 0; k <= model.nodeCount; ++k) {
            if (lost[k]) {
                EXPECT_EQ(solution.lost[k], 1);
                continue;
            }
            const std::complex<double> study(solution.voltageRe[k], solution.voltageIm[k]);
            const std::complex<double> coldU(coldResult.voltageRe[j], coldResult.voltageIm[j]);
            const double difference = std::abs(study - coldU) / model.nodeUnom[k];
            c.worst = std::max(c.worst, difference);
            EXPECT_LE(difference, 1e-6) << outage.label << " node " << model.nodeNumber[k];
            ++j;
        }
    }
    return c;
}

TEST(ColdRun, EveryOutageOfIeee118EqualsAColdRunWithoutTheBranch)
{
    const NetworkModel model = test::modelFromFile("samples/ieee118.cdu");
    for (const OutageMethod method : {OutageMethod::Woodbury, OutageMethod::Refactor}) {
        const Comparison c = compareWithColdRuns(model, method);
        EXPECT_EQ(c.outages, 186);
        EXPECT_GT(c.splits, 0);  // radial nodes (e.g. 10, 73, 87, 111, 112, 116, 117) hang on one branch
        if (method == OutageMethod::Woodbury) {
            EXPECT_GT(c.woodbury, c.outages / 2);
        }
        RecordProperty(method == OutageMethod::Woodbury ? "worst_woodbury" : "worst_refactor", std::to_string(c.worst));
    }
}

TEST(ColdRun, EveryOutageOfAGenerated2000NodeGridEqualsAColdRun)
{
    test::GridOptions grid;
    grid.nodes = 2000;
    grid.seed = 7;
    const NetworkModel model = test::modelFromText(test::generateGrid(grid).text);
    const Comparison c = compareWithColdRuns(model, OutageMethod::Woodbury);
    EXPECT_EQ(c.outages, model.branchCount);
    EXPECT_GT(c.splits, 0);
    EXPECT_GT(c.woodbury, c.outages / 2);
}

}  // namespace
}  // namespace tarvel
