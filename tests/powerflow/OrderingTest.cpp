// The order of a large network's nodes and the angles of the sparse method's
// start: the predicted factor room against a plain symbolic elimination, both
// orderings as permutations, and the DC power flow against hand-solved and
// residual-checked answers.
#include <algorithm>
#include <cmath>
#include <numeric>
#include <set>
#include <vector>

#include <gtest/gtest.h>

#include "powerflow/DcStart.h"
#include "powerflow/Ordering.h"
#include "powerflow/SparseSteps.h"

using namespace tarvel;

namespace {

// The graph of an edge list over nodes 0..n-1, each node among its own
// neighbours, each list sorted.
NodeGraph graphOf(int n, const std::vector<std::pair<int, int>>& edges)
{
    std::vector<std::set<int>> adjacent(n);
    for (int k = 0; k < n; ++k)
        adjacent[k].insert(k);
    for (auto [a, b] : edges) {
        adjacent[a].insert(b);
        adjacent[b].insert(a);
    }
    NodeGraph g;
    g.start.push_back(0);
    for (const auto& s : adjacent) {
        g.neighbour.insert(g.neighbour.end(), s.begin(), s.end());
        g.start.push_back(static_cast<int>(g.neighbour.size()));
    }
    return g;
}

// A side x side lattice with a diagonal in every third cell.
std::vector<std::pair<int, int>> latticeEdges(int side)
{
    std::vector<std::pair<int, int>> edges;
    for (int r = 0; r < side; ++r)
        for (int c = 0; c < side; ++c) {
            const int p = r * side + c;
            if (c > 0)
                edges.emplace_back(p - 1, p);
            if (r > 0)
                edges.emplace_back(p - side, p);
            if (r > 0 && c > 0 && p % 3 == 0)
                edges.emplace_back(p - side - 1, p);
        }
    return edges;
}

// Entries below the diagonal after eliminating the nodes one by one, each
// joining all its remaining neighbours (no shortcuts).
double eliminatedEntries(int n, const std::vector<std::pair<int, int>>& edges, const std::vector<int>& order)
{
    std::vector<std::set<int>> adjacent(n);
    for (auto [a, b] : edges) {
        adjacent[a].insert(b);
        adjacent[b].insert(a);
    }
    std::vector<char> gone(n, 0);
    double entries = 0;
    for (int node : order) {
        std::vector<int> rest;
        for (int j : adjacent[node])
            if (!gone[j])
                rest.push_back(j);
        entries += static_cast<double>(rest.size());
        for (int a : rest)
            for (int b : rest)
                if (a != b)
                    adjacent[a].insert(b);
        gone[node] = 1;
    }
    return entries;
}

bool isPermutation(std::vector<int> order, int n)
{
    std::sort(order.begin(), order.end());
    std::vector<int> identity(n);
    std::iota(identity.begin(), identity.end(), 0);
    return order == identity;
}

TEST(Ordering, BothOrdersArePermutationsWithTheFactorRoomOfAPlainElimination)
{
    for (int side : {1, 2, 3, 7, 18}) {
        const int n = side * side;
        const auto edges = latticeEdges(side);
        const NodeGraph graph = graphOf(n, edges);
        for (NodeOrdering how : {NodeOrdering::MinimumDegree, NodeOrdering::NestedDissection}) {
            const NodeOrder result = orderNodes(graph, how);
            ASSERT_TRUE(isPermutation(result.order, n)) << side;
            EXPECT_EQ(result.factorEntries, eliminatedEntries(n, edges, result.order)) << side;
        }
        std::vector<int> natural(n);
        std::iota(natural.begin(), natural.end(), 0);
        EXPECT_EQ(countFactor(graph, natural).factorEntries, eliminatedEntries(n, edges, natural)) << side;
    }
}

TEST(Ordering, NestedDissectionIsTakenOnlyForALargeDenselyMeshedNetworkWhereItSavesWork)
{
    // A lattice of 22 500 nodes: minimum degree's factor is dense enough to
    // try nested dissection, which needs less work.
    const int side = 150;
    const NodeGraph lattice = graphOf(side * side, latticeEdges(side));
    const NodeOrder amd = orderNodes(lattice, NodeOrdering::MinimumDegree);
    const NodeOrder nd = orderNodes(lattice, NodeOrdering::NestedDissection);
    ASSERT_GE(amd.factorEntries, kNestedDissectionFill * side * side);
    ASSERT_LT(nd.factorWork, amd.factorWork);
    EXPECT_EQ(chooseNodeOrder(lattice).order, nd.order);
    double predicted = 0;
    EXPECT_EQ(orderNodes(lattice, predicted), nd.order);
    EXPECT_EQ(predicted, nd.factorEntries);

    // The same lattice below the size, and a long chain of 30 000 nodes
    // (no fill at all): minimum degree.
    const NodeGraph small = graphOf(120 * 120, latticeEdges(120));
    EXPECT_EQ(chooseNodeOrder(small).order, orderNodes(small, NodeOrdering::MinimumDegree).order);
    std::vector<std::pair<int, int>> chain;
    for (int k = 1; k < 30000; ++k)
        chain.emplace_back(k - 1, k);
    const NodeGraph line = graphOf(30000, chain);
    const NodeOrder chosen = chooseNodeOrder(line);
    EXPECT_EQ(chosen.order, orderNodes(line, NodeOrdering::MinimumDegree).order);
    EXPECT_EQ(chosen.factorEntries, 29999);
}

TEST(DcStart, AnglesOfATriangleFedFromTheBaseNode)
{
    // Base node 0 joined to 1 (200 MW/rad) and 2 (100 MW/rad), 1-2 at 100 MW/rad;
    // node 1 takes 30 MW, node 2 gives 10 MW. By hand:
    //   300 t1 - 100 t2 = -30, -100 t1 + 200 t2 = 10  ->  t1 = -0.1, t2 = 0.
    const NodeGraph graph = graphOf(2, {{0, 1}});
    DcNetwork dc;
    dc.from = {0, 0, 0, 1};
    dc.to = {0, 1, 2, 2};
    dc.coupling = {0, 200, 100, 100};
    dc.injection = {20, -30, 10};
    for (const std::vector<int>& order : {std::vector<int>{0, 1}, std::vector<int>{1, 0}}) {
        const std::vector<double> theta = dcAngles(graph, order, dc);
        ASSERT_EQ(theta.size(), 3u);
        EXPECT_EQ(theta[0], 0.0);
        EXPECT_NEAR(theta[1], -0.1, 1e-12);
        EXPECT_NEAR(theta[2], 0.0, 1e-12);
    }
}

TEST(DcStart, AnglesMeetEveryNodeBalanceOfALatticeInBothOrders)
{
    const int side = 30;
    const int n = side * side;
    const auto edges = latticeEdges(side);
    const NodeGraph graph = graphOf(n, edges);
    DcNetwork dc;
    dc.from = {0};
    dc.to = {0};
    dc.coupling = {0};
    for (std::size_t i = 0; i < edges.size(); ++i) {
        dc.from.push_back(edges[i].first + 1);
        dc.to.push_back(edges[i].second + 1);
        dc.coupling.push_back(100.0 + static_cast<double>(i % 7) * 50.0);
    }
    // The base node joined at the lattice's corner and its middle; a parallel
    // line and a line that closes on itself change nothing in the balance.
    for (int k : {1, n / 2}) {
        dc.from.push_back(0);
        dc.to.push_back(k);
        dc.coupling.push_back(500.0);
    }
    dc.from.push_back(5);
    dc.to.push_back(6);
    dc.coupling.push_back(80.0);
    dc.from.push_back(9);
    dc.to.push_back(9);
    dc.coupling.push_back(80.0);
    dc.injection.assign(n + 1, 0.0);
    for (int k = 1; k <= n; ++k)
        dc.injection[k] = k % 10 == 0 ? 60.0 : -7.0;
    for (NodeOrdering how : {NodeOrdering::MinimumDegree, NodeOrdering::NestedDissection}) {
        const std::vector<double> theta = dcAngles(graph, orderNodes(graph, how).order, dc);
        ASSERT_EQ(theta.size(), static_cast<std::size_t>(n) + 1);
        std::vector<double> balance(n + 1, 0.0);
        for (std::size_t i = 1; i < dc.from.size(); ++i) {
            const double flow = dc.coupling[i] * (theta[dc.from[i]] - theta[dc.to[i]]);
            balance[dc.from[i]] += flow;
            balance[dc.to[i]] -= flow;
        }
        for (int k = 1; k <= n; ++k)
            ASSERT_NEAR(balance[k], dc.injection[k], 1e-9) << k;
    }
}

TEST(DcStart, ASingularMatrixGivesNoAngles)
{
    // Two nodes joined only to each other: their angles are not fixed.
    const NodeGraph graph = graphOf(2, {{0, 1}});
    DcNetwork dc;
    dc.from = {0, 1};
    dc.to = {0, 2};
    dc.coupling = {0, 100};
    dc.injection = {0, -5, 5};
    EXPECT_TRUE(dcAngles(graph, {0, 1}, dc).empty());
}

}  // namespace
