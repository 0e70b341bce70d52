// The order of a large network's nodes: the predicted factor room against a
// plain symbolic elimination, and both orderings as permutations.
#include <algorithm>
#include <cmath>
#include <numeric>
#include <set>
#include <vector>

#include <gtest/gtest.h>

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

}  // namespace
