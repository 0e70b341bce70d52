#include "diagram/Picture.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <map>

#include "model/NetworkModel.h"
#include "model/TextFile.h"

namespace tarvel::diagram {

namespace {

// Light tints that tell the districts 0..9 apart behind the network.
constexpr std::array<Color, kDistricts> kDistrictTints = {{
    {0xde, 0xeb, 0xf7}, {0xfd, 0xe0, 0xc5}, {0xd9, 0xf0, 0xd3}, {0xf2, 0xd7, 0xee}, {0xff, 0xf5, 0xc0},
    {0xd4, 0xf1, 0xf0}, {0xe8, 0xe0, 0xd0}, {0xe5, 0xe5, 0xf7}, {0xf7, 0xd9, 0xd9}, {0xe0, 0xf0, 0xe8},
}};

std::string fixed2(double value)
{
    return hoverFixed(value, 2);
}

Color mix(Color a, Color b, double t)
{
    auto channel = [t](uint8_t x, uint8_t y) {
        return static_cast<uint8_t>(std::lround(x + (y - x) * t));
    };
    return {channel(a.r, b.r), channel(a.g, b.g), channel(a.b, b.b)};
}

NodeKind kindOf(int32_t type, int record)
{
    if (record < 0)
        return NodeKind::Unknown;
    switch (type) {
    case 3: return NodeKind::Base;
    case 2: return NodeKind::FixedVoltage;
    default: return NodeKind::Load;
    }
}

std::string nodeResultText(const NodeResult& r)
{
    std::string deviation = fixed2(r.deviation);
    if (r.deviation >= 0)
        deviation = "+" + deviation;
    return "V = " + fixed2(r.u) + " кВ (Uном " + fixed2(r.unom) + " кВ, " + deviation + " %)\n" +
           "Угол = " + fixed2(r.angle) + "°\n" + "P = " + fixed2(r.p) + " МВт, Q = " + fixed2(r.q) + " Мвар\n" +
           "Pg = " + fixed2(r.pg) + " МВт, Qb = " + fixed2(r.qb) + " Мвар";
}

std::string branchResultText(const BranchResult& r)
{
    return "P12 = " + fixed2(r.p12) + " МВт, Q12 = " + fixed2(r.q12) + " Мвар\n" + "P21 = " + fixed2(r.p21) +
           " МВт, Q21 = " + fixed2(r.q21) + " Мвар\n" + "dP = " + fixed2(r.dP) + " МВт";
}

void appendLines(std::string& text, const std::vector<std::string>& lines)
{
    for (const std::string& line : lines)
        text += "\n" + line;
}

// A finding as one line of a hover text: a message that network.err gives in
// two lines (what is wrong, then the branch) is read as one.
std::string oneLine(const Finding& finding)
{
    std::string text;
    for (std::string line : findingLines(finding)) {
        while (!line.empty() && line.back() == ' ')
            line.pop_back();
        text += (text.empty() ? "" : " ") + line;
    }
    return text;
}

// The findings by what they name: node numbers, branches (N1, N2) as written,
// and the notes that name neither.
struct FindingsByElement {
    std::map<int32_t, std::vector<std::string>> nodes;
    std::map<std::pair<int32_t, int32_t>, std::vector<std::string>> branches;
    std::vector<std::string> notes;
};

FindingsByElement findingsByElement(const std::vector<Finding>& findings)
{
    FindingsByElement by;
    for (const Finding& f : findings) {
        // A list names its nodes under its heading alone.
        const std::string text = listsNodes(f.kind) ? f.text : oneLine(f);
        for (const int32_t number : f.nodes)
            by.nodes[number].push_back(text);
        if (f.branch)
            by.branches[*f.branch].push_back(text);
        if (f.nodes.empty() && !f.branch)
            by.notes.push_back(text);
    }
    return by;
}

// Andrew's monotone chain; the points in counter-clockwise order.
std::vector<Point> convexHull(std::vector<Point> points)
{
    std::sort(points.begin(), points.end(), [](Point a, Point b) { return a.x < b.x || (a.x == b.x && a.y < b.y); });
    points.erase(std::unique(points.begin(), points.end(), [](Point a, Point b) { return a.x == b.x && a.y == b.y; }),
                 points.end());
    if (points.size() < 3)
        return points;
    auto cross = [](Point o, Point a, Point b) { return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x); };
    std::vector<Point> hull(2 * points.size());
    std::size_t k = 0;
    for (const Point& p : points) {
        while (k >= 2 && cross(hull[k - 2], hull[k - 1], p) <= 0)
            --k;
        hull[k++] = p;
    }
    for (std::size_t i = points.size() - 1, lower = k + 1; i-- > 0;) {
        while (k >= lower && cross(hull[k - 2], hull[k - 1], points[i]) <= 0)
            --k;
        hull[k++] = points[i];
    }
    hull.resize(k - 1);
    return hull;
}

double area(const std::vector<Point>& polygon)
{
    double twice = 0;
    for (std::size_t i = 0; i < polygon.size(); ++i) {
        const Point& a = polygon[i];
        const Point& b = polygon[(i + 1) % polygon.size()];
        twice += a.x * b.y - b.x * a.y;
    }
    return std::fabs(twice) / 2;
}

double distanceToSegment(Point p, Point a, Point b)
{
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double length2 = dx * dx + dy * dy;
    const double t = length2 > 0 ? std::clamp(((p.x - a.x) * dx + (p.y - a.y) * dy) / length2, 0.0, 1.0) : 0.0;
    return std::hypot(p.x - (a.x + t * dx), p.y - (a.y + t * dy));
}

// Distance from p to a convex polygon in counter-clockwise order, 0 inside.
double distanceToPolygon(Point p, const std::vector<Point>& polygon)
{
    const std::size_t n = polygon.size();
    if (n == 1)
        return distanceToSegment(p, polygon[0], polygon[0]);
    bool inside = n >= 3;
    double nearest = std::numeric_limits<double>::infinity();
    for (std::size_t i = 0; i < n; ++i) {
        const Point& a = polygon[i];
        const Point& b = polygon[(i + 1) % n];
        if ((b.x - a.x) * (p.y - a.y) - (b.y - a.y) * (p.x - a.x) < 0)
            inside = false;
        nearest = std::min(nearest, distanceToSegment(p, a, b));
    }
    return inside ? 0.0 : nearest;
}

// The nodes in square cells, to find those near a place without looking at all.
class NodeGrid {
public:
    NodeGrid(const std::vector<Point>& positions, double cell) : positions_(positions), cell_(cell)
    {
        for (std::size_t k = 0; k < positions.size(); ++k)
            cells_[key(cellOf(positions[k].x), cellOf(positions[k].y))].push_back(k);
    }
    // Calls visit(k) for every node within reach of the segment a-b's box.
    template <typename Visit>
    bool anyNear(Point a, Point b, double reach, Visit visit) const
    {
        const long x0 = cellOf(std::min(a.x, b.x) - reach), x1 = cellOf(std::max(a.x, b.x) + reach);
        const long y0 = cellOf(std::min(a.y, b.y) - reach), y1 = cellOf(std::max(a.y, b.y) + reach);
        for (long x = x0; x <= x1; ++x)
            for (long y = y0; y <= y1; ++y)
                if (const auto it = cells_.find(key(x, y)); it != cells_.end())
                    for (std::size_t k : it->second)
                        if (visit(k))
                            return true;
        return false;
    }

private:
    long cellOf(double v) const { return static_cast<long>(std::floor(v / cell_)); }
    static long long key(long x, long y) { return (static_cast<long long>(x) << 32) ^ static_cast<unsigned long>(y); }

