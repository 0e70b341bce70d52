#include <gtest/gtest.h>

#include <cmath>

#include "losses/LossAllocation.h"
#include "tests/losses/LossTestSupport.h"

using namespace tarvel;
using namespace tarvel::test;

namespace {

// Base node (position 0, number 1) feeding 10; 10 feeds 20 and 30; 30 feeds 40.
const std::vector<int> kRadialNumbers = {1, 10, 20, 30, 40};
const std::vector<TokRecord> kRadialTok = {
    {0, 1, 2.5, 0.25, 2.0},    // loads of 10, 20, 30, 40
    {1, 2, 1.0, 0.5, 3.0},     // load of 20
    {1, 3, 1.0, -0.375, 1.5},  // loads of 30 and 40
    {3, 4, 0.75, -0.25, 4.0},  // load of 40
};

// A chain of 12 branches below the base node, one unit of load at every node.
std::vector<TokRecord> chainTok()
{
    std::vector<TokRecord> tok;
    for (int k = 1; k <= 12; ++k)
        tok.push_back({k - 1, k, 13.0 - k, 0.0, 1.0});
    return tok;
}

}  // namespace

TEST(LossAllocation, RefusesMoreThanThirtyNodesAndAcceptsThirty)
{
    LossCase c;
    std::vector<int> numbers;
    std::vector<TokRecord> tok;
    for (int k = 0; k <= 29; ++k)
        numbers.push_back(100 + k);
    for (int k = 1; k <= 29; ++k)
        tok.push_back({k - 1, k, 1.0, 0.5, 1.0});
    c.setNetworkFromTok(numbers, tok);
    EXPECT_TRUE(c.run());
    EXPECT_TRUE(c.sink.messages.empty());
    EXPECT_NE(c.reportUtf8().find("Число узлов  = 30\tЧисло Ветвей  = 29\r\n"), std::string::npos);

    // One node more: the message, nothing read, losses.rez as it was.
    c.model->nodeCount = 30;
    c.model->nodeNumber[30] = 130;
    writeBytes(c.dir / "losses.rez", "earlier report");
    c.writeTokText("garbage that must not be read");
    c.model->runMessage = "before";
    EXPECT_FALSE(c.run());
    ASSERT_EQ(c.sink.messages.size(), 1u);
    EXPECT_EQ(c.sink.messages[0], "Число узлов >30. Расчет разделения потерь невозможен");
    EXPECT_EQ(c.report(), "earlier report");
    EXPECT_EQ(c.model->runMessage, "before");
    EXPECT_EQ(c.tables->branchIa[1], 1.0f);
}

TEST(LossAllocation, RadialNetworkSplitsEachBranchLossAmongTheNodesBelowIt)
{
    LossCase c;
    c.setNetworkFromTok(kRadialNumbers, kRadialTok);
    ASSERT_TRUE(c.run());
    const LossTables& t = *c.tables;
    const int N = 5;

    EXPECT_EQ(t.branchFrom[1], N);  // the base node takes the last position
    const float loadA[] = {0, 0.5f, 1.0f, 0.25f, 0.75f, -2.5f};
    const float loadR[] = {0, 0.125f, 0.5f, -0.125f, -0.25f, -0.25f};
    for (int j = 1; j <= N; ++j) {
        EXPECT_EQ(t.nodeIa[j], loadA[j]) << j;
        EXPECT_EQ(t.nodeIr[j], loadR[j]) << j;
    }

    // Which node positions lie at or below the end of each branch.
    const bool below[5][6] = {{},
                              {false, true, true, true, true, false},
                              {false, false, true, false, false, false},
                              {false, false, false, true, true, false},
                              {false, false, false, false, true, false}};
    float columns = 0.0f, losses = 0.0f;
    for (int b = 1; b <= 4; ++b) {
        for (int j = 1; j <= N; ++j) {
            if (below[b][j])
                EXPECT_NEAR(t.lossPart[b][j], t.branchR[b] * (loadA[j] * t.branchIa[b] + loadR[j] * t.branchIr[b]),
                            1e-5)
                    << b << "," << j;
            else
                EXPECT_EQ(t.lossPart[b][j], 0.0f) << b << "," << j;
        }
        EXPECT_NEAR(c.rowTotal(b), t.branchLoss[b], 1e-5) << b;
        EXPECT_NEAR(t.branchLoss[b], (kRadialTok[b - 1].ia * kRadialTok[b - 1].ia + kRadialTok[b - 1].ir * kRadialTok[b - 1].ir) * kRadialTok[b - 1].r, 1e-5);
        losses += t.branchLoss[b];
        for (int j = 1; j <= N; ++j)
            columns += t.lossPart[b][j];
    }
    EXPECT_NEAR(columns, losses, 1e-4);

    // The report: the base node's column sum is 0.00, each listing names only
    // the nodes below the branch.
    const std::string rez = c.reportUtf8();
    EXPECT_NE(rez.find("Ветвь   10-30  Потери  1.71\r\nСоставляющие  dP30=0.45 dP40=1.27\r\n"), std::string::npos)
        << rez;
    EXPECT_NE(rez.find("Узлы    10    20    30    40     1\r\n"), std::string::npos);
    EXPECT_NE(rez.find("  0.00\r\n", rez.find("Потери ", rez.find("Узлы "))), std::string::npos);
}

