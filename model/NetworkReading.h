// What the reader found in a text besides the model: its findings on data it
// refuses, and the line of every record it stored.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tarvel {

enum class FindingKind {
    TooManyRecords,         // more node or branch records than the reader stores
    NodeWithoutBranches,
    BranchWithoutNodes,     // an end names no node of the data
    NotJoinedToBase,        // nodes that no chain of branches joins to the base node
    RepeatedNumber,         // a node number given twice that the run cannot take
    NodeNumberTooLarge,
    NominalVoltage,         // below 0.1 kV or above 1500 kV
    Reactance,              // above 999999 Ohm
    Susceptance,
    TransformerAtBase,      // the exact method takes no ratio at the base node
    NumberWithoutDistrict,  // a node number below -99
    NotFinite,              // a value that overflowed a float
    PhaseAngle,             // beyond ±90°
    CrossedLimits,          // Qmin above Qmax
    TieTransformer,         // a ratio on a branch without impedance
    TieConflict,            // ties joining different fixed voltages
    NegativeRatio,          // a transformer ratio below 0
};

struct Finding {
    FindingKind kind = FindingKind::TooManyRecords;
    // The node numbers the finding names; for a list (listsNodes) they follow
    // the text after a colon.
    std::vector<int32_t> nodes;
    std::optional<std::pair<int32_t, int32_t>> branch;  // (N1, N2) as written
    int recordLine = 0;  // the line (from 1) of the record it names, 0 when it names none
    std::string text;    // UTF-8; lines separated by "\n"
    // The slot of the record it was found at: node k = 0..n, or branch j =
    // 1..m when `branch` is set; -1 when it concerns no one record (a list,
    // a count). Tables that show the records mark the finding there.
    int slot = -1;
};

// True for the findings whose node numbers are written as a list after
// their text, ten to a line.
bool listsNodes(FindingKind kind);

// The lines of network.err that tell the finding.
std::vector<std::string> findingLines(const Finding& finding);

struct NetworkReading {
    bool accepted = false;
    std::vector<Finding> findings;  // in the order network.err tells them
    // The line (from 1) of the record of node slot k = 0..n (for the base
    // node the last 0102 record, which the reader keeps), and of branch j =
    // 1..m (slot 0 unused); 0 for none.
    std::vector<int32_t> nodeLines;
    std::vector<int32_t> branchLines;
};

}  // namespace tarvel
