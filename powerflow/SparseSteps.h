// Two steps of the sparse method that stand apart from the iteration, so
// that another ordering or another start can take their place.
#pragma once

#include <vector>

#include "powerflow/Ordering.h"
#include "powerflow/SparseSolver.h"

namespace tarvel {

// A fill-reducing order of the graph's nodes (order[rank] = node), and the
// number of entries that the nodes' factor L will hold by its prediction
// (predictedFactorEntries, for sizing KLU's first allocation). Empty when it
// fails.
std::vector<int> orderNodes(const NodeGraph& graph, double& predictedFactorEntries);

// The voltages (kV, nodes 0..n) the iteration starts from: the flat profile,
// or another solution's voltages. Nodes that the network solves as another
// node (solvedAs) take that node's voltage. (The solve sets the nodes it
// cuts off to 0 afterwards.)
void startVoltages(const Network& network, const Start& start, std::vector<double>& e, std::vector<double>& f);

}  // namespace tarvel
