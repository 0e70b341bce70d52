// Load profiles: how the loads of a network change from step to step (an hour
// of a year, say), read from a CSV file or from a MATPOWER scenario table.
//
// Each step holds one multiplier per column; a column names a district
// (d0..d9), a node (n<number>) or, for an imported MATPOWER case, an area
// (a<area>). The multipliers scale the P and Q written in the records of the
// load nodes (nodes without a fixed voltage); fixed-voltage nodes and the base
// node keep their figures. A node column wins over an area column, which wins
// over a district column; a node no column names keeps its load.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "model/NetworkModel.h"

namespace tarvel {

enum class ProfileColumnKind { District, Node, Area };

struct ProfileColumn {
    ProfileColumnKind kind = ProfileColumnKind::District;
    int64_t key = 0;      // district 0..9, node number or area number
    std::string name;     // as written in the header ("d3", "n1024", "a2")
};

struct LoadProfile {
    std::vector<ProfileColumn> columns;
    std::vector<int64_t> steps;       // step numbers (labels), in order
    std::vector<double> multipliers;  // steps.size() x columns.size(), step after step

    int stepCount() const { return static_cast<int>(steps.size()); }
    double multiplier(int step, int column) const
    {
        return multipliers[static_cast<std::size_t>(step) * columns.size() + static_cast<std::size_t>(column)];
    }
};

// The outcome of reading a profile: the profile, or one Russian sentence
// naming the line that is wrong.
struct ProfileReadResult {
    bool ok = false;
    std::string error;
    LoadProfile profile;
};

// Reads a profile CSV (UTF-8, "," or ";" between fields, the header row first:
// "step" or "hour", then the columns). A line starting with "#" is a comment.
// Steps are whole numbers counting up by one from the first; multipliers are
// finite and not negative ("," as the decimal mark is taken when ";"
// separates the fields).
ProfileReadResult readLoadProfile(std::string_view text);

// The buses of an imported MATPOWER case with their area and zone, by the
// node number of the ЦДУ text; empty for a ЦДУ input. Some public scenario
// tables number their areas by the buses' zone column (they ask the user to
// swap the two columns first): byZone says which column the areas are.
struct NodeAreas {
    struct Bus {
        int64_t node = 0;  // node number in the ЦДУ text
        int64_t area = 0;
        int64_t zone = 0;
        double pd = 0;     // MW, the case's load at the bus
    };
    std::vector<Bus> buses;
    bool byZone = false;

    bool empty() const { return buses.empty(); }
    int64_t areaOf(const Bus& bus) const { return byZone ? bus.zone : bus.area; }
    // True when some bus lies in that area.
    bool hasArea(int64_t area) const;
    // The case's total load P of the area's buses, MW.
    double areaLoad(int64_t area) const;
};

// Chooses the column the areas of the profile are numbered by: the buses'
// area when every area column names one, else their zone when every one
// names a zone. True when the zones were chosen.
bool chooseAreaNumbering(const LoadProfile& profile, NodeAreas& areas);

// The per-node multipliers of one profile against one network: for every
// node slot 0..n, the index of the column that scales it, or -1.
struct ProfileBinding {
    std::vector<int> columnOfNode;
};

// Binds the columns to the network's load nodes. False, with a message in
// error, when a column names a district without load nodes, a node that is not
// a load node of the network, or an area without load nodes (or any area of a
// ЦДУ input).
bool bindProfile(const LoadProfile& profile, const NetworkModel& model, const NodeAreas& areas, ProfileBinding& binding,
                 std::string& error);

// The loads of one step: P and Q of every node slot 0..n, the written loads
// scaled by the step's multipliers.
struct StepLoads {
    std::vector<double> p, q;  // MW, Mvar
};
void computeStepLoads(const LoadProfile& profile, const ProfileBinding& binding, const NetworkModel& model, int step,
                      StepLoads& loads);

}  // namespace tarvel
