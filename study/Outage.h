// What a contingency study takes out of service: one outage is one or more
// branches lost together. Outages come from the network itself (every branch
// on its own), from a list file written by the user, or from a MATPOWER
// contingency table of an imported case.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "model/NetworkModel.h"

namespace tarvel {

// A branch as the user names it: its end nodes and, among the parallel
// branches joining that pair of nodes, its place in input order (from 1).
struct BranchName {
    int32_t n1 = 0, n2 = 0;
    int k = 1;
};

// The names of the network's branches, and the branch a name gives.
class BranchIndex {
public:
    explicit BranchIndex(const NetworkModel& model);

    const BranchName& name(int branch) const { return names_[branch]; }
    // True when more than one branch joins the branch's two nodes.
    bool hasParallels(int branch) const;
    // The branch 1..m of the nodes n1, n2 (either way round) and place k, 0 when none.
    int find(int32_t n1, int32_t n2, int k) const;
    int branchCount() const { return static_cast<int>(names_.size()) - 1; }

private:
    std::vector<BranchName> names_;  // branches 1..m
    std::vector<int> parallels_;     // branches 1..m: how many join the same pair
    // Branches sorted by (smaller node, larger node, k), for find.
    std::vector<int> sorted_;
};

// "N1-N2", with "/K" when the pair has parallel branches.
std::string branchLabel(const BranchIndex& index, int branch);

struct Outage {
    std::string label;
    std::vector<int> branches;  // branch indices 1..m, in the order given
};

// Every branch on its own, in input order.
std::vector<Outage> allBranchOutages(const BranchIndex& index);

// Outages read from a text, or why they cannot be read (one Russian sentence
// that names the line).
struct OutageList {
    bool ok = false;
    std::string error;
    std::vector<Outage> outages;
};

// A list file: one outage a line, "N1 N2" or "N1 N2 K"; branches lost together
// are separated by ';'; '#' starts a comment; blank lines are skipped. The
// label of an outage is its line as written, without the comment.
OutageList readOutageList(std::string_view text, const BranchIndex& index);

// The branches of an imported MATPOWER case as the network holds them.
struct CaseBranchMap {
    std::string caseName;           // the case's function name ("case_ACTIVSg200"), empty when unknown
    std::vector<int> branchOfRow;   // the case's branch row (0-based) -> branch 1..m, 0 when left out
};

// The function name of a MATPOWER file ("case_ACTIVSg200"), empty when it has none.
std::string caseFunctionName(std::string_view caseText);

// True when the text is a MATPOWER contingency table (it assigns chgtab).
bool isContingencyTable(std::string_view text);

// A MATPOWER contingency table (chgtab: label, probability, table, row,
// column, change type, new value): rows that take a branch out of service
// (CT_TBRCH, BR_STATUS, CT_REP, 0), grouped by label in the order the labels
// first appear. Any other change is refused with its line, and so is a table
// written for another case or naming a branch row the case does not have.
OutageList readContingencyTable(std::string_view text, const CaseBranchMap& map);

}  // namespace tarvel