    const std::vector<Point>& positions_;
    double cell_;
    std::map<long long, std::vector<std::size_t>> cells_;
};

// A node of another district keeps its whole symbol off a district's tint.
constexpr double kTintClearance = kHullMargin + kNodeRadius;

// The district's own nodes and branches, each left out where it would reach
// over a node of another district.
std::vector<std::array<Point, 2>> districtSleeves(const Topology& topology, const Layout& layout,
                                                  const std::vector<int>& districts, int district,
                                                  const NodeGrid& grid)
{
    auto clear = [&](Point a, Point b) {
        return !grid.anyNear(a, b, kTintClearance, [&](std::size_t k) {
            return districts[k] != district &&
                   distanceToSegment(layout.positions[k], a, b) < kTintClearance;
        });
    };
    std::vector<std::array<Point, 2>> sleeves;
    for (std::size_t k = 0; k < districts.size(); ++k) {
        const Point p = layout.positions[k];
        if (districts[k] == district && clear(p, p))
            sleeves.push_back({p, p});
    }
    for (const TopologyBranch& b : topology.branches) {
        const auto from = static_cast<std::size_t>(b.from), to = static_cast<std::size_t>(b.to);
        if (districts[from] != district || districts[to] != district)
            continue;
        if (clear(layout.positions[from], layout.positions[to]))
            sleeves.push_back({layout.positions[from], layout.positions[to]});
    }
    return sleeves;
}

std::vector<Hull> districtHulls(const Topology& topology, const Layout& layout)
{
    std::vector<int> districts(topology.nodeNumbers.size());
    std::map<int, std::vector<Point>> members;
    for (std::size_t k = 0; k < topology.nodeNumbers.size(); ++k) {
        districts[k] = districtOf(topology.nodeNumbers[k]);
        if (districts[k] >= 0)
            members[districts[k]].push_back(layout.positions[k]);
    }
    std::vector<Hull> hulls;
    if (members.size() < 2)
        return hulls;  // one district needs no telling apart
    double sum = 0;
    for (auto& [district, points] : members) {
        hulls.push_back({district, convexHull(std::move(points)), {}, kDistrictTints[static_cast<std::size_t>(district)]});
        sum += area(hulls.back().polygon);
    }
    // Districts whose nodes lie among each other's would only cover each
    // other: then the tint tells nothing and is left out.
    if (sum > 1.5 * area(convexHull(layout.positions)))
        return {};
    // A hull that reaches over another district's node would show that node
    // in the wrong district: such a district is tinted along its own nodes
    // and branches.
    const NodeGrid grid(layout.positions, 4 * kTintClearance);
    for (Hull& hull : hulls) {
        bool overOthers = false;
        for (std::size_t k = 0; k < districts.size() && !overOthers; ++k)
            overOthers = districts[k] != hull.district &&
                         distanceToPolygon(layout.positions[k], hull.polygon) < kTintClearance;
        if (!overOthers)
            continue;
        hull.polygon.clear();
        hull.sleeves = districtSleeves(topology, layout, districts, hull.district, grid);
    }
    std::erase_if(hulls, [](const Hull& h) { return h.polygon.empty() && h.sleeves.empty(); });
    return hulls;
}

}  // namespace

