// Networks far beyond 99 nodes: physics of a generated grid of thousands of
// nodes, and hostile texts at scale (millions of records, a 50 000-branch
// chain, a thousand islands, a Jacobian that cannot be solved).
#include <algorithm>
#include <cctype>
#include <cmath>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "model/TextFile.h"
#include "powerflow/NetworkResults.h"
#include "powerflow/PowerFlowRun.h"
#include "tests/support/NetworkGenerator.h"
#include "tests/support/TestSupport.h"

using namespace tarvel;
using namespace tarvel::test;

namespace {

// The balance line and the total loss as network.rez prints them.
struct PrintedTotals {
    double balanceP = NAN;
    double totalLoss = NAN;
};

PrintedTotals printedTotals(const std::string& rez)
{
    PrintedTotals t;
    const std::string balance = "Баланс пассивных элементов ";
    const std::size_t at = rez.find(balance);
    if (at != std::string::npos)
        std::istringstream(rez.substr(at + balance.size())) >> t.balanceP;
    const std::size_t last = rez.rfind("\r\n", rez.size() - 3);
    std::istringstream(rez.substr(last + 2)) >> t.totalLoss;
    return t;
}

bool showsNonNumber(std::string bytes)
{
    std::transform(bytes.begin(), bytes.end(), bytes.begin(), [](unsigned char c) { return std::tolower(c); });
    return bytes.find("nan") != std::string::npos || bytes.find("inf") != std::string::npos;
}

std::string node201(int number, double unom, double p, double q)
{
    std::ostringstream s;
    s << "0201 0 " << number << ' ' << unom << ' ' << p << ' ' << q << " 0 0 0 0 0\r\n";
    return s.str();
}

std::string line301(int n1, int n2, double r, double x)
{
    std::ostringstream s;
    s << "0301 0 " << n1 << ' ' << n2 << ' ' << r << ' ' << x << " 0 0 0 0 0\r\n";
    return s.str();
}

}  // namespace

TEST(Scale, ThousandsOfNodesMeetTheirLoadsAndTheBalanceIsTheLoss)
{
    GridOptions o;
    o.nodes = 6000;
    o.seed = 11;
    const GeneratedNetwork net = generateGrid(o);
    auto model = std::make_unique<NetworkModel>();
    TempDir dir;
    CollectingSink sink;
    // Tight enough that what remains is the printed rounding.
    CalculationSettings tight;
    tight.precision = 1e-6f;
    ASSERT_EQ(runPowerFlow(*model, tight, dir.path(), net.text, sink), RunOutcome::Converged);
    EXPECT_TRUE(sink.messages.empty());
    EXPECT_LE(model->iterationNumber, 6);

    const NetworkResults results = collectResults(*model);
    ASSERT_EQ(results.nodes.size(), net.nodes.size());
    ASSERT_EQ(results.branches.size(), net.branches.size());

    // Node by node: loads are met, generators hold their voltage. Node
    // indices follow the records, which the generator writes in its order.
    double injected = 0;
    for (std::size_t k = 0; k < net.nodes.size(); ++k) {
        const GeneratedNode& g = net.nodes[k];
        const NodeResult& r = results.nodes[k];
        ASSERT_EQ(r.number, g.number);
        injected += -r.p;
        if (g.type == 3)
            continue;
        EXPECT_NEAR(r.p, g.p, 1e-5 * std::max(1.0, std::fabs(g.p))) << g.number;
        if (g.type == 1)
            EXPECT_NEAR(r.q, g.q, 1e-5 * std::max(1.0, std::fabs(g.q))) << g.number;
        else
            EXPECT_NEAR(r.u, g.fixedVoltage, 1e-6 * g.fixedVoltage) << g.number;
    }
    // What all nodes inject is what the branches lose.
    EXPECT_NEAR(injected, results.totalLoss, 1e-6 * static_cast<double>(net.nodes.size()));

    // The same in the printed report: the balance line and the dP total.
    const PrintedTotals printed = printedTotals(cp1251ToUtf8(fileBytes(dir / "network.rez")));
    EXPECT_NEAR(printed.balanceP, printed.totalLoss, 0.011);
    EXPECT_NEAR(printed.totalLoss, results.totalLoss, 0.006);

    // The default settings converge too, with every single equation within
    // the precision.
    ASSERT_EQ(runPowerFlow(*model, dir.path(), net.text, sink), RunOutcome::Converged);
    EXPECT_LE(model->iterationNumber, 6);
}