TEST(LossAllocation, NodeFedByTwoBranchesSharesItsCurrentByTheirCurrents)
{
    // Node 3 is fed by 1->3 (3) and 2->3 (1); no reactive current anywhere,
    // so every reactive share has a zero denominator.
    LossCase c;
    c.setNetworkFromTok({5, 1, 2, 3}, {{0, 1, 3.0, 0.0, 1.0}, {0, 2, 1.0, 0.0, 1.0}, {1, 3, 3.0, 0.0, 2.0},
                                        {2, 3, 1.0, 0.0, 2.0}});
    ASSERT_TRUE(c.run());
    const LossTables& t = *c.tables;
    EXPECT_EQ(t.nodeIa[3], 4.0f);
    // Components are the node's current times the share: 0.75 and 0.25.
    EXPECT_EQ(t.coefA[3][3], 3.0f);
    EXPECT_EQ(t.coefA[4][3], 1.0f);
    EXPECT_EQ(t.coefA[1][3], 3.0f);  // through 1->3 below it
    EXPECT_EQ(t.coefA[2][3], 1.0f);
    for (int b = 1; b <= 4; ++b) {
        EXPECT_NEAR(c.rowTotal(b), t.branchLoss[b], 1e-5) << b;
        for (int j = 1; j <= 4; ++j)
            EXPECT_EQ(t.coefR[b][j], 0.0f);
    }
    const std::string rez = c.reportUtf8();
    EXPECT_EQ(rez.find("nan"), std::string::npos);
    EXPECT_EQ(rez.find("inf"), std::string::npos);
}

TEST(LossAllocation, PropagationReachesTenBranchesBelowTheEndOfABranch)
{
    LossCase c;
    std::vector<int> numbers;
    for (int k = 0; k <= 12; ++k)
        numbers.push_back(k + 1);
    c.setNetworkFromTok(numbers, chainTok());
    ASSERT_TRUE(c.run());
    const LossTables& t = *c.tables;
    for (int j = 1; j <= 11; ++j)
        EXPECT_EQ(t.coefA[1][j], 1.0f) << j;
    EXPECT_EQ(t.coefA[1][12], 0.0f);
    EXPECT_EQ(t.lossPart[1][12], 0.0f);
    EXPECT_EQ(t.coefA[2][12], 1.0f);
    // The first branch carries 12 but only 11 are traced to nodes.
    EXPECT_EQ(t.branchLoss[1], 144.0f);
    EXPECT_EQ(c.rowTotal(1), 121.0f);
    EXPECT_EQ(c.rowTotal(2), 121.0f);
    EXPECT_EQ(t.branchLoss[2], 121.0f);
}

TEST(LossAllocation, RepeatedCommandGivesTheSameReport)
{
    LossCase c;
    c.setNetworkFromTok(kRadialNumbers, kRadialTok);
    ASSERT_TRUE(c.run());
    const std::string first = c.report();
    ASSERT_TRUE(c.run());
    EXPECT_EQ(c.report(), first);
    // Without network.tok the tables of the last command are used again.
    std::filesystem::remove(c.dir / "network.tok");
    ASSERT_TRUE(c.run());
    EXPECT_EQ(c.report(), first);
    EXPECT_EQ(c.model->runMessage, "Невозможно открыть файл\n");
    ASSERT_EQ(c.sink.warnings.size(), 1u);
    EXPECT_EQ(c.sink.warnings[0], "Невозможно открыть файл");
    EXPECT_TRUE(c.sink.messages.empty());
}

