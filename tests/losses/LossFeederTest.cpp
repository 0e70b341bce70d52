#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

#include "losses/LossAllocation.h"
#include "model/TextFile.h"
#include "powerflow/PowerFlowRun.h"
#include "tests/support/TestSupport.h"

using namespace tarvel;
using namespace tarvel::test;

// A radial 10 kV feeder of 20 nodes, every branch pointing away from the base
// node: the allocated components add up to the losses of the branches.
TEST(LossFeeder, ComponentsAddUpToTheBranchLosses)
{
    std::string input;
    ASSERT_TRUE(readTextFile(sourcePath("samples/feeder10.cdu"), input));
    auto model = std::make_unique<NetworkModel>();
    auto t = std::make_unique<LossTables>();
    TempDir dir;
    CollectingSink sink;
    ASSERT_EQ(runPowerFlow(*model, dir.path(), input, sink), RunOutcome::Converged);
    ASSERT_EQ(model->nodeCount, 19);
    ASSERT_EQ(model->branchCount, 19);

    ASSERT_EQ(allocateLosses(*model, dir.path(), sink, *t), tarvel::LossOutcome::Written);
    EXPECT_TRUE(sink.messages.empty());
    const int N = 20, M = 19;
    double losses = 0.0, parts = 0.0, supplied = 0.0;
    for (int b = 1; b <= M; ++b) {
        const double rI2 = double(t->branchR[b]) * (double(t->branchIa[b]) * t->branchIa[b] +
                                                    double(t->branchIr[b]) * t->branchIr[b]);
        EXPECT_NEAR(t->branchLoss[b], rI2, 1e-6 + 1e-5 * rI2) << b;
        float row = 0.0f;
        for (int j = 1; j <= N; ++j)
            row = row + t->lossPart[b][j];
        EXPECT_NEAR(row, t->branchLoss[b], 1e-6 + 1e-4 * t->branchLoss[b]) << b;
        EXPECT_EQ(t->lossPart[b][N], 0.0f) << b;  // the base node causes no loss
        losses += t->branchLoss[b];
        parts += row;
        if (t->branchFrom[b] == N)
            supplied += t->branchIa[b];
    }
    EXPECT_NEAR(parts, losses, 1e-4 * losses);
    EXPECT_NEAR(-t->nodeIa[N], supplied, 1e-6);

    // The same losses as the branch results of the run (R |I|^2 of the
    // series current, MW): the total under the dP column.
    std::string rez;
    ASSERT_TRUE(readTextFile(dir / "network.rez", rez));
    while (!rez.empty() && (rez.back() == '\n' || rez.back() == '\r'))
        rez.pop_back();
    const double total = std::stod(rez.substr(rez.find_last_of('\n') + 1));
    EXPECT_NEAR(losses, total, 0.006);
    EXPECT_GT(losses, 0.05);
    EXPECT_LT(losses, 0.3);
}
