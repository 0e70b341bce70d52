#include "powerflow/DcStart.h"

#include <algorithm>
#include <cmath>

#include <klu.h>

namespace tarvel {

namespace {

// B' in the compressed-column form of the graph (each column's rows sorted,
// the diagonal among them).
std::vector<double> formDcMatrix(const NodeGraph& graph, const DcNetwork& network)
{
    std::vector<double> B(graph.neighbour.size(), 0.0);
    const auto at = [&](int row, int column) -> double& {
        const auto begin = graph.neighbour.begin() + graph.start[column];
        const auto end = graph.neighbour.begin() + graph.start[column + 1];
        return B[std::lower_bound(begin, end, row) - graph.neighbour.begin()];
    };
    for (std::size_t i = 1; i < network.from.size(); ++i) {
        const int s = network.from[i] - 1;
        const int t = network.to[i] - 1;
        const double w = network.coupling[i];
        if (s == t)
            continue;
        if (s >= 0)
            at(s, s) += w;
        if (t >= 0)
            at(t, t) += w;
        if (s >= 0 && t >= 0) {
            at(s, t) -= w;
            at(t, s) -= w;
        }
    }
    // A node that no branch reaches keeps its angle of 0.
    for (int k = 0; k < graph.nodes(); ++k)
        if (at(k, k) == 0.0)
            at(k, k) = 1.0;
    return B;
}

}  // namespace

std::vector<double> dcAngles(const NodeGraph& graph, const std::vector<int>& order, const DcNetwork& network)
{
    const int n = graph.nodes();
    std::vector<double> B = formDcMatrix(graph, network);
    std::vector<double> theta(network.injection.begin() + 1, network.injection.end());
    klu_common common;
    klu_defaults(&common);
    common.btf = 0;
    common.scale = 0;
    auto* Ap = const_cast<int*>(graph.start.data());
    auto* Ai = const_cast<int*>(graph.neighbour.data());
    auto* P = const_cast<int*>(order.data());
    klu_symbolic* symbolic = klu_analyze_given(n, Ap, Ai, P, P, &common);
    klu_numeric* numeric = symbolic ? klu_factor(Ap, Ai, B.data(), symbolic, &common) : nullptr;
    const bool solved = numeric && common.status == KLU_OK &&
                        klu_solve(symbolic, numeric, n, 1, theta.data(), &common) &&
                        std::all_of(theta.begin(), theta.end(), [](double a) { return std::isfinite(a); });
    if (numeric)
        klu_free_numeric(&numeric, &common);
    if (symbolic)
        klu_free_symbolic(&symbolic, &common);
    if (!solved)
        return {};
    theta.insert(theta.begin(), 0.0);
    return theta;
}

}  // namespace tarvel
