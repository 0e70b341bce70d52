// The figures of one step of a load profile, as the steps file, the report
// and the window's chart give them.
#pragma once

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace tarvel {

enum class StepOutcome : int32_t { Solved = 0, NotConverged = 1, Diverged = 2 };

// "solved", "not_converged", "diverged".
const char* stepOutcomeName(StepOutcome outcome);

// Plain figures only (no strings), so that the results of many steps travel
// between the processes of a cluster as one block of bytes.
struct StepResult {
    int64_t step = 0;  // the step's number (label) in the profile
    StepOutcome outcome = StepOutcome::NotConverged;
    int32_t iterations = 0;
    double loadMw = 0;    // P of the load nodes
    // The figures of the solution: NaN (and node 0) for a step that was not
    // solved, whose last iterate is no state of the network.
    double baseMw = 0;    // fed into the network at the base node
    double lossesMw = 0;  // the branches' active power loss
    double vminPu = 0;    // in p.u. of the Unom written in the node's record
    int32_t vminNode = 0;
    double vmaxPu = 0;
    int32_t vmaxNode = 0;
    // Why a step was not solved: what the base node has to feed by the
    // step's data (every load less every generation, losses left out), and
    // the node of the largest power mismatch of the last iterate with it
    // (MVA). Zero for a solved step.
    double baseShareMw = 0;
    int32_t worstNode = 0;
    double worstMismatchMva = 0;
    // The most loaded branch, % of its limit; NaN when no branch has a limit.
    double maxLoadingPct = std::numeric_limits<double>::quiet_NaN();
    int32_t maxLoadingStart = 0, maxLoadingEnd = 0, maxLoadingParallel = 0;  // N1, N2, K (1 for the first)
    int32_t violations = 0;  // nodes outside their voltage limits and branches above their limit
    // With the N-1 of every step: how many outages ended each way.
    int32_t outagesSolved = 0, outagesNotConverged = 0, outagesDiverged = 0, outagesSplit = 0;
    int32_t outagesWithViolations = 0;
};

}  // namespace tarvel
