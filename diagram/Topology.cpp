#include "diagram/Topology.h"

#include <algorithm>
#include <deque>
#include <unordered_map>

#include "powerflow/DistrictAnalysis.h"

namespace tarvel::diagram {

int Topology::nodeOf(int32_t number) const
{
    const auto it = std::find(nodeNumbers.begin(), nodeNumbers.end(), number);
    return it == nodeNumbers.end() ? -1 : static_cast<int>(it - nodeNumbers.begin());
}

bool Topology::sameShape(const Topology& other) const
{
    if (nodeNumbers != other.nodeNumbers || branches.size() != other.branches.size())
        return false;
    for (std::size_t i = 0; i < branches.size(); ++i)
        if (branches[i].from != other.branches[i].from || branches[i].to != other.branches[i].to)
            return false;
    return true;
}

Topology topologyOf(const NetworkModel& model)
{
    Topology t;
    std::unordered_map<int32_t, int> position;
    auto add = [&](int32_t number, int record) {
        const auto [it, added] = position.emplace(number, static_cast<int>(t.nodeNumbers.size()));
        const int32_t type = record >= 0 ? model.nodeType[static_cast<std::size_t>(record)] : 0;
        if (added) {
            t.nodeNumbers.push_back(number);
            t.nodeRecords.push_back(record);
            t.nodeTypes.push_back(type);
        } else if (record >= 0) {
            // The calculation joins the branches of a repeated number to its last record.
            t.nodeRecords[static_cast<std::size_t>(it->second)] = record;
            t.nodeTypes[static_cast<std::size_t>(it->second)] = type;
        }
        return it->second;
    };
    for (int k = 0; k <= model.nodeCount; ++k)
        add(model.nodeNumber[k], k);
    std::vector<std::pair<int32_t, int32_t>> ends;
    for (int j = 1; j <= model.branchCount; ++j) {
        TopologyBranch b;
        b.from = add(model.branchStartNode[j], -1);
        b.to = add(model.branchEndNode[j], -1);
        b.record = j;
        b.transformer = isTransformer(model.branchRatio[j]);
        t.branches.push_back(b);
    }
    return t;
}

std::vector<bool> islandNodes(const Topology& topology)
{
    const std::size_t n = topology.nodeNumbers.size();
    std::vector<std::vector<int>> adjacent(n);
    for (const TopologyBranch& b : topology.branches) {
        adjacent[static_cast<std::size_t>(b.from)].push_back(b.to);
        adjacent[static_cast<std::size_t>(b.to)].push_back(b.from);
    }
    std::vector<bool> reached(n, false);
    if (n == 0)
        return reached;
    std::deque<int> queue{0};
    reached[0] = true;
    while (!queue.empty()) {
        const int k = queue.front();
        queue.pop_front();
        for (int next : adjacent[static_cast<std::size_t>(k)])
            if (!reached[static_cast<std::size_t>(next)]) {
                reached[static_cast<std::size_t>(next)] = true;
                queue.push_back(next);
            }
    }
    std::vector<bool> island(n);
    for (std::size_t k = 0; k < n; ++k)
        island[k] = !reached[k];
    return island;
}

bool isRadial(const Topology& topology)
{
    const std::vector<bool> island = islandNodes(topology);
    return topology.branches.size() + 1 == topology.nodeNumbers.size() &&
           std::none_of(island.begin(), island.end(), [](bool b) { return b; });
}

}  // namespace tarvel::diagram
