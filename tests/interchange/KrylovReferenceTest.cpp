// Public grids with transformers, phase shifters and reactive limits solved
// with the steps by GMRES on the decoupled factors: the factorised steps'
// solution, with the same generators held at their limits, in at most one
// step more.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "powerflow/SparseSolver.h"
#include "tests/interchange/InterchangeTestSupport.h"

namespace {

using namespace tarvel;
using namespace tarvel::test;

TEST(KrylovReference, PublicGridsSolveAsWithTheJacobianFactorised)
{
    // RTE 2848 with its limits switches nodes back and forth past 30 steps
    // whichever way the steps are solved.
    const struct {
        const char* file;
        std::vector<bool> limits;
    } cases[] = {{"tests/data/interchange/public/case_ACTIVSg500.m", {false, true}},
                 {"tests/data/interchange/public/case2848rte.m", {false}}};
    for (const auto& [file, withLimits] : cases) {
        const Imported imported = importFile(file);
        ASSERT_TRUE(imported.conversion.ok) << file;
        const auto solved = solve(imported.conversion.text, 1e-5f, 30);
        ASSERT_EQ(solved->outcome, RunOutcome::Converged) << file;
        const Network network = buildNetwork(*solved->model);
        const SolverAnalysis factorised(network, StepSolver::Factorised);
        const SolverAnalysis krylov(network, StepSolver::Krylov);
        for (const bool limits : withLimits) {
            CalculationSettings s;
            s.precision = 1e-6f;
            s.iteraz = 30;
            s.qLimits = limits;
            SolverWorkspace fw, kw;
            const Solution f = solveSparse(network, s, Start::flat(), factorised, fw);
            const Solution k = solveSparse(network, s, Start::flat(), krylov, kw);
            ASSERT_EQ(f.outcome, SolveOutcome::Converged) << file << limits;
            EXPECT_EQ(k.outcome, SolveOutcome::Converged) << file << limits;
            // The first steps, solved loosely, may take one step more.
            EXPECT_LE(k.iterations, f.iterations + 1) << file << limits;
            EXPECT_EQ(k.stepsByGmres, k.iterations) << file << limits;
            EXPECT_EQ(k.held, f.held) << file << limits;
            double worst = 0;
            for (std::size_t n = 0; n < f.voltageRe.size(); ++n)
                worst = std::max(worst, std::hypot(f.voltageRe[n] - k.voltageRe[n], f.voltageIm[n] - k.voltageIm[n]) /
                                            network.nodeUnom[n]);
            EXPECT_LT(worst, 1e-6) << file << limits;
        }
    }
}

}  // namespace