TEST(LossAllocation, MissingBranchCurrentsBeforeTheFirstCommandGiveZeros)
{
    LossCase c;
    c.setNetwork(kRadialNumbers, {{0, 1}, {1, 2}, {1, 3}, {3, 4}});
    ASSERT_TRUE(c.run());
    EXPECT_EQ(c.model->runMessage, "Невозможно открыть файл\n");
    const std::string rez = c.reportUtf8();
    EXPECT_NE(rez.find("Ветвь    1-10  Потери  0.00\r\nСоставляющие \r\n"), std::string::npos) << rez;
    EXPECT_NE(rez.find("Потери 0.00  0.00  0.00  0.00  0.00\r\n"), std::string::npos);
}

TEST(LossAllocation, DamagedBranchCurrentsLeaveZeroRowsAndAreToldOnce)
{
    const std::string damaged = "Файл network.tok поврежден или не соответствует расчету.";
    LossCase c;
    c.setNetworkFromTok(kRadialNumbers, kRadialTok);
    ASSERT_TRUE(c.run());  // fills every row

    // Shorter than the branch count.
    c.writeTokText("    0    1    2.5000    0.6250          2.000\r\n    1    2    1.0000");
    ASSERT_TRUE(c.run());
    ASSERT_EQ(c.sink.messages.size(), 1u);
    EXPECT_EQ(c.sink.messages[0], damaged);
    EXPECT_EQ(c.tables->branchIa[1], 2.5f);
    for (int b = 2; b <= 4; ++b) {
        EXPECT_EQ(c.tables->branchIa[b], 0.0f);
        EXPECT_EQ(c.tables->branchR[b], 0.0f);
        EXPECT_EQ(c.rowTotal(b), 0.0f);
    }
    EXPECT_EQ(c.tables->nodeIa[2], 0.0f);

    // Text that is no number stops the reading; positions outside 0..n are
    // dropped.
    const std::vector<std::pair<std::string, std::size_t>> cases = {
        {"abc", 1},
        {"0 1 1,5 0 1\n1 2 1 1 1\n1 3 1 1 1\n3 4 1 1 1", 1},
        {"0 7 1 1 1\n-1 2 1 1 1\n1 3 1 1 1\n99999999999 4 1 1 1", 1},
    };
    for (const auto& [text, told] : cases) {
        c.sink.messages.clear();
        c.writeTokText(text);
        ASSERT_TRUE(c.run()) << text;
        EXPECT_EQ(c.sink.messages.size(), told) << text;
        const std::string rez = c.reportUtf8();
        EXPECT_NE(rez.find("Доля транзитных потерь"), std::string::npos) << text;
        for (int b = 1; b <= 4 && told; ++b)
            EXPECT_TRUE(std::isfinite(c.rowTotal(b))) << text;
    }
    // Branches from a node to itself are read as they are: the tracing feeds
    // each one's coefficient back into itself until it overflows, and a report
    // of such figures is refused rather than written.
    c.sink.messages.clear();
    writeBytes(c.dir / "losses.rez", "earlier report");
    c.writeTokText("0 1 1 1 1\n1 1 1 1 1\n2 2 1 1 1\n3 3 1 1 1");
    EXPECT_FALSE(c.run());
    EXPECT_EQ(c.sink.messages, std::vector<std::string>{kLossUndefinedText});
    EXPECT_EQ(c.report(), "earlier report");

    // The row with the wrong start and the one with the wide number are zero.
    c.writeTokText("0 7 1 1 1\n-1 2 1 1 1\n1 3 1 1 1\n99999999999 4 1 1 1");
    ASSERT_TRUE(c.run());
    EXPECT_EQ(c.tables->branchIa[1], 0.0f);
    EXPECT_EQ(c.tables->branchIa[2], 0.0f);
    EXPECT_EQ(c.tables->branchIa[3], 1.0f);
    EXPECT_EQ(c.tables->branchIa[4], 0.0f);
}

