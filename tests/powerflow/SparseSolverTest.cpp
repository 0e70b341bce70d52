// The sparse solver as a function of a read-only network: the same answer
// from one thread or many, outages and load changes on the shared analysis
// against a network built without them, and the run's own solution.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <thread>
#include <vector>

#include "model/MessageSink.h"
#include "model/NetworkModel.h"
#include "model/TextFile.h"
#include "powerflow/PowerFlowRun.h"
#include "powerflow/SparseSolver.h"
#include "tests/powerflow/SolutionDistance.h"
#include "tests/support/NetworkGenerator.h"
#include "tests/support/TestSupport.h"

namespace {

using namespace tarvel;
using namespace tarvel::test;

// The accepted model of a text, after a run.
std::unique_ptr<NetworkModel> runModel(const std::string& text)
{
    auto model = std::make_unique<NetworkModel>();
    TempDir dir;
    CollectingSink sink;
    runPowerFlow(*model, dir.path(), text, sink);
    return model;
}

std::string sampleText(const std::string& name)
{
    std::string bytes = fileBytes(sourcePath("samples/" + name));
    return toCrLf(cp1251ToUtf8(bytes));
}

CalculationSettings tight()
{
    CalculationSettings s;
    s.precision = 1e-8f;
    s.iteraz = 20;
    return s;
}

bool identical(const Solution& a, const Solution& b)
{
    return a.outcome == b.outcome && a.iterations == b.iterations && a.voltageRe == b.voltageRe &&
           a.voltageIm == b.voltageIm && a.powerP == b.powerP && a.powerQ == b.powerQ &&
           a.residuals == b.residuals && a.worstError == b.worstError;
}

// The network with branch i removed as the reader would give it: no
// admittance at all.
Network without(Network network, int i)
{
    network.seriesG[i] = network.seriesB[i] = 0.0;
    network.chargingG[i] = network.chargingB[i] = 0.0;
    return network;
}

// The network with branch i taken out of its tables.
Network removed(Network network, int i)
{
    const auto erase = [i](auto& table) { table.erase(table.begin() + i); };
    erase(network.branchStart), erase(network.branchEnd), erase(network.resistance), erase(network.reactance);
    erase(network.chargingG), erase(network.chargingB), erase(network.ratio), erase(network.shiftCos);
    erase(network.shiftSin), erase(network.seriesG), erase(network.seriesB), erase(network.tie);
    --network.branchCount;
    return network;
}

TEST(SparseSolver, TheRunsSolutionIsTheFunctionsSolution)
{
    const auto model = runModel(sampleText("ieee118.cdu"));
    ASSERT_TRUE(model->solvedSparse());
    const Network network = buildNetwork(*model);
    const Solution s = solveSparse(network, CalculationSettings{}, Start::flat());
    EXPECT_TRUE(identical(s, *model->sparseSolution));
    EXPECT_EQ(s.outcome, SolveOutcome::Converged);
    EXPECT_EQ(model->iterationNumber, s.iterations);
}

TEST(SparseSolver, ManyThreadsGiveTheAnswerOfOne)
{
    GridOptions o;
    o.nodes = 400;
    const auto model = runModel(generateGrid(o).text);
    const Network network = buildNetwork(*model);
    const CalculationSettings settings = tight();
    const SolverAnalysis analysis(network);
    ASSERT_TRUE(analysis.ok());
    SolverWorkspace first;
    const Solution base = solveSparse(network, settings, Start::flat(), analysis, first);
    ASSERT_EQ(base.outcome, SolveOutcome::Converged);

    // Every third branch out in turn, from the base solution, first on one thread.
    std::vector<int> outages;
    for (int i = 1; i <= network.branchCount; i += 3)
        outages.push_back(i);
    const auto solveOutage = [&](int i, SolverWorkspace& w) {
        SolveChanges changes;
        const std::vector<int> out{i};
        const std::vector<int> cut = nodesCutOff(network, out);
        changes.branchesOut = out;
        changes.nodesCutOff = cut;
        return solveSparse(network, settings, Start::from(base), analysis, w, changes);
    };
    std::vector<Solution> alone(outages.size());
    {
        SolverWorkspace w;
        for (std::size_t a = 0; a < outages.size(); ++a)
            alone[a] = solveOutage(outages[a], w);
    }
    constexpr int kThreads = 4;
    std::vector<Solution> together(outages.size());
    {
        std::vector<std::jthread> threads;
        for (int t = 0; t < kThreads; ++t)
            threads.emplace_back([&, t] {
                SolverWorkspace w;
                for (std::size_t a = t; a < outages.size(); a += kThreads)
                    together[a] = solveOutage(outages[a], w);
            });
    }
    for (std::size_t a = 0; a < outages.size(); ++a)
        EXPECT_TRUE(identical(alone[a], together[a])) << "branch " << outages[a];
}

TEST(SparseSolver, AnOutageOnTheSharedAnalysisIsTheNetworkWithoutTheBranch)
{
    const auto model = runModel(sampleText("ieee118.cdu"));
    const Network network = buildNetwork(*model);
    const CalculationSettings settings = tight();
    const SolverAnalysis analysis(network);
    SolverWorkspace w;
    const Solution base = solveSparse(network, settings, Start::flat(), analysis, w);
    int compared = 0;
    for (int i = 1; i <= network.branchCount; i += 5) {
        const std::vector<int> out{i};
        const std::vector<int> cut = nodesCutOff(network, out);
        if (!cut.empty())
            continue;
        SolveChanges changes;
        changes.branchesOut = out;
        const Solution outage = solveSparse(network, settings, Start::from(base), analysis, w, changes);
        const Solution cold = solveSparse(without(network, i), settings, Start::flat());
        if (cold.outcome != SolveOutcome::Converged)
            continue;
        ASSERT_EQ(outage.outcome, SolveOutcome::Converged) << "branch " << i;
        EXPECT_LT(largestVoltageDifference(outage, cold), 1e-6 * 500) << "branch " << i;
        EXPECT_LE(outage.iterations, 5);
        ++compared;
    }
    EXPECT_GT(compared, 30);
}

TEST(SparseSolver, NodesCutOffAreLeftOutAndTheRestSolved)
{
    // IEEE 118 has radial nodes: their only branch out leaves them cut off.
    const auto model = runModel(sampleText("ieee118.cdu"));
    const Network network = buildNetwork(*model);
    const SolverAnalysis analysis(network);
    SolverWorkspace w;
    const Solution base = solveSparse(network, tight(), Start::flat(), analysis, w);
    int splits = 0;
    for (int i = 1; i <= network.branchCount; ++i) {
        const std::vector<int> out{i};
        const std::vector<int> cut = nodesCutOff(network, out);
        if (cut.empty())
            continue;
        ++splits;
        SolveChanges changes;
        changes.branchesOut = out;
        changes.nodesCutOff = cut;
        const Solution s = solveSparse(network, tight(), Start::from(base), analysis, w, changes);
        ASSERT_EQ(s.outcome, SolveOutcome::Converged) << "branch " << i;
        for (const int k : cut) {
            EXPECT_EQ(s.voltageRe[k], 0.0);
            EXPECT_EQ(s.voltageIm[k], 0.0);
        }
        if (cut.size() != 1)
            continue;
        // The rest equals the network without the branch and without what the
        // node cut off carries (a node without branches keeps its identity row).
        Network rest = removed(network, i);
        rest.loadP[cut[0]] = rest.loadQ[cut[0]] = rest.shuntG[cut[0]] = rest.shuntB[cut[0]] = 0.0;
        const Solution cold = solveSparse(rest, tight(), Start::flat());
        ASSERT_EQ(cold.outcome, SolveOutcome::Converged) << "branch " << i;
        double d = 0;
        for (int k = 0; k <= network.nodeCount; ++k)
            if (k != cut[0])
                d = std::max(d, std::hypot(s.voltageRe[k] - cold.voltageRe[k], s.voltageIm[k] - cold.voltageIm[k]));
        EXPECT_LT(d, 1e-6 * 500) << "branch " << i;
        EXPECT_NEAR(s.powerP[0], cold.powerP[0], 1e-4) << "branch " << i;
    }
    EXPECT_GT(splits, 0);
}

TEST(SparseSolver, LoadsGivenForASolveAreTheNetworksWithThoseLoads)
{
    const auto model = runModel(sampleText("ieee300.cdu"));
    const Network network = buildNetwork(*model);
    const SolverAnalysis analysis(network);
    SolverWorkspace w;
    Network scaled = network;
    for (int k = 0; k <= network.nodeCount; ++k) {
        scaled.loadP[k] *= 1.05;
        scaled.loadQ[k] *= 1.05;
    }
    SolveChanges changes;
    changes.loadP = scaled.loadP;
    changes.loadQ = scaled.loadQ;
    const Solution given = solveSparse(network, tight(), Start::flat(), analysis, w, changes);
    const Solution built = solveSparse(scaled, tight(), Start::flat());
    ASSERT_EQ(built.outcome, SolveOutcome::Converged);
    EXPECT_TRUE(identical(given, built));
    // The network's own loads again, in the same workspace.
    const Solution own = solveSparse(network, tight(), Start::flat(), analysis, w);
    EXPECT_TRUE(identical(own, solveSparse(network, tight(), Start::flat())));
}

TEST(SparseSolver, AStartFromTheSolutionTakesOneStepAndStaysThere)
{
    const auto model = runModel(sampleText("ieee300.cdu"));
    const Network network = buildNetwork(*model);
    const Solution base = solveSparse(network, tight(), Start::flat());
    ASSERT_EQ(base.outcome, SolveOutcome::Converged);
    const Solution again = solveSparse(network, tight(), Start::from(base));
    EXPECT_EQ(again.outcome, SolveOutcome::Converged);
    EXPECT_EQ(again.iterations, 1);
    EXPECT_LT(largestVoltageDifference(again, base), 1e-9);
}

}  // namespace
