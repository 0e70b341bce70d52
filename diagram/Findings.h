// The reader's findings on refused data (the lines of network.err), tied to
// the nodes and branches they name, so that the diagram can mark them.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace tarvel::diagram {

struct Findings {
    std::map<int32_t, std::vector<std::string>> nodes;                       // by node number
    std::map<std::pair<int32_t, int32_t>, std::vector<std::string>> branches;  // by (N1, N2) as written
    std::vector<std::string> general;  // lines that name no node or branch
    bool empty() const { return nodes.empty() && branches.empty() && general.empty(); }
};

// Reads the error list (UTF-8 text, any line ends). A line ending in
// "узла N" names a node; "ветви A B" or a line "Ветвь A B ..." names a
// branch (with the line before it, which says what is wrong); a list of
// numbers after a colon, and the lines of numbers that continue it, name
// nodes.
Findings parseFindings(const std::string& errText);

}  // namespace tarvel::diagram
