// Zero-impedance ties of the full model: switches and bus couplers, written
// with r = x = 0 or an impedance far below any line's. The nodes a chain of
// ties joins are one electrical node: the solver takes them as one, and the
// flows of the ties come from the balance of the nodes they join.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "model/NetworkModel.h"

namespace tarvel {

// A branch whose |r + jx| is below this share of its base impedance
// (Unom^2 / 100 MVA at its second end) is a zero-impedance tie.
constexpr double kTieImpedance = 1e-6;

// Branches whose impedance is that small but that carry a ratio (or a phase
// angle) join nodes at different voltages: they are no ties. Such a branch
// of no impedance at all cannot be solved.
enum class TieKind { None, Tie, ZeroImpedanceTransformer };

// What branch j of the model's written figures is; end is the node index of
// its second end.
TieKind tieKind(const NetworkModel& model, int j, int end);

struct TieGroups {
    std::vector<char> tie;          // branches 1..m: nonzero for a tie
    std::vector<int32_t> solvedAs;  // nodes 0..n: the group's representative (itself without ties)
    bool any = false;
    // Ties that join two nodes of fixed voltage (the base node or a fixed
    // magnitude) whose voltages differ, directly or through other ties.
    std::vector<int> conflicts;
    std::vector<int> zeroImpedanceTransformers;
};

// The groups of nodes that ties join, from the branch end indices (1..m).
// A group's representative is its base node, else its first node of fixed
// voltage magnitude, else its first node.
TieGroups findTieGroups(const NetworkModel& model, std::span<const int32_t> start, std::span<const int32_t> end);

}  // namespace tarvel
