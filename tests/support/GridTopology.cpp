#include "tests/support/GridTopology.h"

#include <algorithm>
#include <random>

namespace tarvel::test {

namespace {

struct Builder {
    diagram::Topology t;
    std::mt19937 random;

    explicit Builder(uint32_t seed) : random(seed) {}

    int node(int32_t number, int32_t type = 1)
    {
        t.nodeNumbers.push_back(number);
        t.nodeRecords.push_back(static_cast<int>(t.nodeRecords.size()));
        t.nodeTypes.push_back(type);
        return static_cast<int>(t.nodeNumbers.size()) - 1;
    }
    void branch(int a, int b, bool transformer = false)
    {
        t.branches.push_back({a, b, static_cast<int>(t.branches.size()) + 1, transformer});
    }
    int below(int n) { return static_cast<int>(random() % static_cast<uint32_t>(n)); }
    int32_t number(int k, int districts) const { return (1 + k % districts) * 10000 + k / districts; }
};

}  // namespace

diagram::Topology meshedTopology(int nodes, uint32_t seed)
{
    Builder b(seed);
    const int districts = std::clamp(nodes / 200, 1, 9);
    std::vector<int> used(static_cast<std::size_t>(districts) + 1, 0);
    std::vector<int> districtOf(static_cast<std::size_t>(nodes), 0);
    auto add = [&](int k, int district, int32_t type) {
        districtOf[static_cast<std::size_t>(k)] = district;
        b.node(district * 10000 + used[static_cast<std::size_t>(district)]++, type);
    };
    b.node(1, 3);
    const int backbone = std::max(4, nodes / 25);
    const int ring = std::min(backbone, nodes - 1);
    // The ring in arcs, one district each.
    for (int k = 1; k <= ring; ++k) {
        add(k, 1 + (k - 1) * districts / ring, k % 7 == 0 ? 2 : 1);
        b.branch(k == 1 ? 0 : k - 1, k);
    }
    b.branch(ring, 1);
    for (int c = 0; c < ring / 3; ++c) {
        const int a = 1 + b.below(ring), z = 1 + b.below(ring);
        if (a != z)
            b.branch(a, z);
    }
    // Feeders: a chain from a backbone node that forks now and then, in the
    // district of the node that feeds it.
    int previous = -1;
    for (int k = ring + 1; k < nodes; ++k) {
        const bool start = previous < 0 || b.below(12) == 0;
        const int from = start ? 1 + b.below(ring) : std::max(ring + 1, previous - b.below(3));
        add(k, districtOf[static_cast<std::size_t>(from)], 1);
        b.branch(from, k, start);
        previous = k;
    }
    // Ties between neighbouring feeders, as a normally open point joins them.
    for (int c = 0; c < nodes / 40 && nodes > ring + 60; ++c) {
        const int a = ring + 1 + b.below(nodes - ring - 60);
        b.branch(a, a + 20 + b.below(40));
    }
    return b.t;
}

diagram::Topology radialTopology(int nodes, uint32_t seed)
{
    Builder b(seed);
    const int districts = std::clamp(nodes / 200, 1, 9);
    b.node(1, 3);
    for (int k = 1; k < nodes; ++k) {
        b.node(b.number(k, districts));
        const int parent = b.below(5) == 0 ? b.below(k) : k - 1;
        b.branch(parent, k, parent == 0);
    }
    return b.t;
}

}  // namespace tarvel::test
