// The fill-reducing order of a large network's nodes, in which the sparse
// method eliminates them. Each node then takes its two rows and columns of
// the Jacobian together, and the start's DC power flow uses the same order.
#pragma once

#include <vector>

namespace tarvel {

// The graph of the nodes 1..n that the Jacobian couples, 0-based, each node
// among its own neighbours, in compressed form: node k's neighbours are
// neighbour[start[k] .. start[k + 1]), sorted.
struct NodeGraph {
    std::vector<int> start;  // n + 1
    std::vector<int> neighbour;
    int nodes() const { return static_cast<int>(start.size()) - 1; }
};

enum class NodeOrdering {
    MinimumDegree,     // approximate minimum degree (SuiteSparse AMD)
    NestedDissection,  // nested dissection (METIS_NodeND)
};

struct NodeOrder {
    std::vector<int> order;  // order[rank] = node; empty when the ordering failed
    // The Cholesky factor of the graph's pattern in this order: its entries
    // below the diagonal (the room the factors need, up to pivoting) and its
    // work, the sum of the squared column counts (minimum degree's as AMD
    // counts them, at most a few more than there are).
    double factorEntries = 0;
    double factorWork = 0;
};

// Nested dissection is tried from this many nodes, where minimum degree's
// factor holds at least kNestedDissectionFill entries per node, and taken
// when its factor needs less work. Measured: below, or on sparser networks
// (public grids, the generated meshed and regional grids at any size),
// minimum degree costs less in ordering and factorisation together; on a
// fully meshed lattice nested dissection saves a fifth of the factor work at
// 20 000 nodes and two fifths at 100 000.
constexpr int kNestedDissectionNodes = 20000;
constexpr double kNestedDissectionFill = 15.0;

NodeOrder orderNodes(const NodeGraph& graph, NodeOrdering how);

// The order the sparse method uses: minimum degree, or nested dissection
// where it pays (see above).
NodeOrder chooseNodeOrder(const NodeGraph& graph);

// The Cholesky factor of the graph's pattern eliminated in the given order
// (factorEntries and factorWork of the result; order left empty).
NodeOrder countFactor(const NodeGraph& graph, const std::vector<int>& order);

}  // namespace tarvel