Color warningColor()
{
    return {0xff, 0x8c, 0x00};
}

Color noResultColor()
{
    return {0xd9, 0xd9, 0xd9};
}

Color violationColor()
{
    return {0xd0, 0x00, 0x00};
}

Color cutOffColor()
{
    return {0xb0, 0xb0, 0xb0};
}

Color deviationColor(double percent)
{
    // Blue below nominal, near white at nominal, red above.
    const Color low{0x21, 0x66, 0xac}, mid{0xf7, 0xf7, 0xf7}, high{0xb2, 0x18, 0x2b};
    const double t = std::clamp(percent / kScaleLimit, -1.0, 1.0);
    if (std::isnan(t))
        return noResultColor();
    return t < 0 ? mix(mid, low, -t) : mix(mid, high, t);
}

std::string hoverFixed(double value, int decimals)
{
    // A figure that rounds to zero is shown without a sign (the reports keep theirs).
    std::string text = formatFixed(value, 0, decimals);
    if (text.starts_with('-') && text.find_first_not_of("-0.") == std::string::npos)
        text.erase(0, 1);
    return text;
}

std::string nodeHeading(const NodeShape& node)
{
    const std::string heading = "Узел " + formatInt(node.number);
    switch (node.kind) {
    case NodeKind::Base: return heading + " (базисный)";
    case NodeKind::FixedVoltage: return heading + " (фиксированное напряжение)";
    default: return heading;
    }
}

