// One outage of a contingency study drawn over the picture of the base case:
// the branches it takes out dashed, the nodes it cuts off from the base node
// grey, the nodes and branches beyond their limits in red, and the hover
// texts with the figures of the state the outage leaves.
#pragma once

#include <string>
#include <vector>

#include "diagram/Picture.h"

namespace tarvel::diagram {

struct OutageNodeState {
    bool cutOff = false;
    double u = 0;      // kV
    double unom = 0;   // kV, written in the node's record (nominalVoltage)
    double angle = 0;  // degrees
    double p = 0, q = 0;  // MW, Mvar: + consumption, - generation, as network.rez prints them
    std::vector<std::string> violations;  // one sentence each
};

struct OutageBranchState {
    bool out = false;     // taken out by the outage
    bool cutOff = false;  // both ends cut off from the base node
    double p12 = 0, q12 = 0, p21 = 0, q21 = 0;  // MW, Mvar, as network.rez prints them
    double current = 0;   // kA at the first end
    double loading = -1;  // % of the branch's limit, -1 when it has none
    std::vector<std::string> violations;
};

struct OutageOverlay {
    std::string label;    // the outage as the study names it
    std::string outcome;  // how it was solved, as the study's table says it
    std::vector<OutageNodeState> nodes;       // by node index 0..n
    std::vector<OutageBranchState> branches;  // by branch index 1..m (0 unused)
};

// Turns the base case's picture of the same network into the outage's.
void overlayOutage(Picture& picture, const OutageOverlay& overlay);

}  // namespace tarvel::diagram
