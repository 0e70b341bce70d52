// Node positions of a topology, computed by Graphviz.
//
// Coordinates are in drawing units (about a screen pixel at 100 %), y down,
// scaled so that a typical branch is kBranchLength long whatever the engine.
#pragma once

#include <cstddef>
#include <list>
#include <string>
#include <vector>

#include "diagram/Topology.h"

namespace tarvel::diagram {

struct Point {
    double x = 0, y = 0;
};

enum class LayoutEngine {
    Layered,      // Graphviz dot, ranks from the base node: radial feeders
    ForceDirected // Graphviz sfdp: meshed networks of any size
};

struct Layout {
    std::vector<Point> positions;  // per node of the topology
    LayoutEngine engine = LayoutEngine::ForceDirected;
};

constexpr double kBranchLength = 60.0;
// Radial networks up to this size are layered; dot grows too slow beyond it.
constexpr std::size_t kLayeredNodeLimit = 1500;

LayoutEngine chooseEngine(const Topology& topology);

// Lays the topology out with the chosen engine. The same topology always gives
// the same positions. Graphviz keeps global state, so calls from several
// threads are run one after another.
Layout layoutTopology(const Topology& topology);
Layout layoutTopology(const Topology& topology, LayoutEngine engine);

// The layouts of the session: a network keeps its picture until its topology
// changes. Holds the few most recent topologies.
class LayoutCache {
public:
    const Layout* find(const Topology& topology) const;
    void store(const Topology& topology, const Layout& layout);

private:
    struct Entry {
        Topology topology;
        Layout layout;
    };
    std::list<Entry> entries_;
    static constexpr std::size_t kKept = 8;
};

}  // namespace tarvel::diagram
