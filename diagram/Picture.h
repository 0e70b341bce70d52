// The diagram as shapes: what the window shows and the SVG file holds.
//
// Nodes are coloured by their voltage deviation from nominal on a diverging
// scale, branches are as wide as the active power they carry with an arrow
// for its direction, districts lie on tinted hulls, and what the reader
// refused (and islands) is drawn in the warning colour with its message.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "diagram/Layout.h"
#include "diagram/Topology.h"
#include "model/NetworkReading.h"
#include "powerflow/NetworkResults.h"

namespace tarvel::diagram {

struct Color {
    uint8_t r = 0, g = 0, b = 0;
    bool operator==(const Color&) const = default;
};

enum class NodeKind { Base, FixedVoltage, Load, Unknown };

struct NodeShape {
    Point at;
    int32_t number = 0;
    int record = -1;  // the node's index k in the model, -1 for a number without record
    NodeKind kind = NodeKind::Load;
    Color fill;
    bool warning = false;
    bool cutOff = false;     // an outage shown cuts it off from the base node
    bool violation = false;  // beyond a limit in the outage shown
    std::string text;  // the hover text: results, or the reader's findings
};

struct BranchShape {
    Point from, to;
    int record = 0;  // the branch's index j in the model
    int32_t startNumber = 0, endNumber = 0;
    bool transformer = false;
    double width = 1.5;
    int direction = 0;  // +1 active power flows from..to, -1 to..from, 0 none shown
    bool warning = false;
    bool outaged = false;    // taken out by the outage shown
    bool cutOff = false;     // both ends cut off by the outage shown
    bool violation = false;  // beyond its limit in the outage shown
    std::string text;
};

// How far a district's tint reaches beyond its nodes and branches.
constexpr double kHullMargin = 18.0;

// The tinted area of a district: its polygon widened by kHullMargin; where
// that would reach over a node of another district, its own nodes and
// branches widened instead (sleeves: one segment each, a node as a segment
// of no length), leaving out those that would reach over one.
struct Hull {
    int district = 0;
    std::vector<Point> polygon;               // empty when drawn as sleeves
    std::vector<std::array<Point, 2>> sleeves;
    Color tint;
};

struct Picture {
    std::vector<NodeShape> nodes;     // in the order of the topology
    std::vector<BranchShape> branches;
    std::vector<Hull> hulls;
    std::vector<std::string> notes;   // the reader's lines that name nothing
    bool withResults = false;
    std::string outage;               // the outage shown, empty for the base case
    Point min, max;                   // bounds of every shape
};

constexpr double kNodeRadius = 7.0;
constexpr double kScaleLimit = 10.0;  // % of nominal at the ends of the colour scale

Color warningColor();
Color noResultColor();
// Beyond a limit in an outage shown, and cut off from the base node by it.
Color violationColor();
Color cutOffColor();
// How wide a branch beyond its limit is drawn at least.
constexpr double kViolationWidth = 5.0;
// How wide a branch taken out by an outage is drawn (dashed).
constexpr double kOutagedWidth = 3.0;
// The colour of a voltage deviation in % (clamped to the scale's ends).
Color deviationColor(double percent);

// A figure of a hover text with the given decimals; one that rounds to zero
// without a sign.
std::string hoverFixed(double value, int decimals);

// "Узел N (базисный)", "Ветвь A - B (трансформатор)": the first line of a hover text.
std::string nodeHeading(const NodeShape& node);
std::string branchHeading(const BranchShape& branch);

// results: the figures of an accepted run (nullptr for refused data);
// findings: the reader's messages when it refused them.
Picture drawPicture(const Topology& topology, const Layout& layout, const NetworkResults* results,
                    const std::vector<Finding>& findings);

}  // namespace tarvel::diagram
