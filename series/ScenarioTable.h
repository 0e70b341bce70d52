// MATPOWER scenario tables (a change table, "chgtab", one label per step)
// that set the load of each area: rows
//     label  prob  CT_TAREALOAD  area  CT_LOAD_ALL_P  CT_REP|CT_REL  value
// CT_REP sets the total load P of the area's buses (MW), CT_REL multiplies
// it; Q follows P. Any other change is refused with its line.
#pragma once

#include <string_view>

#include "series/LoadProfile.h"

namespace tarvel {

// True when the text is a change table (a MATPOWER function returning chgtab).
bool looksLikeScenarioTable(std::string_view text);

// A read table: a profile with one area column per area the table names, the
// labels as steps, and each value as written; replaced[i] tells a CT_REP value
// (a total in MW) from a CT_REL one (a multiplier). An area a label leaves
// out keeps its load (CT_REL 1).
struct ScenarioTable {
    LoadProfile profile;
    std::vector<char> replaced;  // parallel to profile.multipliers
};

struct ScenarioReadResult {
    bool ok = false;
    std::string error;  // one Russian sentence naming the line
    ScenarioTable table;
};

ScenarioReadResult readScenarioTable(std::string_view text);

// The multipliers of the table for the case's buses: a CT_REP total divided
// by the case's load of that area. False, with error, when an area has no
// load to scale.
bool scenarioProfile(const ScenarioTable& table, const NodeAreas& areas, LoadProfile& profile, std::string& error);

}  // namespace tarvel
