// Steps of the sparse method that stand apart from the iteration, so that
// another ordering or another start can take their place, and the measure of
// one node's equations that the contingency study's own iteration shares.
#pragma once

#include <cmath>
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

// One node's mismatches (mP, and mQ of its reactive power or of its fixed
// voltage magnitude) and their errors as the residual measures them:
// relative to a load of 1 MW or more, to Unom for the voltage.
struct NodeMismatch {
    double mP, mQ, eP, eQ;
};
inline NodeMismatch nodeMismatch(double P, double Q, double e, double f, double loadP, double loadQ, double unom,
                                 bool solvesReactivePower)
{
    NodeMismatch m;
    m.mP = -(P + loadP);
    if (solvesReactivePower) {
        m.mQ = -(Q + loadQ);
        m.eQ = std::fabs(loadQ) >= 1.0 ? m.mQ / loadQ : m.mQ;
    } else {
        m.mQ = -((e * e + f * f) - unom * unom) / unom;
        m.eQ = m.mQ / unom;
    }
    m.eP = std::fabs(loadP) >= 1.0 ? m.mP / loadP : m.mP;
    return m;
}

}  // namespace tarvel
