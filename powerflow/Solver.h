// The solution of a network whose data have been accepted: flat start,
// admittances and the Newton iterations, by the method the network's size
// calls for. The solver computes and returns; the run writes the log and the
// messages.
#pragma once

#include <span>
#include <vector>

#include "model/CalculationSettings.h"
#include "model/NetworkModel.h"
#include "model/StoredVoltages.h"
#include "powerflow/SparseSolver.h"
#include "powerflow/ReactiveLimits.h"

namespace tarvel {

enum class SolveMethod {
    Exact,   // single precision, dense matrix, up to kExactMethodNodes / kExactMethodBranches
    Sparse,  // double precision, sparse matrix factorised by KLU
};

struct SolveResult {
    SolveOutcome outcome = SolveOutcome::NotConverged;
    SolveMethod method = SolveMethod::Exact;
    std::vector<float> residuals;  // the residual after each iteration done, in order
    int divergedAt = -1;           // the iteration that diverged (0: the flat start), -1 for none
    // The sparse method's largest single-equation error after the last
    // iteration, in the residual's units; 0 for the exact method.
    double worstError = 0;
    // With reactive limits: every switch of a node at a limit, in order.
    std::vector<LimitSwitch> limitSwitches;
    // The full model stopped at this iteration as its residual no longer
    // fell (kStallSteps), -1 when it did not.
    int stalledAt = -1;
};

// Solves with the exact method up to kExactMethodNodes nodes and
// kExactMethodBranches branches, with the sparse one beyond or when it is
// asked for (model.fullModel()). Leaves
// model.iterationNumber, model.residual and the solution (the single-precision
// tables, and model.sparseNetwork and model.sparseSolution after the sparse
// method) and model.nodeHeldAt. A diverging step is undone: the voltages of
// the last finite iteration stay. With settings.qLimits the limits of
// fixed-voltage nodes are checked after every iteration; a run counts as
// converged only when the last check switched no node. The full model starts
// where settings.start says: from `stored` (the case's own voltages) with
// StartChoice::Case when there are any.
SolveResult solvePowerFlow(NetworkModel& model, const CalculationSettings& settings,
                           std::span<const StoredVoltage> stored = {});

// The exact method: iterate while the residual exceeds the precision and
// fewer than iteraz iterations were made.
SolveResult solveExact(NetworkModel& model, const CalculationSettings& settings);

// The sparse method on the model's network (buildNetwork, solveSparse):
// keeps the network and its solution in the model and leaves the solution,
// rounded, in the single-precision tables.
SolveResult solveSparseModel(NetworkModel& model, const CalculationSettings& settings,
                             std::span<const StoredVoltage> stored = {});

// The start voltages (kV, nodes 0..n, 0 where none is stored) that `stored`
// gives the network: angles measured from the base node's, magnitudes as
// stored but at a node of fixed magnitude, which keeps its own.
Solution storedStart(const Network& network, std::span<const StoredVoltage> stored);

}  // namespace tarvel
