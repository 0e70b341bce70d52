// The sparse method's start and ordering on a meshed grid: the turned steps
// reach, in few steps, the solution that a tight solve finds, and nested
// dissection gives the same solution as minimum degree.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>

#include "model/MessageSink.h"
#include "model/NetworkModel.h"
#include "powerflow/PowerFlowRun.h"
#include "powerflow/SparseSolver.h"
#include "tests/powerflow/SolutionDistance.h"
#include "tests/support/NetworkGenerator.h"
#include "tests/support/TestSupport.h"

namespace {

using namespace tarvel;
using namespace tarvel::test;

TEST(SparseStart, BothOrdersAndTheTurnedStepsReachTheTightSolutionOfARegionalGrid)
{
    GridOptions o;
    o.nodes = 3000;
    o.region = 16;
    o.seed = 5;
    auto model = std::make_unique<NetworkModel>();
    TempDir dir;
    CollectingSink sink;
    ASSERT_EQ(runPowerFlow(*model, dir.path(), generateGrid(o).text, sink), RunOutcome::Converged);
    const Network network = buildNetwork(*model);

    CalculationSettings tight;
    tight.precision = 1e-8f;
    tight.iteraz = 20;
    const SolverAnalysis amd(network, NodeOrdering::MinimumDegree);
    const SolverAnalysis nd(network, NodeOrdering::NestedDissection);
    SolverWorkspace amdWork, ndWork;
    const Solution exact = solveSparse(network, tight, Start::flat(), amd, amdWork);
    ASSERT_EQ(exact.outcome, SolveOutcome::Converged);
    const FactorStatistics amdFactors = factorStatistics(amd, amdWork);
    const Solution dissected = solveSparse(network, tight, Start::flat(), nd, ndWork);
    ASSERT_EQ(dissected.outcome, SolveOutcome::Converged);
    EXPECT_LT(largestVoltageDifference(exact, dissected), 1e-7);
    const FactorStatistics ndFactors = factorStatistics(nd, ndWork);
    EXPECT_GT(amdFactors.entries, 4.0 * network.nodeCount);
    EXPECT_GT(amdFactors.flops, amdFactors.entries);
    EXPECT_GT(ndFactors.entries, 4.0 * network.nodeCount);

    // With the default precision: three steps from the flat start (the
    // straight steps took four) and one more for the accuracy of the data,
    // which takes every voltage to within a volt of the tight solution (a
    // precision of 0.01 alone left 5.1 V at 230 kV open).
    const Solution usual = solveSparse(network, CalculationSettings{}, Start::flat());
    ASSERT_EQ(usual.outcome, SolveOutcome::Converged);
    EXPECT_LE(usual.iterations, 4);
    EXPECT_LT(largestVoltageDifference(exact, usual), 0.001);
}

}  // namespace
