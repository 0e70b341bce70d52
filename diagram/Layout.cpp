#include "diagram/Layout.h"

#include <algorithm>
#include <cstdlib>
#include <cmath>
#include <deque>
#include <mutex>
#include <string>

#include <graphviz/gvc.h>

namespace tarvel::diagram {

namespace {

std::mutex graphvizMutex;

void set(void* object, const char* name, const char* value)
{
    agsafeset(object, const_cast<char*>(name), const_cast<char*>(value), const_cast<char*>(""));
}

// Orders every branch away from the base node, so that dot ranks the nodes
// by their distance from it.
std::vector<std::pair<int, int>> edgesFromBase(const Topology& t)
{
    const std::size_t n = t.nodeNumbers.size();
    std::vector<int> depth(n, -1);
    std::vector<std::vector<int>> adjacent(n);
    for (const TopologyBranch& b : t.branches) {
        adjacent[static_cast<std::size_t>(b.from)].push_back(b.to);
        adjacent[static_cast<std::size_t>(b.to)].push_back(b.from);
    }
    std::deque<int> queue{0};
    depth[0] = 0;
    while (!queue.empty()) {
        const int k = queue.front();
        queue.pop_front();
        for (int next : adjacent[static_cast<std::size_t>(k)])
            if (depth[static_cast<std::size_t>(next)] < 0) {
                depth[static_cast<std::size_t>(next)] = depth[static_cast<std::size_t>(k)] + 1;
                queue.push_back(next);
            }
    }
    std::vector<std::pair<int, int>> edges;
    for (const TopologyBranch& b : t.branches) {
        if (depth[static_cast<std::size_t>(b.from)] <= depth[static_cast<std::size_t>(b.to)])
            edges.emplace_back(b.from, b.to);
        else
            edges.emplace_back(b.to, b.from);
    }
    return edges;
}

std::vector<Point> graphvizPositions(const Topology& t, LayoutEngine engine)
{
    const std::lock_guard<std::mutex> lock(graphvizMutex);
    agseterr(AGERR);  // warnings of the layout are not the user's affair
    GVC_t* gvc = gvContext();
    const bool layered = engine == LayoutEngine::Layered;
    Agraph_t* g = agopen(const_cast<char*>("network"), layered ? Agstrictdirected : Agundirected, nullptr);
    agattr(g, AGNODE, const_cast<char*>("shape"), const_cast<char*>("point"));
    agattr(g, AGNODE, const_cast<char*>("width"), const_cast<char*>("0.15"));
    agattr(g, AGNODE, const_cast<char*>("label"), const_cast<char*>(""));
    if (layered) {
        set(g, "ranksep", "0.6");
        set(g, "nodesep", "0.35");
        set(g, "splines", "false");
    } else {
        // The fast quadtree keeps 10 000 nodes within about a second and a
        // half; an explicit overlap removal ("prism") would take six times that.
        set(g, "quadtree", "fast");
    }
    std::vector<Agnode_t*> nodes(t.nodeNumbers.size());
    for (std::size_t k = 0; k < nodes.size(); ++k)
        nodes[k] = agnode(g, const_cast<char*>(std::to_string(k).c_str()), 1);
    const auto edges = layered ? edgesFromBase(t) : [&] {
        std::vector<std::pair<int, int>> e;
        for (const TopologyBranch& b : t.branches)
            e.emplace_back(b.from, b.to);
        return e;
    }();
    for (const auto& [a, b] : edges)
        if (a != b)
            agedge(g, nodes[static_cast<std::size_t>(a)], nodes[static_cast<std::size_t>(b)], nullptr, 1);

    std::vector<Point> positions(nodes.size());
    // sfdp and the overlap removal draw from the C library's generators:
    // seeded here, the same data give the same picture in every call (to far
    // below a pixel: the order of summing forces follows memory addresses).
    srand48(1);
    std::srand(1);
    if (gvLayout(gvc, g, layered ? "dot" : "sfdp") == 0) {
        for (std::size_t k = 0; k < nodes.size(); ++k)
            positions[k] = {ND_coord(nodes[k]).x, -ND_coord(nodes[k]).y};
        gvFreeLayout(gvc, g);
    }
    agclose(g);
    gvFreeContext(gvc);
    return positions;
}

// Scales the positions so that the median branch is kBranchLength long and
// moves them to start at (0, 0).
void normalise(const Topology& t, std::vector<Point>& positions)
{
    if (positions.empty())
        return;
    std::vector<double> lengths;
    for (const TopologyBranch& b : t.branches) {
        const Point p = positions[static_cast<std::size_t>(b.from)];
        const Point q = positions[static_cast<std::size_t>(b.to)];
        const double length = std::hypot(p.x - q.x, p.y - q.y);
        if (length > 0)
            lengths.push_back(length);
    }
    double scale = 1;
    if (!lengths.empty()) {
        std::nth_element(lengths.begin(), lengths.begin() + static_cast<long>(lengths.size() / 2), lengths.end());
        scale = kBranchLength / lengths[lengths.size() / 2];
    }
    double minX = positions[0].x, minY = positions[0].y;
    for (const Point& p : positions) {
        minX = std::min(minX, p.x);
        minY = std::min(minY, p.y);
    }
    for (Point& p : positions)
        p = {(p.x - minX) * scale, (p.y - minY) * scale};
}

}  // namespace

LayoutEngine chooseEngine(const Topology& topology)
{
    return topology.nodeNumbers.size() <= kLayeredNodeLimit && isRadial(topology) ? LayoutEngine::Layered
                                                                                 : LayoutEngine::ForceDirected;
}

Layout layoutTopology(const Topology& topology)
{
    return layoutTopology(topology, chooseEngine(topology));
}

Layout layoutTopology(const Topology& topology, LayoutEngine engine)
{
    Layout layout;
    layout.engine = engine;
    layout.positions = graphvizPositions(topology, engine);
    normalise(topology, layout.positions);
    return layout;
}

const Layout* LayoutCache::find(const Topology& topology) const
{
    for (const Entry& e : entries_)
        if (e.topology.sameShape(topology))
            return &e.layout;
    return nullptr;
}

void LayoutCache::store(const Topology& topology, const Layout& layout)
{
    entries_.remove_if([&](const Entry& e) { return e.topology.sameShape(topology); });
    entries_.push_front({topology, layout});
    if (entries_.size() > kKept)
        entries_.pop_back();
}

}  // namespace tarvel::diagram