TEST(Scale, TheLatticeHasItsLinesAndItsGenerationCoversItsLoads)
{
    // 316 x 316: 99 856 nodes, 2 * 316 * 315 row and column lines and a
    // diagonal in every fifth of the 315 * 315 cells.
    const GeneratedNetwork large = generateLattice(316);
    EXPECT_EQ(large.nodes.size(), 99'856u);
    EXPECT_EQ(large.branches.size(), 218'925u);

    const GeneratedNetwork net = generateLattice(60, 3);
    ASSERT_EQ(net.nodes.size(), 3600u);
    EXPECT_EQ(net.branches.size(), 2u * 60 * 59 + (59 * 59 + 4) / 5);
    std::set<int> numbers;
    double load = 0;
    for (const GeneratedNode& n : net.nodes) {
        numbers.insert(n.number);
        load += n.p > 0 ? n.p : 0.0;
    }
    EXPECT_EQ(numbers.size(), net.nodes.size());
    EXPECT_EQ(*numbers.begin(), 1);
    EXPECT_EQ(*numbers.rbegin(), 3600);

    auto model = std::make_unique<NetworkModel>();
    TempDir dir;
    CollectingSink sink;
    ASSERT_EQ(runPowerFlow(*model, dir.path(), net.text, sink), RunOutcome::Converged);
    EXPECT_LE(model->iterationNumber, 5);
    const NetworkResults results = collectResults(*model);
    // The generation beside the loads covers them and their losses: the base
    // node carries little.
    EXPECT_LT(std::fabs(results.nodes[0].p), 0.01 * load);
}

TEST(Scale, TwoMillionNodeRecordsAreRefusedWithTheirCount)
{
    std::string text = "0102 0 1 110 0 0 0 0 0 0 0\r\n0301 0 1 5 1 5 0 0 0 0 0\r\n";
    text.reserve(2'000'000 * 30);
    for (int k = 0; k < 2'000'000; ++k)
        text += "0201 0 5 110 1 1 0 0 0 0 0\r\n";
    auto model = std::make_unique<NetworkModel>();
    TempDir dir;
    CollectingSink sink;
    ASSERT_EQ(runPowerFlow(*model, dir.path(), text, sink), RunOutcome::Rejected);
    EXPECT_EQ(cp1251ToUtf8(fileBytes(dir / "network.err")), "Ошибка данных. Число узлов больше 200000: 2000000\r\n");
    EXPECT_EQ(model->nodeCount, kMaxNodeRecords);
    // Nothing is stored past the bound.
    EXPECT_LE(model->nodeNumber.capacity(), static_cast<std::size_t>(2 * kMaxNodeRecords + 2));
}

TEST(Scale, AChainOf50000BranchesToTheBaseNode)
{
    // Written from the far end towards the base node, so that every record
    // names a node that comes later.
    constexpr int kChain = 50'000;
    std::string text;
    for (int k = kChain; k >= 2; --k)
        text += node201(k, 500, k == kChain ? 0.1 : 0, 0) + line301(k - 1, k, 0.01, 1.01);
    text += "0102 0 1 500 0 0 0 0 0 0 0\r\n";
    auto model = std::make_unique<NetworkModel>();
    TempDir dir;
    CollectingSink sink;
    ASSERT_EQ(runPowerFlow(*model, dir.path(), text, sink), RunOutcome::Converged);
    const NetworkResults results = collectResults(*model);
    ASSERT_EQ(results.nodes.size(), static_cast<std::size_t>(kChain));
    // The far end takes its 0.1 MW over 500 + j50 500 ohm: U = 500 - Z·conj(S/U)
    // gives 499.798 kV at -1.158 degrees (the first-order drop of 0.1 + j10.1
    // kV, |499.9 - j10.1| = 500.002 kV, is where a stop at 0.01 MW left it).
    EXPECT_NEAR(results.nodes[1].p, 0.1, 1e-3);
    EXPECT_NEAR(results.nodes[1].u, 499.79786, 0.001);
    EXPECT_NEAR(results.nodes[1].angle, -1.15792, 0.002);
    EXPECT_FALSE(showsNonNumber(fileBytes(dir / "network.rez")));
}

TEST(Scale, AThousandIslandsAreListedTenToALine)
{
    std::string text = "0102 0 1 110 0 0 0 0 0 0 0\r\n" + node201(2, 110, 1, 1) + line301(1, 2, 1, 5);
    for (int island = 0; island < 1000; ++island) {
        const int a = 1000 + 2 * island, b = a + 1;
        text += node201(a, 110, 1, 1) + node201(b, 110, 1, 1) + line301(a, b, 1, 5);
    }
    auto model = std::make_unique<NetworkModel>();
    TempDir dir;
    CollectingSink sink;
    ASSERT_EQ(runPowerFlow(*model, dir.path(), text, sink), RunOutcome::Rejected);
    const std::string err = cp1251ToUtf8(fileBytes(dir / "network.err"));
    EXPECT_TRUE(err.starts_with("Ошибка связи 3. Узлы не связаны с базовым узлом: 1000 1001 1002")) << err.substr(0, 200);
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 200);
    EXPECT_NE(err.find(" 2998 2999\r\n"), std::string::npos);
}

TEST(Scale, AJacobianThatCannotBeSolvedEndsInADefiniteMessage)
{
    // 150 nodes on a ring; in the first network the base node is at 0 kV,
    // which would make every entry of the matrix zero: it is refused as any
    // node's. In the second one node asks for far more than its branch of
    // 999999 ohm can carry.
    std::string ring;
    for (int k = 2; k <= 151; ++k)
        ring += node201(k, 110, 1, 0.5) + line301(k - 1, k, 1, 5);
    ring += line301(151, 1, 1, 5);
    for (const auto& [base, extra] :
         {std::pair{std::string("0102 0 1 0 0 0 0 0 0 0 0\r\n"), std::string()},
          std::pair{std::string("0102 0 1 110 0 0 0 0 0 0 0\r\n"), node201(500, 110, 100, 50) + line301(77, 500, 0, 999999)}}) {
        auto model = std::make_unique<NetworkModel>();
        TempDir dir;
        CollectingSink sink;
        const RunOutcome outcome = runPowerFlow(*model, dir.path(), base + ring + extra, sink);
        if (extra.empty()) {
            EXPECT_EQ(outcome, RunOutcome::Rejected);
            EXPECT_EQ(cp1251ToUtf8(fileBytes(dir / "network.err")),
                      "Числовая ошибка 2. U ном. велико или мало: базисный узел 1\r\n");
            continue;
        }
        ASSERT_TRUE(outcome == RunOutcome::Diverged || outcome == RunOutcome::NotConverged);
        ASSERT_EQ(sink.messages.size(), 1u);
        EXPECT_TRUE(sink.messages[0].starts_with("Итерационный процесс расходится") ||
                    sink.messages[0].starts_with("За данное число итераций"))
            << sink.messages[0];
        for (const char* name : {"network.rez", "network.tok", "network.rip"}) {
            EXPECT_TRUE(std::filesystem::exists(dir / name)) << name;
            EXPECT_FALSE(showsNonNumber(fileBytes(dir / name))) << name;
        }
    }
}

TEST(Scale, ARepeatedNodeNumberWithoutLoadKeepsItsFlatStart)
{
    // A node number given twice leaves its first slot without branches; the
    // exact method carries it along through its pivot floor, the sparse one
    // must not take it for a singular matrix. Here a load node and a
    // generator are given first without load, then again in the chain.
    std::string text = "0102 0 1 110 0 0 0 0 0 0 0\r\n" + node201(50, 110, 0, 0) + "0201 0 60 110 0 0 0 0 112 0 0\r\n";
    for (int k = 2; k <= 151; ++k)
        text += node201(k, 110, 0.02, 0.01) + line301(k - 1, k, 1, 5);
    auto model = std::make_unique<NetworkModel>();
    TempDir dir;
    CollectingSink sink;
    ASSERT_EQ(runPowerFlow(*model, dir.path(), text, sink), RunOutcome::Converged);
    const NetworkResults results = collectResults(*model);
    ASSERT_EQ(results.nodes[1].number, 50);
    ASSERT_EQ(results.nodes[2].number, 60);
    EXPECT_DOUBLE_EQ(results.nodes[1].u, 110.0);
    EXPECT_DOUBLE_EQ(results.nodes[2].u, 112.0);
    for (const int k : {1, 2}) {
        EXPECT_DOUBLE_EQ(results.nodes[k].angle, 0.0);
        EXPECT_DOUBLE_EQ(results.nodes[k].p, 0.0);
    }
    // The chain's own node 50 carries its load.
    EXPECT_NEAR(results.nodes[50].p, 0.02, 0.01);  // within the precision, absolute below 1 MW
}

TEST(Scale, ARejectedRunAfterALargeOneLeavesNoFiguresOfTheOldNetwork)
{
    auto model = std::make_unique<NetworkModel>();
    TempDir dir;
    CollectingSink sink;
    GridOptions o;
    o.nodes = 300;
    ASSERT_EQ(runPowerFlow(*model, dir.path(), generateGrid(o).text, sink), RunOutcome::Converged);
    ASSERT_TRUE(model->solvedSparse());
    // A larger text that the reader refuses: the figures collected afterwards
    // come from the model's own tables, never from the old solution.
    o.nodes = 600;
    const std::string refused = generateGrid(o).text + node201(7, 110, 1, 1);
    ASSERT_EQ(runPowerFlow(*model, dir.path(), refused, sink), RunOutcome::Rejected);
    EXPECT_FALSE(model->solvedSparse());
    EXPECT_EQ(collectResults(*model).nodes.size(), static_cast<std::size_t>(model->nodeCount) + 1);
}
