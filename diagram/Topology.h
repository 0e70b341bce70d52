// What the diagram draws: the nodes and branches of the data as the reader
// stored them, whether the data were accepted or not.
#pragma once

#include <cstdint>
#include <vector>

#include "model/NetworkModel.h"

namespace tarvel::diagram {

struct TopologyBranch {
    int from = 0, to = 0;  // positions in Topology::nodeNumbers
    int record = 0;        // the branch's index j in the model, 1..m
    bool transformer = false;
};

struct Topology {
    // One entry per node number, in the order of the data: the base node
    // first, then the nodes, then numbers that only branches name.
    std::vector<int32_t> nodeNumbers;
    // The node's index k in the model, -1 for a number that only branches name.
    std::vector<int> nodeRecords;
    // 3 base, 1 load, 2 fixed voltage magnitude, 0 for a number without record.
    std::vector<int32_t> nodeTypes;
    std::vector<TopologyBranch> branches;

    int nodeOf(int32_t number) const;  // -1 when absent
    // The same nodes and branches, so the same picture.
    bool sameShape(const Topology& other) const;
};

// The nodes and branches of the model (indices 0..nodeCount, 1..branchCount).
// A number given twice is one node, as the calculation joins its branches.
Topology topologyOf(const NetworkModel& model);

// Nodes that no chain of branches joins to the base node.
std::vector<bool> islandNodes(const Topology& topology);

// A network without loops and in one piece: a tree hanging from the base node.
bool isRadial(const Topology& topology);

}  // namespace tarvel::diagram
