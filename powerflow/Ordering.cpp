#include "powerflow/Ordering.h"

#include <amd.h>
#include <metis.h>

#include "powerflow/SparseSteps.h"

namespace tarvel {

namespace {

// The order with its factor counted by countFactor; empty where it failed.
NodeOrder counted(const NodeGraph& graph, std::vector<int> order)
{
    if (order.empty())
        return {};
    NodeOrder result = countFactor(graph, order);
    result.order = std::move(order);
    return result;
}

// AMD counts the factor as it orders. Its counts are exact where it finds
// no dense row, but for mass elimination, which adds a few entries (the
// regional grid of 10 000 nodes: 31 297 against 31 292); a dense row is
// counted afterwards.
NodeOrder minimumDegreeOrder(const NodeGraph& graph)
{
    std::vector<int> order(graph.nodes());
    double info[AMD_INFO];
    if (amd_order(graph.nodes(), graph.start.data(), graph.neighbour.data(), order.data(), nullptr, info) < AMD_OK)
        return {};
    if (info[AMD_NDENSE] != 0)
        return counted(graph, std::move(order));
    return {std::move(order), info[AMD_LNZ], info[AMD_NMULTSUBS_LU]};
}

std::vector<int> nestedDissectionOrder(const NodeGraph& graph)
{
    // METIS takes the graph without the nodes themselves among their neighbours.
    idx_t n = graph.nodes();
    std::vector<idx_t> start(graph.start.size());
    std::vector<idx_t> neighbour;
    neighbour.reserve(graph.neighbour.size());
    for (int k = 0; k < n; ++k) {
        start[k] = static_cast<idx_t>(neighbour.size());
        for (int a = graph.start[k]; a < graph.start[k + 1]; ++a)
            if (graph.neighbour[a] != k)
                neighbour.push_back(graph.neighbour[a]);
    }
    start[n] = static_cast<idx_t>(neighbour.size());
    idx_t options[METIS_NOPTIONS];
    METIS_SetDefaultOptions(options);
    options[METIS_OPTION_NUMBERING] = 0;
    std::vector<idx_t> perm(n), inverse(n);
    if (METIS_NodeND(&n, start.data(), neighbour.data(), nullptr, options, perm.data(), inverse.data()) != METIS_OK)
        return {};
    return std::vector<int>(perm.begin(), perm.end());
}

}  // namespace

NodeOrder countFactor(const NodeGraph& graph, const std::vector<int>& order)
{
    // The elimination tree (with path compression), then each row of the
    // factor as the union of the tree's paths from the row's entries up to
    // the row itself.
    const int n = graph.nodes();
    std::vector<int> position(n);
    for (int k = 0; k < n; ++k)
        position[order[k]] = k;
    std::vector<int> parent(n, -1), ancestor(n, -1);
    for (int k = 0; k < n; ++k) {
        const int node = order[k];
        for (int a = graph.start[node]; a < graph.start[node + 1]; ++a) {
            int i = position[graph.neighbour[a]];
            while (i < k) {
                const int next = ancestor[i];
                ancestor[i] = k;
                if (next < 0) {
                    parent[i] = k;
                    break;
                }
                i = next;
            }
        }
    }
    std::vector<int> mark(n, -1);
    std::vector<double> columnCount(n, 0.0);
    for (int k = 0; k < n; ++k) {
        mark[k] = k;
        const int node = order[k];
        for (int a = graph.start[node]; a < graph.start[node + 1]; ++a) {
            for (int i = position[graph.neighbour[a]]; i < k && mark[i] != k; i = parent[i]) {
                mark[i] = k;
                ++columnCount[i];
            }
        }
    }
    NodeOrder result;
    for (const double c : columnCount) {
        result.factorEntries += c;
        result.factorWork += c * c;
    }
    return result;
}

NodeOrder orderNodes(const NodeGraph& graph, NodeOrdering how)
{
    // METIS needs a few nodes to cut; AMD orders any graph.
    if (how != NodeOrdering::NestedDissection || graph.nodes() <= 2)
        return minimumDegreeOrder(graph);
    return counted(graph, nestedDissectionOrder(graph));
}

NodeOrder chooseNodeOrder(const NodeGraph& graph)
{
    NodeOrder best = orderNodes(graph, NodeOrdering::MinimumDegree);
    if (graph.nodes() < kNestedDissectionNodes || best.factorEntries < kNestedDissectionFill * graph.nodes())
        return best;
    // Both orders counted alike before they are compared.
    best = counted(graph, std::move(best.order));
    NodeOrder dissected = orderNodes(graph, NodeOrdering::NestedDissection);
    if (!dissected.order.empty() && (best.order.empty() || dissected.factorWork < best.factorWork))
        return dissected;
    return best;
}

std::vector<int> orderNodes(const NodeGraph& graph, double& predictedFactorEntries)
{
    NodeOrder chosen = chooseNodeOrder(graph);
    predictedFactorEntries = chosen.factorEntries;
    return std::move(chosen.order);
}

}  // namespace tarvel
