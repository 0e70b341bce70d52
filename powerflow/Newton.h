// One Newton-Raphson step on the nodal equations, in rectangular coordinates.
//
// Unknowns are voltageRe and voltageIm of nodes 1..n; the base node stays put.
// Rows 2k-1 and 2k of the system belong to node k: its reactive-power (or, at
// a node with fixed voltage magnitude, its voltage, unless the node is held
// at a reactive limit) equation and its active-power equation; columns 2k-1 and 2k to the corrections of
// voltageRe[k] and voltageIm[k]. The driver calls computeResidual, then in a
// loop formJacobian, solveAndUpdate and computeResidual again.
#pragma once

#include "model/NetworkModel.h"

namespace tarvel {

// Entries of the Newton matrix at or below this magnitude count as zero, and
// a smaller pivot is replaced by it (compared in double).
constexpr double kPivotFloor = 1e-7;

// Evaluates the equations at the present voltages (computeInjections), fills
// mismatch[1..2n] and returns the root mean square of the per-equation
// errors: relative to the node's own P or Q where that is at least 1 in
// magnitude, absolute below that, relative to U_set^2 for a voltage equation.
float computeResidual(NetworkModel& model);

// Builds jacobian[1..2n][1..2n] from the present voltages, the admittances and
// the currents that the last computeResidual left.
void formJacobian(NetworkModel& model);

// Solves jacobian * x = mismatch by Gaussian elimination without pivoting
// (small pivots raised to kPivotFloor, the last pivot used as it is) and adds
// x to the voltages of nodes 1..n. Returns false, leaving the voltages
// unchanged, when the step cannot be taken: a zero or non-finite last pivot,
// or a correction that is not a finite number. The matrix and the mismatch
// are destroyed either way.
bool solveAndUpdate(NetworkModel& model);

}  // namespace tarvel
