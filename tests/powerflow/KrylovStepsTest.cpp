// GMRES, and the sparse method's steps solved by it on the decoupled
// factors: the factorised steps' solution in as many steps, whatever the
// solve changes (outages cutting nodes off, loads, a continued series).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <numeric>

#include "model/NetworkModel.h"
#include "powerflow/Gmres.h"
#include "powerflow/PowerFlowRun.h"
#include "powerflow/SparseSolver.h"
#include "tests/powerflow/SolutionDistance.h"
#include "tests/support/NetworkGenerator.h"
#include "tests/support/TestSupport.h"

namespace {

using namespace tarvel;
using namespace tarvel::test;

// An unsymmetric tridiagonal system whose solution is known.
struct Tridiagonal {
    int size = 60;
    double diagonal(int i) const { return 4.0 + 0.1 * i; }
    void multiply(std::span<const double> x, std::span<double> y) const
    {
        for (int i = 0; i < size; ++i)
            y[i] = diagonal(i) * x[i] - (i > 0 ? 1.5 * x[i - 1] : 0.0) - (i + 1 < size ? 0.5 * x[i + 1] : 0.0);
    }
};

double relativeResidual(const Tridiagonal& a, const std::vector<double>& b, const std::vector<double>& x)
{
    std::vector<double> ax(b.size());
    a.multiply(x, ax);
    double r = 0, s = 0;
    for (std::size_t i = 0; i < b.size(); ++i) {
        r += (b[i] - ax[i]) * (b[i] - ax[i]);
        s += b[i] * b[i];
    }
    return std::sqrt(r / s);
}

TEST(Gmres, SolvesAnUnsymmetricSystemThroughRestartsAndStopsAtItsLimit)
{
    const Tridiagonal a;
    std::vector<double> expected(a.size), b(a.size), x(a.size);
    for (int i = 0; i < a.size; ++i)
        expected[i] = std::sin(1.0 + i);
    a.multiply(expected, b);
    const LinearMap multiply = [&](std::span<const double> v, std::span<double> y) { a.multiply(v, y); };
    const LinearMap none = [](std::span<const double> v, std::span<double> y) {
        std::copy(v.begin(), v.end(), y.begin());
    };
    const LinearMap jacobi = [&](std::span<const double> v, std::span<double> y) {
        for (int i = 0; i < a.size; ++i)
            y[i] = v[i] / a.diagonal(i);
    };
    GmresSpace space;

    // Restarted every seven directions, to the tolerance.
    const GmresOutcome plain = solveByGmres(multiply, none, b, x, {1e-12, 7, 1000}, space);
    ASSERT_TRUE(plain.converged);
    EXPECT_LE(plain.relativeResidual, 1e-12);
    for (int i = 0; i < a.size; ++i)
        EXPECT_NEAR(x[i], expected[i], 1e-9) << i;

    // A preconditioner near the matrix takes fewer products to the same answer.
    const GmresOutcome preconditioned = solveByGmres(multiply, jacobi, b, x, {1e-12, 7, 1000}, space);
    ASSERT_TRUE(preconditioned.converged);
    EXPECT_LT(preconditioned.iterations, plain.iterations);
    for (int i = 0; i < a.size; ++i)
        EXPECT_NEAR(x[i], expected[i], 1e-9) << i;

    // Stopped at its limit: not converged, and the residual it tells is that of x itself.
    const GmresOutcome stopped = solveByGmres(multiply, none, b, x, {1e-12, 7, 3}, space);
    EXPECT_FALSE(stopped.converged);
    EXPECT_EQ(stopped.iterations, 3);
    EXPECT_GT(stopped.relativeResidual, 1e-6);
    EXPECT_LT(stopped.relativeResidual, 1.0);
    EXPECT_NEAR(stopped.relativeResidual, relativeResidual(a, b, x), 1e-12);

    const std::vector<double> zero(a.size, 0.0);
    EXPECT_TRUE(solveByGmres(multiply, none, zero, x, {}, space).converged);
    EXPECT_TRUE(std::all_of(x.begin(), x.end(), [](double v) { return v == 0.0; }));
}

std::unique_ptr<NetworkModel> solvedModel(const std::string& text)
{
    auto model = std::make_unique<NetworkModel>();
    TempDir dir;
    CollectingSink sink;
    EXPECT_EQ(runPowerFlow(*model, dir.path(), text, sink), RunOutcome::Converged);
    return model;
}

void expectSameSolve(const Solution& factorised, const Solution& krylov, double kv, const char* what)
{
    ASSERT_EQ(factorised.outcome, SolveOutcome::Converged) << what;
    EXPECT_EQ(krylov.outcome, SolveOutcome::Converged) << what;
    EXPECT_EQ(krylov.iterations, factorised.iterations) << what;
    EXPECT_EQ(krylov.stepsByGmres, krylov.iterations) << what;
    EXPECT_EQ(factorised.stepsByGmres, 0) << what;
    EXPECT_LT(largestVoltageDifference(factorised, krylov), kv) << what;
}

TEST(KrylovSteps, AreChosenForMeshedLatticesAndNotForSparserGrids)
{
    const Network lattice = buildNetwork(*solvedModel(cduText(generateLattice(60))));
    EXPECT_EQ(SolverAnalysis(lattice).steps(), StepSolver::Krylov);
    GridOptions o;
    o.nodes = 3000;
    o.region = 16;
    const Network regional = buildNetwork(*solvedModel(generateGrid(o).text));
    EXPECT_EQ(SolverAnalysis(regional).steps(), StepSolver::Factorised);
    // A grid meshed throughout: factorised while small, by GMRES from some
    // thousands of nodes, where its factors grow faster than its nodes.
    GridOptions grid;
    grid.nodes = 2000;
    EXPECT_EQ(SolverAnalysis(buildNetwork(*solvedModel(generateGrid(grid).text))).steps(), StepSolver::Factorised);
    grid.nodes = 9000;
    EXPECT_EQ(SolverAnalysis(buildNetwork(*solvedModel(generateGrid(grid).text))).steps(), StepSolver::Krylov);
}

// Steps solved only as closely as the convergence calls for still meet the
// precision in no more steps than the factorised ones, at the same voltages
// within what that precision leaves open.
TEST(KrylovSteps, MeetThePrecisionInAsFewStepsOnAGeneratedGrid)
{
    GridOptions grid;
    grid.nodes = 9000;
    const Network network = buildNetwork(*solvedModel(generateGrid(grid).text));
    const SolverAnalysis factorised(network, StepSolver::Factorised);
    const SolverAnalysis krylov(network, StepSolver::Krylov);
    SolverWorkspace fw, kw;
    const CalculationSettings settings;
    const Solution f = solveSparse(network, settings, Start::flat(), factorised, fw);
    const Solution k = solveSparse(network, settings, Start::flat(), krylov, kw);
    ASSERT_EQ(f.outcome, SolveOutcome::Converged);
    EXPECT_EQ(k.outcome, SolveOutcome::Converged);
    EXPECT_LE(k.iterations, f.iterations);
    EXPECT_EQ(k.stepsByGmres, k.iterations);
    EXPECT_LE(k.worstError, settings.precision);
    EXPECT_LT(largestVoltageDifference(f, k), 0.02);  // kV at 230 kV
}

TEST(KrylovSteps, GiveTheFactorisedStepsSolutionWhateverTheSolveChanges)
{
    const Network network = buildNetwork(*solvedModel(cduText(generateLattice(40, 3))));
    const SolverAnalysis factorised(network, StepSolver::Factorised);
    const SolverAnalysis krylov(network, StepSolver::Krylov);
    SolverWorkspace fw, kw;

    CalculationSettings tight;
    tight.precision = 1e-7f;
    tight.iteraz = 20;
    for (const CalculationSettings& s : {CalculationSettings{}, tight}) {
        const Solution f = solveSparse(network, s, Start::flat(), factorised, fw);
        const Solution k = solveSparse(network, s, Start::flat(), krylov, kw);
        expectSameSolve(f, k, 1e-3, "base case");
    }
    const Solution base = solveSparse(network, tight, Start::flat(), factorised, fw);

    // An outage that cuts a node off (identity rows) and one that does not.
    int corner = 1;
    for (int k = 1; k <= network.nodeCount; ++k)
        corner = std::count(network.branchStart.begin(), network.branchStart.end(), k) +
                             std::count(network.branchEnd.begin(), network.branchEnd.end(), k) ==
                         2
                     ? k
                     : corner;
    std::vector<int> out;
    for (int i = 1; i <= network.branchCount; ++i)
        if (network.branchStart[i] == corner || network.branchEnd[i] == corner)
            out.push_back(i);
    ASSERT_EQ(out.size(), 2u);
    const std::vector<int> cut = nodesCutOff(network, out);
    ASSERT_EQ(cut, std::vector<int>{corner});
    SolveChanges outage{out, cut, {}, {}};
    expectSameSolve(solveSparse(network, tight, Start::from(base), factorised, fw, outage),
                    solveSparse(network, tight, Start::from(base), krylov, kw, outage), 1e-4, "corner cut off");
    const std::vector<int> one{out[0] == 1 ? 2 : 1};
    SolveChanges line{one, {}, {}, {}};
    expectSameSolve(solveSparse(network, tight, Start::from(base), factorised, fw, line),
                    solveSparse(network, tight, Start::from(base), krylov, kw, line), 1e-4, "one line out");

    // A chain of steps with growing loads, each continuing the one before on its workspace.
    std::vector<double> p = network.loadP, q = network.loadQ;
    Solution fLast = base, kLast = solveSparse(network, tight, Start::flat(), krylov, kw);
    for (int step = 0; step < 3; ++step) {
        for (std::size_t k = 0; k < p.size(); ++k) {
            p[k] *= 1.05;
            q[k] *= 1.05;
        }
        SolveChanges loads{{}, {}, p, q};
        Solution f = solveSparse(network, tight, Start::continuing(fLast), factorised, fw, loads);
        Solution k = solveSparse(network, tight, Start::continuing(kLast), krylov, kw, loads);
        expectSameSolve(f, k, 1e-4, "continued step");
        fLast = std::move(f);
        kLast = std::move(k);
    }
}

}  // namespace
