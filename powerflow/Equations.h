// The nodal equations of the network in rectangular coordinates.
//
// Voltages in kV, admittances in S, currents in kA, powers in MW and Mvar;
// S = U * conj(I) without any factor of three. Node 0 is the base node. Every
// value stored into a table is single precision. The mutual admittances are
// never stored: they are formed from seriesG, seriesB and branchRatio wherever
// they are needed.
#pragma once

#include "model/NetworkModel.h"

namespace tarvel {

// Flat start: every node k = 0..n at its nominal (or fixed) voltage, angle 0.
void initVoltages(NetworkModel& model);

// Branch series admittances y = 1/(r + jx) and node self admittances: each
// node's own shunt plus, per branch, y/K^2 + half the branch shunt at the
// first end and y + half the branch shunt at the second end.
void formAdmittances(NetworkModel& model);

// Node currents I = Y*U and node powers S = U*conj(I) (positive = the node
// feeds the network) for the present voltages, nodes 0..n.
void computeInjections(NetworkModel& model);

}  // namespace tarvel