TEST(LossAllocation, NonFiniteCurrentsAndBranchesEndingAtTheBaseNode)
{
    LossCase c;
    c.setNetwork(kRadialNumbers, {{0, 1}, {1, 2}, {1, 3}, {4, 0}});
    // Currents that are no finite number, or whose loss overflows, give no
    // report: the earlier one stays.
    writeBytes(c.dir / "losses.rez", "earlier report");
    for (const char* tok : {"0 1 inf 0.5 1\n1 2 1 0.5 1\n1 3 1 0 1\n4 0 1 1 1\n",
                            "0 1 2 0.5 1\n1 2 nan 0.5 1\n1 3 1 0 1\n4 0 1 1 1\n",
                            "0 1 2 0.5 1\n1 2 1 0.5 1\n1 3 1e38 1e38 1e38\n4 0 1 1 1\n"}) {
        c.sink.messages.clear();
        c.writeTokText(tok);
        EXPECT_FALSE(c.run()) << tok;
        EXPECT_EQ(c.sink.messages, std::vector<std::string>{kLossUndefinedText}) << tok;
        EXPECT_EQ(c.report(), "earlier report");
    }

    // The branch 40 -> base takes no part in the node currents: only what
    // leaves node 40 counts there, nothing arrives at the base node.
    c.writeTokText("0 1 2 0 1\n1 2 1 0 1\n1 3 1 0 1\n4 0 0.5 0 1\n");
    ASSERT_TRUE(c.run());
    const LossTables& t = *c.tables;
    EXPECT_EQ(t.branchTo[4], 0);
    EXPECT_EQ(t.nodeIa[4], -0.5f);
    EXPECT_EQ(t.nodeIa[5], -2.0f);
    for (int j = 1; j <= 5; ++j)
        EXPECT_EQ(t.lossPart[4][j], 0.0f);
    EXPECT_EQ(t.coefA[4][0], 0.0f);
    EXPECT_EQ(t.branchLoss[4], 0.25f);
}

TEST(LossAllocation, LossesRezThatCannotBeCreatedIsNotShown)
{
    LossCase c;
    c.setNetworkFromTok(kRadialNumbers, kRadialTok);
    std::filesystem::create_directory(c.dir / "losses.rez");
    EXPECT_TRUE(c.run());
    EXPECT_EQ(c.model->runMessage, "Невозможно открыть файл losses.rez");
    EXPECT_TRUE(c.sink.messages.empty());
    EXPECT_TRUE(c.sink.warnings.empty());
    EXPECT_NEAR(c.rowTotal(1), c.tables->branchLoss[1], 1e-5);
}

TEST(LossAllocation, MeshedNetworkWithMoreThan29Branches)
{
    // Three layers below the base node: 5, 10 and 14 nodes; every node of
    // the second and third layer is fed from two nodes of the layer above,
    // 0.6 and 0.4 of its inflow. 53 branches, 30 node positions.
    std::vector<int> numbers = {1};
    for (int k = 1; k <= 29; ++k)
        numbers.push_back(100 + k);
    const int first[] = {1, 6, 16, 30};  // positions of layers 1, 2, 3 and the end
    std::vector<double> loadA(30), loadR(30), inflowA(30), inflowR(30);
    for (int k = 1; k <= 29; ++k) {
        loadA[k] = 1.0 + 0.1 * k;
        loadR[k] = 0.3 + 0.1 * (k % 7);
    }
    struct Feed {
        int from, to;
        double share;
    };
    std::vector<Feed> feeds;
    for (int k = 1; k <= 5; ++k)
        feeds.push_back({0, k, 1.0});
    for (int layer = 1; layer <= 2; ++layer) {
        const int above = first[layer - 1], width = first[layer] - above;
        for (int k = first[layer]; k < first[layer + 1]; ++k) {
            const int i = k - first[layer];
            feeds.push_back({above + i % width, k, 0.6});
            feeds.push_back({above + (i + 1) % width, k, 0.4});
        }
    }
    // Inflows from the bottom layer up.
    for (int k = 29; k >= 1; --k) {
        inflowA[k] += loadA[k];
        inflowR[k] += loadR[k];
        for (const Feed& f : feeds)
            if (f.to == k && f.from != 0) {
                inflowA[f.from] += f.share * inflowA[k];
                inflowR[f.from] += f.share * inflowR[k];
            }
    }
    std::vector<TokRecord> tok;
    for (const Feed& f : feeds)
        tok.push_back({f.from, f.to, f.share * inflowA[f.to], f.share * inflowR[f.to], 0.5 + 0.01 * f.to});
    ASSERT_EQ(tok.size(), 53u);

    LossCase c;
    c.setNetworkFromTok(numbers, tok);
    ASSERT_TRUE(c.run());
    float losses = 0.0f, parts = 0.0f;
    for (int b = 1; b <= 53; ++b) {
        EXPECT_NEAR(c.rowTotal(b), c.tables->branchLoss[b], 1e-4 * c.tables->branchLoss[b]) << b;
        losses += c.tables->branchLoss[b];
        parts += c.rowTotal(b);
    }
    EXPECT_NEAR(parts, losses, 1e-4 * losses);
    EXPECT_EQ(c.tables->lossPart[53][1], 0.0f);
    const std::string rez = c.reportUtf8();
    EXPECT_NE(rez.find("Число Ветвей  = 53"), std::string::npos);
    int listed = 0;
    for (std::size_t at = rez.find("  Потери  "); at != std::string::npos; at = rez.find("  Потери  ", at + 1))
        ++listed;
    EXPECT_EQ(listed, 53);
}

