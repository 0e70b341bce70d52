// The start of the sparse method: the voltage angles of a DC power flow,
// B' theta = P, which take the first, slow Newton steps off a large
// network's flat start.
#pragma once

#include <vector>

#include "powerflow/Ordering.h"

namespace tarvel {

// The branches and nodes of the DC power flow. Nodes 1..n are the graph's
// nodes 0..n-1; node 0 is the base node, at angle 0.
struct DcNetwork {
    std::vector<int> from, to;       // branches 1..m (index 0 unused); an end may be the base node
    std::vector<double> coupling;    // MW per radian: U_from * U_to * b / K
    std::vector<double> injection;   // MW injected, nodes 0..n
};

// Solves B' theta = P in the given order of the graph's nodes. Returns the
// angles (radians) of nodes 0..n, or nothing when B' is singular.
std::vector<double> dcAngles(const NodeGraph& graph, const std::vector<int>& order, const DcNetwork& network);

}  // namespace tarvel
