#include "model/ZeroImpedanceTies.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace tarvel {

namespace {

constexpr double kBasePowerMva = 100.0;

// Union-find over the node indices.
class Groups {
public:
    explicit Groups(int nodes) : parent_(nodes)
    {
        std::iota(parent_.begin(), parent_.end(), 0);
    }
    int find(int k)
    {
        while (parent_[k] != k) {
            parent_[k] = parent_[parent_[k]];
            k = parent_[k];
        }
        return k;
    }
    // Joins the groups; `root` becomes the root of the joined group.
    void join(int root, int other) { parent_[find(other)] = root; }

private:
    std::vector<int32_t> parent_;
};

// The rank of a node as a representative: the base node, then a fixed
// magnitude, then any other (ties broken by the lower index).
int rank(const NetworkModel& model, int k)
{
    return k == 0 ? 0 : (model.nodeType[k] == 2 ? 1 : 2);
}

bool holdsVoltage(const NetworkModel& model, int k)
{
    return rank(model, k) < 2;
}

}  // namespace

TieKind tieKind(const NetworkModel& model, int j, int end)
{
    const double r = model.written.branchResistance[j];
    const double x = model.written.branchReactance[j];
    const double unom = model.written.nodeUnom[end];
    const double base = unom * unom / kBasePowerMva;
    if (!(std::hypot(r, x) < kTieImpedance * base))
        return TieKind::None;
    if (model.written.branchRatio[j] == 1.0 && model.written.branchPhase[j] == 0.0)
        return TieKind::Tie;
    return r == 0.0 && x == 0.0 ? TieKind::ZeroImpedanceTransformer : TieKind::None;
}

TieGroups findTieGroups(const NetworkModel& model, std::span<const int32_t> start, std::span<const int32_t> end)
{
    const int n = model.nodeCount;
    const int m = model.branchCount;
    TieGroups groups;
    groups.tie.assign(static_cast<std::size_t>(m) + 1, 0);
    groups.solvedAs.resize(static_cast<std::size_t>(n) + 1);
    std::iota(groups.solvedAs.begin(), groups.solvedAs.end(), 0);
    Groups g(n + 1);
    for (int j = 1; j <= m; ++j) {
        const TieKind kind = tieKind(model, j, end[j]);
        if (kind == TieKind::ZeroImpedanceTransformer)
            groups.zeroImpedanceTransformers.push_back(j);
        if (kind != TieKind::Tie)
            continue;
        groups.tie[j] = 1;
        groups.any = true;
        const int a = g.find(start[j]);
        const int b = g.find(end[j]);
        if (a == b)
            continue;
        if (holdsVoltage(model, a) && holdsVoltage(model, b)) {
            const double ua = model.written.nodeUnom[a];
            const double ub = model.written.nodeUnom[b];
            if (std::fabs(ua - ub) > 1e-9 * std::max(std::fabs(ua), std::fabs(ub)))
                groups.conflicts.push_back(j);
        }
        const bool aFirst = rank(model, a) < rank(model, b) || (rank(model, a) == rank(model, b) && a < b);
        if (aFirst)
            g.join(a, b);
        else
            g.join(b, a);
    }
    if (groups.any)
        for (int k = 0; k <= n; ++k)
            groups.solvedAs[k] = g.find(k);
    return groups;
}

}  // namespace tarvel