TEST(LossAllocation, RefusesBranchSchemesWithTooManyPaths)
{
    // 149 parallel loops at one node: 149^10 walks.
    LossCase c;
    std::vector<TokRecord> tok = {{0, 1, 1.0, 0.0, 1.0}};
    for (int b = 2; b <= 149; ++b)
        tok.push_back({1, 1, 1.0, 0.0, 1.0});
    c.setNetworkFromTok({1, 2, 3}, tok);
    writeBytes(c.dir / "losses.rez", "earlier report");
    EXPECT_FALSE(c.run());
    ASSERT_EQ(c.sink.messages.size(), 1u);
    EXPECT_NE(c.sink.messages[0].find("Расчет разделения потерь невозможен"), std::string::npos);
    EXPECT_EQ(c.report(), "earlier report");

    // One loop: ten steps below each of the two branches.
    EXPECT_EQ(countPropagationSteps(c.tables->branchFrom, c.tables->branchTo, 2), 20.0);
    EXPECT_GT(countPropagationSteps(c.tables->branchFrom, c.tables->branchTo, 149), kLossWalkLimit);
}

TEST(LossAllocation, MeshedNetworkWithManyParallelPathsIsCalculated)
{
    // Twenty nodes in a chain below the base node, every link four parallel
    // lines that share the downstream load equally: some 6e7 walks of the
    // tracing per matrix, well under a second of work, and a network the
    // reader and the power flow accept.
    std::vector<int> numbers = {1};
    std::vector<TokRecord> tok;
    for (int k = 1; k <= 20; ++k) {
        numbers.push_back(100 + k);
        for (int line = 0; line < 4; ++line)
            tok.push_back({k - 1, k, (21 - k) / 4.0, (21 - k) / 8.0, 1.0});
    }
    LossCase c;
    c.setNetworkFromTok(numbers, tok);
    const bool calculated = c.run();
    EXPECT_GT(countPropagationSteps(c.tables->branchFrom, c.tables->branchTo, 80), 5.0e7);
    ASSERT_TRUE(calculated);
    EXPECT_TRUE(c.sink.messages.empty());
    const LossTables& t = *c.tables;
    // Each of four parallel lines carries a quarter of every load below it,
    // down to ten levels below its end.
    EXPECT_EQ(t.coefA[1][1], 0.25f);
    EXPECT_EQ(t.coefA[1][11], 0.25f);
    EXPECT_EQ(t.coefA[1][12], 0.0f);
    EXPECT_EQ(t.coefR[40][20], 0.125f);
    for (int b = 37; b <= 80; ++b)  // every node below within reach
        EXPECT_NEAR(c.rowTotal(b), t.branchLoss[b], 1e-5f * t.branchLoss[b]) << b;
    EXPECT_NE(c.reportUtf8().find("Число Ветвей  = 80\r\n"), std::string::npos);
}
