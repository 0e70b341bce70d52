// The power flows of one branch from the node voltages.
#pragma once

#include "model/NetworkModel.h"

namespace tarvel {

// Flows of branch i (single precision, dP in double). I12 is the current of
// the series element taken at the start node, y*(Us/K^2 - Ut/K); I21 the
// current it delivers into the end node, y*(Us/K - Ut). P12/Q12 leave the
// start node into the branch, P21/Q21 enter the end node from it; the shunt
// halves of the branch are included in the powers, not in the currents.
struct BranchFlow {
    float i12Re = 0, i12Im = 0;
    float i21Re = 0, i21Im = 0;
    float p12 = 0, q12 = 0;
    float p21 = 0, q21 = 0;
    double dP = 0;  // |P21 - P12|, the active power loss of the branch, MW
};

// Reads voltageRe/Im of the branch ends, seriesG/B, branchRatio,
// branchConductance and branchSusceptance of branch i (1..m).
BranchFlow branchFlows(const NetworkModel& model, int i);

}  // namespace tarvel
