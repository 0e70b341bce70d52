// The limits a contingency study checks: node voltages and branch loadings.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "model/NetworkModel.h"
#include "study/Outage.h"

namespace tarvel {

enum class BranchLimitKind {
    None,
    Current,  // kA, the current at the first end (the "I" column of network.rez)
    Power,    // MVA, the larger |S| of the two ends (a MATPOWER case's rateA)
};

struct Limits {
    std::vector<double> vmin, vmax;  // kV, nodes 0..n
    std::vector<BranchLimitKind> kind;  // branches 1..m
    std::vector<double> branchLimit;    // kA or MVA by kind, branches 1..m
};

// The highest operating voltage of a nominal voltage class (6 -> 7.2, 10 -> 12,
// ... 1150 -> 1200 kV), 1.1 Unom for a voltage that is no class.
double highestOperatingVoltage(double unom);

// Node limits from 0.9 Unom to the highest operating voltage of the node's
// Unom as written in its record; no branch limits.
Limits defaultLimits(const NetworkModel& model);

// Branch ratings in MVA, per branch 1..m (0: unlimited), as a MATPOWER case's rateA.
void applyRatings(Limits& limits, const std::vector<double>& ratingMva);

// The least current limit a limits file may give, kA.
constexpr double kLeastCurrentLimit = 0.001;

// A limits file: "N1 N2 [K] Imax_kA" a line, '#' starts a comment. Sets the
// current limits of the branches named; an empty string, or why the file
// cannot be taken (one Russian sentence naming the line): a limit below
// kLeastCurrentLimit, a branch the network lacks or one limited twice.
std::string readCurrentLimits(std::string_view text, const BranchIndex& index, Limits& limits);

}  // namespace tarvel
