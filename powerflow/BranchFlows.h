// The power flows of one branch from the node voltages.
#pragma once

#include "model/NetworkModel.h"

namespace tarvel {

// The figures the reports are computed from: the final voltages, the node
// powers of the last evaluation, the node shunts and the branch parameters
// and series admittances. The exact method leaves them in the model's
// single-precision tables; after the sparse method they are its network's and
// solution's, in double precision (model.sparseNetwork, model.sparseSolution).
template <typename Real>
struct FlowState {
    const Real* voltageRe;
    const Real* voltageIm;
    const Real* calcP;
    const Real* calcQ;
    const Real* seriesG;
    const Real* seriesB;
    const Real* shuntG;     // nodes, S
    const Real* shuntB;
    const Real* ratio;      // branches
    const Real* chargingG;  // S, whole branch
    const Real* chargingB;
    // The ratio's phase angle (branches; null: none) and the series powers of
    // the zero-impedance ties (branches; null: none), double precision only.
    const double* shiftCos = nullptr;
    const double* shiftSin = nullptr;
    const char* tie = nullptr;
    const double* tieP = nullptr;
    const double* tieQ = nullptr;
};

FlowState<float> singleState(const NetworkModel& model);
FlowState<double> doubleState(const NetworkModel& model);

// Flows of branch i (in Real precision, dP in double). I12 is the current of
// the series element taken at the start node, y*(Us/K^2 - Ut/conj(N)); I21
// the current it delivers into the end node, y*(Us/N - Ut), with N = K for a
// ratio without phase angle. A tie's flows are its series powers, the
// current that of its first end. P12/Q12 leave the
// start node into the branch, P21/Q21 enter the end node from it; the shunt
// halves of the branch are included in the powers, not in the currents.
template <typename Real>
struct BranchFlowOf {
    Real i12Re = 0, i12Im = 0;
    Real i21Re = 0, i21Im = 0;
    Real p12 = 0, q12 = 0;
    Real p21 = 0, q21 = 0;
    double dP = 0;  // |P21 - P12|, the active power loss of the branch, MW
};
using BranchFlow = BranchFlowOf<float>;

template <typename Real>
BranchFlowOf<Real> branchFlowsOf(const NetworkModel& model, const FlowState<Real>& state, int i);

// Flows of branch i (1..m) from the model's single-precision tables:
// voltageRe/Im of the branch ends, seriesG/B, branchRatio, branchConductance
// and branchSusceptance.
BranchFlow branchFlows(const NetworkModel& model, int i);

}  // namespace tarvel
