// The figures handed to the diagram and the exports agree with the reports.
#include <cmath>
#include <memory>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "model/TextFile.h"
#include "powerflow/NetworkResults.h"
#include "powerflow/PowerFlowRun.h"
#include "tests/support/TestSupport.h"

using tarvel::test::fileBytes;
using tarvel::test::sourcePath;
using tarvel::test::TempDir;

TEST(NetworkResults, AgreeWithNetworkRezOnIeee14)
{
    std::string bytes;
    ASSERT_TRUE(tarvel::readFileBytes(sourcePath("samples/ieee14.cdu"), bytes));
    TempDir dir;
    auto model = std::make_unique<tarvel::NetworkModel>();
    tarvel::CollectingSink sink;
    ASSERT_EQ(tarvel::runPowerFlow(*model, dir.path(), tarvel::toCrLf(tarvel::cp1251ToUtf8(bytes)), sink),
              tarvel::RunOutcome::Converged);
    const tarvel::NetworkResults results = tarvel::collectResults(*model);
    ASSERT_EQ(results.nodes.size(), 14u);
    ASSERT_EQ(results.branches.size(), 20u);

    // network.rez: 2 heading lines, one line per node, then the branch section.
    std::istringstream rez(tarvel::cp1251ToUtf8(fileBytes(dir / "network.rez")));
    std::string line;
    std::getline(rez, line);
    std::getline(rez, line);
    for (const tarvel::NodeResult& node : results.nodes) {
        ASSERT_TRUE(std::getline(rez, line));
        std::istringstream fields(line);
        double number, u, angle, p, q, pg, qb;
        fields >> number >> u >> angle >> p >> q >> pg >> qb;
        EXPECT_EQ(number, node.number);
        EXPECT_NEAR(u, node.u, 0.006);
        EXPECT_NEAR(angle, node.angle, 0.006);
        EXPECT_NEAR(p, node.p, 0.006);
        EXPECT_NEAR(q, node.q, 0.006);
        EXPECT_NEAR(qb, node.qb, 0.006);
        EXPECT_NEAR(node.deviation, 100 * (node.u - node.unom) / node.unom, 1e-9);
    }
    while (std::getline(rez, line) && line.find("N1") == std::string::npos) {
    }
    for (const tarvel::BranchResult& branch : results.branches) {
        ASSERT_TRUE(std::getline(rez, line));
        std::istringstream fields(line);
        int n1, n2;
        double p12, q12, p21, q21, dp;
        fields >> n1 >> n2 >> p12 >> q12 >> p21 >> q21 >> dp;
        EXPECT_EQ(n1, branch.startNode);
        EXPECT_EQ(n2, branch.endNode);
        EXPECT_NEAR(p12, branch.p12, 0.006);
        EXPECT_NEAR(q21, branch.q21, 0.006);
        EXPECT_NEAR(dp, branch.dP, 0.006);
        // Currents are in kA at the kV of the tables, so |S12| = |U1| |I12|.
        const double s12 = std::hypot(branch.p12, branch.q12);
        EXPECT_NEAR(s12, results.nodes[branch.startIndex].u * branch.current, 0.01 * s12 + 0.01);
    }
}