std::string branchHeading(const BranchShape& branch)
{
    return "Ветвь " + formatInt(branch.startNumber) + " - " + formatInt(branch.endNumber) +
           (branch.transformer ? " (трансформатор)" : "");
}

Picture drawPicture(const Topology& topology, const Layout& layout, const NetworkResults* results,
                    const std::vector<Finding>& readerFindings)
{
    Picture picture;
    picture.withResults = results != nullptr;
    const FindingsByElement findings = findingsByElement(readerFindings);
    picture.notes = findings.notes;
    const std::vector<bool> island = islandNodes(topology);

    for (std::size_t k = 0; k < topology.nodeNumbers.size(); ++k) {
        NodeShape node;
        node.at = layout.positions[k];
        node.number = topology.nodeNumbers[k];
        node.record = topology.nodeRecords[k];
        node.kind = kindOf(topology.nodeTypes[k], node.record);
        node.fill = noResultColor();
        node.text = nodeHeading(node);
        const bool measured = results && node.record >= 0 && static_cast<std::size_t>(node.record) < results->nodes.size();
        if (measured) {
            const NodeResult& r = results->nodes[static_cast<std::size_t>(node.record)];
            node.fill = deviationColor(r.deviation);
            node.text += "\n" + nodeResultText(r);
        }
        if (node.kind == NodeKind::Unknown)
            node.text += "\nУзел не задан в исходных данных";
        if (const auto it = findings.nodes.find(node.number); it != findings.nodes.end())
            appendLines(node.text, it->second);
        else if (island[k])
            node.text += "\nУзел не связан с базовым узлом";
        node.warning = island[k] || node.kind == NodeKind::Unknown || findings.nodes.count(node.number) > 0;
        if (node.warning)
            node.fill = warningColor();
        picture.nodes.push_back(std::move(node));
    }

    // The figures of the branches follow the branch records one to one when
    // every branch was calculated.
    const bool branchFigures = results && results->branches.size() == topology.branches.size();
    double largest = 0;
    if (branchFigures)
        for (const BranchResult& r : results->branches)
            largest = std::max(largest, std::fabs(r.p12));
    for (std::size_t i = 0; i < topology.branches.size(); ++i) {
        const TopologyBranch& b = topology.branches[i];
        BranchShape shape;
        shape.from = layout.positions[static_cast<std::size_t>(b.from)];
        shape.to = layout.positions[static_cast<std::size_t>(b.to)];
        shape.record = b.record;
        shape.startNumber = topology.nodeNumbers[static_cast<std::size_t>(b.from)];
        shape.endNumber = topology.nodeNumbers[static_cast<std::size_t>(b.to)];
        shape.transformer = b.transformer;
        shape.text = branchHeading(shape);
        if (branchFigures) {
            const BranchResult& r = results->branches[i];
            const double p = std::fabs(r.p12);
            shape.width = 1.0 + (largest > 0 ? 5.0 * std::sqrt(p / largest) : 0.0);
            // P12 is what the first node receives: negative when it sends power on.
            shape.direction = p < 0.005 ? 0 : (r.p12 < 0 ? 1 : -1);
            shape.text += "\n" + branchResultText(r);
        }
        if (const auto it = findings.branches.find({shape.startNumber, shape.endNumber}); it != findings.branches.end()) {
            appendLines(shape.text, it->second);
            shape.warning = true;
        }
        if (island[static_cast<std::size_t>(b.from)] || island[static_cast<std::size_t>(b.to)])
            shape.warning = true;
        picture.branches.push_back(std::move(shape));
    }

    picture.hulls = districtHulls(topology, layout);

    if (!layout.positions.empty()) {
        picture.min = picture.max = layout.positions[0];
        for (const Point& p : layout.positions) {
            picture.min = {std::min(picture.min.x, p.x), std::min(picture.min.y, p.y)};
            picture.max = {std::max(picture.max.x, p.x), std::max(picture.max.y, p.y)};
        }
    }
    return picture;
}

}  // namespace tarvel::diagram
