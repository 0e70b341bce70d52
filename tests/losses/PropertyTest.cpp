// The loss allocation on the currents of real runs: radial networks of up to
// 30 nodes, generated from many seeds, with their lines pointing away from
// the base node as the method expects.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "losses/LossAllocation.h"
#include "model/MessageSink.h"
#include "model/NetworkModel.h"
#include "model/TextFile.h"
#include "powerflow/PowerFlowRun.h"
#include "tests/support/NetworkGenerator.h"
#include "tests/support/TestSupport.h"

using namespace tarvel;
using namespace tarvel::test;

namespace {

// Turns every line of a radial network so that it points away from the base
// node (transformers already do).
void orientAwayFromBase(GeneratedNetwork& net)
{
    std::set<int> reached = {net.nodes[0].number};
    for (bool grew = true; grew;) {
        grew = false;
        for (GeneratedBranch& b : net.branches) {
            if (reached.count(b.to) && !reached.count(b.from)) {
                EXPECT_EQ(b.ratio, 1.0);
                std::swap(b.from, b.to);
            }
            if (reached.count(b.from) && !reached.count(b.to)) {
                reached.insert(b.to);
                grew = true;
            }
        }
    }
    net.text = cduText(net);
}

// The branch lines of network.rez: dP by branch index.
std::vector<double> branchLosses(const std::filesystem::path& dir, int nodes)
{
    std::istringstream in(cp1251ToUtf8(fileBytes(dir / "network.rez")));
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    std::vector<double> dP = {0.0};
    for (std::size_t i = static_cast<std::size_t>(nodes) + 8; i + 1 < lines.size(); ++i)
        dP.push_back(std::stod(lines[i].substr(50, 10)));
    return dP;
}

}  // namespace

TEST(LossProperty, ComponentsOfEveryBranchOfARadialRunAddUpToItsLoss)
{
    auto model = std::make_unique<NetworkModel>();
    auto tables = std::make_unique<LossTables>();
    TempDir dir;
    int checkedBranches = 0, beyondReach = 0, lines = 0;
    for (uint32_t seed = 1; seed <= 150; ++seed) {
        NetworkOptions o;
        o.seed = seed;
        o.nodes = 1 + static_cast<int>(seed * 7 % 29);  // 1..29 besides the base node
        o.extraBranches = 0;
        o.districts = 1 + static_cast<int>(seed % 10);
        o.transformers = static_cast<int>(seed % 5);
        o.fixedVoltageNodes = static_cast<int>(seed % 3);
        o.shunts = static_cast<int>(seed % 4);
        GeneratedNetwork net = generateNetwork(o);
        orientAwayFromBase(net);
        SCOPED_TRACE("seed " + std::to_string(seed) + ", nodes " + std::to_string(o.nodes));

        CollectingSink sink;
        ASSERT_EQ(runPowerFlow(*model, dir.path(), net.text, sink), RunOutcome::Converged);
        ASSERT_EQ(allocateLosses(*model, dir.path(), sink, *tables), tarvel::LossOutcome::Written);
        EXPECT_TRUE(sink.messages.empty());
        const LossTables& t = *tables;
        const int n = model->nodeCount;
        const int N = n + 1;
        const int M = model->branchCount;
        ASSERT_EQ(M, n);

        // The tree by node positions.
        std::vector<int> parent(N + 1, 0);
        for (int b = 1; b <= M; ++b)
            parent[t.branchTo[b]] = t.branchFrom[b];
        auto below = [&](int node, int j) {  // links from node down to j, or -1
            for (int steps = 0; j != 0; ++steps, j = parent[j])
                if (j == node)
                    return steps;
            return -1;
        };

        const std::vector<double> dP = branchLosses(dir.path(), N);
        float allLosses = 0.0f, allParts = 0.0f;
        bool allWithinReach = true;
        for (int b = 1; b <= M; ++b) {
            const int end = t.branchTo[b];
            int reach = 0;
            for (int j = 1; j <= n; ++j)
                reach = std::max(reach, below(end, j));
            // The base node's column stays empty; nodes outside the branch's
            // subtree get nothing of its loss.
            EXPECT_EQ(t.lossPart[b][N], 0.0f) << b;
            float total = 0.0f;
            for (int j = 1; j <= N; ++j) {
                total = total + t.lossPart[b][j];
                if (below(end, j) < 0) {
                    EXPECT_EQ(t.lossPart[b][j], 0.0f) << b << " " << j;
                }
            }
            if (reach <= 10) {
                EXPECT_NEAR(total, t.branchLoss[b], 2e-3f * t.branchLoss[b] + 1e-7f) << b;
                ++checkedBranches;
            } else {
                ++beyondReach;
                allWithinReach = false;
            }
            allLosses += t.branchLoss[b];
            allParts += total;

            // A line loses R * I^2 both ways; the allocation's currents are
            // the run's, written with four decimals.
            if (model->branchRatio[b] == 1.0f) {
                const double current = std::hypot(t.branchIa[b], t.branchIr[b]);
                EXPECT_NEAR(t.branchLoss[b], dP[b], 0.0051 + t.branchR[b] * 1.5e-4 * (current + 1e-4)) << b;
                ++lines;
            }
        }
        if (allWithinReach) {
            EXPECT_NEAR(allParts, allLosses, 2e-3f * allLosses + 1e-6f);
        }
        // The column sums share out the same total.
        float columns = 0.0f;
        for (int j = 1; j <= N; ++j)
            for (int b = 1; b <= M; ++b)
                columns += t.lossPart[b][j];
        EXPECT_NEAR(columns, allParts, 1e-4f * std::fabs(allParts) + 1e-6f);
    }
    EXPECT_GT(checkedBranches, 1500);
    EXPECT_GT(lines, 1000);
}
